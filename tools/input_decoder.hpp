// Input as text whatever form it comes in: gzip data (told by its first two bytes) is
// inflated with zlib, member after member, and a UTF-8 byte-order mark at the very start
// is skipped.
#pragma once

#include <zlib.h>

#include <istream>
#include <streambuf>
#include <string>
#include <vector>

namespace stemloop_tools {

class DecodedInput : public std::streambuf {
 public:
  explicit DecodedInput(std::istream& source);
  ~DecodedInput() override;
  DecodedInput(const DecodedInput&) = delete;
  DecodedInput& operator=(const DecodedInput&) = delete;

  // Why the compressed data could not be read to its end; empty when all went well.
  const std::string& error() const { return error_; }

 protected:
  int_type underflow() override;

 private:
  bool read_raw();        // refills the raw buffer; false at the end of the source
  size_t inflate_some();  // inflates into the output buffer; 0 at the end or on error

  std::streambuf* source_;
  std::vector<char> raw_;
  std::vector<char> out_;
  z_stream zlib_{};
  bool started_ = false;
  bool gzip_ = false;
  bool member_done_ = false;  // the last gzip member ended cleanly
  std::string error_;
};

}  // namespace stemloop_tools

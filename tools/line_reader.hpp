// Reads non-blank input lines with bounded memory: LF or CR LF endings, trailing blanks
// dropped, and at most kMaxKept characters of any line kept (the rest is only counted).
#pragma once

#include <cstddef>
#include <istream>
#include <string>

namespace stemloop_tools {

struct Line {
  std::string text;   // the line without its ending and trailing blanks, maybe cut short
  size_t length = 0;  // characters the line really had (after dropping trailing blanks)
  size_t number = 0;  // 1-based line number in its input
  bool cut() const { return text.size() < length; }
};

class LineReader {
 public:
  // Lines longer than this keep only their first kMaxKept characters; a record that long
  // is refused anyway, so nothing is lost.
  static constexpr size_t kMaxKept = 65536;

  explicit LineReader(std::istream& in) : in_(in) {}

  // The next non-blank line; false at the end of the input.
  bool next(Line& line);
  // Hands `line` back: the next call to next() returns it again.
  void unread(Line line);

 private:
  bool read_raw(Line& line);

  std::istream& in_;
  size_t line_number_ = 0;
  bool has_pending_ = false;
  Line pending_;
};

}  // namespace stemloop_tools

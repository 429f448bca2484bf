#include <zlib.h>

#include <cstring>
#include <memory>

#include "stemloop/records.hpp"

namespace stemloop {
namespace {

constexpr size_t kRawBytes = 1 << 16;
constexpr size_t kOutBytes = 1 << 18;
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

}  // namespace

struct DecodedInput::Stream : z_stream {};

DecodedInput::DecodedInput(std::istream& source)
    : source_(source.rdbuf()),
      raw_(kRawBytes),
      out_(kOutBytes),
      zlib_(std::make_unique<Stream>()) {}

DecodedInput::~DecodedInput() {
  if (gzip_) inflateEnd(zlib_.get());
}

bool DecodedInput::read_raw() {
  const std::streamsize got =
      source_->sgetn(raw_.data(), static_cast<std::streamsize>(raw_.size()));
  zlib_->next_in = reinterpret_cast<Bytef*>(raw_.data());
  zlib_->avail_in = got > 0 ? static_cast<uInt>(got) : 0;
  return got > 0;
}

size_t DecodedInput::inflate_some() {
  zlib_->next_out = reinterpret_cast<Bytef*>(out_.data());
  zlib_->avail_out = static_cast<uInt>(out_.size());
  while (zlib_->avail_out == out_.size()) {
    if (zlib_->avail_in == 0 && !read_raw()) {
      if (!member_done_) error_ = "compressed data ends early";
      break;
    }
    if (member_done_) {
      // Another gzip member follows the one that ended.
      inflateReset(zlib_.get());
      member_done_ = false;
    }
    const int status = inflate(zlib_.get(), Z_NO_FLUSH);
    if (status == Z_STREAM_END) {
      member_done_ = true;
    } else if (status != Z_OK && status != Z_BUF_ERROR) {
      error_ = "compressed data is damaged";
      break;
    }
  }
  return out_.size() - zlib_->avail_out;
}

DecodedInput::int_type DecodedInput::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  size_t size = 0;
  size_t skip = 0;
  if (!started_) {
    started_ = true;
    read_raw();
    gzip_ = zlib_->avail_in >= 2 && raw_[0] == '\x1F' && raw_[1] == '\x8B';
    if (gzip_) {
      // 15 + 32: the largest window, with the gzip header read and checked by zlib.
      if (inflateInit2(zlib_.get(), 15 + 32) != Z_OK) {
        error_ = "cannot start decompressing";
        return traits_type::eof();
      }
      size = inflate_some();
    } else {
      std::memcpy(out_.data(), raw_.data(), zlib_->avail_in);
      size = zlib_->avail_in;
    }
    if (size >= 3 && std::memcmp(out_.data(), kByteOrderMark, 3) == 0) skip = 3;
  } else if (gzip_) {
    size = error_.empty() ? inflate_some() : 0;
  } else {
    const std::streamsize got =
        source_->sgetn(out_.data(), static_cast<std::streamsize>(out_.size()));
    size = got > 0 ? static_cast<size_t>(got) : 0;
  }
  if (size <= skip) return size == 0 ? traits_type::eof() : underflow();
  setg(out_.data(), out_.data() + skip, out_.data() + size);
  return traits_type::to_int_type(*gptr());
}

}  // namespace stemloop

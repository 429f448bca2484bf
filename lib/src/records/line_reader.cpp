#include <utility>

#include "stemloop/records.hpp"

namespace stemloop {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace

bool LineReader::read_raw(Line& line) {
  std::streambuf* buf = in_.rdbuf();
  line.text.clear();
  size_t length = 0;      // characters read so far
  size_t meaningful = 0;  // length up to the last character that is not a blank
  bool any = false;
  for (;;) {
    const int c = buf->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      in_.setstate(std::ios::eofbit);
      break;
    }
    any = true;
    const char ch = static_cast<char>(c);
    if (ch == '\n') break;
    if (line.text.size() < kMaxKept) line.text.push_back(ch);
    length++;
    if (!is_blank(ch)) meaningful = length;
  }
  if (!any) return false;
  line.length = meaningful;
  if (line.text.size() > meaningful) line.text.resize(meaningful);
  line.number = ++line_number_;
  return true;
}

bool LineReader::next(Line& line) {
  if (has_pending_) {
    has_pending_ = false;
    line = std::move(pending_);
    return true;
  }
  if (!in_.good()) return false;
  while (read_raw(line)) {
    if (line.length > 0) return true;
  }
  return false;
}

void LineReader::unread(Line line) {
  pending_ = std::move(line);
  has_pending_ = true;
}

}  // namespace stemloop

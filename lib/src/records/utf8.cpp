#include "stemloop/utf8.hpp"

namespace stemloop {

size_t utf8_length(const std::string& text, size_t k) {
  const auto byte = [&text](size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned char lead = byte(k);
  size_t length = 0;
  unsigned min = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    min = 0x10000;
  } else {
    return 0;
  }
  if (k + length > text.size()) return 0;
  unsigned code = lead & (0x3F >> (length - 1));
  for (size_t m = 1; m < length; m++) {
    if ((byte(k + m) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(k + m) & 0x3Fu);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

std::string valid_utf8(const std::string& text) {
  std::string valid;
  for (size_t k = 0; k < text.size();) {
    const size_t length = static_cast<unsigned char>(text[k]) < 0x80 ? 1 : utf8_length(text, k);
    if (length == 0) {
      valid += "\xEF\xBF\xBD";  // U+FFFD
      k++;
    } else {
      valid.append(text, k, length);
      k += length;
    }
  }
  return valid;
}

}  // namespace stemloop

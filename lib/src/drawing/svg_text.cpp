#include "drawing/svg_text.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>

namespace stemloop {

std::string svg_number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.2f", value);
  // "-0.00" and "0.00" are the same place; print one of them.
  return std::string(text) == "-0.00" ? "0.00" : text;
}

namespace {

// Bytes in the UTF-8 character starting at text[k], or 0 when the bytes there are not one.
size_t utf8_bytes(const std::string& text, size_t k) {
  const auto lead = static_cast<unsigned char>(text[k]);
  const size_t count = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (count == 0 || lead > 0xF4 || k + count > text.size()) return 0;
  for (size_t m = 1; m < count; m++)
    if ((static_cast<unsigned char>(text[k + m]) & 0xC0) != 0x80) return 0;
  return count;
}

}  // namespace

std::string svg_escape(const std::string& text) {
  std::string escaped;
  for (size_t k = 0; k < text.size(); k++) {
    const char c = text[k];
    if (static_cast<unsigned char>(c) >= 0x80) {
      // Valid UTF-8 stays; a stray byte would make the whole file unreadable.
      const size_t count = utf8_bytes(text, k);
      escaped += count == 0 ? std::string("?") : text.substr(k, count);
      if (count > 0) k += count - 1;
      continue;
    }
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) escaped += c;
    }
  }
  return escaped;
}

std::string scale_colour(double value) {
  // Three anchors, blue for 0, pale yellow for 0.5, red for 1, mixed linearly between.
  static const double kAnchors[3][3] = {{44, 123, 182}, {255, 255, 191}, {215, 25, 28}};
  const double v = std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0;
  const int low = v < 0.5 ? 0 : 1;
  const double t = (v - 0.5 * low) * 2;
  char text[8];
  int rgb[3];
  for (int c = 0; c < 3; c++)
    rgb[c] = static_cast<int>(
        std::lround(kAnchors[low][c] + t * (kAnchors[low + 1][c] - kAnchors[low][c])));
  std::snprintf(text, sizeof text, "#%02x%02x%02x", rgb[0], rgb[1], rgb[2]);
  return text;
}

double text_width(const std::string& text, double size) {
  size_t characters = 0;
  for (char c : text) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return static_cast<double>(characters) * size * 0.62;  // wider than most fonts' average
}

std::string svg_open(double width, double height, const std::string& title) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  text += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + svg_number(width) +
          "\" height=\"" + svg_number(height) + "\" viewBox=\"0 0 " + svg_number(width) + " " +
          svg_number(height) + "\" font-family=\"Helvetica, Arial, sans-serif\">\n";
  if (!title.empty()) text += "<title>" + svg_escape(title) + "</title>\n";
  return text;
}

}  // namespace stemloop

#include "json_fields.hpp"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace stemloop_tools {
namespace {

class Parser {
 public:
  explicit Parser(const std::string& text) : text_(text) {}

  std::string object(std::map<std::string, JsonValue>& members) {
    space();
    if (!take('{')) return fail("a JSON object");
    space();
    if (take('}')) return end();
    for (;;) {
      std::string key;
      space();
      if (!string(key)) return fail("a member name");
      space();
      if (!take(':')) return fail("':'");
      JsonValue value;
      if (!this->value(value, 0)) return fail("a value");
      members[key] = value;
      space();
      if (take('}')) return end();
      if (!take(',')) return fail("',' or '}'");
    }
  }

 private:
  std::string end() {
    space();
    return at_ == text_.size() ? std::string() : fail("the end of the line");
  }
  std::string fail(const char* expected) const {
    return "JSON column " + std::to_string(at_ + 1) + ": expected " + expected;
  }
  void space() {
    while (at_ < text_.size() && std::strchr(" \t\r\n", text_[at_]) != nullptr) at_++;
  }
  bool take(char c) {
    if (at_ < text_.size() && text_[at_] == c) {
      at_++;
      return true;
    }
    return false;
  }
  bool word(const char* w) {
    const size_t length = std::strlen(w);
    if (text_.compare(at_, length, w) != 0) return false;
    at_ += length;
    return true;
  }
  static void utf8(unsigned code, std::string& out) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  bool hex4(unsigned& code) {
    if (at_ + 4 > text_.size()) return false;
    code = 0;
    for (int k = 0; k < 4; k++) {
      const char c = text_[at_++];
      const char* digits = "0123456789abcdef";
      const char* found = std::strchr(digits, c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
      if (c == '\0' || found == nullptr) return false;
      code = code * 16 + static_cast<unsigned>(found - digits);
    }
    return true;
  }
  // After a backslash: appends the character the escape stands for.
  bool escape(std::string& out) {
    if (at_ >= text_.size()) return false;
    const char e = text_[at_++];
    const char* plain = std::strchr("\"\\/bfnrt", e);
    if (e != '\0' && plain != nullptr) {
      out += "\"\\/\b\f\n\r\t"[plain - "\"\\/bfnrt"];
      return true;
    }
    if (e != 'u') return false;
    unsigned code = 0;
    if (!hex4(code)) return false;
    if (code >= 0xD800 && code < 0xDC00 && word("\\u")) {
      unsigned low = 0;
      if (!hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    }
    utf8(code, out);
    return true;
  }
  bool string(std::string& out) {
    if (!take('"')) return false;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
      } else if (!escape(out)) {
        return false;
      }
    }
    return false;
  }
  bool value(JsonValue& value, int depth) {
    space();
    if (depth > 64 || at_ >= text_.size()) return false;
    const char c = text_[at_];
    if (c == '"') {
      value.kind = JsonValue::Kind::String;
      return string(value.text);
    }
    if (word("null")) {
      value.kind = JsonValue::Kind::Null;
      return true;
    }
    if (word("true") || word("false")) return true;
    if (c == '{' || c == '[') return container(value, depth);
    const char* begin = text_.c_str() + at_;
    char* stop = nullptr;
    value.number = std::strtod(begin, &stop);
    if (stop == begin || !std::isfinite(value.number)) return false;
    at_ += static_cast<size_t>(stop - begin);
    value.kind = JsonValue::Kind::Number;
    return true;
  }

  // An object or an array, at its opening bracket.
  bool container(JsonValue& value, int depth) {
    const bool object = text_[at_++] == '{';
    const char close = object ? '}' : ']';
    value.kind = object ? JsonValue::Kind::Object : JsonValue::Kind::Array;
    space();
    if (take(close)) return true;
    for (;;) {
      std::string key;
      if (object) {
        space();
        if (!string(key)) return false;
        space();
        if (!take(':')) return false;
      }
      JsonValue inner;
      if (!this->value(inner, depth + 1)) return false;
      if (object)
        value.members.emplace_back(std::move(key), std::move(inner));
      else
        value.items.push_back(std::move(inner));
      space();
      if (take(close)) return true;
      if (!take(',')) return false;
    }
  }

  const std::string& text_;
  size_t at_ = 0;
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& key) const {
  static const JsonValue kAbsent;
  for (const auto& [name, value] : members)
    if (name == key) return value;
  return kAbsent;
}

std::string parse_json_object(const std::string& line, std::map<std::string, JsonValue>& members) {
  return Parser(line).object(members);
}

}  // namespace stemloop_tools

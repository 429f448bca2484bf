// Reads the top-level string, number and null members of one JSON object on a line, as
// the programs' JSON Lines output holds them; nested values are checked and skipped.
#pragma once

#include <map>
#include <string>

namespace stemloop_tools {

struct JsonValue {
  enum class Kind { String, Number, Null, Other } kind = Kind::Other;
  std::string text;     // the decoded string
  double number = 0.0;  // the number
};

// Fills `members` from `line`; returns what is wrong, or an empty string.
std::string parse_json_object(const std::string& line, std::map<std::string, JsonValue>& members);

}  // namespace stemloop_tools

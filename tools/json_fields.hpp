// Reads the members of one JSON object on a line, as the programs' JSON Lines output
// holds them: strings, numbers and null, and objects and arrays of them; true and false
// are checked and kept as Other.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace stemloop_tools {

struct JsonValue {
  enum class Kind { String, Number, Null, Object, Array, Other } kind = Kind::Other;
  std::string text;                                        // the decoded string
  double number = 0.0;                                     // the number
  std::vector<std::pair<std::string, JsonValue>> members;  // of an object, in order
  std::vector<JsonValue> items;                            // of an array

  // The member `key` of an object, or a value of kind Other.
  const JsonValue& operator[](const std::string& key) const;
};

// Fills `members` from `line`; returns what is wrong, or an empty string.
std::string parse_json_object(const std::string& line, std::map<std::string, JsonValue>& members);

}  // namespace stemloop_tools

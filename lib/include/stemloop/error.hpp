// The one exception type of the engine: what() is exactly the system's message.
#pragma once

#include <stdexcept>
#include <string>

namespace stemloop {

class Error : public std::runtime_error {
 public:
  // UnbalancedBrackets: a structure or constraint string whose brackets do not match;
  // callers that report the string itself can tell these apart from other failures.
  enum class Kind { General, UnbalancedBrackets };

  explicit Error(const std::string& message, int position = 0, Kind kind = Kind::General)
      : std::runtime_error(message), position_(position), kind_(kind) {}
  // 1-based position in the input the error refers to, or 0 when none applies.
  int position() const { return position_; }
  Kind kind() const { return kind_; }

 private:
  int position_;
  Kind kind_;
};

}  // namespace stemloop

// The one exception type of the engine: what() is exactly the system's message.
#pragma once

#include <stdexcept>
#include <string>

#include "stemloop/export.h"

STEMLOOP_API_BEGIN
namespace stemloop {

class Error : public std::runtime_error {
 public:
  // What went wrong, for callers that word it their own way: UnbalancedBrackets, a
  // structure or constraint string whose brackets do not match; TooLong, an input past
  // MAX_SEQUENCE_LENGTH; InvalidArgument, arguments that do not fit together.
  enum class Kind { General, UnbalancedBrackets, TooLong, InvalidArgument };

  explicit Error(const std::string& message, int position = 0, Kind kind = Kind::General)
      : std::runtime_error(message), position_(position), kind_(kind) {}
  // 1-based position in the input the error refers to, or 0 when none applies.
  int position() const { return position_; }
  Kind kind() const { return kind_; }

 private:
  int position_;
  Kind kind_;
};

// The message of an error, led by the position it names in `what` ("structure", ...),
// if any: "structure position 4: ...".
inline std::string describe(const Error& error, const char* what) {
  if (error.position() <= 0) return error.what();
  return std::string(what) + " position " + std::to_string(error.position()) + ": " + error.what();
}

}  // namespace stemloop
STEMLOOP_API_END

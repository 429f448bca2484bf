// The one exception type of the engine: what() is exactly the system's message.
#pragma once

#include <stdexcept>
#include <string>

namespace stemloop {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message, int position = 0)
      : std::runtime_error(message), position_(position) {}
  // 1-based position in the input the error refers to, or 0 when none applies.
  int position() const { return position_; }

 private:
  int position_;
};

}  // namespace stemloop

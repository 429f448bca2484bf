// A one-line progress report (records done, rate) on standard error, redrawn in place
// while a long run works, and only when standard error is a terminal.
#pragma once

#include <chrono>
#include <cstddef>

namespace stemloop_tools {

class Progress {
 public:
  explicit Progress(const char* program);
  ~Progress() { clear(); }

  // Counts one finished record; redraws at most a few times a second.
  void record_done();
  // Removes the line, e.g. before another message goes to standard error.
  void clear();

 private:
  using Clock = std::chrono::steady_clock;

  const char* program_;
  bool enabled_;
  bool shown_ = false;
  size_t done_ = 0;
  Clock::time_point start_;
  Clock::time_point last_draw_;
};

}  // namespace stemloop_tools

#include "progress.hpp"

#include <unistd.h>

#include <cstdio>

namespace stemloop_tools {
namespace {

// Runs shorter than this show no progress at all.
constexpr std::chrono::milliseconds kQuietStart{1000};
constexpr std::chrono::milliseconds kRedraw{250};

}  // namespace

Progress::Progress(const char* program)
    : program_(program), enabled_(isatty(STDERR_FILENO) == 1), start_(Clock::now()) {
  last_draw_ = start_;
}

void Progress::record_done() {
  done_++;
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (now - start_ < kQuietStart || now - last_draw_ < kRedraw) return;
  last_draw_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  std::fprintf(stderr, "\r%s: %zu records done, %.1f records/s\033[K", program_, done_,
               static_cast<double>(done_) / seconds);
  std::fflush(stderr);
  shown_ = true;
}

void Progress::clear() {
  if (!shown_) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  shown_ = false;
}

}  // namespace stemloop_tools

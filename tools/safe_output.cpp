#include "safe_output.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <utility>

namespace stemloop_tools {
namespace {

constexpr std::chrono::seconds kFlushEvery{1};
constexpr size_t kBufferBytes = 1 << 20;
// Wakes the watcher when the program ends normally.
constexpr int kStopSignal = SIGUSR1;

bool ignored_at_start(int signal_number) {
  struct sigaction action {};
  return sigaction(signal_number, nullptr, &action) == 0 && action.sa_handler == SIG_IGN;
}

sigset_t watched_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGINT, SIGTERM})
    if (!ignored_at_start(s)) sigaddset(&set, s);
  sigaddset(&set, kStopSignal);
  return set;
}

}  // namespace

SafeOutput::SafeOutput(const char* program) : program_(program), last_write_(Clock::now()) {
  output_.fd = STDOUT_FILENO;
  const sigset_t set = watched_signals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  watcher_ = std::thread([this] { watch(); });
}

SafeOutput::~SafeOutput() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  pthread_kill(watcher_.native_handle(), kStopSignal);
  watcher_.join();
  if (pairs_.fd >= 0) ::close(pairs_.fd);
}

bool SafeOutput::open_pairs_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  pairs_.fd = fd;
  return true;
}

void SafeOutput::watch() {
  const sigset_t set = watched_signals();
  // Half a second between looks: nothing waits in the buffer much longer than that.
  const timespec tick{0, 500000000};
  for (;;) {
    siginfo_t info{};
    const int s = sigtimedwait(&set, &info, &tick);
    std::lock_guard<std::mutex> lock(mutex_);
    if (s == SIGINT || s == SIGTERM) {
      output_.buffer += closing_;
      flush_locked();
      report_interruption(s);
      _exit(128 + s);
    }
    if (stopping_) return;
    if (!output_.buffer.empty() || !pairs_.buffer.empty()) flush_locked();
  }
}

// Written with write(2) from the watcher, which ends the process right after it; a
// progress line on a terminal is cleared first.
void SafeOutput::report_interruption(int signal_number) const {
  char line[256];
  const int length = std::snprintf(
      line, sizeof line, "%s%s: stopped by %s: %zu record%s finished and written%s\n",
      isatty(STDERR_FILENO) == 1 ? "\r\033[K" : "", program_,
      signal_number == SIGINT ? "SIGINT" : "SIGTERM", records_, records_ == 1 ? "" : "s",
      record_open_ ? ", the one under way cut short after a whole structure" : "");
  if (length > 0) {
    const ssize_t ignored =
        ::write(STDERR_FILENO, line, std::min(sizeof line - 1, static_cast<size_t>(length)));
    (void)ignored;
  }
}

bool SafeOutput::append(const std::string& record, const std::string& pairs) {
  std::lock_guard<std::mutex> lock(mutex_);
  return add_locked(record, pairs);
}

bool SafeOutput::append_record(const std::string& record, const std::string& pairs) {
  std::lock_guard<std::mutex> lock(mutex_);
  records_++;
  return add_locked(record, pairs);
}

bool SafeOutput::open_record(const std::string& opening, std::string closing) {
  std::lock_guard<std::mutex> lock(mutex_);
  closing_ = std::move(closing);
  record_open_ = true;
  return add_locked(opening, {});
}

void SafeOutput::close_record() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string closing;
  closing.swap(closing_);
  record_open_ = false;
  add_locked(closing, {});
}

bool SafeOutput::add_locked(const std::string& record, const std::string& pairs) {
  output_.buffer += record;
  if (pairs_.fd >= 0) pairs_.buffer += pairs;
  if (output_.buffer.size() + pairs_.buffer.size() >= kBufferBytes ||
      Clock::now() - last_write_ >= kFlushEvery)
    flush_locked();
  return output_.error == 0;
}

bool SafeOutput::flush() {
  std::lock_guard<std::mutex> lock(mutex_);
  return flush_locked();
}

int SafeOutput::output_error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return output_.error;
}

int SafeOutput::pairs_error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pairs_.error;
}

bool SafeOutput::flush_locked() {
  last_write_ = Clock::now();
  write_out(output_);
  write_out(pairs_);
  return output_.error == 0 && pairs_.error == 0;
}

void SafeOutput::write_out(Sink& sink) {
  size_t done = 0;
  while (done < sink.buffer.size() && sink.error == 0) {
    const ssize_t wrote = ::write(sink.fd, sink.buffer.data() + done, sink.buffer.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      sink.error = wrote < 0 ? errno : EIO;
      break;
    }
    done += static_cast<size_t>(wrote);
  }
  sink.buffer.clear();
}

}  // namespace stemloop_tools

// Standard output in whole records, safe against interruption. Records are gathered in a
// buffer that goes out with write(2) within a second (half a second when records come
// slowly) and at the end. A watcher
// thread takes SIGINT and SIGTERM: it writes out what is buffered (whole records only,
// as a record enters the buffer whole) and ends the process with status 130 or 143,
// without waiting for a fold in progress, leaving one line on standard error that says
// how many records were finished (and so are in the output). A signal ignored when the program
// started stays ignored, as a shell running it in the background intends. A second file, the pair
// probabilities of --bpp, takes each record's lines together with its output, so that an
// interruption leaves both files at the same record. A record too long to hold (the band of
// --subopt) is written entry by entry between open_record and close_record; an interruption ends it
// after a whole entry, with its closing text.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace stemloop_tools {

class SafeOutput {
 public:
  // Blocks the two signals in the calling thread, and so in every thread it starts
  // later: construct before any other thread. `program` leads the interruption line.
  explicit SafeOutput(const char* program);
  ~SafeOutput();
  SafeOutput(const SafeOutput&) = delete;
  SafeOutput& operator=(const SafeOutput&) = delete;

  // Creates or empties `path` for the pair listings; false, with errno, when it cannot.
  bool open_pairs_file(const std::string& path);

  // Adds one whole record, with its lines for the pairs file; writes the buffers when a
  // second has passed since the last write. False once writing the output has failed.
  bool append(const std::string& record, const std::string& pairs = {});
  // The same for a finished record, counted for the interruption line.
  bool append_record(const std::string& record, const std::string& pairs);
  // Writes the buffers now; false when writing either file failed (see the errors).
  bool flush();
  // The errno of a failed write to standard output or to the pairs file, else 0.
  int output_error() const;
  int pairs_error() const;

  // Starts a record written in pieces with `opening`; `closing` ends it, written by
  // close_record or, after the entries appended so far, by an interruption.
  bool open_record(const std::string& opening, std::string closing);
  void close_record();

  // Runs `work` (e.g. writing a record's file) so that no signal ends the process halfway.
  template <class Work>
  void whole(Work work) {
    std::lock_guard<std::mutex> lock(mutex_);
    work();
  }

 private:
  using Clock = std::chrono::steady_clock;
  struct Sink {
    int fd = -1;
    std::string buffer;
    int error = 0;
  };
  bool add_locked(const std::string& record, const std::string& pairs);
  bool flush_locked();
  static void write_out(Sink& sink);
  void watch();
  void report_interruption(int signal_number) const;

  const char* program_;
  mutable std::mutex mutex_;
  size_t records_ = 0;        // finished records appended
  bool record_open_ = false;  // a record written in pieces is under way
  Sink output_;
  Sink pairs_;
  std::string closing_;  // of the record being written in pieces
  Clock::time_point last_write_;
  bool stopping_ = false;
  std::thread watcher_;
};

}  // namespace stemloop_tools

// Helpers shared by the test suites: running code or commands in a child process and
// capturing what it prints and how it ends.
#pragma once

#include <functional>
#include <string>

namespace testing_support {

struct ChildResult {
  int status = -1;       // exit status, or -1 when killed by a signal
  std::string out;       // standard output
  std::string err;       // standard error
};

// Runs `body` in a forked child with stdout and stderr captured; the child exits 0 when
// `body` returns.
ChildResult run_in_child(const std::function<void()>& body);

// Runs a shell command with `input` on its standard input.
ChildResult run_command(const std::string& command, const std::string& input = "");

}  // namespace testing_support

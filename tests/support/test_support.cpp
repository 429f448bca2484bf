#include "support/test_support.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace testing_support {
namespace {

// Reads an anonymous temporary file from its start, and closes it.
std::string take_file(FILE* f) {
  std::string s;
  std::rewind(f);
  for (int c; (c = std::getc(f)) != EOF;) s += static_cast<char>(c);
  std::fclose(f);
  return s;
}

}  // namespace

ChildResult run_in_child(const std::function<void()>& body) {
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  fflush(stdout);
  fflush(stderr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (dup2(fileno(out), 1) < 0 || dup2(fileno(err), 2) < 0) _exit(99);
    body();
    fflush(stdout);
    fflush(stderr);
    _exit(0);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, take_file(out), take_file(err)};
}

std::string random_sequence(std::mt19937& rng, int n, double gc) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::string s;
  for (int k = 0; k < n; k++) {
    const bool strong = u(rng) < gc, first = u(rng) < 0.5;
    s += strong ? (first ? 'G' : 'C') : (first ? 'A' : 'U');
  }
  return s;
}

std::string random_constraint(std::mt19937& rng, int n) {
  static const char kSingles[] = "..........xx<>|||";
  std::string s;
  for (int k = 0, open = 0; k < n; k++) {
    const unsigned r = rng() % 12;
    if (open == n - k || (r == 0 && open > 0))
      s += ')', open--;
    else if (r == 1 && open + 1 < n - k)
      s += '(', open++;
    else
      s += kSingles[rng() % (sizeof(kSingles) - 1)];
  }
  return s;
}

std::string random_structure(std::mt19937& rng, int n) {
  std::string s(static_cast<size_t>(n), '.');
  std::vector<int> open;
  for (int k = 0; k < n; k++) {
    const unsigned r = rng() % 3;
    if (!open.empty() && (static_cast<int>(open.size()) == n - k || r == 0) &&
        k - open.back() >= 4) {
      s[static_cast<size_t>(k)] = ')', s[static_cast<size_t>(open.back())] = '(';
      open.pop_back();
    } else if (r == 1) {
      open.push_back(k);
    }
  }
  return s;  // '(' without a partner stay dots
}

}  // namespace testing_support

#include "support/test_support.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace testing_support {
namespace {

// Reads and removes a temporary file.
std::string take_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  std::remove(path.c_str());
  return ss.str();
}

std::string temp_path() {
  char name[] = "/tmp/stemloop_testXXXXXX";
  const int fd = mkstemp(name);
  if (fd >= 0) close(fd);
  return name;
}

}  // namespace

ChildResult run_in_child(const std::function<void()>& body) {
  const std::string out_path = temp_path(), err_path = temp_path();
  fflush(stdout);
  fflush(stderr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (!freopen(out_path.c_str(), "w", stdout) || !freopen(err_path.c_str(), "w", stderr)) {
      _exit(99);
    }
    body();
    fflush(stdout);
    fflush(stderr);
    _exit(0);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  ChildResult r;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  r.out = take_file(out_path);
  r.err = take_file(err_path);
  return r;
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
  std::string s(static_cast<size_t>(n), '.');
  int open = 0;
  for (int k = 0; k < n; k++) {
    const int left = n - k;
    const unsigned r = rng() % 12;
    if (open == left || (r == 0 && open > 0)) {
      s[static_cast<size_t>(k)] = ')';
      open--;
    } else if (r == 1 && open + 1 < left) {
      s[static_cast<size_t>(k)] = '(';
      open++;
    } else {
      s[static_cast<size_t>(k)] = kSingles[rng() % (sizeof(kSingles) - 1)];
    }
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
      s[static_cast<size_t>(k)] = ')';
      s[static_cast<size_t>(open.back())] = '(';
      open.pop_back();
    } else if (r == 1) {
      open.push_back(k);
    }
  }
  return s;  // '(' without a partner stay dots
}

}  // namespace testing_support

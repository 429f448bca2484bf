#include "support/test_support.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace testing_support {
namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string temp_path(const char* tag) {
  char name[] = "/tmp/stemloop_testXXXXXX";
  int fd = mkstemp(name);
  if (fd >= 0) close(fd);
  return std::string(name) + tag;
}

}  // namespace

ChildResult run_in_child(const std::function<void()>& body) {
  std::string out_path = temp_path(".out"), err_path = temp_path(".err");
  fflush(stdout);
  fflush(stderr);
  pid_t pid = fork();
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
  r.out = slurp(out_path);
  r.err = slurp(err_path);
  std::remove(out_path.c_str());
  std::remove(err_path.c_str());
  return r;
}

ChildResult run_command(const std::string& command, const std::string& input) {
  std::string in_path = temp_path(".in"), out_path = temp_path(".out"),
              err_path = temp_path(".err");
  {
    std::ofstream in(in_path, std::ios::binary);
    in << input;
  }
  std::string full = command + " <" + in_path + " >" + out_path + " 2>" + err_path;
  int wstatus = std::system(full.c_str());
  ChildResult r;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  r.out = slurp(out_path);
  r.err = slurp(err_path);
  std::remove(in_path.c_str());
  std::remove(out_path.c_str());
  std::remove(err_path.c_str());
  return r;
}

}  // namespace testing_support

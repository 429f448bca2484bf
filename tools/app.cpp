#include "app.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "stemloop/version.h"

namespace stemloop_tools {
namespace {

// Why `path` cannot be read, or an empty string when it can.
std::string unreadable(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return std::strerror(errno);
  if (S_ISDIR(info.st_mode)) return std::strerror(EISDIR);
  std::ifstream file(path, std::ios::binary);
  if (!file) return errno != 0 ? std::strerror(errno) : "cannot open";
  return {};
}

}  // namespace

std::optional<ToolOptions> start(Program program, const char* name, int argc, char** argv,
                                 int& status) {
  ToolOptions opts;
  try {
    opts = parse_options(program, argc, argv);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "%s: %s (see %s --help)\n", name, e.what(), name);
    status = kExitUsage;
    return std::nullopt;
  }
  if (opts.help) {
    std::fputs(usage(program, name).c_str(), stdout);
    status = kExitOk;
    return std::nullopt;
  }
  if (opts.version) {
    std::printf("%s %s\nparameters: %s (%s)\n", name, STEMLOOP_VERSION, STEMLOOP_PARAMETERS,
                STEMLOOP_PARAMETERS_REFERENCE);
    status = kExitOk;
    return std::nullopt;
  }
  for (const std::string& input : opts.inputs) {
    if (input == "-") continue;
    const std::string why = unreadable(input);
    if (!why.empty()) {
      std::fprintf(stderr, "%s: cannot read '%s': %s\n", name, input.c_str(), why.c_str());
      status = kExitUsage;
      return std::nullopt;
    }
  }
  return opts;
}

int for_each_input(const char* name, const std::vector<std::string>& inputs,
                   const std::function<void(std::istream&)>& read) {
  if (inputs.empty()) {
    read(std::cin);
    return kExitOk;
  }
  for (const std::string& input : inputs) {
    if (input == "-") {
      read(std::cin);
      continue;
    }
    std::ifstream file(input, std::ios::binary);
    if (!file) {
      std::fprintf(stderr, "%s: cannot read '%s': %s\n", name, input.c_str(), std::strerror(errno));
      return kExitUsage;
    }
    read(file);
  }
  return kExitOk;
}

std::string describe(const stemloop::Error& error, const char* what) {
  if (error.position() <= 0) return error.what();
  return std::string(what) + " position " + std::to_string(error.position()) + ": " + error.what();
}

std::string refusal(const char* name, const std::string& label, const std::string& why) {
  return std::string(name) + ": " + label + ": " + why + "\n";
}

Reporter::~Reporter() {
  if (pairs_file_) std::fclose(pairs_file_);
}

bool Reporter::open_pairs_file(const std::string& path) {
  pairs_file_ = std::fopen(path.c_str(), "w");
  return pairs_file_ != nullptr;
}

void Reporter::write(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void Reporter::take(Outcome& outcome) {
  if (!outcome.err.empty()) {
    progress_.clear();
    std::fflush(stdout);  // keeps messages next to their records when both go to a terminal
    std::fputs(outcome.err.c_str(), stderr);
  }
  write(outcome.out);
  if (pairs_file_) std::fwrite(outcome.pairs.data(), 1, outcome.pairs.size(), pairs_file_);
  refused_ = refused_ || outcome.refused;
  progress_.record_done();
}

int Reporter::finish(const char* name, int input_status) {
  progress_.clear();
  if (pairs_file_ && (std::fflush(pairs_file_) != 0 || std::ferror(pairs_file_))) {
    std::fprintf(stderr, "%s: cannot write the pair probabilities: %s\n", name,
                 std::strerror(errno));
    return kExitUsage;
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "%s: cannot write the output: %s\n", name, std::strerror(errno));
    return kExitUsage;
  }
  if (input_status != kExitOk) return input_status;
  return refused_ ? kExitBadRecord : kExitOk;
}

}  // namespace stemloop_tools

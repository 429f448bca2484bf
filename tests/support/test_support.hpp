// Helpers shared by the test suites: a child process with captured output, and random
// sequences, constraint strings and structures from a seeded generator.
#pragma once

#include <functional>
#include <random>
#include <string>

namespace testing_support {

struct ChildResult {
  int status = -1;  // exit status, or -1 when killed by a signal
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs `body` in a forked child with stdout and stderr captured; the child exits 0 when
// `body` returns.
ChildResult run_in_child(const std::function<void()>& body);

// Random RNA of length n; `gc` is the share of G and C.
std::string random_sequence(std::mt19937& rng, int n, double gc = 0.5);

// A balanced constraint string of length n using every constraint character.
std::string random_constraint(std::mt19937& rng, int n);

// A random balanced dot-bracket structure whose pairs enclose at least three bases.
std::string random_structure(std::mt19937& rng, int n);

}  // namespace testing_support

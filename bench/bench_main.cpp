// Folding speed and memory on fixed-seed random sequences. Each length is folded in a
// child process so that its peak memory is its own.
//
//   stemloop_bench            lengths 100 .. 5000 and the batch throughput
//   stemloop_bench --long     also 10000 and 30000
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "stemloop/ensemble.hpp"
#include "stemloop/folder.hpp"
#include "stemloop/model.hpp"
#include "stemloop/subopt.hpp"

namespace {

std::string random_rna(std::mt19937& rng, int n) {
  static const char kBases[] = "ACGU";
  std::string s(static_cast<size_t>(n), 'A');
  for (auto& ch : s) ch = kBases[rng() % 4];
  return s;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double peak_mb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

// Runs `body` in a child process, so that the peak memory it reports is its own.
template <class Body>
void in_child(Body body) {
  std::fflush(stdout);
  if (fork() == 0) {
    body();
    std::fflush(stdout);
    _exit(0);
  }
  int status = 0;
  wait(&status);
}

// A constraint that brackets every position: nested pairs of the outermost bases in
// turn, the middle left unpaired.
std::string full_brackets(int n) {
  std::string c(static_cast<size_t>(n), '.');
  for (int k = 0; k + 4 < n - 1 - k; k++) {
    c[static_cast<size_t>(k)] = '(';
    c[static_cast<size_t>(n - 1 - k)] = ')';
  }
  return c;
}

// Folds one sequence of length n in a child, in dangle mode `dangles`, optionally under a
// fully bracketed constraint; prints seconds, peak MB and cells per second.
void bench_length(int n, int threads, int dangles = 1, bool bracketed = false) {
  in_child([&] {
    std::mt19937 rng(static_cast<unsigned>(n));
    const std::string seq = random_rna(rng, n);
    const std::string constraint = full_brackets(n);
    const stemloop::Model model;
    stemloop::Folder folder;
    const auto start = std::chrono::steady_clock::now();
    stemloop::FoldOptions options;
    options.threads = threads;
    options.dangles = dangles;
    const stemloop::FoldResult r =
        folder.fold(model, options, seq, bracketed ? constraint.c_str() : nullptr);
    const double secs = seconds_since(start);
    const double cells = 0.5 * n * (n + 1.0);
    std::printf("%8d %8d %8s %10.3f %10.1f %14.3g %10.2f\n", n, threads,
                bracketed ? "-C" : ("-d" + std::to_string(dangles)).c_str(), secs, peak_mb(),
                cells / secs, r.kcal);
  });
}

// The partition function and every pair probability of one sequence of length n, in a
// child; prints seconds and peak MB.
void bench_ensemble(int n, int threads) {
  in_child([&] {
    std::mt19937 rng(static_cast<unsigned>(n));
    const std::string seq = random_rna(rng, n);
    const stemloop::Model model;
    stemloop::Ensemble ensemble;
    stemloop::EnsembleOptions options;
    options.threads = threads;
    const auto start = std::chrono::steady_clock::now();
    ensemble.compute(model, options, seq);
    const double secs = seconds_since(start);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%8d %8d %10.3f %10.1f %14.4f\n", n, threads, secs, peak_mb(),
                ensemble.free_energy());
  });
}

// Folds `count` sequences of `length` bases on `threads` threads, one Folder each.
void bench_batch(int count, int length, int threads) {
  std::mt19937 rng(2026);
  std::vector<std::string> seqs;
  for (int k = 0; k < count; k++) seqs.push_back(random_rna(rng, length));
  const stemloop::Model model;
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; t++) {
    pool.emplace_back([&, t] {
      stemloop::Folder folder;
      for (size_t k = static_cast<size_t>(t); k < seqs.size(); k += static_cast<size_t>(threads))
        folder.fold(model, stemloop::FoldOptions{}, seqs[k]);
    });
  }
  for (auto& th : pool) th.join();
  const double secs = seconds_since(start);
  std::printf("batch: %d sequences of %d bases on %d thread(s): %.2f s, %.0f sequences/s\n", count,
              length, threads, secs, count / secs);
}

// The first `count` structures of a band of `delta` kcal/mol of a 200-base sequence,
// streamed, in a child so that the peak memory is the enumeration's own.
void bench_band(int delta, size_t count) {
  in_child([&] {
    std::mt19937 rng(200);
    const std::string seq = random_rna(rng, 200);
    const stemloop::Model model;
    const auto start = std::chrono::steady_clock::now();
    const stemloop::SuboptFolder folder(model, stemloop::SuboptOptions{}, seq);
    stemloop::BandOptions band;
    band.delta = 100 * delta;
    band.max_structures = count;
    const size_t found = folder.band(band, [](const std::string&, int) { return true; });
    std::printf("subopt band: 200 bases, %d kcal/mol, first %zu structures: %.3f s, peak %.1f MB\n",
                delta, found, seconds_since(start), peak_mb());
  });
}

// The best structure through every pair and ten distinct structures, against the MFE
// fold of the same sequence (both mode 2).
void bench_zuker(int n) {
  in_child([&] {
    std::mt19937 rng(static_cast<unsigned>(n));
    const std::string seq = random_rna(rng, n);
    const stemloop::Model model;
    stemloop::FoldOptions fo;
    fo.dangles = 2;
    auto start = std::chrono::steady_clock::now();
    stemloop::Folder().fold(model, fo, seq);
    const double fold = seconds_since(start);
    start = std::chrono::steady_clock::now();
    const stemloop::ZukerResult r = stemloop::SuboptFolder(model, stemloop::SuboptOptions{}, seq)
                                        .zuker(stemloop::ZukerOptions{});
    const double zuker = seconds_since(start);
    std::printf(
        "zuker: %d bases, %zu structures: %.3f s (MFE fold %.3f s, ratio %.1f), peak %.1f MB\n", n,
        r.structures.size(), zuker, fold, zuker / fold, peak_mb());
  });
}

}  // namespace

int main(int argc, char** argv) {
  const bool long_runs = argc > 1 && std::strcmp(argv[1], "--long") == 0;
  std::vector<int> lengths = {100, 200, 500, 1000, 2000, 5000};
  if (long_runs) {
    lengths.push_back(10000);
    lengths.push_back(30000);
  }
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  std::printf(
      "single sequence: default options (-d1), coaxial stacking (-d3), a fully\n"
      "bracketed constraint (-C)\n");
  std::printf("%8s %8s %8s %10s %10s %14s %10s\n", "n", "threads", "mode", "seconds", "peak MB",
              "cells/s", "kcal/mol");
  for (int n : lengths) {
    bench_length(n, 1);
    if (cores > 1) bench_length(n, 2);
    if (n <= 10000) bench_length(n, 1, 3);
    if (n >= 1000 && n <= 5000) bench_length(n, 1, 1, true);
  }
  std::printf("ensemble: partition function and pair probabilities, dangle mode 2\n");
  std::printf("%8s %8s %10s %10s %14s\n", "n", "threads", "seconds", "peak MB", "G kcal/mol");
  for (int n : {1000, 2000, 5000}) {
    bench_ensemble(n, 1);
    if (cores > 1) bench_ensemble(n, 2);
  }
  bench_band(5, 100000);
  bench_band(10, 3000000);
  bench_zuker(1000);
  bench_batch(10000, 200, 1);
  if (cores > 1) bench_batch(10000, 200, static_cast<int>(cores));
  return 0;
}

// Folding speed and memory on fixed-seed random sequences, then the speed targets with
// their measured values. Each measurement runs in a child process so that its peak
// memory is its own.
//
//   stemloop_bench            lengths 100 .. 10000, the ensemble, suboptimal structures,
//                             batches, and the targets
//   stemloop_bench --long     also 30000 bases and coaxial stacking at 10000
//
// The batches of the targets run stemloop-fold from the build folder (next to this
// program's folder) on a file of records, timed as whole processes.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

// Measurements that a target reads are repeated, and the fastest run counts: on a
// shared machine other work only ever slows a run down.
constexpr int kRuns = 3;

std::string random_rna(std::mt19937& rng, int n) {
  static const char kBases[] = "ACGU";
  std::string s(static_cast<size_t>(n), 'A');
  for (auto& ch : s) ch = kBases[rng() % 4];
  return s;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// User and system seconds of this process so far: on a shared machine, unlike the wall
// clock, they do not count the time other work holds the core.
double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         1e-6 * (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

double peak_mb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

// Runs `body` in a child process, so that the peak memory it reports is its own, and
// returns the value it returns (plain numbers); NAN values when the child fails.
template <class Body>
auto in_child(Body body) {
  using Value = decltype(body());
  Value value;
  std::fill_n(reinterpret_cast<double*>(&value), sizeof value / sizeof(double), NAN);
  std::fflush(stdout);
  int channel[2];
  if (pipe(channel) != 0) return value;
  if (fork() == 0) {
    close(channel[0]);
    const Value result = body();
    std::fflush(stdout);
    if (write(channel[1], &result, sizeof result) != sizeof result) _exit(1);
    _exit(0);
  }
  close(channel[1]);
  Value result;
  if (read(channel[0], &result, sizeof result) == sizeof result) value = result;
  close(channel[0]);
  int status = 0;
  wait(&status);
  return value;
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

// One row of the single-sequence table: the fastest of the runs of one configuration.
struct FoldRow {
  int n, threads, dangles;
  bool bracketed;
  double wall = INFINITY, cpu = INFINITY, peak = 0;
  int energy = 0;

  // Folds the sequence of length n once in a child, in dangle mode `dangles`, optionally
  // under a fully bracketed constraint.
  void run() {
    const std::array<double, 4> r = in_child([&] {
      std::mt19937 rng(static_cast<unsigned>(n));
      const std::string seq = random_rna(rng, n);
      const std::string constraint = full_brackets(n);
      const stemloop::Model model;
      stemloop::Folder folder;
      stemloop::FoldOptions options;
      options.threads = threads;
      options.dangles = dangles;
      const auto start = std::chrono::steady_clock::now();
      const double started = cpu_seconds();
      const stemloop::FoldResult folded =
          folder.fold(model, options, seq, bracketed ? constraint.c_str() : nullptr);
      return std::array<double, 4>{seconds_since(start), cpu_seconds() - started, peak_mb(),
                                   static_cast<double>(folded.energy)};
    });
    wall = std::min(wall, r[0]);
    cpu = std::min(cpu, r[1]);
    peak = std::max(peak, r[2]);
    energy = static_cast<int>(r[3]);
  }

  // Wall and CPU seconds, peak MB, cells per (wall) second and the energy.
  void print() const {
    const double cells = 0.5 * n * (n + 1.0);
    std::printf("%8d %8d %8s %10.3f %10.3f %10.1f %14.3g %10.2f\n", n, threads,
                bracketed ? "-C" : ("-d" + std::to_string(dangles)).c_str(), wall, cpu, peak,
                cells / wall, energy / 100.0);
  }
};

// The partition function and every pair probability of one sequence of length n, in a
// child; prints wall and CPU seconds and peak MB, and returns both.
std::array<double, 2> bench_ensemble(int n, int threads) {
  return in_child([&] {
    std::mt19937 rng(static_cast<unsigned>(n));
    const std::string seq = random_rna(rng, n);
    const stemloop::Model model;
    stemloop::Ensemble ensemble;
    stemloop::EnsembleOptions options;
    options.threads = threads;
    const auto start = std::chrono::steady_clock::now();
    const double cpu_start = cpu_seconds();
    ensemble.compute(model, options, seq);
    const double secs = seconds_since(start), cpu_secs = cpu_seconds() - cpu_start;
    std::printf("%8d %8d %10.3f %10.3f %10.1f %14.4f\n", n, threads, secs, cpu_secs, peak_mb(),
                ensemble.free_energy());
    return std::array<double, 2>{secs, cpu_secs};
  });
}

// The fixed-seed random sequences of the batches.
std::vector<std::string> batch_sequences(int count, int length) {
  std::mt19937 rng(2026);
  std::vector<std::string> seqs;
  for (int k = 0; k < count; k++) seqs.push_back(random_rna(rng, length));
  return seqs;
}

// Folds `count` sequences of `length` bases on `threads` threads through the library,
// one Folder each; returns sequences per second.
double bench_batch(int count, int length, int threads) {
  const std::vector<std::string> seqs = batch_sequences(count, length);
  const stemloop::Model model;
  const auto start = std::chrono::steady_clock::now();
  const double cpu = cpu_seconds();
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; t++) {
    pool.emplace_back([&, t] {
      stemloop::Folder folder;
      for (size_t k = static_cast<size_t>(t); k < seqs.size(); k += static_cast<size_t>(threads))
        folder.fold(model, stemloop::FoldOptions{}, seqs[k]);
    });
  }
  for (auto& th : pool) th.join();
  const double secs = seconds_since(start), cpu_secs = cpu_seconds() - cpu;
  std::printf(
      "batch, library: %d sequences of %d bases on %d thread(s): %.2f s (%.2f CPU s), "
      "%.0f sequences/s per CPU second\n",
      count, length, threads, secs, cpu_secs, count / cpu_secs);
  return count / cpu_secs;
}

// Wall and CPU seconds of one run of `argv` with standard output thrown away; NAN when
// it fails.
std::array<double, 2> run_seconds(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::fflush(stdout);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    execv(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  const double secs = seconds_since(start);
  const double cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                     1e-6 * (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {NAN, NAN};
  return {secs, cpu};
}

// Records per CPU second (per thread) of stemloop-fold on `count` records of `length`
// bases, the whole process timed (start-up, reading, folding, writing), fastest of `runs`.
double bench_tool_batch(const std::string& tool, int count, int length, int threads, bool ensemble,
                        int runs) {
  char path[] = "/tmp/stemloop_bench_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return NAN;
  std::string text;
  int k = 0;
  for (const std::string& s : batch_sequences(count, length))
    text += ">r" + std::to_string(k++) + "\n" + s + "\n";
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  double wall = INFINITY, cpu = INFINITY;
  if (written) {
    std::vector<std::string> argv = {tool, "-j", std::to_string(threads)};
    if (ensemble) argv.push_back("-p");
    argv.push_back(path);
    for (int run = 0; run < runs; run++) {
      const std::array<double, 2> r = run_seconds(argv);
      wall = std::min(wall, r[0]);
      cpu = std::min(cpu, r[1]);
    }
  }
  unlink(path);
  std::printf(
      "batch, stemloop-fold -j %d%s: %d records of %d bases: %.2f s (%.2f CPU s), %.0f "
      "records per CPU second\n",
      threads, ensemble ? " -p" : "", count, length, wall, cpu, count / cpu);
  return count / cpu;
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
    return 0.0;
  });
}

// The best structure through every pair and ten distinct structures, against the MFE
// fold of the same sequence (both mode 2), fastest of `runs` each; returns the ratio.
double bench_zuker(int n, int runs) {
  std::mt19937 rng(static_cast<unsigned>(n));
  const std::string seq = random_rna(rng, n);
  auto fold_seconds = [&] {
    return in_child([&] {
      const stemloop::Model model;
      stemloop::FoldOptions fo;
      fo.dangles = 2;
      const double start = cpu_seconds();
      stemloop::Folder().fold(model, fo, seq);
      return cpu_seconds() - start;
    });
  };
  auto zuker_seconds = [&] {
    return in_child([&] {
      const stemloop::Model model;
      const double start = cpu_seconds();
      const stemloop::ZukerResult r = stemloop::SuboptFolder(model, stemloop::SuboptOptions{}, seq)
                                          .zuker(stemloop::ZukerOptions{});
      const double secs = cpu_seconds() - start;
      std::printf("zuker: %d bases, %zu structures: %.3f CPU s, peak %.1f MB\n", n,
                  r.structures.size(), secs, peak_mb());
      return secs;
    });
  };
  // Taking turns, so that the ratio compares runs made under the same load.
  double fold = INFINITY, zuker = INFINITY;
  for (int run = 0; run < runs; run++) {
    fold = std::min(fold, fold_seconds());
    zuker = std::min(zuker, zuker_seconds());
  }
  std::printf("zuker: fastest %.3f CPU s against the MFE fold's %.3f (mode 2): ratio %.2f\n", zuker,
              fold, zuker / fold);
  return zuker / fold;
}

// One target of the issue: what, the bound, the measured value, and whether the bound
// is a maximum (times, ratios) or a minimum (rates).
struct Target {
  std::string what;
  double bound;
  bool at_most;
  double measured;
  const char* unit;
};

void print_targets(const std::vector<Target>& targets) {
  std::printf(
      "\ntargets (one thread unless said; CPU seconds, the fastest of up to %d runs; the\n"
      "speed-up of two threads in wall seconds)\n",
      kRuns);
  std::printf("  %-52s %16s %12s  %s\n", "target", "bound", "measured", "verdict");
  for (const Target& t : targets) {
    const char* verdict = "not measured";
    if (std::isnan(t.bound))
      verdict = "no bound set";
    else if (!std::isnan(t.measured))
      verdict = (t.at_most ? t.measured <= t.bound : t.measured >= t.bound) ? "met" : "missed";
    char bound[32] = "-";
    if (!std::isnan(t.bound))
      std::snprintf(bound, sizeof bound, "%s %.4g%s", t.at_most ? "<=" : ">=", t.bound, t.unit);
    std::printf("  %-52s %16s %11.4g%s  %s\n", t.what.c_str(), bound, t.measured, t.unit, verdict);
  }
}

// stemloop-fold in the build folder: this program lives in its bench/ subfolder.
std::string fold_tool() {
  char self[4096];
  const ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
  if (len <= 0) return "stemloop-fold";
  std::string path(self, static_cast<size_t>(len));
  path = path.substr(0, path.rfind('/'));
  return path.substr(0, path.rfind('/')) + "/stemloop-fold";
}

}  // namespace

int main(int argc, char** argv) {
  const bool long_runs = argc > 1 && std::strcmp(argv[1], "--long") == 0;
  std::vector<int> lengths = {100, 200, 500, 1000, 2000, 5000, 10000};
  if (long_runs) lengths.push_back(30000);
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  std::vector<Target> targets;
  std::printf(
      "single sequence: default options (-d1), coaxial stacking (-d3), a fully\n"
      "bracketed constraint (-C); one thread's rows at 2000 to 10000 bases are the fastest\n"
      "of %d runs\n",
      kRuns);
  std::printf("%8s %8s %8s %10s %10s %10s %14s %10s\n", "n", "threads", "mode", "seconds", "CPU s",
              "peak MB", "cells/s", "kcal/mol");
  for (int n : lengths) {
    const int runs = n >= 2000 && n <= 10000 ? kRuns : 1;
    FoldRow fold{n, 1, 1, false}, two{n, 2, 1, false}, coaxial{n, 1, 3, false},
        bracketed{n, 1, 1, true};
    const bool with_coaxial = n < 10000 || (long_runs && n == 10000);
    // The default and the coaxial fold take turns, so that their ratio compares runs
    // made under the same load.
    for (int run = 0; run < runs; run++) {
      fold.run();
      if (with_coaxial) coaxial.run();
    }
    fold.print();
    if (cores > 1) two.run(), two.print();
    if (with_coaxial) coaxial.print();
    if (n >= 1000 && n <= 5000) bracketed.run(), bracketed.print();
    if (n == 2000 || n == 5000 || n == 10000) {
      const double bound = n == 2000 ? 0.15 : n == 5000 ? 0.85 : 4.5;
      targets.push_back({"fold, " + std::to_string(n) + " bases", bound, true, fold.cpu, " s"});
    }
    if (n == 2000 || n == 5000)
      targets.push_back({"-d 3 against the default fold, " + std::to_string(n) + " bases", 2.0,
                         true, coaxial.cpu / fold.cpu, "x"});
  }

  std::printf("ensemble: partition function and pair probabilities, dangle mode 2\n");
  std::printf("%8s %8s %10s %10s %10s %14s\n", "n", "threads", "seconds", "CPU s", "peak MB",
              "G kcal/mol");
  for (int n : {1000, 2000, 5000}) {
    const std::array<double, 2> one = bench_ensemble(n, 1);
    const double two = cores > 1 ? bench_ensemble(n, 2)[0] : NAN;
    const double bound = n == 1000 ? 0.3 : n == 2000 ? 2.0 : 15.0;
    targets.push_back({"-p, " + std::to_string(n) + " bases", bound, true, one[1], " s"});
    targets.push_back({"-p, " + std::to_string(n) + " bases, 2 threads' speed-up (wall)",
                       n == 5000 ? 1.7 : NAN, false, one[0] / two, "x"});
  }

  bench_band(5, 100000);
  bench_band(10, 3000000);
  targets.push_back(
      {"--zuker against the MFE fold, 1000 bases", 3.0, true, bench_zuker(1000, kRuns), "x"});

  bench_batch(2000, 200, 1);
  if (cores > 1) bench_batch(2000, 200, static_cast<int>(cores));
  const std::string tool = fold_tool();
  targets.push_back({"batch of 2000 x 200 bases, stemloop-fold, records/s", 2000, false,
                     bench_tool_batch(tool, 2000, 200, 1, false, kRuns), "/s"});
  if (cores > 1) bench_tool_batch(tool, 2000, 200, 2, false, 1);
  targets.push_back({"batch of 2000 x 200 bases, stemloop-fold -p, records/s", 250, false,
                     bench_tool_batch(tool, 2000, 200, 1, true, 1), "/s"});

  print_targets(targets);
  return 0;
}

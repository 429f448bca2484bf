// The wavefront of blocks and the dot product both ensemble passes spend their time in.
#include "ensemble/ensemble_schedule.hpp"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "threads/run_workers.hpp"

namespace stemloop {

int ring_rows(int threads, int reach) {
  int rows = 64;
  while (rows < (threads + 1) * kBlockRows + reach + 1) rows *= 2;
  return rows;
}

bool run_wavefront(int rows, int steps, int threads,
                   const std::function<bool(int, int, int)>& step) {
  const int blocks = (rows + kBlockRows - 1) / kBlockRows;
  // done[b]: steps block b has finished; a stopped block counts as finished.
  std::vector<std::atomic<int>> done(static_cast<size_t>(blocks));
  for (auto& d : done) d.store(0, std::memory_order_relaxed);
  std::atomic<bool> stopped{false};
  run_workers(std::clamp(threads, 1, std::max(1, blocks)), [&](int w, int workers) {
    for (int b = w; b < blocks; b += workers) {
      const int first = b * kBlockRows, last = std::min(rows, first + kBlockRows) - 1;
      for (int c = 0; c < steps; c++) {
        if (b > 0) {
          for (int spins = 0;
               done[static_cast<size_t>(b - 1)].load(std::memory_order_acquire) <= c &&
               !stopped.load(std::memory_order_relaxed);
               spins++)
            if (spins > 64) std::this_thread::yield();
        }
        bool go = false;
        try {
          go = !stopped.load(std::memory_order_relaxed) && step(first, last, c);
        } catch (...) {
          // the others stop too rather than wait for this block; the caller gets the error
          stopped.store(true, std::memory_order_relaxed);
          throw;
        }
        if (!go) {
          stopped.store(true, std::memory_order_relaxed);
          done[static_cast<size_t>(b)].store(steps, std::memory_order_release);
          break;
        }
        done[static_cast<size_t>(b)].store(c + 1, std::memory_order_release);
      }
    }
  });
  return !stopped.load();
}

namespace {

// Thirty-two running sums, added up in a fixed order: the compiler turns the body into
// vector code for the widest instructions it is compiled for, with enough independent
// sums to keep the adder busy. Inlined into each variant, so that each is compiled for
// its own instructions (called, the wider variants would run the portable code).
constexpr int kLanes = 32;
__attribute__((always_inline)) inline double dot_body(const double* a, const double* b, int count) {
  if (count < kLanes / 2) {
    double sum = 0.0;
    for (int k = 0; k < count; k++) sum += a[k] * b[k];
    return sum;
  }
  double acc[kLanes] = {};
  int k = 0;
  for (; k + kLanes <= count; k += kLanes)
    for (int m = 0; m < kLanes; m++) acc[m] += a[k + m] * b[k + m];
  for (int m = 0; k + m < count; m++) acc[m] += a[k + m] * b[k + m];
  for (int m = 0; m < 16; m++) acc[m] += acc[m + 16];
  for (int m = 0; m < 8; m++) acc[m] += acc[m + 8];
  for (int m = 0; m < 4; m++) acc[m] += acc[m + 4];
  return (acc[0] + acc[2]) + (acc[1] + acc[3]);
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target("avx512f"))) double dot_avx512(const double* a, const double* b, int count) {
  return dot_body(a, b, count);
}
__attribute__((target("avx2"))) double dot_avx2(const double* a, const double* b, int count) {
  return dot_body(a, b, count);
}
using DotFn = double (*)(const double*, const double*, int);
DotFn best_dot() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) return dot_avx512;
  if (__builtin_cpu_supports("avx2")) return dot_avx2;
  return dot_body;
}
#endif

}  // namespace

double dot(const double* a, const double* b, int count) {
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
  static const DotFn fn = best_dot();
  return fn(a, b, count);
#else
  return dot_body(a, b, count);
#endif
}

}  // namespace stemloop

// The ring size and the dot product both ensemble passes spend their time in.
#include "ensemble/ensemble_schedule.hpp"

#include <algorithm>
#include <vector>

namespace stemloop {

int ring_rows(int threads, int reach) {
  int rows = 64;
  while (rows < (threads + 1) * kBlockRows + reach + 1) rows *= 2;
  return rows;
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

// Lanes 1 .. 14 have 16 to 29 products: dot()'s running sums, one product each (the
// others stay 0), added up as there. Lanes 15 .. 29 have fewer than 16: one running sum
// each. Lane l reads only its 30 - l products, lane 0 those of lane 1: the values past
// them may still be in the making on another thread.
__attribute__((always_inline)) inline void window_body(const double* data, size_t stride,
                                                       const double (*w)[kWindowLanes],
                                                       double* out) {
  double t[16][16] = {};
  for (int m = 0; m < 16; m++) {
    const double* d = data + static_cast<size_t>(m) * stride;
    const int lanes = std::min(16, 30 - m);
    for (int l = 0; l < lanes; l++) t[m][l] = d[l] * w[m][l];
  }
  for (int m = 0; m < 14; m++) {
    const double* d = data + static_cast<size_t>(m + 16) * stride;
    for (int l = 0; l < 14 - m; l++) t[m][l] += d[l] * w[m + 16][l];
  }
  for (int m = 0; m < 8; m++)
    for (int l = 0; l < 16; l++) t[m][l] += t[m + 8][l];
  for (int m = 0; m < 4; m++)
    for (int l = 0; l < 16; l++) t[m][l] += t[m + 4][l];
  for (int l = 1; l < 15; l++) out[l] = (t[0][l] + t[2][l]) + (t[1][l] + t[3][l]);
  double s[16] = {};
  for (int k = 0; k < 15; k++) {
    const double* d = data + static_cast<size_t>(k) * stride + 15;
    for (int l = 0; l < 15 - k; l++) s[l] += d[l] * w[k][15 + l];
  }
  for (int l = 0; l < 15; l++) out[15 + l] = s[l];
}

// Both kernels compiled for one instruction set.
struct EnsembleKernels {
  double (*dot)(const double*, const double*, int);
  void (*windows)(const double*, size_t, const double (*)[kWindowLanes], double*);
};

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target("avx512f"))) double dot_avx512(const double* a, const double* b, int count) {
  return dot_body(a, b, count);
}
__attribute__((target("avx512f"))) void windows_avx512(const double* data, size_t stride,
                                                       const double (*w)[kWindowLanes],
                                                       double* out) {
  window_body(data, stride, w, out);
}
__attribute__((target("avx2"))) double dot_avx2(const double* a, const double* b, int count) {
  return dot_body(a, b, count);
}
__attribute__((target("avx2"))) void windows_avx2(const double* data, size_t stride,
                                                  const double (*w)[kWindowLanes], double* out) {
  window_body(data, stride, w, out);
}
#endif

// The widest instruction set the CPU has, chosen once for both kernels.
const EnsembleKernels& kernels() {
  static const EnsembleKernels chosen = [] {
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return EnsembleKernels{dot_avx512, windows_avx512};
    if (__builtin_cpu_supports("avx2")) return EnsembleKernels{dot_avx2, windows_avx2};
#endif
    return EnsembleKernels{dot_body, window_body};
  }();
  return chosen;
}

}  // namespace

double dot(const double* a, const double* b, int count) { return kernels().dot(a, b, count); }

void window_sums(const double* data, size_t stride, const double (*weights)[kWindowLanes],
                 double* out) {
  kernels().windows(data, stride, weights, out);
}

}  // namespace stemloop

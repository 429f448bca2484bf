// The fill's vectorised loops. Each body is written once as NAME_body; STEMLOOP_KERNEL
// compiles it again for AVX-512 and AVX2, and kernel_set() picks the widest versions the
// CPU supports. The choice is an ordinary run-time test, not an ifunc resolved during
// relocation, so the same binary works under every sanitizer.
#include "engine/fill_kernels.hpp"

#include <algorithm>
#include <cstring>

namespace stemloop::kernels {

// Defines NAME_avx512 and NAME_avx2 around NAME_body, for the choice in kernel_set().
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define STEMLOOP_HAS_VARIANTS 1
#define STEMLOOP_KERNEL(ret, name, params, args)                                                  \
  __attribute__((target("avx512f"))) static ret name##_avx512 params { return name##_body args; } \
  __attribute__((target("avx2"))) static ret name##_avx2 params { return name##_body args; }
#else
#define STEMLOOP_HAS_VARIANTS 0
#define STEMLOOP_KERNEL(ret, name, params, args)
#endif

// The bodies are inlined into each instruction-set version.
#define KERNEL_BODY static inline __attribute__((always_inline))

using Lanes = int __attribute__((vector_size(kWindow * sizeof(int) / 2)));
constexpr int kHalf = kWindow / 2;

KERNEL_BODY int min_gather_sum_body(const int* row, const int* index, const int* b, int count) {
  int best = std::numeric_limits<int>::max();
  for (int c = 0; c < count; c++) best = std::min(best, row[index[c]] + b[c]);
  return best;
}
STEMLOOP_KERNEL(int, min_gather_sum, (const int* row, const int* index, const int* b, int count),
                (row, index, b, count))

KERNEL_BODY int min_coaxial_body(const int* a, const int* b, const int8_t* type,
                                 const int* stacking, int count) {
  int best = ENERGY_INF;
  for (int k = 0; k < count; k++) {
    const int s = stacking[type[k]];
    const bool stacks = s != kNoStack;
    const int v = a[k] + b[k] + (stacks ? s : 0);
    best = stacks ? std::min(best, v) : best;
  }
  return best;
}
STEMLOOP_KERNEL(int, min_coaxial,
                (const int* a, const int* b, const int8_t* type, const int* stacking, int count),
                (a, b, type, stacking, count))

KERNEL_BODY int min_coaxial2_body(const int* a, const int* b, const int8_t* type_a,
                                  const int8_t* type_b, const int* stacking, int count) {
  int best = ENERGY_INF;
  for (int k = 0; k < count; k++) {
    const int s = stacking[type_a[k] * 8 + type_b[k]];
    const bool stacks = s != kNoStack;
    const int v = a[k] + b[k] + (stacks ? s : 0);
    best = stacks ? std::min(best, v) : best;
  }
  return best;
}
STEMLOOP_KERNEL(int, min_coaxial2,
                (const int* a, const int* b, const int8_t* type_a, const int8_t* type_b,
                 const int* stacking, int count),
                (a, b, type_a, type_b, stacking, count))

KERNEL_BODY int min_generic_loop_body(const int* band, size_t width, int ring_mask, int i, int j,
                                      const int (*loop_cost)[kWindow]) {
  const int span = j - i;
  const int max_l = std::min(MAX_INTERIOR - 1, span - 7);
  Lanes lo, hi;
  for (int k = 0; k < kHalf; k++) lo[k] = hi[k] = ENERGY_INF;
  for (int l = 1; l <= max_l; l++) {
    // lane k: q = j-1-r with r = kWindow - k
    const int* row = band + static_cast<size_t>((i + 1 + l) & ring_mask) * width +
                     static_cast<size_t>(j - 1 - kWindow + kShift);
    const int* cost = loop_cost[l];
    Lanes row_lo, row_hi, cost_lo, cost_hi;
    std::memcpy(&row_lo, row, sizeof row_lo);
    std::memcpy(&row_hi, row + kHalf, sizeof row_hi);
    std::memcpy(&cost_lo, cost, sizeof cost_lo);
    std::memcpy(&cost_hi, cost + kHalf, sizeof cost_hi);
    const Lanes sum_lo = row_lo + cost_lo, sum_hi = row_hi + cost_hi;
    lo = sum_lo < lo ? sum_lo : lo;
    hi = sum_hi < hi ? sum_hi : hi;
  }
  lo = hi < lo ? hi : lo;
  int best = ENERGY_INF;
  for (int k = 0; k < kHalf; k++) best = std::min(best, lo[k]);
  return best;
}
STEMLOOP_KERNEL(int, min_generic_loop,
                (const int* band, size_t width, int ring_mask, int i, int j,
                 const int (*loop_cost)[kWindow]),
                (band, width, ring_mask, i, j, loop_cost))

KERNEL_BODY int min_bulge_loop_body(const int* row, const int* column, int max_bulge,
                                    const int* by_r, const int* by_l) {
  Lanes best;
  for (int k = 0; k < kHalf; k++) best[k] = ENERGY_INF;
  for (int half = 0; half < 2; half++) {
    Lanes r_terms, r_cost, l_terms, l_cost, lane;
    std::memcpy(&r_terms, row + half * kHalf, sizeof r_terms);
    std::memcpy(&r_cost, by_r + half * kHalf, sizeof r_cost);
    std::memcpy(&l_terms, column + half * kHalf, sizeof l_terms);
    std::memcpy(&l_cost, by_l + half * kHalf, sizeof l_cost);
    for (int k = 0; k < kHalf; k++) lane[k] = half * kHalf + k;
    const Lanes by_right = r_terms + r_cost;
    Lanes by_left = l_terms + l_cost;
    by_left = lane < max_bulge - 1 ? by_left : best;
    best = by_right < best ? by_right : best;
    best = by_left < best ? by_left : best;
  }
  int result = ENERGY_INF;
  for (int k = 0; k < kHalf; k++) result = std::min(result, best[k]);
  return result;
}
STEMLOOP_KERNEL(int, min_bulge_loop,
                (const int* row, const int* column, int max_bulge, const int* by_r,
                 const int* by_l),
                (row, column, max_bulge, by_r, by_l))

KERNEL_BODY int min_sum_body(const int* a, const int* b, int count) {
  int best = std::numeric_limits<int>::max();
  for (int k = 0; k < count; k++) best = std::min(best, a[k] + b[k]);
  return best;
}
STEMLOOP_KERNEL(int, min_sum, (const int* a, const int* b, int count), (a, b, count))

KERNEL_BODY void min_into_body(int* dst, const int* src, int add, const int* reach, int need,
                               int count) {
  for (int k = 0; k < count; k++) {
    const int v = src[k] + add;
    dst[k] = reach[k] >= need && v < dst[k] ? v : dst[k];
  }
}
STEMLOOP_KERNEL(void, min_into,
                (int* dst, const int* src, int add, const int* reach, int need, int count),
                (dst, src, add, reach, need, count))

#define STEMLOOP_KERNEL_SET(variant)                                      \
  KernelSet {                                                             \
    min_gather_sum##variant, min_coaxial##variant, min_coaxial2##variant, \
        min_generic_loop##variant, min_bulge_loop##variant,               \
        min_sum##variant, min_into##variant                               \
  }

const KernelSet& kernel_set() {
  static const KernelSet chosen = [] {
#if STEMLOOP_HAS_VARIANTS
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return STEMLOOP_KERNEL_SET(_avx512);
    if (__builtin_cpu_supports("avx2")) return STEMLOOP_KERNEL_SET(_avx2);
#endif
    return STEMLOOP_KERNEL_SET(_body);
  }();
  return chosen;
}

}  // namespace stemloop::kernels

// The vectorised inner loops of the fill. Each runs code compiled for the widest vector
// instructions the CPU offers, chosen at run time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

#include "stemloop/constants.h"

namespace stemloop::kernels {

// Interior-loop and bulge searches read windows of kWindow inner-pair terms. Rows of
// inner-pair terms store column q at q + kShift, so that windows never start before the
// row. Size costs hold kOutOfLoop wherever a lane is no such loop, so the lane sums lie
// far above ENERGY_INF (inner terms stay within +-2^29 for the longest sequences,
// constraint bonuses included).
constexpr int kWindow = 32;
constexpr int kShift = kWindow + 2;
constexpr int kOutOfLoop = 1 << 30;
static_assert(kWindow >= MAX_INTERIOR + 2, "a window covers every loop size on one side");
static_assert(kWindow % 2 == 0, "windows are read as two vectors of lanes");
static_assert(static_cast<long long>(kOutOfLoop) + (1 << 29) < std::numeric_limits<int>::max(),
              "lane sums of kOutOfLoop and an inner term do not overflow");

// Marks a pair type that may not take part in a coaxial stack.
constexpr int kNoStack = std::numeric_limits<int>::min();

// The kernels, compiled for one instruction set.
struct KernelSet {
  // min over c < count of row[index[c]] + b[c].
  int (*min_gather_sum)(const int* row, const int* index, const int* b, int count);

  // min over k < count of a[k] + b[k] + stacking[type[k]], over the k where
  // stacking[type[k]] != kNoStack; ENERGY_INF when there is none.
  int (*min_coaxial)(const int* a, const int* b, const int8_t* type, const int* stacking,
                     int count);

  // The same over the listed k = index[c], c < count, with the stacking at
  // stacking[type_a[k] * scale + type_b[k]].
  int (*min_coaxial_listed)(const int* a, const int* b, const int8_t* type_a,
                            const int8_t* type_b, int scale, const int* stacking,
                            const int* index, int count);

  // min over l = 1..max_l and lanes k of band[row (i+1+l) & ring_mask][j-1-kWindow+kShift+k]
  // + loop_cost[l][k]: the best generic interior loop closed by (i, j) before its outer
  // mismatch, with max_l = min(MAX_INTERIOR - 1, j - i - 7). `band` is a ring of rows of
  // `width` entries.
  int (*min_generic_loop)(const int* band, size_t width, int ring_mask, int i, int j,
                          const int (*loop_cost)[kWindow]);

  // min over lanes k of row[k] + by_r[k] and, for k < max_bulge - 1, column[k] + by_l[k]:
  // the best bulge of two or more bases before the outer terminal penalty.
  int (*min_bulge_loop)(const int* row, const int* column, int max_bulge, const int* by_r,
                        const int* by_l);

  // min over k < count of a[k] + b[k]; INT_MAX when count <= 0. The sums must not overflow.
  int (*min_sum)(const int* a, const int* b, int count);

  // dst[k] = min(dst[k], src[k] + add) for every k < count with reach[k] >= need.
  void (*min_into)(int* dst, const int* src, int add, const int* reach, int need, int count);
};

// The widest versions the CPU runs, chosen on the first call.
const KernelSet& kernel_set();

}  // namespace stemloop::kernels

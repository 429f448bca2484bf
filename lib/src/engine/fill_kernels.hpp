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

// Rows whose multiloop splits one call of min_split_rows takes at once.
constexpr int kSplitRows = 32;

// Column-major upper triangle: column j holds rows 1..j from column_start(j) + 1 on.
// Computed rather than looked up, so that a split point costs no table read.
inline size_t column_start(int j) {
  return static_cast<size_t>(j) * static_cast<size_t>(j - 1) / 2;
}

// Marks a pair type that may not take part in a coaxial stack.
constexpr int kNoStack = std::numeric_limits<int>::min();

// The kernels, compiled for one instruction set.
struct KernelSet {
  // best[r] = min(best[r], columns[column_start(index[c]) + r] + b[c]) for every
  // r < kSplitRows and c < count: splits at the candidates index[c] for kSplitRows rows at
  // once, from column-major pieces.
  void (*min_split_rows)(int* best, const int* columns, const int* index, const int* b,
                         int count);

  // min over k < count of a[k] + b[k] + stacking[type[k]], over the k where
  // stacking[type[k]] != kNoStack; ENERGY_INF when there is none.
  int (*min_coaxial)(const int* a, const int* b, const int8_t* type, const int* stacking,
                     int count);

  // The same for two adjacent branches: stacking[type_a[k] * 8 + type_b[k]].
  int (*min_coaxial2)(const int* a, const int* b, const int8_t* type_a, const int8_t* type_b,
                      const int* stacking, int count);

  // min over l = 1..max_l and lanes k of rows[l * width + k] + loop_cost[l][k]: the best
  // generic interior loop closed by (i, j) before its outer mismatch, with rows at row
  // i+1, column j-1-kWindow+kShift of consecutive rows of inner terms, and max_l =
  // min(MAX_INTERIOR - 1, j - i - 7).
  int (*min_generic_loop)(const int* rows, size_t width, int max_l,
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

// The vectorised inner loops of the fill. Each runs code compiled for the widest vector
// instructions the CPU offers, chosen at run time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

#include "model/triangle.hpp"
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

// Marks a pair type that may not take part in a coaxial stack.
constexpr int kNoStack = std::numeric_limits<int>::min();

// A listed branch of a row (the pair (i, k)) or a column (the pair (k+1, j)) in the
// coaxial searches: its c, k and pair type.
struct ListedBranch {
  int c;
  int16_t k, type;
};
static_assert(MAX_SEQUENCE_LENGTH <= 32767, "split points fit ListedBranch::k");

// One side of a two-branch coaxial stack, from a row (bit k: the pair (i, k)) or a
// column (bit k: the pair (k+1, j)): words of bits of the listed branches and of the
// strong ones among them, the branches listed (a row by k increasing, a column by k
// decreasing) and the place in the list of each word's first listed branch.
struct BranchBits {
  const uint64_t* live;
  const uint64_t* strong;
  const int* rank;
  const ListedBranch* listed;
};

// The kernels, compiled for one instruction set.
struct KernelSet {
  const char* name;  // "avx512", "avx2" or "portable"

  // best[r] = min(best[r], columns[Triangle::column_start(index[c]) + r] + b[c]) for every
  // r < kSplitRows and c < count: splits at the candidates index[c] for kSplitRows rows at
  // once, from column-major pieces.
  void (*min_split_rows)(int* best, const int* columns, const int* index, const int* b, int count);

  // min over c < count of row[index[c]] + b[c].
  int (*min_gather_sum)(const int* row, const int* index, const int* b, int count);

  // min over k < count of a[k] + b[k] + stacking[type[k]], over the k where
  // stacking[type[k]] != kNoStack; ENERGY_INF when there is none.
  int (*min_coaxial)(const int* a, const int* b, const int8_t* type, const int* stacking,
                     int count);

  // min of ENERGY_INF and, over e < count, row[listed[e].k] + listed[e].c +
  // stacking[listed[e].type]. Listed branches stack: no kNoStack is read.
  int (*min_coaxial_listed)(const int* row, const ListedBranch* listed, const int* stacking,
                            int count);

  // min of ENERGY_INF and, over the k in [lo, hi] whose bit is set in (row.strong &
  // column.live) | (row.live & column.strong), the row's c + the column's c +
  // stacking[row type * 8 + column type]. Listed branches stack: no kNoStack is read.
  int (*min_coaxial_pairs)(const BranchBits& row, const BranchBits& column, const int* stacking,
                           int lo, int hi);

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

// The widest versions the CPU runs, chosen on the first call. The environment variable
// STEMLOOP_KERNELS=avx512|avx2|portable asks for one variant instead, so that the tests
// run each one the CPU can; a variant the CPU lacks, or any other value, is ignored.
// Every variant gives the same results.
const KernelSet& kernel_set();

}  // namespace stemloop::kernels

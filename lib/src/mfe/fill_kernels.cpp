// The fill's vectorised loops. Each body is written once as NAME_body; STEMLOOP_KERNEL
// compiles it again for AVX-512 and AVX2, and kernel_set() picks the widest versions the
// CPU supports. The choice is an ordinary run-time test, not an ifunc resolved during
// relocation, so the same binary works under every sanitizer.
#include "mfe/fill_kernels.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

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

// Vectors of one register for SSE, AVX2 and AVX-512.
using Lanes4 = int __attribute__((vector_size(16)));
using Lanes8 = int __attribute__((vector_size(32)));
using Lanes16 = int __attribute__((vector_size(64)));

// Keeps the kSplitRows running minima in registers, kSplitRows / W vectors of W lanes.
template <typename Vec>
KERNEL_BODY void split_rows_lanes(int* best, const int* columns, const int* index, const int* b,
                                  int count) {
  constexpr int W = sizeof(Vec) / sizeof(int);
  constexpr int V = kSplitRows / W;
  static_assert(V * W == kSplitRows, "the rows are a whole number of vectors");
  Vec acc[V];
  std::memcpy(acc, best, sizeof acc);
  for (int c = 0; c < count; c++) {
    const int* column = columns + Triangle::column_start(index[c]);
    const Vec add = Vec{} + b[c];
    for (int v = 0; v < V; v++) {
      Vec x;
      std::memcpy(&x, column + v * W, sizeof x);
      x += add;
      acc[v] = x < acc[v] ? x : acc[v];
    }
  }
  std::memcpy(best, acc, sizeof acc);
}

KERNEL_BODY void min_split_rows_body(int* best, const int* columns, const int* index, const int* b,
                                     int count) {
  split_rows_lanes<Lanes4>(best, columns, index, b, count);
}
#if STEMLOOP_HAS_VARIANTS
__attribute__((target("avx512f"))) static void min_split_rows_avx512(int* best, const int* columns,
                                                                     const int* index, const int* b,
                                                                     int count) {
  split_rows_lanes<std::conditional_t<kSplitRows % 16 == 0, Lanes16, Lanes8>>(best, columns, index,
                                                                              b, count);
}
__attribute__((target("avx2"))) static void min_split_rows_avx2(int* best, const int* columns,
                                                                const int* index, const int* b,
                                                                int count) {
  split_rows_lanes<Lanes8>(best, columns, index, b, count);
}
#endif

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

KERNEL_BODY int min_coaxial_listed_body(const int* row, const ListedBranch* listed,
                                        const int* stacking, int count) {
  int best = ENERGY_INF;
  for (int e = 0; e < count; e++)
    best = std::min(best, row[listed[e].k] + listed[e].c + stacking[listed[e].type]);
  return best;
}
STEMLOOP_KERNEL(int, min_coaxial_listed,
                (const int* row, const ListedBranch* listed, const int* stacking, int count),
                (row, listed, stacking, count))

KERNEL_BODY int min_coaxial_pairs_body(const BranchBits& row, const BranchBits& column,
                                       const int* stacking, int lo, int hi) {
  // The nonzero words of candidates, listed without branches; then their bits.
  constexpr size_t kMaxWords = MAX_SEQUENCE_LENGTH / 64 + 2;
  uint64_t words[kMaxWords];
  int index[kMaxWords];
  const size_t first = static_cast<size_t>(lo) / 64, last = static_cast<size_t>(hi) / 64;
  int found = 0;
  for (size_t w = first; w <= last; w++) {
    uint64_t bits = (row.strong[w] & column.live[w]) | (row.live[w] & column.strong[w]);
    bits &= w == first ? ~0ULL << (lo & 63) : ~0ULL;
    bits &= w == last ? ~0ULL >> (63 - (hi & 63)) : ~0ULL;
    words[found] = bits;
    index[found] = static_cast<int>(w);
    found += bits != 0;
  }
  int best = ENERGY_INF;
  for (int f = 0; f < found; f++) {
    const size_t at = static_cast<size_t>(index[f]);
    const uint64_t row_live = row.live[at], column_live = column.live[at];
    const ListedBranch* left = row.listed + row.rank[at];
    const ListedBranch* right = column.listed + column.rank[at];
    uint64_t bits = words[f];
    do {
      const int bit = __builtin_ctzll(bits);
      bits &= bits - 1;
      // the rank of (i, k) among the row's branches from the left, of (k+1, j) among the
      // column's from the right
      const ListedBranch& l = left[__builtin_popcountll(row_live & ((1ULL << bit) - 1))];
      const ListedBranch& r = right[__builtin_popcountll((column_live >> bit) >> 1)];
      best = std::min(best, l.c + r.c + stacking[l.type * 8 + r.type]);
    } while (bits != 0);
  }
  return best;
}
STEMLOOP_KERNEL(int, min_coaxial_pairs,
                (const BranchBits& row, const BranchBits& column, const int* stacking, int lo,
                 int hi),
                (row, column, stacking, lo, hi))

// The generic-loop search in vectors of W lanes. Lane k of row l holds r = kWindow - k
// unpaired bases on the 3' side; a loop has l + r <= MAX_INTERIOR, so the lanes
// k < l + kWindow - MAX_INTERIOR hold kOutOfLoop costs, their sums lie above ENERGY_INF
// and can never be the minimum: vectors made only of such lanes are skipped. Rows are
// taken in runs that share their first live vector, so the loops unroll into code that
// keeps every running minimum in a register.
template <typename Vec>
KERNEL_BODY int generic_loop_lanes(const int* rows, size_t width, int max_l,
                                   const int (*loop_cost)[kWindow]) {
  constexpr int W = sizeof(Vec) / sizeof(int);
  constexpr int kVectors = kWindow / W;
  constexpr int kDead = kWindow - MAX_INTERIOR;  // lanes k < l + kDead are out of the loop
  static_assert(kWindow % W == 0, "a window is a whole number of vectors");
  Vec best[kVectors];
  for (auto& v : best) v = Vec{} + static_cast<int>(ENERGY_INF);
#pragma GCC unroll 8
  for (int first = 0; first < kVectors; first++) {
    // rows whose first live lane falls into vector `first`
    const int from = std::max(1, first * W - kDead);
    const int to = std::min(max_l, (first + 1) * W - 1 - kDead);
    for (int l = from; l <= to; l++) {
      const int* row = rows + static_cast<size_t>(l) * width;
      const int* cost = loop_cost[l];
#pragma GCC unroll 8
      for (int v = first; v < kVectors; v++) {
        Vec terms, costs;
        std::memcpy(&terms, row + v * W, sizeof terms);
        std::memcpy(&costs, cost + v * W, sizeof costs);
        const Vec sum = terms + costs;
        best[v] = sum < best[v] ? sum : best[v];
      }
    }
  }
  for (int v = 1; v < kVectors; v++) best[0] = best[v] < best[0] ? best[v] : best[0];
  int lanes[W];
  std::memcpy(lanes, &best[0], sizeof lanes);
  int result = ENERGY_INF;
  for (int k = 0; k < W; k++) result = std::min(result, lanes[k]);
  return result;
}

KERNEL_BODY int min_generic_loop_body(const int* rows, size_t width, int max_l,
                                      const int (*loop_cost)[kWindow]) {
  return generic_loop_lanes<Lanes4>(rows, width, max_l, loop_cost);
}
#if STEMLOOP_HAS_VARIANTS
__attribute__((target("avx512f"))) static int min_generic_loop_avx512(
    const int* rows, size_t width, int max_l, const int (*loop_cost)[kWindow]) {
  return generic_loop_lanes<Lanes16>(rows, width, max_l, loop_cost);
}
__attribute__((target("avx2"))) static int min_generic_loop_avx2(const int* rows, size_t width,
                                                                 int max_l,
                                                                 const int (*loop_cost)[kWindow]) {
  return generic_loop_lanes<Lanes8>(rows, width, max_l, loop_cost);
}
#endif

// The bulge search in vectors of W lanes: lanes k of the row by r, lanes k < max_bulge - 1
// of the column by l.
template <typename Vec>
KERNEL_BODY int bulge_loop_lanes(const int* row, const int* column, int max_bulge, const int* by_r,
                                 const int* by_l) {
  constexpr int W = sizeof(Vec) / sizeof(int);
  static constexpr int kLane[kWindow] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                         11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
                                         22, 23, 24, 25, 26, 27, 28, 29, 30, 31};
  static_assert(kWindow == 32, "one lane number per lane of a window");
  Vec best = Vec{} + static_cast<int>(ENERGY_INF);
#pragma GCC unroll 8
  for (int v = 0; v < kWindow / W; v++) {
    Vec r_terms, r_cost, l_terms, l_cost, lane;
    std::memcpy(&r_terms, row + v * W, sizeof r_terms);
    std::memcpy(&r_cost, by_r + v * W, sizeof r_cost);
    std::memcpy(&l_terms, column + v * W, sizeof l_terms);
    std::memcpy(&l_cost, by_l + v * W, sizeof l_cost);
    std::memcpy(&lane, kLane + v * W, sizeof lane);
    const Vec by_right = r_terms + r_cost;
    Vec by_left = l_terms + l_cost;
    by_left = lane < max_bulge - 1 ? by_left : best;
    best = by_right < best ? by_right : best;
    best = by_left < best ? by_left : best;
  }
  int lanes[W];
  std::memcpy(lanes, &best, sizeof lanes);
  int result = ENERGY_INF;
  for (int k = 0; k < W; k++) result = std::min(result, lanes[k]);
  return result;
}

KERNEL_BODY int min_bulge_loop_body(const int* row, const int* column, int max_bulge,
                                    const int* by_r, const int* by_l) {
  return bulge_loop_lanes<Lanes4>(row, column, max_bulge, by_r, by_l);
}
#if STEMLOOP_HAS_VARIANTS
__attribute__((target("avx512f"))) static int min_bulge_loop_avx512(const int* row,
                                                                    const int* column,
                                                                    int max_bulge, const int* by_r,
                                                                    const int* by_l) {
  return bulge_loop_lanes<Lanes16>(row, column, max_bulge, by_r, by_l);
}
__attribute__((target("avx2"))) static int min_bulge_loop_avx2(const int* row, const int* column,
                                                               int max_bulge, const int* by_r,
                                                               const int* by_l) {
  return bulge_loop_lanes<Lanes8>(row, column, max_bulge, by_r, by_l);
}
#endif

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

#define STEMLOOP_KERNEL_SET(variant, name)                                                  \
  KernelSet {                                                                               \
    name, min_split_rows##variant, min_gather_sum##variant, min_coaxial##variant,           \
        min_coaxial_listed##variant, min_coaxial_pairs##variant, min_generic_loop##variant, \
        min_bulge_loop##variant, min_sum##variant, min_into##variant                        \
  }

const KernelSet& kernel_set() {
  static const KernelSet chosen = [] {
    const char* asked = std::getenv("STEMLOOP_KERNELS");
    const std::string wanted = asked != nullptr ? asked : "";
    if (wanted == "portable") return STEMLOOP_KERNEL_SET(_body, "portable");
#if STEMLOOP_HAS_VARIANTS
    __builtin_cpu_init();
    const bool avx512 = __builtin_cpu_supports("avx512f"), avx2 = __builtin_cpu_supports("avx2");
    if (avx2 && wanted == "avx2") return STEMLOOP_KERNEL_SET(_avx2, "avx2");
    if (avx512) return STEMLOOP_KERNEL_SET(_avx512, "avx512");
    if (avx2) return STEMLOOP_KERNEL_SET(_avx2, "avx2");
#endif
    return STEMLOOP_KERNEL_SET(_body, "portable");
  }();
  return chosen;
}

}  // namespace stemloop::kernels

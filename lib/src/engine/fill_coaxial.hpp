// Coaxial stacking in the fill (dangle mode 3), restricted to the candidates that can
// change a table value.
//
// Two coaxial terms scan a split point k:
//   fML(i, j) <- c(i, k) + c(k+1, j) + branch_stack(a, b)            (i k)(k+1 j)
//   c(i, j)   <- c(i+1, k) + fML(k+1, j-1) + closing_stack(t, v) + C  (i (i+1 k) ... j)
//   c(i, j)   <- fML(i+1, k) + c(k+1, j-1) + closing_stack(t, v) + C  (i ... (k+1 j-1) j)
// with a, b, v the types of the branches from outside, t that of (i, j), C = ml_closing.
//
// Dominance. Let D(p, q) = c(p, q) - fML(p, q) and B(v) = ml_branch(v). In mode 3 the
// one-branch term of fML(p, q) is exactly c(p, q) + B(t(p, q)) (no dangles are added
// outside mode 2), so D(p, q) >= -B(t(p, q)) for every cell.
// - fML(i, j) always holds the split fML(i, k) + fML(k+1, j) over the same k. The
//   coaxial term minus that split is D(i, k) + D(k+1, j) + branch_stack(a, b). It can
//   only be below the split if
//     D(i, k) < B(b) - branch_stack(a, b)    and    D(k+1, j) < B(a) - branch_stack(a, b),
//   each from the other D >= -B; and since D(i, k) + D(k+1, j) < M = max over (a, b)
//   of -branch_stack(a, b), one of them is below its half of M (HL + HR = M).
// - Unless (i, j) is barred by no_closingGU, c(i, j) always holds the multiloop term
//   dml(i+1, j-1) + B(rtype t) + C, and dml(i+1, j-1) <= fML(i+1, k) + fML(k+1, j-1)
//   over the same k. Either closing term minus that bound is at least
//   D(branch) + closing_stack(t, v) - B(rtype t), so it can only win if
//     D(branch) < B(rtype t) - closing_stack(t, v).
// A candidate that fails its test is never below a term that is always in the same
// minimum, so leaving it out changes no value: the minimum is the same integer, ties
// included. The thresholds are maxima over the model's own tables, so the rule holds
// for every parameter set; the kept candidates are still evaluated exactly.
//
// Which pairs pass is recorded in bit sets once c(p, q) and fML(p, q) are final: per
// row (left ends, only the row's own cells read them) and per column (the cells of the
// column in later rows read them, in the same order as the split candidates, so
// threads hand them over through the fill's progress counters). A term then visits
// the set bits of an AND of a row and a column. The closing pair's terms are computed
// by the cell (i+1, j-1), which owns those bits, and handed to (i, j) through a ring of
// rows like the split values. Barred closing pairs have no multiloop term to compare
// with: they scan every k, over column-major copies of c, fML and the pair types.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/fill_kernels.hpp"
#include "fold_workspace.hpp"

namespace stemloop {

class CoaxialFill {
 public:
  // Thresholds and stacking tables of the model, and empty bit sets for n bases; rows
  // are kept in a ring of `ring` rows (a power of two).
  void prepare(const FoldContext& x, int n, int ring);

  // Bytes the state takes for n bases with a ring of `ring` rows.
  static size_t bytes(int n, int ring);

  // Clears the bits of row i before the row is filled.
  void start_row(int i);

  // Once c(i, j) and fML(i, j) are final: records which tests (i, j) passes and computes
  // the closing pair's terms of (i-1, j+1).
  void finish_cell(const FoldContext& x, int i, int j);

  // (i k)(k+1 j): the best candidate over k = i+4 .. j-5, at most ENERGY_INF.
  int two_branches(const FoldContext& x, int i, int j) const;

  // (i (i+1 k) ... j) and (i ... (k+1 j-1) j) without ml_closing, over k = i+5 .. j-6,
  // at most ENERGY_INF; valid once the cell (i+1, j-1) is finished.
  int closing(int i, int j) const { return closing_[slot(i + 1) * row_width_ + (j - 1)]; }

 private:
  // Bit sets of a row (bit k: the pair (i, k)) and of a column (bit k: the pair (k+1, j)):
  // live and strong for two-branch stacks, then one per closing type t = 1 .. 7.
  static constexpr int kSets = kPairTypes + 1;
  static constexpr int kLive = 0, kStrong = 1;
  static constexpr int closing_set(int t) { return 1 + t; }

  size_t slot(int i) const { return static_cast<size_t>(i & ring_mask_); }
  uint64_t* row_bits(int i, int set) {
    return &rows_[(slot(i) * kSets + static_cast<size_t>(set)) * row_words_];
  }
  const uint64_t* row_bits(int i, int set) const {
    return &rows_[(slot(i) * kSets + static_cast<size_t>(set)) * row_words_];
  }
  // Column j holds bits 0 .. j in j / 64 + 1 words per set.
  const uint64_t* column_bits(int j, int set) const {
    return &columns_[column_start_[static_cast<size_t>(j)] +
                     static_cast<size_t>(set) * (static_cast<size_t>(j) / 64 + 1)];
  }
  uint64_t* column_bits(int j, int set) {
    return &columns_[column_start_[static_cast<size_t>(j)] +
                     static_cast<size_t>(set) * (static_cast<size_t>(j) / 64 + 1)];
  }
  int closing_terms(const FoldContext& x, int i, int j, int t) const;
  int barred_closing_terms(const FoldContext& x, int i, int j, int t) const;
  // Column-major copies: entry i of column j.
  size_t col(int i, int j) const {
    return col_start_[static_cast<size_t>(j)] + static_cast<size_t>(i);
  }

  const kernels::KernelSet& vector_ops_ = kernels::kernel_set();
  int ring_mask_ = 0;
  size_t row_width_ = 0;
  size_t row_words_ = 0;

  // Stacking by types from outside, kNoStack where a type does not stack:
  // (i k)(k+1 j) at [a * 8 + b], a closing pair t on a branch v at [t * 8 + v].
  int branch_stack_[kPairTypes * kPairTypes] = {};
  int closing_stack_[kPairTypes * kPairTypes] = {};
  // The tests: D(p, q) below the threshold of its type passes; kNever where none can.
  long long left_[kPairTypes] = {}, right_[kPairTypes] = {};
  long long left_half_ = 0, right_half_ = 0;
  long long closing_by_t_[kPairTypes][kPairTypes] = {};  // [t][v]

  std::vector<uint64_t> rows_;        // ring of rows of kSets bit sets
  std::vector<size_t> column_start_;  // first word of column j
  std::vector<uint64_t> columns_;     // every column's kSets bit sets
  std::vector<int> closing_;          // ring of rows: closing(i-1, j+1) at [i][j]
  // Column-major copies of c, fML and the pair types: column j starts at col_start_[j]
  // and is indexed by i.
  std::vector<size_t> col_start_;
  std::vector<int> c_col_, fml_col_;
  std::vector<int8_t> ptype_col_;
};

}  // namespace stemloop

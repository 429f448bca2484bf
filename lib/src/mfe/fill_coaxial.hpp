// Coaxial stacking in the fill (dangle mode 3), restricted to the candidates that can
// change a table value.
//
// Three coaxial terms scan a split point k:
//   fML(i, j) <- c(i, k) + c(k+1, j) + branch_stack(a, b)             (i k)(k+1 j)
//   c(i, j)   <- c(i+1, k) + fML(k+1, j-1) + closing_stack(t, v) + C  (i (i+1 k) ... j)
//   c(i, j)   <- fML(i+1, k) + c(k+1, j-1) + closing_stack(t, v) + C  (i ... (k+1 j-1) j)
// a, b and v are the branches' types from outside, t that of (i, j), C = ml_closing.
//
// Dominance. Let D(p, q) = c(p, q) - fML(p, q) and B(v) = ml_branch(v). In mode 3 the
// one-branch term of fML(p, q) is exactly c(p, q) + B(t(p, q)) (dangles are added in
// mode 2 only), so D(p, q) >= -B(t(p, q)) in every cell.
// - fML(i, j) always holds the split fML(i, k) + fML(k+1, j) over the same k. The
//   two-branch term minus that split is D(i, k) + D(k+1, j) + branch_stack(a, b). With
//   D >= -B on the other side, it is negative only if
//     D(i, k) < B(b) - branch_stack(a, b)   and   D(k+1, j) < B(a) - branch_stack(a, b);
//   and, for any HL(a) + HR(b) >= -branch_stack(a, b), only if D(i, k) < HL(a) or
//   D(k+1, j) < HR(b).
// - Unless (i, j) is barred by no_closingGU, c(i, j) always holds the multiloop term
//   dml(i+1, j-1) + B(rtype t) + C, and dml(i+1, j-1) <= fML(i+1, k) + fML(k+1, j-1)
//   over the same k. Either closing term minus that term is at least
//   D(branch) + closing_stack(t, v) - B(rtype t): negative only if
//     D(branch) < B(rtype t) - closing_stack(t, v).
// A candidate that fails its test is never below a term that is always in the same
// minimum, so leaving it out changes no value: the minimum is the same integer, ties
// included. The thresholds are maxima over the model's own tables, so the rule holds
// for every parameter set, and the kept candidates are evaluated exactly.
//
// A pair is tested once c and fML of its cell are final. Rows keep bit sets and lists
// of the pairs (i, k) that pass, read only by the row's own later cells; columns keep
// those of the pairs (k+1, j), read by the cells of the column in the rows above in the
// order the split candidates are, so threads hand them over through the wavefront's
// step counts. The two-branch term visits the set bits of an AND of a row and a
// column. The closing pair's terms of (i-1, j+1) are computed by the cell (i, j), which
// owns the row and the column they read, and handed over in a ring of rows like the
// split values. A pair barred by no_closingGU has no multiloop term, but its hairpin
// (FORBIDDEN_HAIRPIN) and its stack on (i+1, j-1) always are in its minimum: when one of
// them is at most the multiloop term it would have, the listed candidates suffice;
// otherwise it scans every k over column-major copies of c and the pair types.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "mfe/fill_kernels.hpp"
#include "mfe/fold_workspace.hpp"
#include "mfe/table_buffer.hpp"

namespace stemloop {

class CoaxialFill {
 public:
  // Tables and thresholds of the model, empty sets and lists for n bases; rows are kept
  // in a ring of `ring` rows (a power of two).
  void prepare(const FoldContext& x, int n, int ring);

  // Bytes the state takes for n bases with a ring of `ring` rows; barred closing pairs
  // (no_closingGU) add column copies.
  static size_t bytes(int n, int ring, bool barred_pairs);

  // Clears row i before the row is filled.
  void start_row(int i);

  // Once c(i, j), fML(i, j) and the split dml(i, j) are final: records the tests (i, j)
  // passes and computes the closing pair's terms of (i-1, j+1).
  void finish_cell(const FoldContext& x, int i, int j, int split);

  // (i k)(k+1 j): the best candidate over k = i+4 .. j-5, at most ENERGY_INF.
  int two_branches(int i, int j) const;

  // (i (i+1 k) ... j) and (i ... (k+1 j-1) j) without ml_closing, k = i+5 .. j-6, at
  // most ENERGY_INF; valid once the cell (i+1, j-1) is finished.
  int closing(int i, int j) const { return closing_[slot(i + 1) * row_width_ + (j - 1)]; }

 private:
  static constexpr int kClosingTypes = kPairTypes - 1;  // t = 1 .. 7

  // Bit sets of kernels::BranchBits, for a ring of rows or every column.
  struct BranchSets {
    std::vector<uint64_t> live, strong;
    std::vector<int> rank;
    void reset(size_t words) { live.assign(words, 0), strong.assign(words, 0), rank.resize(words); }
    kernels::BranchBits at(size_t word, const std::vector<kernels::ListedBranch>& listed) const {
      return {&live[word], &strong[word], &rank[word], listed.data()};
    }
    // Sets the bit of the branch listed next.
    void add(size_t word, uint64_t bit, bool is_strong, std::vector<kernels::ListedBranch>& listed,
             kernels::ListedBranch branch) {
      if (live[word] == 0) rank[word] = static_cast<int>(listed.size());
      live[word] |= bit;
      if (is_strong) strong[word] |= bit;
      listed.push_back(branch);
    }
  };
  // A row's branches that pass the closing test of one closing type t, k increasing,
  // with c + closing_stack(t, v).
  struct Terms {
    std::vector<int> k, term;
  };

  size_t slot(int i) const { return static_cast<size_t>(i & ring_mask_); }
  size_t row_word(int i) const { return slot(i) * row_words_; }
  size_t column_word(int j) const { return column_start_[static_cast<size_t>(j)]; }
  Terms& row_terms(int i, int t) {
    return row_terms_[slot(i) * kClosingTypes + static_cast<size_t>(t - 1)];
  }
  const Terms& row_terms(int i, int t) const {
    return row_terms_[slot(i) * kClosingTypes + static_cast<size_t>(t - 1)];
  }
  void set_stacking(const EnergyTerms& E);
  void set_thresholds(const EnergyTerms& E);
  int closing_terms(const FoldContext& x, int i, int j, int t) const;
  int barred_closing_terms(const FoldContext& x, int i, int j, int t) const;

  const kernels::KernelSet& vector_ops_ = kernels::kernel_set();
  int ring_mask_ = 0;
  size_t row_width_ = 0;
  size_t row_words_ = 0;
  bool barred_pairs_ = false;

  // Stacking by types from outside, kNoStack where a type does not stack:
  // (i k)(k+1 j) at [a * 8 + b], a closing pair t on a branch v at [t * 8 + v].
  int branch_stack_[kPairTypes * kPairTypes] = {};
  int closing_stack_[kPairTypes * kPairTypes] = {};
  // The tests by type: D below the threshold passes. A column lists a pair that passes
  // the two-branch or any closing test. A type without a reverse type stacks on nothing
  // and never passes, so every listed branch stacks with every type.
  long long left_[kPairTypes] = {}, column_[kPairTypes] = {};
  long long left_half_[kPairTypes] = {}, right_strong_[kPairTypes] = {};
  long long closing_by_t_[kPairTypes][kPairTypes] = {};  // [t][v]

  // Rows (a ring): two-branch bits and branches, and the closing terms by type.
  BranchSets row_sets_;
  std::vector<std::vector<kernels::ListedBranch>> row_branches_;
  std::vector<Terms> row_terms_;
  // Columns: column j holds bits 0 .. j in j / 64 + 1 words from column_start_[j].
  BranchSets column_sets_;
  std::vector<std::vector<kernels::ListedBranch>> column_branches_;
  std::vector<size_t> column_start_;
  std::vector<int> closing_;  // ring of rows: closing(i-1, j+1) at [i][j]
  // A row-major copy of fML (by Workspace::cell) and, for barred pairs, column-major
  // copies of c and the pair types (by Workspace::col).
  TableBuffer<int> fml_row_;
  std::vector<int> c_col_;
  std::vector<int8_t> ptype_col_;
};

}  // namespace stemloop

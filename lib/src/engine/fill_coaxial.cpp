#include "engine/fill_coaxial.hpp"

#include <algorithm>

namespace stemloop {
namespace {

using kernels::kNoStack;

// A threshold no difference of two table values reaches.
constexpr long long kNever = -(1LL << 40);

// Words of the column bit sets for columns 0 .. n: column j holds bits 0 .. j.
size_t column_words(int n) {
  size_t words = 0;
  for (int j = 0; j <= n; j++) words += static_cast<size_t>(j) / 64 + 1;
  return words;
}

size_t row_words(int n) { return (static_cast<size_t>(n) + 2) / 64 + 1; }

// Candidates are listed a chunk of words at a time and handed to a kernel.
constexpr size_t kChunkWords = 16;

// Calls eval(ks, count) with the k in [lo, hi] whose bit is set in word(w), in
// increasing order, a chunk at a time.
template <typename Word, typename Eval>
inline void each_chunk(int lo, int hi, Word word, Eval eval) {
  int ks[kChunkWords * 64];
  const size_t first = static_cast<size_t>(lo) / 64, last = static_cast<size_t>(hi) / 64;
  for (size_t from = first; from <= last; from += kChunkWords) {
    const size_t to = std::min(last + 1, from + kChunkWords);
    int count = 0;
    for (size_t w = from; w < to; w++) {
      uint64_t bits = word(w);
      if (w == first) bits &= ~0ULL << (lo & 63);
      if (w == last) bits &= ~0ULL >> (63 - (hi & 63));
      const int base = static_cast<int>(w * 64);
      while (bits != 0) {
        ks[count++] = base + __builtin_ctzll(bits);
        bits &= bits - 1;
      }
    }
    if (count > 0) eval(ks, count);
  }
}

}  // namespace

void CoaxialFill::prepare(const FoldContext& x, int n, int ring) {
  const EnergyTerms& E = x.E;
  ring_mask_ = ring - 1;
  row_width_ = static_cast<size_t>(n) + 2;
  row_words_ = row_words(n);

  for (int a = 0; a < kPairTypes; a++) {
    for (int b = 0; b < kPairTypes; b++) {
      const int ua = E.rtype(a), ub = E.rtype(b);
      closing_stack_[a * kPairTypes + b] = ub != 0 ? E.coaxial_stack(a, ub) : kNoStack;
      branch_stack_[a * kPairTypes + b] = (ua != 0 && ub != 0) ? E.coaxial_stack(ua, ub) : kNoStack;
    }
  }
  // The thresholds of the dominance rule (fill_coaxial.hpp), maxima over the types of
  // the other branch; ml_branch(type) is the whole branch cost in mode 3.
  long long worst = kNever;  // M: the largest -branch_stack
  for (int v = 0; v < kPairTypes; v++) {
    left_[v] = right_[v] = kNever;
    for (int t = 0; t < kPairTypes; t++) closing_by_t_[t][v] = kNever;
  }
  for (int a = 1; a < kPairTypes; a++) {
    for (int b = 1; b < kPairTypes; b++) {
      const long long s = branch_stack_[a * kPairTypes + b];
      if (s == kNoStack) continue;
      left_[a] = std::max(left_[a], E.ml_branch(b) - s);
      right_[b] = std::max(right_[b], E.ml_branch(a) - s);
      worst = std::max(worst, -s);
    }
  }
  left_half_ = worst >= 0 ? worst / 2 : -((1 - worst) / 2);  // floor(M / 2)
  right_half_ = worst - left_half_;
  for (int t = 1; t < kPairTypes; t++) {
    for (int v = 1; v < kPairTypes; v++) {
      const long long s = closing_stack_[t * kPairTypes + v];
      if (s != kNoStack) closing_by_t_[t][v] = E.ml_branch(E.rtype(t)) - s;
    }
  }

  rows_.assign(static_cast<size_t>(ring) * kSets * row_words_, 0);
  column_start_.resize(static_cast<size_t>(n) + 1);
  for (size_t j = 0, words = 0; j <= static_cast<size_t>(n); words += kSets * (j / 64 + 1), j++)
    column_start_[j] = words;
  columns_.assign(kSets * column_words(n), 0);
  // Every entry is written by its cell before the cell (i-1, j+1) reads it.
  closing_.resize(static_cast<size_t>(ring) * row_width_);

  // The copies of c and fML are read only once their cells are final: no reset.
  col_start_.assign(static_cast<size_t>(n) + 2, 0);
  for (size_t j = 1; j <= static_cast<size_t>(n); j++) col_start_[j] = j * (j - 1) / 2;
  const size_t cells = static_cast<size_t>(n) * (static_cast<size_t>(n) + 1) / 2 + 2;
  c_col_.resize(cells);
  fml_col_.resize(cells);
  ptype_col_.resize(cells);
  for (int j = 1; j <= n; j++)
    for (int i = 1; i <= j; i++) ptype_col_[col(i, j)] = static_cast<int8_t>(x.t(i, j));
}

size_t CoaxialFill::bytes(int n, int ring) {
  const size_t size = static_cast<size_t>(n) + 2;
  size_t bytes = static_cast<size_t>(ring) * kSets * row_words(n) * sizeof(uint64_t);
  bytes += kSets * column_words(n) * sizeof(uint64_t) + size * sizeof(size_t);
  bytes += static_cast<size_t>(ring) * size * sizeof(int);
  const size_t cells = static_cast<size_t>(n) * (static_cast<size_t>(n) + 1) / 2 + 2;
  bytes += cells * (2 * sizeof(int) + sizeof(int8_t)) + size * sizeof(size_t);
  return bytes;
}

void CoaxialFill::start_row(int i) {
  std::fill_n(row_bits(i, 0), kSets * row_words_, uint64_t{0});
}

void CoaxialFill::finish_cell(const FoldContext& x, int i, int j) {
  if (const int v = x.t(i, j)) {
    const long long d = static_cast<long long>(x.c(i, j)) - x.fML(i, j);
    const size_t w = static_cast<size_t>(j) / 64, cw = static_cast<size_t>(i - 1) / 64;
    const uint64_t bit = 1ULL << (j & 63), col_bit = 1ULL << ((i - 1) & 63);
    if (d < left_[v]) {
      row_bits(i, kLive)[w] |= bit;
      if (d < left_half_) row_bits(i, kStrong)[w] |= bit;
    }
    if (d < right_[v]) {
      column_bits(j, kLive)[cw] |= col_bit;
      if (d < right_half_) column_bits(j, kStrong)[cw] |= col_bit;
    }
    for (int t = 1; t < kPairTypes; t++) {
      if (d < closing_by_t_[t][v]) {
        row_bits(i, closing_set(t))[w] |= bit;
        column_bits(j, closing_set(t))[cw] |= col_bit;
      }
    }
  }
  c_col_[col(i, j)] = x.c(i, j);
  fml_col_[col(i, j)] = x.fML(i, j);

  int m = ENERGY_INF;
  if (i >= 2 && j < x.n && j - i >= 9) {
    if (const int t = x.t(i - 1, j + 1))
      m = x.barred(t, x.bonus(i - 1, j + 1)) ? barred_closing_terms(x, i, j, t)
                                              : closing_terms(x, i, j, t);
  }
  closing_[slot(i) * row_width_ + static_cast<size_t>(j)] = m;
}

int CoaxialFill::two_branches(const FoldContext& x, int i, int j) const {
  int best = ENERGY_INF;
  const uint64_t* live = row_bits(i, kLive);
  const uint64_t* strong = row_bits(i, kStrong);
  const uint64_t* right_live = column_bits(j, kLive);
  const uint64_t* right_strong = column_bits(j, kStrong);
  const int* c_row = &x.c(i, 0);
  const int8_t* t_row = &x.ws.ptype[x.ws.cell(i, 0)];
  // (k+1, j) at entry k of these
  const int* c_right = &c_col_[col(1, j)];
  const int8_t* t_right = &ptype_col_[col(1, j)];
  each_chunk(
      i + 4, j - 5,
      [&](size_t w) { return (strong[w] & right_live[w]) | (live[w] & right_strong[w]); },
      [&](const int* ks, int count) {
        best = std::min(best, vector_ops_.min_coaxial_listed(c_row, c_right, t_row, t_right,
                                                             kPairTypes, branch_stack_, ks,
                                                             count));
      });
  return best;
}

// The closing pair (i-1, j+1) of type t stacked on the branch (i, k) or (k+1, j),
// k = i+4 .. j-5.
int CoaxialFill::closing_terms(const FoldContext& x, int i, int j, int t) const {
  int best = ENERGY_INF;
  const int* on_branch = &closing_stack_[t * kPairTypes];
  const int8_t* t_row = &x.ws.ptype[x.ws.cell(i, 0)];
  const int8_t* t_right = &ptype_col_[col(1, j)];
  // (i-1 (i k) [k+1 .. j] j+1)
  const uint64_t* first = row_bits(i, closing_set(t));
  const int* c_row = &x.c(i, 0);
  const int* fml_right = &fml_col_[col(1, j)];
  each_chunk(
      i + 4, j - 5, [&](size_t w) { return first[w]; },
      [&](const int* ks, int count) {
        best = std::min(best, vector_ops_.min_coaxial_listed(c_row, fml_right, t_row, t_row, 0,
                                                             on_branch, ks, count));
      });
  // (i-1 [i .. k] (k+1 j) j+1)
  const uint64_t* last = column_bits(j, closing_set(t));
  const int* fml_row = &x.fML(i, 0);
  const int* c_right = &c_col_[col(1, j)];
  each_chunk(
      i + 4, j - 5, [&](size_t w) { return last[w]; },
      [&](const int* ks, int count) {
        best = std::min(best, vector_ops_.min_coaxial_listed(fml_row, c_right, t_right, t_right,
                                                             0, on_branch, ks, count));
      });
  return best;
}

int CoaxialFill::barred_closing_terms(const FoldContext& x, int i, int j, int t) const {
  const int* on_branch = &closing_stack_[t * kPairTypes];
  const int count = j - i - 8;  // k = i+4 .. j-5
  const size_t from = col(i + 5, j);
  const int8_t* types = &x.ws.ptype[x.ws.cell(i, i + 4)];
  const int first =
      vector_ops_.min_coaxial(&x.c(i, i + 4), &fml_col_[from], types, on_branch, count);
  const int last = vector_ops_.min_coaxial(&c_col_[from], &x.fML(i, i + 4), &ptype_col_[from],
                                           on_branch, count);
  return std::min(first, last);
}

}  // namespace stemloop

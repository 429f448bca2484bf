#include "mfe/fill_coaxial.hpp"

#include <algorithm>

namespace stemloop {
namespace {

using kernels::kNoStack;
using kernels::ListedBranch;

// A threshold no difference of two table values reaches.
constexpr long long kNever = -(1LL << 40);

// Words of the column bit sets for columns 0 .. n: column j holds bits 0 .. j.
size_t total_column_words(int n) {
  size_t words = 0;
  for (int j = 0; j <= n; j++) words += static_cast<size_t>(j) / 64 + 1;
  return words;
}

size_t words_per_row(int n) { return (static_cast<size_t>(n) + 2) / 64 + 1; }

// The lists' content from random sequences, with the vectors' spare capacity: in
// sixteenths of a byte per cell of the columns (about one listed pair in eleven cells),
// and in bytes per column of a ring row (its two-branch list and its closing terms,
// about one entry per column over the seven closing types).
constexpr size_t kColumnList16thsPerCell = 18;
constexpr size_t kRowListBytesPerColumn = 10;

}  // namespace

void CoaxialFill::prepare(const FoldContext& x, int n, int ring) {
  ring_mask_ = ring - 1;
  row_width_ = static_cast<size_t>(n) + 2;
  row_words_ = words_per_row(n);
  barred_pairs_ = x.no_closing_gu;
  set_stacking(x.E);
  set_thresholds(x.E);

  row_sets_.reset(static_cast<size_t>(ring) * row_words_);
  row_branches_.resize(static_cast<size_t>(ring));
  row_terms_.resize(static_cast<size_t>(ring) * kClosingTypes);
  column_start_.resize(static_cast<size_t>(n) + 1);
  for (size_t j = 0, words = 0; j <= static_cast<size_t>(n); words += j / 64 + 1, j++)
    column_start_[j] = words;
  column_sets_.reset(total_column_words(n));
  // The lists keep their memory between folds.
  column_branches_.resize(static_cast<size_t>(n) + 1);
  for (auto& listed : column_branches_) listed.clear();
  // Every entry is written by its cell before the cell (i-1, j+1) reads it.
  closing_.resize(static_cast<size_t>(ring) * row_width_);

  // The copies are read only once their cells are final: no reset.
  const size_t cells = static_cast<size_t>(n) * (static_cast<size_t>(n) + 1) / 2 + 2;
  fml_row_.reserve(cells);
  if (barred_pairs_) {
    c_col_.resize(cells);
    ptype_col_.resize(cells);
    for (int j = 1; j <= n; j++)
      for (int i = 1; i <= j; i++) ptype_col_[x.ws.col(i, j)] = static_cast<int8_t>(x.t(i, j));
  }
}

// The stacking tables by types from outside: kNoStack where a type does not stack.
void CoaxialFill::set_stacking(const EnergyTerms& E) {
  for (int a = 0; a < kPairTypes; a++) {
    for (int b = 0; b < kPairTypes; b++) {
      const int ua = E.rtype(a), ub = E.rtype(b);
      closing_stack_[a * kPairTypes + b] = ub != 0 ? E.coaxial_stack(a, ub) : kNoStack;
      branch_stack_[a * kPairTypes + b] = (ua != 0 && ub != 0) ? E.coaxial_stack(ua, ub) : kNoStack;
    }
  }
}

// The thresholds of the dominance rule, from the stacking tables.
void CoaxialFill::set_thresholds(const EnergyTerms& E) {
  // The thresholds of the dominance rule (fill_coaxial.hpp): maxima over the type of the
  // other branch or of the closing pair. ml_branch(type) is the whole branch cost in
  // mode 3. The halves: HL(a) is half the largest -branch_stack(a, b), HR(b) what the
  // largest -branch_stack(a, b) - HL(a) leaves, so HL(a) + HR(b) >= -branch_stack(a, b).
  long long right[kPairTypes];
  for (int v = 0; v < kPairTypes; v++) {
    left_[v] = right[v] = column_[v] = left_half_[v] = right_strong_[v] = kNever;
    for (int t = 0; t < kPairTypes; t++) closing_by_t_[t][v] = kNever;
  }
  for (int a = 1; a < kPairTypes; a++) {
    for (int b = 1; b < kPairTypes; b++) {
      const long long s = branch_stack_[a * kPairTypes + b];
      if (s == kNoStack) continue;
      left_[a] = std::max(left_[a], E.ml_branch(b) - s);
      right[b] = std::max(right[b], E.ml_branch(a) - s);
      left_half_[a] = std::max(left_half_[a], -s);
    }
  }
  for (long long& half : left_half_) half /= 2;
  for (int a = 1; a < kPairTypes; a++) {
    for (int b = 1; b < kPairTypes; b++) {
      const long long s = branch_stack_[a * kPairTypes + b];
      if (s != kNoStack) right_strong_[b] = std::max(right_strong_[b], -s - left_half_[a]);
    }
  }
  for (int v = 1; v < kPairTypes; v++) {
    right_strong_[v] = std::min(right[v], right_strong_[v]);
    column_[v] = right[v];
    for (int t = 1; t < kPairTypes; t++) {
      const long long s = closing_stack_[t * kPairTypes + v];
      if (s == kNoStack) continue;
      closing_by_t_[t][v] = E.ml_closed_by(t) - E.ml_closing() - s;
      column_[v] = std::max(column_[v], closing_by_t_[t][v]);
    }
  }
}

size_t CoaxialFill::bytes(int n, int ring, bool barred_pairs) {
  const size_t size = static_cast<size_t>(n) + 2;
  const size_t cells = static_cast<size_t>(n) * (static_cast<size_t>(n) + 1) / 2 + 2;
  constexpr size_t kWordBytes = 2 * sizeof(uint64_t) + sizeof(int);
  constexpr size_t kList = sizeof(std::vector<ListedBranch>);
  // Rows: bit sets, lists and the closing ring.
  size_t bytes = static_cast<size_t>(ring) *
                 (words_per_row(n) * kWordBytes + kList + kClosingTypes * sizeof(Terms) +
                  size * (sizeof(int) + kRowListBytesPerColumn));
  // Columns: bit sets and lists; the row copy of fML.
  bytes += total_column_words(n) * kWordBytes + size * (kList + sizeof(size_t));
  bytes += cells * kColumnList16thsPerCell / 16 + table_buffer_bytes(cells * sizeof(int));
  if (barred_pairs) bytes += cells * (sizeof(int) + sizeof(int8_t));
  return bytes;
}

void CoaxialFill::start_row(int i) {
  std::fill_n(&row_sets_.live[row_word(i)], row_words_, uint64_t{0});
  std::fill_n(&row_sets_.strong[row_word(i)], row_words_, uint64_t{0});
  row_branches_[slot(i)].clear();
  for (int t = 1; t <= kClosingTypes; t++) row_terms(i, t).k.clear(), row_terms(i, t).term.clear();
}

void CoaxialFill::finish_cell(const FoldContext& x, int i, int j, int split) {
  if (const int v = x.t(i, j)) {
    const int c = x.c(i, j);
    const long long d = static_cast<long long>(c) - x.fML(i, j);
    if (d < left_[v])  // bit j of row i
      row_sets_.add(row_word(i) + static_cast<size_t>(j) / 64, 1ULL << (j & 63), d < left_half_[v],
                    row_branches_[slot(i)],
                    ListedBranch{c, static_cast<int16_t>(j), static_cast<int16_t>(v)});
    if (d < column_[v]) {  // bit i - 1 of column j; column_ bounds every closing test
      column_sets_.add(column_word(j) + static_cast<size_t>(i - 1) / 64, 1ULL << ((i - 1) & 63),
                       d < right_strong_[v], column_branches_[static_cast<size_t>(j)],
                       ListedBranch{c, static_cast<int16_t>(i - 1), static_cast<int16_t>(v)});
      for (int t = 1; t <= kClosingTypes; t++) {
        if (d < closing_by_t_[t][v]) {
          Terms& row = row_terms(i, t);
          row.k.push_back(j);
          row.term.push_back(c + closing_stack_[t * kPairTypes + v]);
        }
      }
    }
  }
  fml_row_[x.ws.cell(i, j)] = x.fML(i, j);
  if (barred_pairs_) c_col_[x.ws.col(i, j)] = x.c(i, j);

  int m = ENERGY_INF;
  if (i >= 2 && j < x.n && j - i >= 9) {
    if (const int t = x.t(i - 1, j + 1)) {
      // The multiloop term of (i-1, j+1), or a term that is at most as large, bounds
      // the candidates that are not listed.
      const long long multiloop = static_cast<long long>(split) + x.E.ml_closed_by(t);
      bool listed = !x.barred(t, x.bonus(i - 1, j + 1));
      if (!listed) {  // the hairpin and the stack on (i, j) are always there
        long long bound = FORBIDDEN_HAIRPIN;
        if (const int v = x.t(i, j))
          bound = std::min(bound, static_cast<long long>(x.E.stack(t, x.E.rtype(v))) + x.c(i, j));
        listed = bound <= multiloop;
      }
      m = listed ? closing_terms(x, i, j, t) : barred_closing_terms(x, i, j, t);
    }
  }
  closing_[slot(i) * row_width_ + static_cast<size_t>(j)] = m;
}

int CoaxialFill::two_branches(int i, int j) const {
  return vector_ops_.min_coaxial_pairs(
      row_sets_.at(row_word(i), row_branches_[slot(i)]),
      column_sets_.at(column_word(j), column_branches_[static_cast<size_t>(j)]), branch_stack_,
      i + 4, j - 5);
}

// The closing pair (i-1, j+1) of type t stacked on the branch (i, k) or (k+1, j),
// k = i+4 .. j-5, over the listed branches.
int CoaxialFill::closing_terms(const FoldContext& x, int i, int j, int t) const {
  int best = ENERGY_INF;
  // (i-1 (i k) [k+1 .. j] j+1): the row's terms reach k = j
  const Terms& first = row_terms(i, t);
  int count = static_cast<int>(first.k.size());
  while (count > 0 && first.k[static_cast<size_t>(count - 1)] > j - 5) count--;
  if (count > 0)
    best = std::min(best, vector_ops_.min_gather_sum(&x.ws.fML[x.ws.col(1, j)], first.k.data(),
                                                     first.term.data(), count));
  // (i-1 [i .. k] (k+1 j) j+1): the column's branches reach k = i - 1
  const std::vector<ListedBranch>& last = column_branches_[static_cast<size_t>(j)];
  count = static_cast<int>(last.size());
  while (count > 0 && last[static_cast<size_t>(count - 1)].k < i + 4) count--;
  if (count > 0)
    best = std::min(best, vector_ops_.min_coaxial_listed(&fml_row_[x.ws.cell(i, 0)], last.data(),
                                                         &closing_stack_[t * kPairTypes], count));
  return best;
}

int CoaxialFill::barred_closing_terms(const FoldContext& x, int i, int j, int t) const {
  const int* on_branch = &closing_stack_[t * kPairTypes];
  const int count = j - i - 8;  // k = i+4 .. j-5
  const size_t from = x.ws.col(i + 5, j);
  const int8_t* types = &x.ws.ptype[x.ws.cell(i, i + 4)];
  const int first =
      vector_ops_.min_coaxial(&x.c(i, i + 4), &x.ws.fML[from], types, on_branch, count);
  const int last = vector_ops_.min_coaxial(&c_col_[from], &fml_row_[x.ws.cell(i, i + 4)],
                                           &ptype_col_[from], on_branch, count);
  return std::min(first, last);
}

}  // namespace stemloop

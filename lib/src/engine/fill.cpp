// The minimum-free-energy fill: c (i paired with j), fML (multiloop pieces) and f5
// (exterior loop), from the 3' end.
//
// Cell (i, j) reads row i up to column j - 1 and the rows below it up to column j only.
// So rows are filled in blocks of a few rows, column by column, and blocks run on
// several threads at once, each trailing the block below it by at least one column.
// Every row keeps its own part of the rolling state, in rings of rows.
//
// Every table value equals the term-by-term recursion; the speed comes from regrouping
// exact integer sums:
// - A generic interior loop costs size/asymmetry(l, r) + mismatch of the outer pair
//   + (mismatch of the inner pair + c(p, q)); the last bracket is stored once per inner
//   pair, so the search over (l, r) is an add-and-min over windows of contiguous memory.
//   Bulges likewise, with c(p, q) + the inner terminal penalty.
// - The multiloop split min_k fML(i, k) + fML(k+1, j) only visits candidate splits: a k
//   whose piece fML(k+1, j) begins with base k+1 unpaired, or is itself a split, is
//   never better than the split at k+1, or at the inner split point; one whose piece
//   ends in an unpaired base j is no better than the best split of [i, j-1] plus that
//   base, which is always reached. So each column j keeps a list of the k whose piece
//   is a single branch.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <thread>

#include "fold_workspace.hpp"
#include "engine/loops.hpp"

namespace stemloop {
namespace {

constexpr int kMaxThreads = 8;
// Each thread fills a block of rows column by column, so that the split candidates of
// a column are read once for all rows of the block while they are in cache.
constexpr int kBlockRows = 32;

// Interior-loop and bulge searches read windows of kWindow inner-pair terms that end at
// the last column the loop can reach, so they never read a column another thread may
// still be writing. Rows of inner-pair terms store column q at q + kShift, so windows
// never start before the row. Size costs hold kOutOfLoop wherever a lane is no such loop,
// so the lane sums far above ENERGY_INF (inner terms stay within +-2^29 for sequences of
// 32767 bases, constraint bonuses included); lanes whose inner pair would be closer than
// a hairpin read the ENERGY_INF of a row's unwritten columns.
constexpr int kWindow = 32;
constexpr int kShift = kWindow + 2;
constexpr int kOutOfLoop = 1 << 30;

// min over c of row[index[c]] + b[c]; vectorised with gathers where the CPU has them.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
int min_gather_sum(const int* row, const int* index, const int* b, int count) {
  int best = std::numeric_limits<int>::max();
  for (int c = 0; c < count; c++) best = std::min(best, row[index[c]] + b[c]);
  return best;
}

// Marks a pair type that may not take part in a coaxial stack in the tables below.
constexpr int kNoStack = std::numeric_limits<int>::min();

// min over k of a[k] + b[k] + stacking[type[k]] where stacking[type[k]] != kNoStack:
// one coaxial stack per k, its energy looked up by the branch's pair type.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
int min_coaxial(const int* a, const int* b, const int8_t* type, const int* stacking, int count) {
  int best = ENERGY_INF;
  for (int k = 0; k < count; k++) {
    const int s = stacking[type[k]];
    const bool stacks = s != kNoStack;
    const int v = a[k] + b[k] + (stacks ? s : 0);
    best = stacks ? std::min(best, v) : best;
  }
  return best;
}

// The same for two adjacent branches, their stacking looked up by both pair types.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
int min_coaxial2(const int* a, const int* b, const int8_t* type_a, const int8_t* type_b,
                 const int* stacking, int count) {
  int best = ENERGY_INF;
  for (int k = 0; k < count; k++) {
    const int s = stacking[type_a[k] * 8 + type_b[k]];
    const bool stacks = s != kNoStack;
    const int v = a[k] + b[k] + (stacks ? s : 0);
    best = stacks ? std::min(best, v) : best;
  }
  return best;
}

// Best generic interior loop closed by (i, j), before the outer mismatch: the minimum
// over l = 1..29 of the window of inner-pair terms of row i+1+l (a ring of rows
// of `width` entries) ending at column j-2, plus the size/asymmetry costs of l.
using Lanes = int __attribute__((vector_size(kWindow * sizeof(int) / 2)));
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
int min_generic_loop(const int* band, size_t width, int ring_mask, int i, int j,
                     const int (*loop_cost)[kWindow]) {
  constexpr int kHalf = kWindow / 2;
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

// Best bulge of two or more bases closed by (i, j), before the outer terminal penalty:
// inner pairs (i+1, j-1-r) read from a window of row i+1 ending at r = 2 against bulge
// sizes by r, and inner pairs (i+1+l, j-1) read from a window of column j-1 against sizes
// by l, of which only the first max_bulge - 1 lanes are rows that reach column j-1.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
int min_bulge_loop(const int* row, const int* column, int max_bulge, const int* by_r,
                   const int* by_l) {
  constexpr int kHalf = kWindow / 2;
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

// Per-fill constants and the rings of per-row state.
struct FillState {
  FillState(const FoldContext& x, int n, int threads)
      : ring(ring_rows(threads)),
        ring_mask(ring - 1),
        row_width(static_cast<size_t>(n) + 2),
        band_width(row_width + kShift),
        cc(static_cast<size_t>(ring) * row_width, ENERGY_INF),
        dml(static_cast<size_t>(ring) * row_width, ENERGY_INF),
        inner_mm(static_cast<size_t>(ring) * band_width, ENERGY_INF),
        inner_au(static_cast<size_t>(ring) * band_width, ENERGY_INF),
        candidates(static_cast<size_t>(n) + 1),
        progress(static_cast<size_t>(n) + 2) {
    if (x.dangles == 3) {
      // Stacking of two branches by their raw pair types, kNoStack where either
      // reversed type is 0.
      for (int a = 0; a < 8; a++) {
        for (int b = 0; b < 8; b++) {
          const int ua = x.pm.rtype[a], ub = x.pm.rtype[b];
          branch_stack[a * 8 + b] = (ua != 0 && ub != 0) ? x.P.stack[ua][ub] : kNoStack;
        }
      }
      // Coaxial stacking scans columns too: keep column-major copies for them.
      col_start.assign(static_cast<size_t>(n) + 2, 0);
      for (size_t j = 1; j <= static_cast<size_t>(n); j++) col_start[j] = j * (j - 1) / 2;
      const size_t cells = static_cast<size_t>(n) * (static_cast<size_t>(n) + 1) / 2 + 2;
      c_col.assign(cells, ENERGY_INF);
      fml_col.assign(cells, ENERGY_INF);
      ptype_col.assign(cells, 0);
      for (int j = 1; j <= n; j++)
        for (int i = 1; i <= j; i++)
          ptype_col[col_start[static_cast<size_t>(j)] + static_cast<size_t>(i)] =
              static_cast<int8_t>(x.t(i, j));
    }
    const EnergyParams& P = x.P;
    // loop_cost[l][k]: size and asymmetry of the generic loop with l bases on the 5'
    // side and r = kWindow - k on the 3' side, so that k grows with q; kOutOfLoop where
    // (l, r) is no generic loop (stacks, bulges, 1x1, 1x2, 2x1, 2x2, over 30 bases).
    for (auto& row : loop_cost) std::fill(std::begin(row), std::end(row), kOutOfLoop);
    std::fill(std::begin(bulge_by_r), std::end(bulge_by_r), kOutOfLoop);
    std::fill(std::begin(bulge_by_l), std::end(bulge_by_l), kOutOfLoop);
    for (int b = 2; b <= MAX_INTERIOR; b++) {
      bulge_by_r[kWindow + 1 - b] = P.bulge[b];
      bulge_by_l[b - 2] = P.bulge[b];
    }
    au_col.assign((static_cast<size_t>(n) + 2) * 2 * static_cast<size_t>(ring), ENERGY_INF);
    for (int l = 1; l < MAX_INTERIOR; l++) {
      for (int r = l <= 2 ? 3 : 1; r + l <= MAX_INTERIOR; r++) {
        const int k = kWindow - r;
        loop_cost[l][k] =
            P.internal_loop[l + r] + std::min(MAX_NINIO, std::abs(l - r) * P.F_ninio[2]);
      }
    }
  }

  // Clears the state of row i before the row is filled.
  void start_row(int i) {
    std::fill(cc_row(i), cc_row(i) + row_width, ENERGY_INF);
    std::fill(dml_row(i), dml_row(i) + row_width, ENERGY_INF);
    std::fill(mm_row(i), mm_row(i) + band_width, ENERGY_INF);
    std::fill(au_row(i), au_row(i) + band_width, ENERGY_INF);
  }

  // Rows of state in a ring: row i reads rows up to i+34, and rows as far as
  // kBlockRows * threads above it may be in flight, so slots must not come round sooner.
  static int ring_rows(int threads) {
    int rows = 64;
    while (rows <= kWindow + 2 + kBlockRows * threads) rows *= 2;
    return rows;
  }
  int* ring_row(std::vector<int>& rows, size_t width, int i) {
    return &rows[static_cast<size_t>(i & ring_mask) * width];
  }
  int* cc_row(int i) { return ring_row(cc, row_width, i); }
  int* dml_row(int i) { return ring_row(dml, row_width, i); }
  int* mm_row(int p) { return ring_row(inner_mm, band_width, p); }
  int* au_row(int p) { return ring_row(inner_au, band_width, p); }

  // Candidate splits of one column j, k decreasing: pieces [i, k] and [k+1, j].
  struct Candidates {
    std::vector<int> k;      // split points
    std::vector<int> piece;  // fML(k+1, j)
  };
  const int ring;  // rows of per-row state kept, a power of two
  const int ring_mask;
  size_t row_width;
  size_t band_width;
  std::vector<int> cc;   // c without the lonely-pair rule, by row
  std::vector<int> dml;  // best two-piece split of [i, j], by row
  // Inner-pair terms, [p][q]: c(p, q) plus the inner mismatch (generic loops) or plus the
  // inner terminal penalty (bulges); ENERGY_INF where (p, q) may not be the inner pair
  // of such a loop.
  std::vector<int> inner_mm, inner_au;
  std::vector<Candidates> candidates;      // per column j
  std::vector<std::atomic<int>> progress;  // last column finished, per row
  // Column-major copies of c, fML and the pair types (dangle mode 3 only): column j
  // starts at col_start[j] and is indexed by i.
  std::vector<size_t> col_start;
  std::vector<int> c_col, fml_col;
  std::vector<int8_t> ptype_col;
  int branch_stack[64] = {};
  size_t col(int i, int j) const {
    return col_start[static_cast<size_t>(j)] + static_cast<size_t>(i);
  }
  int loop_cost[MAX_INTERIOR + 1][kWindow] = {};
  // Bulge sizes for the two window directions: bulge_by_r[kWindow + 1 - r] and
  // bulge_by_l[l - 2], kOutOfLoop past the sizes that exist.
  int bulge_by_r[kWindow] = {};
  int bulge_by_l[kWindow] = {};
  // Bulge terms by column: au_col[q][p % ring] (and again ring further on, so that any
  // window of rows is contiguous) holds the inner_au term of (p, q).
  std::vector<int> au_col;
  int* au_column(int q) { return &au_col[static_cast<size_t>(q) * 2 * static_cast<size_t>(ring)]; }
};

// Inner-pair terms of (p, q), once c(p, q) is final.
void store_inner_terms(const FoldContext& x, FillState& st, int p, int q) {
  int au = ENERGY_INF;
  const int t2 = x.t(p, q);
  const int u = x.pm.rtype[t2];
  // Never an inner pair at the ends.
  if (p >= 2 && q < x.n && t2 != 0 && x.may_be_inner(u)) {
    const int c = x.c(p, q);
    st.mm_row(p)[q + kShift] = c + x.P.mismatchI[u][x.s(q + 1)][x.s(p - 1)];
    au = c + FoldContext::AU(u);
    st.au_row(p)[q + kShift] = au;
  }
  // The column copy's slots are reused by every 64th row: always overwrite them.
  int* column = st.au_column(q);
  column[p & st.ring_mask] = column[(p & st.ring_mask) + st.ring] = au;
}

// (i (p ... q) j): stacks, bulges and interior loops of at most MAX_INTERIOR bases.
// Returns the best of them; w receives the stacking energy on (i+1, j-1) when it may form.
int best_interior(const FoldContext& x, FillState& st, int i, int j, int t, bool barred, int& w) {
  const EnergyParams& P = x.P;
  const int span = j - i;
  int e = ENERGY_INF;

  // (i (i+1 ... j-1) j): direct stack, allowed even to barred pairs
  if (span >= 6) {
    if (const int t2 = x.t(i + 1, j - 1)) {
      w = P.stack[t][x.pm.rtype[t2]];
      e = w + x.c(i + 1, j - 1);
    }
  }
  if (barred) return e;

  // Whether (p, q) may be the inner pair of a loop other than a stack; u is its type
  // read from inside.
  auto inner = [&](int p, int q, int& u) {
    const int t2 = x.t(p, q);
    if (t2 == 0) return false;
    u = x.pm.rtype[t2];
    return x.may_be_inner(u);
  };
  int u = 0;

  // bulges of one base keep the stacking of their pairs
  if (span >= 7) {
    if (inner(i + 1, j - 2, u)) e = std::min(e, P.bulge[1] + P.stack[t][u] + x.c(i + 1, j - 2));
    if (inner(i + 2, j - 1, u)) e = std::min(e, P.bulge[1] + P.stack[t][u] + x.c(i + 2, j - 1));
  }
  // longer bulges: size term and both terminal penalties
  const int max_bulge = std::min(static_cast<int>(MAX_INTERIOR), span - 6);
  if (max_bulge >= 2) {
    // row window: q = j-2-kWindow+k, that is r = kWindow + 1 - k, ending at r = 2
    const int bulges = min_bulge_loop(st.au_row(i + 1) + (j - 2 - kWindow + kShift),
                                      st.au_column(j - 1) + ((i + 3) & st.ring_mask), max_bulge,
                                      st.bulge_by_r, st.bulge_by_l);
    e = std::min(e, bulges + FoldContext::AU(t));
  }

  const int a = x.s(i + 1), b = x.s(j - 1);
  // 1x1, 1x2, 2x1 and 2x2 loops have tables of their own
  if (span >= 8) {
    if (inner(i + 2, j - 2, u)) e = std::min(e, P.int11[t][u][a][b] + x.c(i + 2, j - 2));
  }
  if (span >= 9) {
    if (inner(i + 2, j - 3, u))
      e = std::min(e, P.int21[t][u][a][x.s(j - 2)][b] + x.c(i + 2, j - 3));
    if (inner(i + 3, j - 2, u))
      e = std::min(e, P.int21[u][t][x.s(j - 1)][a][x.s(i + 2)] + x.c(i + 3, j - 2));
  }
  if (span >= 10) {
    if (inner(i + 3, j - 3, u))
      e = std::min(e, P.int22[t][u][a][x.s(i + 2)][x.s(j - 2)][b] + x.c(i + 3, j - 3));
  }

  // generic interior loops: l bases 5', r bases 3', not covered above
  const int generic =
      min_generic_loop(st.inner_mm.data(), st.band_width, st.ring_mask, i, j, st.loop_cost);
  if (generic < ENERGY_INF) e = std::min(e, generic + P.mismatchI[t][a][b]);
  return e;
}

void fill_pair(const FoldContext& x, FillState& st, int i, int j) {
  const EnergyParams& P = x.P;
  const int t = x.t(i, j);
  const int b = x.bonus(i, j);
  const bool barred = x.barred(t, b);

  // (i ... j): hairpin
  int e = barred ? FORBIDDEN_HAIRPIN
                 : HairpinE(P, i, j, t, x.sequence, x.ws.seq.S1.data(), x.tetra_loop);

  int w = ENERGY_INF;
  e = std::min(e, best_interior(x, st, i, j, t, barred, w));

  // (i (..)(..) j): regular multiloop closing
  if (!barred) {
    const int* dml1 = st.dml_row(i + 1);
    const int* dml2 = st.dml_row(i + 2);
    int d = dml1[j - 1];
    if (x.dangles != 0) {
      const int tt = x.pm.rtype[t];
      const int x3 = x.D3(tt, i + 1), x5 = x.D5(tt, j - 1);
      if (x.dangles == 2) {
        d += x3 + x5;
      } else {
        d = std::min({d, dml2[j - 1] + x3 + P.MLbase, dml1[j - 2] + x5 + P.MLbase,
                      dml2[j - 2] + x3 + x5 + 2 * P.MLbase});
      }
    }
    e = std::min(e, d + P.MLintern[t] + P.MLclosing);
  }

  // (i (i+1 k)(k+1 .. j-1) j) and mirror: closing pair stacked coaxially on a branch
  if (x.dangles == 3) {
    int m = ENERGY_INF;
    if (j - 6 >= i + 5) {
      // the closing pair's stacking on a branch, by the branch's raw type
      int on_branch[8];
      for (int v = 0; v < 8; v++) {
        const int u = x.pm.rtype[v];
        on_branch[v] = u != 0 ? P.stack[t][u] : kNoStack;
      }
      const int count = j - i - 10;  // k = i+5 .. j-6
      const int col = static_cast<int>(st.col(0, j - 1));
      // (i (i+1 k) [k+1 .. j-1] j): first branch stacked
      m = std::min(m, min_coaxial(&x.c(i + 1, i + 5), &st.fml_col[static_cast<size_t>(col + i + 6)],
                                  &x.ws.ptype[x.ws.cell(i + 1, i + 5)], on_branch, count));
      // (i [i+1 .. k] (k+1 j-1) j): last branch stacked
      m = std::min(m,
                   min_coaxial(&st.c_col[static_cast<size_t>(col + i + 6)], &x.fML(i + 1, i + 5),
                               &st.ptype_col[static_cast<size_t>(col + i + 6)], on_branch, count));
    }
    e = std::min(e, m + 2 * P.MLintern[1] + P.MLclosing);
  }

  const int stacked_on = st.cc_row(i + 1)[j - 1];  // cc(i+1, j-1)
  e = std::min(e, w + stacked_on);
  st.cc_row(i)[j] = e + b;
  x.c(i, j) = x.no_lonely_pairs ? b + w + stacked_on : e + b;
}

void fill_ml_piece(const FoldContext& x, FillState& st, int i, int j) {
  const EnergyParams& P = x.P;
  const int n = x.n;
  const int t = x.t(i, j);

  // unpaired base at either end of the piece
  int f = std::min(x.fML(i + 1, j) + P.MLbase, x.fML(i, j - 1) + P.MLbase);

  // one branch (i, j)
  int a0 = x.c(i, j) + P.MLintern[t];
  if (x.dangles == 2) {
    if (i > 1) a0 += x.D5(t, i - 1);
    if (j < n) a0 += x.D3(t, j + 1);
  }
  f = std::min(f, a0);

  // one branch with dangling neighbours inside the piece
  if (x.odd_dangles) {
    const int t1 = x.t(i + 1, j), t2 = x.t(i, j - 1), t3 = x.t(i + 1, j - 1);
    f = std::min(f, x.c(i + 1, j) + x.D5(t1, i) + P.MLintern[t1] + P.MLbase);
    f = std::min(f, x.c(i, j - 1) + x.D3(t2, j) + P.MLintern[t2] + P.MLbase);
    f = std::min(f, x.c(i + 1, j - 1) + x.D5(t3, i) + x.D3(t3, j) + P.MLintern[t3] + 2 * P.MLbase);
  }

  // two pieces [i, k] [k+1, j], k = i+4 .. j-5, over the candidate splits of column j
  int split = ENERGY_INF;
  const bool has_split = j - 5 >= i + 4;
  if (has_split) {
    split = std::numeric_limits<int>::max();
    const FillState::Candidates& cand = st.candidates[static_cast<size_t>(j)];
    int count = static_cast<int>(cand.k.size());
    while (count > 0 && cand.k[static_cast<size_t>(count - 1)] < i + 4) count--;
    split = min_gather_sum(&x.fML(i, 0), cand.k.data(), cand.piece.data(), count);
    // Splits whose 3' piece ends in an unpaired base: together no better than the best
    // split of [i, j-1] plus that base, and that value is reached.
    if (j - i >= 10) split = std::min(split, st.dml_row(i)[j - 1] + P.MLbase);
  }
  st.dml_row(i)[j] = split;
  f = std::min(f, split);

  // two adjacent branches stacked coaxially
  if (x.dangles == 3) {
    int m = ENERGY_INF;
    if (j - 5 >= i + 4) {  // (i k)(k+1 j), k = i+4 .. j-5
      const size_t col = st.col(i + 5, j);
      m = min_coaxial2(&x.c(i, i + 4), &st.c_col[col], &x.ws.ptype[x.ws.cell(i, i + 4)],
                       &st.ptype_col[col], st.branch_stack, j - i - 8);
    }
    f = std::min(f, m + 2 * P.MLintern[1]);
  }

  x.fML(i, j) = f;
  // Splitting at i-1 is worth trying later only if this piece is one branch, without
  // unpaired bases at its ends and not itself split.
  const bool unpaired_start = i <= j - 5 && f == x.fML(i + 1, j) + P.MLbase;
  const bool unpaired_end = i <= j - 5 && f == x.fML(i, j - 1) + P.MLbase;
  if (!unpaired_start && !unpaired_end && !(has_split && f == split)) {
    FillState::Candidates& cand = st.candidates[static_cast<size_t>(j)];
    cand.k.push_back(i - 1);
    cand.piece.push_back(f);
  }
}

// Exterior loop, walked by rows so that c is read contiguously: once f5[k-1] and f5[k-2]
// are final, the pairs (k, m) of row k offer their candidates for f5[m] (m the 3' end)
// and, with odd dangles, for f5[m+1] (base m+1 dangling).
void fill_exterior(const FoldContext& x) {
  const int n = x.n;
  std::vector<int>& f5 = x.ws.f5;
  std::fill(f5.begin(), f5.begin() + 5, 0);
  std::vector<int> best(static_cast<size_t>(n) + 2, ENERGY_INF);
  for (int k = 1; k + 4 <= n; k++) {
    if (k - 1 >= 5) f5[k - 1] = std::min(f5[k - 2], best[k - 1]);
    for (int m = k + 4; m <= n; m++) {
      const int t = x.t(k, m);
      if (t == 0) continue;
      const int cm = x.c(k, m) + FoldContext::AU(t);
      if (k == 1) {
        best[m] = std::min(best[m], cm + (x.dangles == 2 && m < n ? x.D3(t, m + 1) : 0));
        if (x.odd_dangles && m < n) best[m + 1] = std::min(best[m + 1], cm + x.D3(t, m + 1));
        continue;
      }
      const int d5 = x.D5(t, k - 1);
      int e = f5[k - 1] + cm;
      if (x.dangles == 2) {
        e += d5;
        if (m < n) e += x.D3(t, m + 1);
      }
      best[m] = std::min(best[m], e);
      if (x.odd_dangles) {
        best[m] = std::min(best[m], f5[k - 2] + cm + d5);
        if (m < n) {
          const int d3 = x.D3(t, m + 1);
          best[m + 1] = std::min({best[m + 1], f5[k - 1] + cm + d3, f5[k - 2] + cm + d3 + d5});
        }
      }
    }
  }
  for (int m = 5; m <= n; m++) f5[m] = std::min(f5[m - 1], best[m]);
}

// Fills rows top down to bottom (a block), column by column: a cell of the block's first
// row waits until the row below the block has finished its column.
void fill_block(const FoldContext& x, FillState& st, int top, int bottom) {
  const int n = x.n;
  for (int i = top; i >= bottom; i--) st.start_row(i);
  const std::atomic<int>& below = st.progress[static_cast<size_t>(top + 1)];
  int ready = below.load(std::memory_order_acquire);
  for (int j = bottom + 4; j <= n; j++) {
    for (int spins = 0; ready < j; spins++) {
      if (spins > 64) std::this_thread::yield();
      ready = below.load(std::memory_order_acquire);
    }
    for (int i = std::min(top, j - 4); i >= bottom; i--) {
      if (x.t(i, j) != 0)
        fill_pair(x, st, i, j);
      else
        x.c(i, j) = ENERGY_INF;
      fill_ml_piece(x, st, i, j);
      store_inner_terms(x, st, i, j);
      if (!st.c_col.empty()) {
        st.c_col[st.col(i, j)] = x.c(i, j);
        st.fml_col[st.col(i, j)] = x.fML(i, j);
      }
    }
    st.progress[static_cast<size_t>(bottom)].store(j, std::memory_order_release);
  }
}

}  // namespace

void fill_tables(const FoldContext& x, int threads) {
  const int n = x.n;
  // Spans too short for a hairpin can neither pair nor hold a branch.
  for (int j = 1; j <= n; j++)
    for (int i = std::max(1, j - 3); i <= j; i++) x.c(i, j) = x.fML(i, j) = ENERGY_INF;

  // Short sequences are not worth a thread.
  const int workers = std::clamp(std::min(threads, n / 256), 1, kMaxThreads);
  FillState st(x, n, workers);
  // Rows that hold no cell count as finished; a row's cells before i+4 need nothing.
  for (int i = 0; i <= n + 1; i++)
    st.progress[static_cast<size_t>(i)].store(i > n - 4 ? n : i + 3, std::memory_order_relaxed);

  // Blocks of kBlockRows rows from the 3' end, dealt round to the workers in turn.
  auto work = [&](int w) {
    for (int top = n - 4 - w * kBlockRows; top >= 1; top -= workers * kBlockRows)
      fill_block(x, st, top, std::max(1, top - kBlockRows + 1));
  };
  std::vector<std::thread> pool;
  for (int w = 1; w < workers; w++) pool.emplace_back(work, w);
  work(0);
  for (auto& th : pool) th.join();
  fill_exterior(x);
}

}  // namespace stemloop

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
#include <cstdlib>
#include <cstring>
#include <limits>

#include "mfe/fill_coaxial.hpp"
#include "mfe/fill_kernels.hpp"
#include "mfe/fold_workspace.hpp"
#include "mfe/table_buffer.hpp"
#include "model/loop_candidates.hpp"
#include "threads/wavefront.hpp"

namespace stemloop {
namespace {

using kernels::kOutOfLoop;
using kernels::kShift;
using kernels::kSplitRows;
using kernels::kWindow;

constexpr int kMaxThreads = 8;
// Each thread fills a block of rows column by column, so that the split candidates of
// a column are read once for all rows of the block while they are in cache.
constexpr int kBlockRows = kSplitRows;
// The closest pair: MIN_HAIRPIN unpaired bases between its ends.
constexpr int kMinSpan = MIN_HAIRPIN + 1;
// The farthest row below its own that a cell reads from the rings: interior loops reach
// MAX_INTERIOR + 2 rows down, the bulge window one window.
constexpr int kReach = kWindow + 2;
static_assert(kReach >= MAX_INTERIOR + 2, "the rings keep every row an interior loop reads");
static_assert(kShift >= kWindow + 2,
              "a window ending at column j - 2 >= i + kMinSpan - 2 starts inside its row");
static_assert(kReach < 64, "the smallest ring holds every row a cell reads");
static_assert(kPairTypes <= 8 && kPairTypes * kPairTypes <= 64,
              "pair types index the coaxial tables and fit the int8_t pair-type cells");
static_assert(static_cast<long long>(CONSTRAINT_BONUS) * MAX_SEQUENCE_LENGTH < (1 << 29),
              "constraint bonuses keep every table value within +-2^29");

}  // namespace

// Per-fill constants and the rings of per-row state. A workspace keeps one between
// folds: prepare() reuses its memory and resets what the next fill reads before writing.
struct FillState {
  void prepare(const FoldContext& x, int n, int threads) {
    const EnergyTerms& E = x.E;
    ring = static_cast<size_t>(ring_rows(threads));
    ring_mask = ring - 1;
    row_width = static_cast<size_t>(n) + 2;
    band_width = row_width + kShift;
    // Every column of the rings starts at ENERGY_INF (see start_row); assign() keeps the
    // memory of earlier folds.
    cc.assign(ring * row_width, ENERGY_INF);
    dml.assign(ring * row_width, ENERGY_INF);
    inner_mm.assign(2 * ring * band_width, ENERGY_INF);
    inner_au.assign(ring * band_width, ENERGY_INF);
    // Every lane of au_col a bulge takes is written earlier in the same fill, by
    // store_inner_terms; the others only meet kOutOfLoop costs or the lane mask.
    au_col.resize((static_cast<size_t>(n) + 2) * 2 * ring);
    if (candidates.size() < static_cast<size_t>(n) + 1)
      candidates.resize(static_cast<size_t>(n) + 1);
    for (int j = 0; j <= n; j++) {
      candidates[static_cast<size_t>(j)].k.clear();
      candidates[static_cast<size_t>(j)].piece.clear();
    }
    best_exterior.assign(static_cast<size_t>(n) + 2, ENERGY_INF);

    hairpin_by_size.resize(static_cast<size_t>(n) + 1);
    for (int size = 0; size <= n; size++)
      hairpin_by_size[static_cast<size_t>(size)] = E.hairpin_size(size);

    coaxial = E.dangles() == 3;
    if (coaxial) coax.prepare(x, n, static_cast<int>(ring));
    // loop_cost[l][k]: size and asymmetry of the generic loop with l bases on the 5'
    // side and r = kWindow - k on the 3' side, so that k grows with q; kOutOfLoop where
    // (l, r) is no generic loop (stacks, bulges, 1x1, 1x2, 2x1, 2x2, over 30 bases).
    for (auto& row : loop_cost) std::fill(std::begin(row), std::end(row), kOutOfLoop);
    std::fill(std::begin(bulge_by_r), std::end(bulge_by_r), kOutOfLoop);
    std::fill(std::begin(bulge_by_l), std::end(bulge_by_l), kOutOfLoop);
    for (int b = 2; b <= MAX_INTERIOR; b++) {
      bulge_by_r[kWindow + 1 - b] = E.bulge_size(b);
      bulge_by_l[b - 2] = E.bulge_size(b);
    }
    own_loops.clear();
    for (int l = 1; l < MAX_INTERIOR; l++) {
      for (int r = 1; r + l <= MAX_INTERIOR; r++) {
        if (E.in_windows(l, r)) loop_cost[l][kWindow - r] = E.interior_size(l, r);
        if (E.own_candidate(l, r)) own_loops.push_back({l, r});
      }
    }
  }

  // Clears the state of row i before the row is filled: the columns from i + kMinSpan
  // on, which the previous row of this ring slot may have written. Columns before that
  // hold no pair of any row that uses the slot: they keep the ENERGY_INF of the
  // constructor, are never written, and other threads may read them at any time.
  void start_row(int i) {
    const size_t from = static_cast<size_t>(i) + kMinSpan;
    std::fill(cc_row(i) + from, cc_row(i) + row_width, ENERGY_INF);
    std::fill(dml_row(i) + from, dml_row(i) + row_width, ENERGY_INF);
    std::fill(mm_row(i) + from + kShift, mm_row(i) + band_width, ENERGY_INF);
    std::fill(mm_mirror(i) + from + kShift, mm_mirror(i) + band_width, ENERGY_INF);
    std::fill(au_row(i) + from + kShift, au_row(i) + band_width, ENERGY_INF);
    if (coaxial) coax.start_row(i);
  }

  // Rows of state in a ring. Why slots never come round too soon: a row reads the rows
  // up to kReach below it. Blocks are numbered in fill order and a worker starts block
  // k, clearing its slots, only after finishing block k - W (W workers), which waited
  // for block k - W + 1 ... down to every block before it to finish every column (the
  // acquire of the step counts orders those reads before the clears). So only blocks
  // k - W + 1 .. k - 1 may still read, rows up to kBlockRows * (W - 1) + kBlockRows - 1
  // + kReach below block k's first row; a ring of more rows than that plus the block
  // keeps their slots apart from block k's.
  static int ring_rows(int threads) {
    int rows = 64;
    while (rows <= kReach + kBlockRows * threads) rows *= 2;
    return rows;
  }
  int* ring_row(std::vector<int>& rows, size_t width, int i) {
    return &rows[(static_cast<size_t>(i) & ring_mask) * width];
  }
  int* cc_row(int i) { return ring_row(cc, row_width, i); }
  int* dml_row(int i) { return ring_row(dml, row_width, i); }
  int* mm_row(int p) { return ring_row(inner_mm, band_width, p); }
  // The second copy of mm_row(p), a ring further on: rows p .. p + ring - 1 are
  // consecutive from mm_row(p) on.
  int* mm_mirror(int p) { return mm_row(p) + ring * band_width; }
  int* au_row(int p) { return ring_row(inner_au, band_width, p); }

  // Candidate splits of one column j, k decreasing: pieces [i, k] and [k+1, j].
  struct Candidates {
    std::vector<int> k;      // split points
    std::vector<int> piece;  // fML(k+1, j)
  };
  const kernels::KernelSet& vector_ops = kernels::kernel_set();
  bool coaxial = false;  // dangle mode 3: coaxial stacking
  // Rows of per-row state kept, a power of two. Sizes are size_t here and below, so that
  // the compiler knows the fill's int stores leave them unchanged.
  size_t ring = 0;
  size_t ring_mask = 0;
  size_t row_width = 0;
  size_t band_width = 0;
  std::vector<int> cc;   // c without the lonely-pair rule, by row
  std::vector<int> dml;  // best two-piece split of [i, j], by row
  // Inner-pair terms, [p][q]: c(p, q) plus the inner mismatch (generic loops) or plus the
  // inner terminal penalty (bulges); ENERGY_INF where (p, q) may not be the inner pair
  // of such a loop. inner_mm holds each row twice (mm_mirror).
  std::vector<int> inner_mm, inner_au;
  std::vector<Candidates> candidates;  // per column j
  std::vector<int> best_exterior;      // exterior-loop candidates by 3' end
  std::vector<int> hairpin_by_size;    // EnergyTerms::hairpin_size, looked up
  CoaxialFill coax;                    // dangle mode 3
  int loop_cost[MAX_INTERIOR + 1][kWindow] = {};
  // Generic loops outside the windows (EnergyTerms::own_candidate), as (left, right).
  std::vector<std::pair<int, int>> own_loops;
  // Bulge sizes for the two window directions: bulge_by_r[kWindow + 1 - r] and
  // bulge_by_l[l - 2], kOutOfLoop past the sizes that exist.
  int bulge_by_r[kWindow] = {};
  int bulge_by_l[kWindow] = {};
  // Bulge terms by column: au_col[q][p % ring] (and again ring further on, so that any
  // window of rows is contiguous) holds the inner_au term of (p, q).
  std::vector<int> au_col;
  int* au_column(int q) { return &au_col[static_cast<size_t>(q) * 2 * ring]; }
};

void FillStateDeleter::operator()(FillState* state) const { delete state; }

int fill_workers(int n, int threads) {
  // Short sequences are not worth a thread.
  return std::clamp(std::min(threads, n / 256), 1, kMaxThreads);
}

size_t fill_state_bytes(int n, int dangles, int threads, bool no_closing_gu) {
  const size_t size = static_cast<size_t>(n) + 2;
  const size_t ring = static_cast<size_t>(FillState::ring_rows(fill_workers(n, threads)));
  const size_t cells = static_cast<size_t>(n) * (static_cast<size_t>(n) + 1) / 2 + 2;
  // The rings of c, split values and the inner-pair terms (one of them twice), and the
  // bulge columns.
  size_t bytes = ring * (2 * size + 3 * (size + kShift)) * sizeof(int);
  bytes += size * 2 * ring * sizeof(int);
  // Progress, exterior candidates, the split-candidate lists: their headers and, from
  // random and repetitive sequences, well under one byte per cell of content.
  bytes += size * (2 * sizeof(int) + sizeof(FillState::Candidates) + 64) + cells;
  // Each further worker: the pages of its stack and of its allocator arena.
  bytes += static_cast<size_t>(fill_workers(n, threads) - 1) * (160 << 10);
  // Dangle mode 3: the coaxial candidates.
  if (normalized_dangles(dangles) == 3)
    bytes += CoaxialFill::bytes(n, static_cast<int>(ring), no_closing_gu);
  return bytes;
}

namespace {

// Inner-pair terms of (p, q) of type t2, once c(p, q) is final.
inline __attribute__((always_inline)) void store_inner_terms(const FoldContext& x, FillState& st,
                                                             int p, int q, int t2) {
  int au = ENERGY_INF;
  const int u = x.E.rtype(t2);
  // Never an inner pair at the ends.
  if (t2 != 0 && p >= 2 && q < x.n && x.may_be_inner(u)) {
    const int c = x.c(p, q);
    st.mm_row(p)[q + kShift] = st.mm_mirror(p)[q + kShift] =
        c + x.E.interior_inner(u, x.s(q + 1), x.s(p - 1));
    au = c + x.E.terminal(u);
    st.au_row(p)[q + kShift] = au;
  }
  // The column copy's slots are reused by rows a ring apart: always overwrite them.
  int* column = st.au_column(q);
  const size_t slot = static_cast<size_t>(p) & st.ring_mask;
  column[slot] = column[slot + st.ring] = au;
}

// (i (p ... q) j): stacks, bulges and interior loops of at most MAX_INTERIOR bases.
// Returns the best of them; w receives the stacking energy on (i+1, j-1) when it may form.
int best_interior(const FoldContext& x, FillState& st, int i, int j, int t, bool barred, int& w) {
  const EnergyTerms& E = x.E;
  const int span = j - i;
  int e = ENERGY_INF;
  const int a = x.s(i + 1), b = x.s(j - 1);

  // Whether the inner pair may form is a coin toss on random sequences, so the loops
  // below are scored whatever it is (type 0 indexes the tables harmlessly) and the
  // verdict only selects the value, without a branch to mispredict.

  // (i (i+1 ... j-1) j): direct stack, allowed even to barred pairs
  if (span >= kMinSpan + 2) {
    const int t2 = x.t(i + 1, j - 1);
    const int stack = E.stack(t, E.rtype(t2));
    w = t2 != 0 ? stack : w;
    e = t2 != 0 ? stack + x.c(i + 1, j - 1) : e;
  }
  if (barred) return e;

  // (i (p ... q) j) with left and right unpaired bases, when (p, q) may be the inner
  // pair of a loop other than a stack
  auto small_loop = [&](int left, int right) __attribute__((always_inline))->int {
    const int p = i + 1 + left, q = j - 1 - right;
    const int t2 = x.t(p, q);
    const int u = E.rtype(t2);
    const int v = two_pair_energy(x, i, j, p, q, t, u) + x.c(p, q);
    return t2 != 0 && x.may_be_inner(u) ? v : ENERGY_INF;
  };

  // (i (i+1 ... j-2) . j) and mirror: bulges of one base
  if (span >= kMinSpan + 3) e = std::min({e, small_loop(0, 1), small_loop(1, 0)});
  // (i .. (p ... q) j): longer bulges, their size and both terminal penalties
  const int max_bulge = std::min(static_cast<int>(MAX_INTERIOR), span - kMinSpan - 2);
  if (max_bulge >= 2) {
    // row window: q = j-2-kWindow+k, that is r = kWindow + 1 - k, ending at r = 2
    const int bulges = st.vector_ops.min_bulge_loop(
        st.au_row(i + 1) + (j - 2 - kWindow + kShift),
        st.au_column(j - 1) + ((static_cast<size_t>(i) + 3) & st.ring_mask), max_bulge,
        st.bulge_by_r, st.bulge_by_l);
    e = std::min(e, bulges + E.terminal(t));
  }

  // (i . (p ... q) . j) and the 1x2, 2x1 and 2x2 loops, which have tables of their own
  if (span >= kMinSpan + 4) e = std::min(e, small_loop(1, 1));
  if (span >= kMinSpan + 5) e = std::min({e, small_loop(1, 2), small_loop(2, 1)});
  if (span >= kMinSpan + 6) e = std::min(e, small_loop(2, 2));
  // (i . (p ... q) ... j) and the other loops whose mismatches are not the windows'
  for (const auto& [left, right] : st.own_loops)
    if (span >= kMinSpan + 2 + left + right) e = std::min(e, small_loop(left, right));

  // (i ... (p ... q) ... j): generic interior loops, outer mismatch added last
  const int generic =
      st.vector_ops.min_generic_loop(st.mm_row(i + 1) + (j - 1 - kWindow + kShift), st.band_width,
                                     std::min(MAX_INTERIOR - 1, span - 7), st.loop_cost);
  if (generic < ENERGY_INF) e = std::min(e, generic + E.interior_outer(t, a, b));
  return e;
}

// The dangle mode is a template parameter (kDangles, normalised), so that each mode's
// fill is compiled without the other modes' terms and tests.
template <int kDangles>
void fill_pair(const FoldContext& x, FillState& st, int i, int j) {
  const EnergyTerms& E = x.E;
  const int t = x.t(i, j);
  const int b = x.bonus(i, j);
  const bool barred = x.barred(t, b);

  // (i ... j): hairpin
  int e = barred ? FORBIDDEN_HAIRPIN
                 : st.hairpin_by_size[static_cast<size_t>(j - i - 1)] +
                       E.hairpin_ends(i, j, t, x.sequence, x.S1());

  int w = ENERGY_INF;
  e = std::min(e, best_interior(x, st, i, j, t, barred, w));

  // (i [a .. b] j): multiloop closed by (i, j), over the best two-piece splits of [a .. b]
  if (!barred) {
    multiloop_closings(x, i, j, t, kDangles, [&](int a, int last, int closing) {
      e = std::min(e, st.dml_row(a)[last] + closing);
    });
  }

  // (i (i+1 k)(k+1 .. j-1) j) and mirror: closing pair stacked coaxially on a branch
  if (kDangles == 3 && j - 6 >= i + 5) {
    const int m = st.coax.closing(i, j);
    if (m < ENERGY_INF) e = std::min(e, m + E.ml_closing());
  }

  const int stacked_on = st.cc_row(i + 1)[j - 1];  // cc(i+1, j-1)
  e = std::min(e, w + stacked_on);
  st.cc_row(i)[j] = e + b;
  x.c(i, j) = x.no_lonely_pairs ? b + w + stacked_on : e + b;
}

// `shared_best` is the best split of [i, j] at the column's first `shared` candidates,
// which the block's rows take together.
template <int kDangles>
void fill_ml_piece(const FoldContext& x, FillState& st, int i, int j, int shared_best, int shared) {
  const EnergyTerms& E = x.E;
  const int unpaired = E.ml_unpaired();

  // [. i+1 .. j] and [i .. j-1 .]: unpaired base at either end of the piece
  int f = std::min(x.fML(i + 1, j) + unpaired, x.fML(i, j - 1) + unpaired);

  // (i .. j): one branch, and in modes 1 and 3 with dangling neighbours inside the piece
  branch_helices(x, i, j, kDangles,
                 [&](int p, int q, int, int e) { f = std::min(f, x.c(p, q) + e); });

  // [i .. k][k+1 .. j], k = i+4 .. j-5: two pieces, over the candidate splits of column j
  int split = ENERGY_INF;
  const bool has_split = j - 5 >= i + 4;
  if (has_split) {
    const FillState::Candidates& cand = st.candidates[static_cast<size_t>(j)];
    int count = static_cast<int>(cand.k.size());
    while (count > shared && cand.k[static_cast<size_t>(count - 1)] < i + 4) count--;
    split = shared_best;
    for (int c = shared; c < count; c++) {
      const size_t at = static_cast<size_t>(c);
      split = std::min(split, x.fML(i, cand.k[at]) + cand.piece[at]);
    }
    // Splits whose 3' piece ends in an unpaired base: together no better than the best
    // split of [i, j-1] plus that base, and that value is reached.
    if (j - i >= 10) split = std::min(split, st.dml_row(i)[j - 1] + unpaired);
  }
  st.dml_row(i)[j] = split;
  f = std::min(f, split);

  // (i k)(k+1 j): two adjacent branches stacked coaxially
  if (kDangles == 3 && j - 5 >= i + 4) f = std::min(f, st.coax.two_branches(i, j));

  x.fML(i, j) = f;
  // Splitting at i-1 is worth trying later only if this piece is one branch, without
  // unpaired bases at its ends and not itself split.
  const bool unpaired_start = i <= j - 5 && f == x.fML(i + 1, j) + unpaired;
  const bool unpaired_end = i <= j - 5 && f == x.fML(i, j - 1) + unpaired;
  if (!unpaired_start && !unpaired_end && !(has_split && f == split)) {
    FillState::Candidates& cand = st.candidates[static_cast<size_t>(j)];
    cand.k.push_back(i - 1);
    cand.piece.push_back(f);
  }
}

// The exterior-loop candidates of the helix (k, m) once f5[k-1] and f5[k-2] are final:
// for f5[m] (m the 3' end) and, with odd dangles, for f5[m+1] (base m+1 dangling).
void offer_exterior(const FoldContext& x, const std::vector<int>& f5, std::vector<int>& best, int k,
                    int m, int t) {
  exterior_helix(x, k, m, t, [&](int first, int last, int e) {
    best[last] = std::min(best[last], f5[first - 1] + x.c(k, m) + e);
  });
}

// Exterior loop, walked by rows so that c is read contiguously.
void fill_exterior(const FoldContext& x, std::vector<int>& best) {
  const int n = x.n;
  std::vector<int>& f5 = x.ws.f5;
  std::fill(f5.begin(), f5.begin() + kMinSpan + 1, 0);
  for (int k = 1; k + kMinSpan <= n; k++) {
    if (k - 1 > kMinSpan) f5[k - 1] = std::min(f5[k - 2], best[k - 1]);
    for (int m = k + kMinSpan; m <= n; m++)
      if (const int t = x.t(k, m)) offer_exterior(x, f5, best, k, m, t);
  }
  for (int m = kMinSpan + 1; m <= n; m++) f5[m] = std::min(f5[m - 1], best[m]);
}

// Fills column j of the rows top down to bottom (a block), once the rows below the block
// have finished the column. Not inlined into the wavefront: on its own it keeps the
// context in registers (measured: 6% fewer instructions).
template <int kDangles>
__attribute__((noinline)) void fill_column(const FoldContext& x, FillState& st, int top, int bottom,
                                           int j) {
  // The splits at candidates k >= top + 4, which every row of the block may take, for
  // all rows at once; each row adds the later candidates itself.
  int shared_best[kBlockRows];
  const FillState::Candidates& cand = st.candidates[static_cast<size_t>(j)];
  int shared = static_cast<int>(cand.k.size());
  while (shared > 0 && cand.k[static_cast<size_t>(shared - 1)] < top + 4) shared--;
  std::fill(std::begin(shared_best), std::end(shared_best), std::numeric_limits<int>::max());
  st.vector_ops.min_split_rows(shared_best, &x.ws.fML[static_cast<size_t>(bottom)], cand.k.data(),
                               cand.piece.data(), shared);
  for (int i = std::min(top, j - 4); i >= bottom; i--) {
    const int t = x.t(i, j);
    if (t != 0)
      fill_pair<kDangles>(x, st, i, j);
    else
      x.c(i, j) = ENERGY_INF;
    fill_ml_piece<kDangles>(x, st, i, j, shared_best[i - bottom], shared);
    store_inner_terms(x, st, i, j, t);
    if constexpr (kDangles == 3) st.coax.finish_cell(x, i, j, st.dml_row(i)[j]);
  }
}

// Every row i = n-4 .. 1 in blocks of kBlockRows rows from the 3' end, dealt round to the
// workers in turn; row r of the wavefront is i = n - 4 - r, step c is column j = c + 1.
template <int kDangles>
void fill_rows(const FoldContext& x, FillState& st, int workers) {
  const int n = x.n;
  run_wavefront(n - 4, n, workers, kBlockRows, [&](int first, int last, int c) {
    const int top = n - 4 - first, bottom = n - 4 - last;
    if (c == 0)
      for (int i = top; i >= bottom; i--) st.start_row(i);
    // A row's cells start at column i + 4.
    if (c + 1 >= bottom + 4) fill_column<kDangles>(x, st, top, bottom, c + 1);
    return true;
  });
}

}  // namespace

void fill_tables(const FoldContext& x, int threads) {
  const int n = x.n;
  // Spans too short for a hairpin can neither pair nor hold a branch.
  for (int j = 1; j <= n; j++)
    for (int i = std::max(1, j - 3); i <= j; i++) x.c(i, j) = x.fML(i, j) = ENERGY_INF;

  const int workers = fill_workers(n, threads);
  if (!x.ws.fill) x.ws.fill.reset(new FillState);
  FillState& st = *x.ws.fill;
  st.prepare(x, n, workers);
  // Fewer workers than prepared for, when threads are short, just share more blocks each.
  if (x.E.dangles() == 0)
    fill_rows<0>(x, st, workers);
  else if (x.E.dangles() == 2)
    fill_rows<2>(x, st, workers);
  else if (x.E.dangles() == 3)
    fill_rows<3>(x, st, workers);
  else
    fill_rows<1>(x, st, workers);
  fill_exterior(x, st.best_exterior);
}

}  // namespace stemloop

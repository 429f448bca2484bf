// The outside pass: for every part, the sum of the weights of everything around it, so
// that a pair's probability is its inside value times its outside value over Z. Each
// outside value gathers the parts that use the part, in the reverse order of the inside
// pass: rows from the 5' end, right ends from the 3' end, in blocks of rows on threads.
//
// Names: hat(X) is the outside value of part X. Multi(i, j) is used as the rest of
// Multi(i', j) after its first branch Branch(i', i-1), and as the rest of the multiloop
// closed by (i'-1, j+1) after its first branch Branch(i', i-1); y(i', j) adds both users'
// outside values so that one dot product over i' serves them. The loops around a pair
// are regrouped as in the inside pass: the enclosing pair's outside value times its
// outer mismatch (or terminal penalty) is kept once per pair.
#include <algorithm>

#include "ensemble/ensemble_schedule.hpp"
#include "ensemble/ensemble_tables.hpp"

namespace stemloop {
namespace {

struct OutsidePass {
  explicit OutsidePass(EnsembleTables& tables)
      : T(tables),
        x(tables.x),
        E(tables.x.E),
        R(tables.ring),
        w(tables.x, tables.ring),
        n(tables.x.n),
        width(static_cast<size_t>(n) + 2),
        ring(ring_rows(tables.threads, MAX_INTERIOR + 2)),
        z(tables.z()),
        y_col(tables.index.cells),
        rows(static_cast<size_t>(ring) * width * kRows, 0.0),
        lane_stride(static_cast<size_t>(ring) + kWindowLanes),
        mismatch_by_col((static_cast<size_t>(n) + 2) * lane_stride, 0.0),
        tail(static_cast<size_t>(ring), 0.0) {}

  // Per-row state in rings: hat(Pair), hat(Stacked), hat(Pair) times the outer mismatch
  // and times the terminal penalty (0 where (i, j) closes no such loop), hat(Branch),
  // hat(Pair) times the multiloop closing weights, and y.
  enum Row { kPair, kStacked, kMismatch, kTerminal, kBranch, kClosing, kY, kRows };
  double* row(Row what, int i) {
    return &rows[(static_cast<size_t>(i & (ring - 1)) * kRows + what) * width];
  }

  // row(kMismatch) by column, rows in reverse ring order, the first kWindowLanes slots
  // again after the last, so that rows i-1, i-2 .. i-32 of one column are contiguous
  static size_t reverse_slot(int i, int ring) { return static_cast<size_t>(~i & (ring - 1)); }
  void store_by_col(int i, int j, double v) {
    store_in_window_line(&mismatch_by_col[static_cast<size_t>(j) * lane_stride],
                         reverse_slot(i, ring), ring, v);
  }

  // Around the pair (i, j) of type t read as u from inside: the loops (a (i ... j) b)
  // other than the stack.
  double loops_around(int i, int j, int u, const ColumnWeights& c) {
    const int left_max = std::min<int>(w.free_to[static_cast<size_t>(i - 1)], MAX_INTERIOR);
    const int right_max = std::min<int>(w.free_from[static_cast<size_t>(j) + 1], MAX_INTERIOR);
    double v = 0.0;
    for (const auto& [l, r] : w.small_loops) {
      const int a = i - 1 - l, b = j + 1 + r;
      if (l > left_max || r > right_max || a < 1 || b > n) continue;
      const int ta = x.type(a, b);
      if (ta == 0 || x.barred(ta)) continue;
      v += row(kPair, a)[b] * (R.unit(a, i - 1) * R.unit(j + 1, b)) *
           R.weight(two_pair_energy(x, a, b, i, j, ta, u));
    }
    // (a .. (i ... j) b) and (a (i ... j) .. b): bulges of two or more bases
    double right = 0.0, left = 0.0;
    for (int k = 2; k <= std::min(right_max, n - j - 1); k++)
      right += w.bulge[k] * R.unit(j + 1, j + 1 + k) * row(kTerminal, i - 1)[j + 1 + k];
    for (int k = 2; k <= std::min(left_max, i - 2); k++)
      left += w.bulge[k] * R.unit(i - 1 - k, i - 1) * row(kTerminal, i - 1 - k)[j + 1];
    v += w.terminal[u] * (R.base(i - 1) * right + R.base(j + 1) * left);
    // (a ... (i ... j) ... b): generic interior loops
    double generic = 0.0;
    if (std::min(left_max, i - 2) >= MAX_INTERIOR - 1 && right_max >= MAX_INTERIOR &&
        n - j - 1 >= MAX_INTERIOR) {
      // Every window whole: (a, b) = (i-1-l, j+2+k) lies in column j+2+k.
      double sums[kWindowLanes];
      window_sums(
          &mismatch_by_col[static_cast<size_t>(j + 2) * lane_stride + reverse_slot(i - 1, ring)],
          lane_stride, c.lanes, sums);
      for (int l = 1; l < MAX_INTERIOR; l++) generic += R.unit(i - 1 - l, i - 1) * sums[l];
      return v + R.weight(E.interior_inner(u, x.s(j + 1), x.s(i - 1))) * generic;
    }
    for (int l = 1; l <= std::min(left_max, i - 2); l++) {
      const int r_max = std::min({right_max, MAX_INTERIOR - l, n - j - 1});
      if (r_max >= 1)
        generic += R.unit(i - 1 - l, i - 1) *
                   dot_short(row(kMismatch, i - 1 - l) + j + 2, &c.by_r[l][1], r_max);
    }
    return v + R.weight(E.interior_inner(u, x.s(j + 1), x.s(i - 1))) * generic;
  }

  void cell(int i, int j, const ColumnWeights& c) {
    const int span = j - i;
    // [i .. j] as the rest after a first branch Branch(k, i-1), k = 1 .. i-5
    const double multi =
        dot(&y_col[Triangle::col(1, j)], &T.qm1_col[Triangle::col(1, i - 1)], i - 5);

    // ..(k .. j) as the first branch of Multi(i, J): then unpaired bases or Multi(j+1, J)
    // (also as the rest of the multiloop closed by (i-1, J+1), through y); or after base
    // i-1 unpaired
    double& unpaired_after = tail[static_cast<size_t>(i & (ring - 1))];
    unpaired_after =
        multi +
        (j < n && x.free(j + 1, j + 1) ? w.ml_unpaired * R.base(j + 1) * unpaired_after : 0.0);
    double branch = unpaired_after;
    if (i > 1 && x.free(i - 1, i - 1))
      branch += row(kBranch, i - 1)[j] * (w.ml_unpaired * R.base(i - 1));
    if (j + MIN_HAIRPIN + 2 <= n)
      branch += dot(row(kY, i) + j + MIN_HAIRPIN + 2,
                    &T.qm[T.index.row(j + 1, j + MIN_HAIRPIN + 2)], n - j - MIN_HAIRPIN - 1);
    row(kBranch, i)[j] = branch;

    double pair = 0.0, stacked = 0.0, closing = 0.0;
    const int t = x.type(i, j);
    if (t != 0) {
      const int u = E.rtype(t);
      // k (i .. j) m in the exterior loop, or a multiloop branch
      double around = 0.0;
      exterior_helix(x, i, j, t, [&](int, int, int e) {
        around = T.q5[static_cast<size_t>(i) - 1] * T.q3[static_cast<size_t>(j) + 1] * R.weight(e);
      });
      branch_helices(x, i, j, E.dangles(),
                     [&](int, int, int, int e) { around = around + branch * R.weight(e); });
      if (i > 1 && j < n && !x.barred(t)) around += loops_around(i, j, u, c);
      // (i-1 (i ... j) j+1): the stack
      double stack = 0.0;
      if (i > 1 && j < n) {
        if (const int ta = x.type(i - 1, j + 1)) {
          const double weight = R.weight(E.stack(ta, u)) * (R.base(i - 1) * R.base(j + 1));
          stack =
              (row(kPair, i - 1)[j + 1] + (x.no_lonely_pairs ? row(kStacked, i - 1)[j + 1] : 0.0)) *
              weight;
        }
      }
      const size_t at = T.index.row(i, j);
      double p;
      if (x.no_lonely_pairs) {
        stacked = around;
        pair = stack;
        p = T.qs[at] * stacked + T.qb[at] * pair;
      } else {
        pair = around + stack;
        p = T.qb[at] * pair;
      }
      T.prob[at] = std::min(1.0, p / z);
      if (!x.barred(t)) {
        multiloop_closings(x, i, j, t, E.dangles(), [&](int, int, int e) {
          closing = pair * R.weight(e) * (R.base(i) * R.base(j));
        });
        row(kMismatch, i)[j] = pair * R.weight(E.interior_outer(t, x.s(i + 1), x.s(j - 1)));
        row(kTerminal, i)[j] = pair * w.terminal[t];
      }
    }
    if (t == 0 || x.barred(t)) row(kMismatch, i)[j] = row(kTerminal, i)[j] = 0.0;
    store_by_col(i, j, row(kMismatch, i)[j]);
    row(kPair, i)[j] = pair;
    row(kStacked, i)[j] = stacked;
    row(kClosing, i)[j] = closing;
    (void)span;
    const double y = multi + (i > 1 && j < n ? row(kClosing, i - 1)[j + 1] : 0.0);
    row(kY, i)[j] = y;
    y_col[Triangle::col(i, j)] = y;
  }

  EnsembleTables& T;
  const EnsembleContext& x;
  const EnergyTerms& E;
  const BoltzmannRing& R;
  const LoopWeights w;
  const int n;
  const size_t width;
  const int ring;
  const double z;
  CellTable y_col;  // y by column, every row
  std::vector<double> rows;
  const size_t lane_stride;
  std::vector<double> mismatch_by_col;
  std::vector<double> tail;  // per row in flight: the unpaired-tail sum of hat(Multi)
};

}  // namespace

void outside_pass(EnsembleTables& T) {
  const EnsembleContext& x = T.x;
  const int n = x.n;
  const size_t width = static_cast<size_t>(n) + 2;

  // q5[j]: the exterior loop of 1..j.
  T.q5.assign(width, 0.0);
  T.q5[0] = 1.0;
  for (int j = 1; j <= n; j++) {
    double v = x.free(j, j) ? T.q5[static_cast<size_t>(j - 1)] * T.ring.base(j) : 0.0;
    for (int i = 1; i + MIN_HAIRPIN + 1 <= j; i++) {
      const int t = x.type(i, j);
      if (t == 0) continue;
      exterior_helix(x, i, j, t, [&](int, int, int e) {
        v += T.q5[static_cast<size_t>(i - 1)] * T.get(Ref{x.enclosed_pair(), i, j}) *
             T.ring.weight(e);
      });
    }
    T.q5[static_cast<size_t>(j)] = v;
  }

  T.prob = CellTable(T.index.cells);
  OutsidePass pass(T);
  // Row r is i = r + 1; step c is column j = n - c.
  run_wavefront(n, n, T.threads, kBlockRows, [&](int first, int last, int c) {
    const int j = n - c;
    if (j - (first + 1) < MIN_HAIRPIN + 1) return true;  // no cell of the block's rows
    const ColumnWeights weights(pass.w, T.ring, j, false);
    for (int r = first; r <= last; r++) {
      const int i = r + 1;
      if (j - i >= MIN_HAIRPIN + 1) pass.cell(i, j, weights);
    }
    return true;
  });

  T.unpaired.assign(width, 1.0);
  for (int i = 1; i <= n; i++)
    for (int j = i + MIN_HAIRPIN + 1; j <= n; j++) {
      const double p = T.prob[T.index.row(i, j)];
      T.unpaired[static_cast<size_t>(i)] -= p;
      T.unpaired[static_cast<size_t>(j)] -= p;
    }
  for (double& q : T.unpaired) q = std::max(0.0, q);
}

}  // namespace stemloop

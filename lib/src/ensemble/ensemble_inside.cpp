// The inside pass of the partition function (McCaskill 1990): for every part the sum of
// the Boltzmann weights of its candidates (ensemble_recursions.hpp), regrouped:
// - A generic interior loop's weight is outer mismatch x size x (inner mismatch x the
//   inner pair's value); the last factor is kept once per inner pair, so the sum over
//   loop sizes is a dot product per row of inner pairs. Bulges likewise, with terminal
//   penalties.
// - Multi(i, j) = sum over l of Branch(i, l) x (Multi(l+1, j) + the bases l+1..j
//   unpaired); the second part is a running sum along the row.
// - Multi is also kept by column, so both multiloop sums read contiguous memory.
// - The multiloop closed by (i, j) sums Branch(i+1, l) x Multi(l+1, j-1) over the same l
//   as Multi(i+1, j-1) does for its two or more branches: that sum is formed once.
//
// Values are scaled by a factor per base, so that a stretch of any length holds a value
// near 1 when the factor matches the ensemble's free energy per base. The factor starts
// from a guess; when some block's values drift out of a safe range, the pass stops and
// starts again with the factor the drifting values imply.
#include <algorithm>
#include <atomic>
#include <cmath>

#include "ensemble/ensemble_schedule.hpp"
#include "ensemble/ensemble_tables.hpp"

namespace stemloop {
namespace {

// Blocks whose largest value leaves [e^-kSafe, e^kSafe] restart the pass; doubles reach
// e^709, and the products of two values stay within that.
constexpr double kSafe = 230.0;

struct InsidePass {
  InsidePass(EnsembleTables& tables)
      : T(tables),
        x(tables.x),
        E(tables.x.E),
        R(tables.ring),
        w(tables.x, tables.ring),
        n(tables.x.n),
        width(static_cast<size_t>(n) + 2),
        ring(ring_rows(tables.threads, MAX_INTERIOR + 2)),
        inner_mm(static_cast<size_t>(ring) * width, 0.0),
        inner_au(inner_mm),
        splits(inner_mm),
        lane_stride(static_cast<size_t>(ring) + kWindowLanes),
        by_span((static_cast<size_t>(n) + 1) * lane_stride, 0.0),
        tail(static_cast<size_t>(ring), 0.0) {}

  double* mm_row(int p) { return &inner_mm[static_cast<size_t>(p & (ring - 1)) * width]; }
  double* au_row(int p) { return &inner_au[static_cast<size_t>(p & (ring - 1)) * width]; }
  // inner_mm by span j - i, rows in ring order, the first kWindowLanes rows again after
  // the last, so that rows i+1 .. i+32 of one span are contiguous
  void store_by_span(int i, int j, double v) {
    store_in_window_line(&by_span[static_cast<size_t>(j - i) * lane_stride],
                         static_cast<size_t>(i & (ring - 1)), ring, v);
  }
  double* split_row(int p) { return &splits[static_cast<size_t>(p & (ring - 1)) * width]; }

  // (i (p ... q) j) for every p, q but the stack.
  double loops(int i, int j, int t, const ColumnWeights& c) {
    const int span = j - i;
    const int left_max = std::min<int>(w.free_from[static_cast<size_t>(i) + 1], MAX_INTERIOR);
    const int right_max = std::min<int>(w.free_to[static_cast<size_t>(j - 1)], MAX_INTERIOR);
    const int a = x.s(i + 1), b = x.s(j - 1);
    double v = 0.0;
    // (i (i+1 ... j-2) . j), (i . (i+2 ... j-1) j), 1x1, 1x2, 2x1, 2x2: tables of their own
    for (const auto& [l, r] : w.small_loops) {
      if (l > left_max || r > right_max || span - l - r - 2 < MIN_HAIRPIN + 1) continue;
      const int p = i + 1 + l, q = j - 1 - r;
      const int t2 = x.type(p, q);
      if (t2 == 0 || x.barred(t2)) continue;
      const int u = E.rtype(t2);
      v += R.weight(two_pair_energy(x, i, j, p, q, t, u)) * (R.unit(i, p - 1) * R.unit(q + 1, j)) *
           T.get(Ref{x.enclosed_pair(), p, q});
    }
    // (i (i+1 ... q) .. j) and (i .. (p ... j-1) j): bulges of two or more bases
    double right = 0.0, left = 0.0;
    const int bulge_max = span - MIN_HAIRPIN - 3;
    for (int k = 2; k <= std::min(right_max, bulge_max); k++)
      right += w.bulge[k] * R.unit(j - k, j) * au_row(i + 1)[j - 1 - k];
    for (int k = 2; k <= std::min(left_max, bulge_max); k++)
      left += w.bulge[k] * R.unit(i, i + k) * au_row(i + 1 + k)[j - 1];
    v += w.terminal[t] * (R.base(i) * right + R.base(j) * left);
    // (i ... (p ... q) ... j): generic interior loops
    double generic = 0.0;
    if (left_max >= MAX_INTERIOR - 1 && right_max >= MAX_INTERIOR && span >= MAX_INTERIOR + 6) {
      // Every window whole: (p, q) = (i+1+l, j-31+l+k) lies on span j-i-32+k.
      double sums[kWindowLanes];
      window_sums(&by_span[static_cast<size_t>(span - 32) * lane_stride +
                           static_cast<size_t>((i + 1) & (ring - 1))],
                  lane_stride, c.lanes, sums);
      for (int l = 1; l < MAX_INTERIOR; l++) generic += R.unit(i, i + l) * sums[l];
      return v + R.weight(E.interior_outer(t, a, b)) * generic;
    }
    for (int l = 1; l <= left_max; l++) {
      const int r_max = std::min<int>({right_max, MAX_INTERIOR - l, span - l - 6});
      if (r_max < 1) break;
      generic += R.unit(i, i + l) * dot_short(mm_row(i + 1 + l) + (j - 1 - r_max),
                                              &c.by_r[l][MAX_INTERIOR - r_max], r_max);
    }
    return v + R.weight(E.interior_outer(t, a, b)) * generic;
  }

  void cell(int i, int j, const ColumnWeights& c) {
    const size_t at = T.index.row(i, j);
    const int t = x.type(i, j);
    const int span = j - i;
    double qb = 0.0, qs = 0.0;
    if (t != 0) {
      const bool barred = x.barred(t);
      // (i ... j): hairpin
      int hairpin = 0;
      if (hairpin_loop(x, i, j, t, barred, hairpin)) qb += R.weight(hairpin) * R.unit(i, j);
      // (i (i+1 ... j-1) j): stack, allowed to barred pairs too
      if (span - 2 >= MIN_HAIRPIN + 1) {
        if (const int t2 = x.type(i + 1, j - 1)) {
          qs = R.weight(E.stack(t, E.rtype(t2))) * (R.base(i) * R.base(j)) *
               T.qb[T.index.row(i + 1, j - 1)];
          qb += qs;
        }
      }
      if (!barred) {
        qb += loops(i, j, t, c);
        // (i [i+1 .. l][l+1 .. j-1] j): multiloop, l = i+5 .. j-6: the very sum of the
        // two or more branches of Multi(i+1, j-1), kept when that was computed
        if (span >= 2 * MIN_HAIRPIN + 5) {
          const double split = split_row(i + 1)[j - 1];
          multiloop_closings(x, i, j, t, E.dangles(), [&](int, int, int e) {
            const double closing = R.weight(e) * (R.base(i) * R.base(j));
            qb += closing * split;
          });
        }
      }
    }
    T.qb[at] = qb;
    if (x.no_lonely_pairs) T.qs[at] = qs;
    const double enclosed = x.no_lonely_pairs ? qs : qb;

    // (i, j) as the inner pair of a bulge or interior loop
    const int u = E.rtype(t);
    const bool inner = t != 0 && i > 1 && j < n && !x.barred(t);
    mm_row(i)[j] = inner ? enclosed * R.weight(E.interior_inner(u, x.s(j + 1), x.s(i - 1))) : 0.0;
    store_by_span(i, j, mm_row(i)[j]);
    au_row(i)[j] = inner ? enclosed * w.terminal[u] : 0.0;

    // . [i+1 .. j] and (i .. j): Branch
    double branch = 0.0;
    branch_helices(x, i, j, E.dangles(), [&](int, int, int type, int e) {
      if (type != 0) branch = enclosed * R.weight(e);
    });
    if (x.free(i, i) && holds_branch(i + 1, j))
      branch += T.qm1[T.index.row(i + 1, j)] * (w.ml_unpaired * R.base(i));
    T.qm1[at] = T.qm1_col[Triangle::col(i, j)] = branch;

    // [i .. l] . . j: the last branch followed by unpaired bases only, along the row
    double& last = tail[static_cast<size_t>(i & (ring - 1))];
    last = (span > MIN_HAIRPIN + 1 && x.free(j, j) ? last * (w.ml_unpaired * R.base(j)) : 0.0) +
           branch;
    // [i .. l][l+1 .. j], l = i+4 .. j-5, kept for the multiloop closed by (i-1, j+1)
    const double split =
        dot(&T.qm1[T.index.row(i, i + 4)], &T.qm_col[Triangle::col(i + 5, j)], span - 8);
    split_row(i)[j] = split;
    const double multi = last + split;
    T.qm[at] = T.qm_col[Triangle::col(i, j)] = multi;
  }

  // A block's rows, once done: false when their values left the safe range.
  bool in_range(int i_low, int i_high) {
    for (int i = i_low; i <= i_high; i++) {
      double largest = 0.0;
      int span = 1;
      for (int j = i + MIN_HAIRPIN + 1; j <= n; j++) {
        const size_t at = T.index.row(i, j);
        const double v = std::max(T.qb[at], T.qm[at]);
        if (v > largest) largest = v, span = j - i + 1;
      }
      if (largest > 0.0 && std::fabs(std::log(largest)) > kSafe) {
        drift = -std::log(largest) / span;
        return false;
      }
    }
    return true;
  }

  EnsembleTables& T;
  const EnsembleContext& x;
  const EnergyTerms& E;
  const BoltzmannRing& R;
  const LoopWeights w;
  const int n;
  const size_t width;
  const int ring;
  // Per row of inner pairs (p, q), kept for the rows above: the pair's value times its
  // inner mismatch (generic loops) or its terminal penalty (bulges), 0 where it may not
  // be the inner pair of such a loop.
  std::vector<double> inner_mm, inner_au;
  // Per row, the part of Multi(i, j) with two or more branches, for the rows above.
  std::vector<double> splits;
  const size_t lane_stride;
  std::vector<double> by_span;
  std::vector<double> tail;  // per row in flight
  double drift = 0.0;        // change of ln(scale factor) a block asked for
};

void exterior(EnsembleTables& T) {
  const EnsembleContext& x = T.x;
  const int n = x.n;
  T.q3.assign(static_cast<size_t>(n) + 2, 0.0);
  T.q3[static_cast<size_t>(n) + 1] = 1.0;
  for (int i = n; i >= 1; i--) {
    double v = 0.0;
    for_each_candidate(x, T.ring, T, Ref{Part::Exterior, i, 0},
                       [&](double c, Ref, Ref) { v += c; });
    T.q3[static_cast<size_t>(i)] = v;
  }
}

}  // namespace

ColumnWeights::ColumnWeights(const LoopWeights& w, const BoltzmannRing& R, int j, bool inside) {
  const int n = static_cast<int>(w.free_from.size()) - 2;
  // The factor of the r bases on the column's side, 0 where they would leave the sequence
  // (as are the weights of the loops outside the windows).
  double side[MAX_INTERIOR + 1] = {};
  for (int r = 1; r <= MAX_INTERIOR; r++) {
    if (inside ? j - r >= 1 : j + 1 + r <= n)
      side[r] = inside ? R.unit(j - r, j) : R.unit(j + 1, j + 1 + r);
  }
  for (int l = 1; l <= MAX_INTERIOR; l++) {
    double* row = by_r[l];
    if (inside) {
      for (int r = 1; l + r <= MAX_INTERIOR; r++) row[MAX_INTERIOR - r] = w.generic[l][r] * side[r];
    } else {
      for (int r = 1; l + r <= MAX_INTERIOR; r++) row[r] = w.generic[l][r] * side[r];
    }
  }
  for (int l = 1; l < MAX_INTERIOR; l++)
    for (int k = 0; l + k < MAX_INTERIOR; k++) lanes[k][l] = by_r[l][inside ? l + k : 1 + k];
}

LoopWeights::LoopWeights(const EnsembleContext& x, const BoltzmannRing& R)
    : ml_unpaired(R.weight(x.E.ml_unpaired())),
      free_from(static_cast<size_t>(x.n) + 2, 0),
      free_to(static_cast<size_t>(x.n) + 2, 0) {
  const EnergyTerms& E = x.E;
  for (int l = 1; l <= MAX_INTERIOR; l++)
    for (int r = 1; l + r <= MAX_INTERIOR; r++)
      if (E.in_windows(l, r)) generic[l][r] = R.weight(E.interior_size(l, r));
  small_loops = {{0, 1}, {1, 0}, {1, 1}, {1, 2}, {2, 1}, {2, 2}};
  for (int l = 1; l <= MAX_INTERIOR; l++)
    for (int r = 1; l + r <= MAX_INTERIOR; r++)
      if (E.own_candidate(l, r)) small_loops.push_back({l, r});
  for (int b = 2; b <= MAX_INTERIOR; b++) bulge[b] = R.weight(E.bulge_size(b));
  for (int t = 0; t < kPairTypes; t++) terminal[t] = R.weight(E.terminal(t));
  for (int k = x.n; k >= 1; k--)
    free_from[static_cast<size_t>(k)] =
        x.free(k, k) ? free_from[static_cast<size_t>(k) + 1] + 1 : 0;
  for (int k = 1; k <= x.n; k++)
    free_to[static_cast<size_t>(k)] = x.free(k, k) ? free_to[static_cast<size_t>(k - 1)] + 1 : 0;
}

bool inside_pass(EnsembleTables& T) {
  InsidePass pass(T);
  const int n = T.x.n;
  // Row r is i = n - r; step c is column j = c + 1.
  const bool whole = run_wavefront(n, n, T.threads, kBlockRows, [&](int first, int last, int c) {
    const int j = c + 1;
    if (j - (n - last) < MIN_HAIRPIN + 1) return true;  // no cell of the block's rows yet
    const ColumnWeights weights(pass.w, T.ring, j, true);
    for (int r = first; r <= last; r++) {
      const int i = n - r;
      if (j - i >= MIN_HAIRPIN + 1) pass.cell(i, j, weights);
    }
    return j < n || pass.in_range(n - last, n - first);
  });
  if (whole) {
    exterior(T);
    const double z = T.z();
    // Z = 0 is an empty ensemble, unless the open chain, always a member when no base
    // must pair, underflowed.
    const bool open_chain = T.x.free(1, n);
    if (z > 0.0 ? std::fabs(std::log(z)) <= kSafe : !open_chain) return true;
    pass.drift = z > 0.0 ? -std::log(z) / n : kSafe / n;
  }
  T.ring = T.ring.shifted(pass.drift);
  return false;
}

}  // namespace stemloop

// The inside pass of the partition function (McCaskill 1990): every part's sum of
// Boltzmann weights, from the 3' end row by row.
//
// Values are scaled by a factor per base, so that a stretch of any length holds a value
// near 1 when the factor matches the ensemble's free energy per base. The factor starts
// from a guess; when a row's values drift out of a safe range, the pass stops and starts
// again with the factor the drifting values imply.
#include <cmath>

#include "engine/ensemble_tables.hpp"

namespace stemloop {
namespace {

// Rows whose largest value leaves [e^-kSafe, e^kSafe] restart the pass; doubles reach
// e^709, and the products of two values of a row stay within that.
constexpr double kSafe = 230.0;

}  // namespace

void EnsembleTables::set(Ref r, double v) {
  switch (r.part) {
    case Part::Pair:
      qb[index.row(r.i, r.j)] = v;
      break;
    case Part::Stacked:
      qs[index.row(r.i, r.j)] = v;
      break;
    case Part::Branch:
      qm1[index.row(r.i, r.j)] = qm1_col[Triangle::col(r.i, r.j)] = v;
      break;
    case Part::Multi:
      qm[index.row(r.i, r.j)] = qm_col[Triangle::col(r.i, r.j)] = v;
      break;
    case Part::Exterior:
      q3[static_cast<size_t>(r.i)] = v;
      break;
    case Part::None:
      break;
  }
}

bool inside_pass(EnsembleTables& T) {
  const EnsembleContext& x = T.x;
  const int n = x.n;
  T.q3.assign(static_cast<size_t>(n) + 2, 0.0);
  T.q3[static_cast<size_t>(n) + 1] = 1.0;
  const Triangle& ix = T.index;
  return inside_by_candidates(x, T.ring, T, [&](int i) {
    // The largest value of the row and the stretch it covers.
    double largest = T.q3[static_cast<size_t>(i)];
    int span = n - i + 1;
    for (int j = i + MIN_HAIRPIN + 1; j <= n; j++) {
      const size_t at = ix.row(i, j);
      const double v = std::max(T.qb[at], T.qm[at]);
      if (v > largest) largest = v, span = j - i + 1;
    }
    const double log_largest = std::log(largest);
    if (largest > 0.0 && std::fabs(log_largest) > kSafe) {
      T.ring = BoltzmannRing(x.rt, T.ring.log_unit() - log_largest / span, n);
      return false;
    }
    return true;
  });
}

}  // namespace stemloop

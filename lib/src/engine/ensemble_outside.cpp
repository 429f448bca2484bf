// The outside pass: for every part, the sum of the weights of everything around it, so
// that a pair's probability is its inside value times its outside value over Z. Each
// outside value gathers the parts that use the part, in the reverse order of the inside
// pass: rows from the 5' end, right ends from the 3' end.
//
// Names: hat(X) is the outside value of part X. Multi(i, j) is used as the rest of
// Multi(i', j) after its first branch Branch(i', i-1), and as the rest of the multiloop
// closed by (i'-1, j+1) after its first branch Branch(i', i-1); y(i', j) adds both users'
// outside values so that one sum over i' serves them.
#include <algorithm>
#include <utility>

#include "engine/ensemble_tables.hpp"

namespace stemloop {
namespace {

// Rows of pair outside values an interior loop reaches back: MAX_INTERIOR + 2, rounded
// up to a power of two.
constexpr int kRing = 32;
static_assert(kRing >= MAX_INTERIOR + 2, "the ring holds every enclosing pair's row");

}  // namespace

void outside_pass(EnsembleTables& T) {
  const EnsembleContext& x = T.x;
  const EnergyTerms& E = x.E;
  const BoltzmannRing& R = T.ring;
  const Triangle& ix = T.index;
  const int n = x.n;
  const size_t width = static_cast<size_t>(n) + 2;
  const double z = T.z();

  // q5[j]: the exterior loop of 1..j.
  T.q5.assign(width, 0.0);
  T.q5[0] = 1.0;
  for (int j = 1; j <= n; j++) {
    double v = x.free(j, j) ? T.q5[static_cast<size_t>(j - 1)] * R.unit(1) : 0.0;
    for (int i = 1; i + MIN_HAIRPIN + 1 <= j; i++) {
      const int t = x.type(i, j);
      if (t == 0) continue;
      v += T.q5[static_cast<size_t>(i - 1)] * T.get(Ref{x.enclosed_pair(), i, j}) *
           R.weight(E.exterior_branch(t, x.five(i), x.three(j)));
    }
    T.q5[static_cast<size_t>(j)] = v;
  }

  T.prob.assign(ix.cells, 0.0);
  std::vector<double> y_col(ix.cells, 0.0);
  std::vector<double> y_row(width, 0.0);
  std::vector<double> branch_prev(width, 0.0), branch_cur(width, 0.0);  // hat(Branch)
  std::vector<double> closing_prev(width, 0.0), closing_cur(width, 0.0);
  // hat(Pair) and, under the lonely-pair rule, hat(Stacked), for the last kRing rows.
  std::vector<double> pair_hat(kRing * width, 0.0), stacked_hat(kRing * width, 0.0);
  auto ring_at = [&](int i, int j) {
    return static_cast<size_t>(i & (kRing - 1)) * width + static_cast<size_t>(j);
  };
  const double unpaired_ml = R.weight(E.ml_unpaired()) * R.unit(1);

  for (int i = 1; i <= n; i++) {
    std::fill(pair_hat.begin() + static_cast<long>(ring_at(i, 0)),
              pair_hat.begin() + static_cast<long>(ring_at(i, 0) + width), 0.0);
    std::fill(stacked_hat.begin() + static_cast<long>(ring_at(i, 0)),
              stacked_hat.begin() + static_cast<long>(ring_at(i, 0) + width), 0.0);
    std::fill(branch_cur.begin(), branch_cur.end(), 0.0);
    std::fill(closing_cur.begin(), closing_cur.end(), 0.0);
    std::fill(y_row.begin(), y_row.end(), 0.0);
    double tail = 0.0;  // sum over J >= j of hat(Multi(i, J)) times the bases j+1..J unpaired
    for (int j = n; j >= i + MIN_HAIRPIN + 1; j--) {
      // [i .. j] as the rest after a first branch Branch(i', i-1)
      double multi = 0.0;
      for (int k = 1; k + MIN_HAIRPIN + 1 <= i - 1; k++)
        multi += y_col[Triangle::col(k, j)] * T.qm1_col[Triangle::col(k, i - 1)];

      // ..(k .. j) as the first branch of Multi(i, J): then unpaired bases or Multi(j+1, J);
      // as the first branch inside the pair (i-1, J+1); or after base i-1 unpaired
      tail = multi + (j < n && x.free(j + 1, j + 1) ? unpaired_ml * tail : 0.0);
      double branch = tail;
      if (i > 1 && x.free(i - 1, i - 1)) branch += branch_prev[static_cast<size_t>(j)] * unpaired_ml;
      for (int J = j + MIN_HAIRPIN + 2; J <= n; J++)
        branch += y_row[static_cast<size_t>(J)] * T.qm[ix.row(j + 1, J)];
      branch_cur[static_cast<size_t>(j)] = branch;

      if (const int t = x.type(i, j)) {
        // k (i .. j) m in the exterior loop, a multiloop branch, or inside another pair
        double around = T.q5[static_cast<size_t>(i - 1)] * T.q3[static_cast<size_t>(j + 1)] *
                            R.weight(E.exterior_branch(t, x.five(i), x.three(j))) +
                        branch * R.weight(E.ml_branch(t, x.five(i), x.three(j)));
        // (a (i ... j) b)
        const int u = E.rtype(t);
        double stacked_in = 0.0;
        for (int a = i - 1; a >= std::max(1, i - MAX_INTERIOR - 1) && x.free(a + 1, i - 1); a--) {
          const int b_max = std::min(n, j + 1 + MAX_INTERIOR - (i - a - 1));
          for (int b = j + 1; b <= b_max && x.free(j + 1, b - 1); b++) {
            const int ta = x.type(a, b);
            if (ta == 0) continue;
            const bool stack = a == i - 1 && b == j + 1;
            if (!stack && (x.barred(ta) || x.barred(u))) continue;
            const double w =
                R.weight(E.two_pair_loop(i - a - 1, b - j - 1, ta, u, x.s(a + 1), x.s(b - 1),
                                         x.s(i - 1), x.s(j + 1))) *
                R.unit(i - a + b - j);
            if (stack && x.no_lonely_pairs) {
              stacked_in = (pair_hat[ring_at(a, b)] + stacked_hat[ring_at(a, b)]) * w;
            } else {
              around += pair_hat[ring_at(a, b)] * w;
            }
          }
        }
        const size_t at = ix.row(i, j);
        double pair = around, p = T.qb[at] * around;
        if (x.no_lonely_pairs) {
          stacked_hat[ring_at(i, j)] = around;
          pair = stacked_in;
          p = T.qs[at] * around + T.qb[at] * pair;
        }
        pair_hat[ring_at(i, j)] = pair;
        T.prob[at] = std::min(1.0, p / z);
        // (i [i+1 .. l][l+1 .. j-1] j)
        if (!x.barred(t))
          closing_cur[static_cast<size_t>(j)] =
              pair * R.weight(E.ml_closing() + E.ml_branch(u, x.s(j - 1), x.s(i + 1))) * R.unit(2);
      }
      const double y = multi + (j < n ? closing_prev[static_cast<size_t>(j + 1)] : 0.0);
      y_row[static_cast<size_t>(j)] = y;
      y_col[Triangle::col(i, j)] = y;
    }
    std::swap(branch_prev, branch_cur);
    std::swap(closing_prev, closing_cur);
  }

  T.unpaired.assign(width, 1.0);
  for (int i = 1; i <= n; i++)
    for (int j = i + MIN_HAIRPIN + 1; j <= n; j++) {
      const double p = T.prob[ix.row(i, j)];
      T.unpaired[static_cast<size_t>(i)] -= p;
      T.unpaired[static_cast<size_t>(j)] -= p;
    }
  for (double& q : T.unpaired) q = std::max(0.0, q);
}

}  // namespace stemloop

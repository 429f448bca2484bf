// The straightforward fill, term by term as the recursions define it. The library's fill
// is optimised; the tests compare every table value of both.
#include <algorithm>

#include "mfe/fold_workspace.hpp"

namespace stemloop {
namespace {

struct Rows {
  explicit Rows(int n)
      : cc(n + 2, ENERGY_INF), cc1(cc), Fmi(n + 1, ENERGY_INF), DMLi(Fmi), DMLi1(Fmi), DMLi2(Fmi) {}
  // The finished row becomes the row of left end i + 1.
  void next_row() {
    std::swap(DMLi2, DMLi1), std::swap(DMLi1, DMLi), std::swap(cc1, cc);
    for (auto* row : {&DMLi, &Fmi, &cc}) std::fill(row->begin(), row->end(), ENERGY_INF);
  }
  std::vector<int> cc, cc1;             // c without the lonely-pair rule, rows i and i + 1
  std::vector<int> Fmi;                 // fML(i, j) of the current row
  std::vector<int> DMLi, DMLi1, DMLi2;  // best two-piece split, rows i, i + 1, i + 2
};

void fill_pair(const FoldContext& x, Rows& r, int i, int j) {
  const EnergyTerms& E = x.E;
  const int t = x.t(i, j);
  const int b = x.bonus(i, j);
  const bool barred = x.barred(t, b);

  // (i ... j): hairpin
  int e = barred ? FORBIDDEN_HAIRPIN : E.hairpin(i, j, t, x.sequence, x.S1());

  // (i (p ... q) j): stack, bulge or interior loop
  int w = ENERGY_INF;
  const int p_max = std::min(j - 5, i + MAX_INTERIOR + 1);
  for (int p = i + 1; p <= p_max; p++) {
    for (int q = std::max(p + 4, p + j - i - MAX_INTERIOR - 2); q < j; q++) {
      const int t2 = x.t(p, q);
      if (t2 == 0) continue;
      const int u = E.rtype(t2);
      const bool direct_stack = p == i + 1 && q == j - 1;
      if (!direct_stack && (barred || !x.may_be_inner(u))) continue;
      const int L = E.two_pair_loop(p - i - 1, j - q - 1, t, u, x.s(i + 1), x.s(j - 1), x.s(p - 1),
                                    x.s(q + 1));
      e = std::min(e, L + x.c(p, q));
      if (direct_stack) w = L;
    }
  }

  // (i (..)(..) j): multiloop, its bases dangling on the closing pair read from inside
  // as tt, the branch cost by the type t from outside
  const int tt = E.rtype(t);
  if (!barred) {
    // mode 2: the dangles (or end mismatch) of j-1 and i+1 on tt, without its branch cost
    int d = r.DMLi1[j - 1] + E.ml_branch(tt, x.s(j - 1), x.s(i + 1)) - E.ml_branch(tt);
    if (E.odd_dangles()) {
      const int x3 = E.dangle3(tt, x.s(i + 1)), x5 = E.dangle5(tt, x.s(j - 1));
      const int u = E.ml_unpaired();
      d = std::min(
          {d, r.DMLi2[j - 1] + x3 + u, r.DMLi1[j - 2] + x5 + u, r.DMLi2[j - 2] + x3 + x5 + 2 * u});
    }
    e = std::min(e, d + E.ml_branch(t) + E.ml_closing());
  }

  // (i (i+1 k)(k+1 .. j-1) j) and mirror: closing pair stacked coaxially on a branch
  if (E.dangles() == 3) {
    for (int k = i + 5; k <= j - 6; k++) {
      const int u1 = E.rtype(x.t(i + 1, k));
      if (u1 != 0)
        e = std::min(e,
                     x.c(i + 1, k) + E.coaxial_stack(t, u1) + x.fML(k + 1, j - 1) + E.ml_closing());
      const int u2 = E.rtype(x.t(k + 1, j - 1));
      if (u2 != 0)
        e = std::min(e,
                     x.c(k + 1, j - 1) + E.coaxial_stack(t, u2) + x.fML(i + 1, k) + E.ml_closing());
    }
  }

  e = std::min(e, w + r.cc1[j - 1]);
  r.cc[j] = e + b;
  x.c(i, j) = x.no_lonely_pairs ? b + w + r.cc1[j - 1] : r.cc[j];
}

void fill_ml_piece(const FoldContext& x, Rows& r, int i, int j) {
  const EnergyTerms& E = x.E;
  const int n = x.n;
  const int t = x.t(i, j);
  const int unpaired = E.ml_unpaired();

  // unpaired base at either end of the piece
  int f = std::min(x.fML(i + 1, j) + unpaired, x.fML(i, j - 1) + unpaired);

  // one branch (i, j)
  f = std::min(f, x.c(i, j) + E.ml_branch(t, i > 1 ? x.s(i - 1) : -1, j < n ? x.s(j + 1) : -1));

  // one branch with dangling neighbours inside the piece
  if (E.odd_dangles()) {
    const int t1 = x.t(i + 1, j), t2 = x.t(i, j - 1), t3 = x.t(i + 1, j - 1);
    f = std::min(f, x.c(i + 1, j) + E.dangle5(t1, x.s(i)) + E.ml_branch(t1) + unpaired);
    f = std::min(f, x.c(i, j - 1) + E.dangle3(t2, x.s(j)) + E.ml_branch(t2) + unpaired);
    f = std::min(f, x.c(i + 1, j - 1) + E.dangle5(t3, x.s(i)) + E.dangle3(t3, x.s(j)) +
                        E.ml_branch(t3) + 2 * unpaired);
  }

  // two pieces [i, k] [k+1, j]
  int split = ENERGY_INF;
  for (int k = i + 4; k <= j - 5; k++) split = std::min(split, r.Fmi[k] + x.fML(k + 1, j));
  r.DMLi[j] = split;
  f = std::min(f, split);

  // two adjacent branches stacked coaxially
  if (E.dangles() == 3) {
    for (int k = i + 4; k <= j - 5; k++) {
      const int u1 = E.rtype(x.t(i, k)), u2 = E.rtype(x.t(k + 1, j));
      if (u1 != 0 && u2 != 0) f = std::min(f, x.c(i, k) + x.c(k + 1, j) + E.coaxial_stack(u1, u2));
    }
  }

  r.Fmi[j] = f;
  x.fML(i, j) = f;
}

void fill_exterior(const FoldContext& x) {
  const EnergyTerms& E = x.E;
  const int n = x.n;
  std::vector<int>& f5 = x.ws.f5;
  std::fill(f5.begin(), f5.begin() + 5, 0);
  for (int j = 5; j <= n; j++) {
    const int three = j < n ? x.s(j + 1) : -1;
    int v = f5[j - 1];
    for (int k = j - 4; k >= 1; k--) {
      const int before = k > 1 ? f5[k - 1] : 0;
      const int five = k > 1 ? x.s(k - 1) : -1;
      if (int t = x.t(k, j)) {
        v = std::min(v, before + x.c(k, j) + E.exterior_branch(t, five, three));
        if (E.odd_dangles() && k > 1)
          v = std::min(v, f5[k - 2] + x.c(k, j) + E.dangle5(t, five) + E.terminal(t));
      }
      if (E.odd_dangles()) {
        if (int t = x.t(k, j - 1)) {
          const int e = x.c(k, j - 1) + E.dangle3(t, x.s(j)) + E.terminal(t);
          v = std::min(v, before + e);
          if (k > 1) v = std::min(v, f5[k - 2] + e + E.dangle5(t, five));
        }
      }
    }
    f5[j] = v;
  }
}

}  // namespace

void reference_fill(const FoldContext& x) {
  const int n = x.n;
  // Spans too short for a hairpin can neither pair nor hold a branch.
  for (int j = 1; j <= n; j++)
    for (int i = std::max(1, j - 3); i <= j; i++) x.c(i, j) = x.fML(i, j) = ENERGY_INF;

  Rows rows(n);
  for (int i = n - 4; i >= 1; i--) {
    for (int j = i + 4; j <= n; j++) {
      if (x.t(i, j) != 0)
        fill_pair(x, rows, i, j);
      else
        x.c(i, j) = ENERGY_INF;
      fill_ml_piece(x, rows, i, j);
    }
    rows.next_row();
  }
  fill_exterior(x);
}

}  // namespace stemloop

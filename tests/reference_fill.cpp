// The straightforward fill, term by term as the recursions define it. The library's fill
// is optimised; the tests compare every table value of both.
#include <algorithm>

#include "engine/fold_workspace.hpp"
#include "engine/loops.hpp"

namespace stemloop {
namespace {

struct Rows {
  explicit Rows(int n)
      : cc(static_cast<size_t>(n) + 2, ENERGY_INF),
        cc1(cc),
        Fmi(static_cast<size_t>(n) + 1, ENERGY_INF),
        DMLi(Fmi),
        DMLi1(Fmi),
        DMLi2(Fmi) {}
  // The finished row becomes the row of left end i + 1.
  void next_row() {
    std::swap(DMLi2, DMLi1);
    std::swap(DMLi1, DMLi);
    std::swap(cc1, cc);
    std::fill(DMLi.begin(), DMLi.end(), ENERGY_INF);
    std::fill(Fmi.begin(), Fmi.end(), ENERGY_INF);
    std::fill(cc.begin(), cc.end(), ENERGY_INF);
  }
  std::vector<int> cc, cc1;            // c without the lonely-pair rule, rows i and i + 1
  std::vector<int> Fmi;                // fML(i, j) of the current row
  std::vector<int> DMLi, DMLi1, DMLi2; // best two-piece split, rows i, i + 1, i + 2
};

void fill_pair(const FoldContext& x, Rows& r, int i, int j) {
  const EnergyParams& P = x.P;
  const int t = x.t(i, j);
  const int b = x.bonus(i, j);
  const bool barred = x.barred(t, b);

  // (i ... j): hairpin
  int e = barred ? FORBIDDEN_HAIRPIN : HairpinE(P, i, j, t, x.sequence, x.ws.seq.S1.data(),
                                                x.tetra_loop);

  // (i (p ... q) j): stack, bulge or interior loop
  int w = ENERGY_INF;
  const int p_max = std::min(j - 5, i + MAX_INTERIOR + 1);
  for (int p = i + 1; p <= p_max; p++) {
    for (int q = std::max(p + 4, p + j - i - MAX_INTERIOR - 2); q < j; q++) {
      const int t2 = x.t(p, q);
      if (t2 == 0) continue;
      const int u = x.pm.rtype[t2];
      const bool direct_stack = p == i + 1 && q == j - 1;
      if (x.no_closing_gu && (barred || u == 3 || u == 4) && !direct_stack) continue;
      const int L = LoopEnergy(P, p - i - 1, j - q - 1, t, u, x.s(i + 1), x.s(j - 1),
                               x.s(p - 1), x.s(q + 1));
      e = std::min(e, L + x.c(p, q));
      if (direct_stack) w = L;
    }
  }

  // (i (..)(..) j): regular multiloop closing
  if (!barred) {
    int d = r.DMLi1[j - 1];
    if (x.dangles != 0) {
      const int tt = x.pm.rtype[t];
      const int x3 = x.D3(tt, i + 1), x5 = x.D5(tt, j - 1);
      if (x.dangles == 2) {
        d += x3 + x5;
      } else {
        d = std::min({d, r.DMLi2[j - 1] + x3 + P.MLbase, r.DMLi1[j - 2] + x5 + P.MLbase,
                      r.DMLi2[j - 2] + x3 + x5 + 2 * P.MLbase});
      }
    }
    e = std::min(e, d + P.MLintern[t] + P.MLclosing);
  }

  // (i (i+1 k)(k+1 .. j-1) j) and mirror: closing pair stacked coaxially on a branch
  if (x.dangles == 3) {
    int m = ENERGY_INF;
    for (int k = i + 5; k <= j - 6; k++) {
      const int u1 = x.pm.rtype[x.t(i + 1, k)];
      if (u1 != 0) m = std::min(m, x.c(i + 1, k) + P.stack[t][u1] + x.fML(k + 1, j - 1));
      const int u2 = x.pm.rtype[x.t(k + 1, j - 1)];
      if (u2 != 0) m = std::min(m, x.c(k + 1, j - 1) + P.stack[t][u2] + x.fML(i + 1, k));
    }
    e = std::min(e, m + 2 * P.MLintern[1] + P.MLclosing);
  }

  e = std::min(e, w + r.cc1[j - 1]);
  r.cc[j] = e + b;
  x.c(i, j) = x.no_lonely_pairs ? b + w + r.cc1[j - 1] : r.cc[j];
}

void fill_ml_piece(const FoldContext& x, Rows& r, int i, int j) {
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
    f = std::min(f, x.c(i + 1, j - 1) + x.D5(t3, i) + x.D3(t3, j) + P.MLintern[t3] +
                        2 * P.MLbase);
  }

  // two pieces [i, k] [k+1, j]
  int split = ENERGY_INF;
  for (int k = i + 4; k <= j - 5; k++) split = std::min(split, r.Fmi[k] + x.fML(k + 1, j));
  r.DMLi[j] = split;
  f = std::min(f, split);

  // two adjacent branches stacked coaxially
  if (x.dangles == 3) {
    int m = ENERGY_INF;
    for (int k = i + 4; k <= j - 5; k++) {
      const int u1 = x.pm.rtype[x.t(i, k)], u2 = x.pm.rtype[x.t(k + 1, j)];
      if (u1 != 0 && u2 != 0) m = std::min(m, x.c(i, k) + x.c(k + 1, j) + P.stack[u1][u2]);
    }
    f = std::min(f, m + 2 * P.MLintern[1]);
  }

  r.Fmi[j] = f;
  x.fML(i, j) = f;
}

void fill_exterior(const FoldContext& x) {
  const int n = x.n;
  std::vector<int>& f5 = x.ws.f5;
  std::fill(f5.begin(), f5.begin() + 5, 0);
  for (int j = 5; j <= n; j++) {
    int v = f5[j - 1];
    if (int t = x.t(1, j)) {
      int e = x.c(1, j) + FoldContext::AU(t);
      if (x.dangles == 2 && j < n) e += x.D3(t, j + 1);
      v = std::min(v, e);
    }
    if (x.odd_dangles) {
      if (int t = x.t(1, j - 1)) v = std::min(v, x.c(1, j - 1) + x.D3(t, j) + FoldContext::AU(t));
    }
    for (int k = j - 4; k >= 2; k--) {
      if (int t = x.t(k, j)) {
        int e = f5[k - 1] + x.c(k, j) + FoldContext::AU(t);
        if (x.dangles == 2) {
          e += x.D5(t, k - 1);
          if (j < n) e += x.D3(t, j + 1);
        }
        v = std::min(v, e);
        if (x.odd_dangles)
          v = std::min(v, f5[k - 2] + x.c(k, j) + x.D5(t, k - 1) + FoldContext::AU(t));
      }
      if (x.odd_dangles) {
        if (int t = x.t(k, j - 1)) {
          const int e = x.c(k, j - 1) + x.D3(t, j) + FoldContext::AU(t);
          v = std::min({v, f5[k - 1] + e, f5[k - 2] + e + x.D5(t, k - 1)});
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

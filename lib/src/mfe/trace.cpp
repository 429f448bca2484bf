// Backtracking: retrace one optimal structure through f5, fML and c. The order of the
// tests decides which of several equal-energy structures is produced; keep it.
#include <algorithm>

#include "mfe/fold_workspace.hpp"
#include "stemloop/error.hpp"

namespace stemloop {
namespace {

enum Segment : int { kExterior = 0, kPiece = 1, kPair = 2 };

struct Pending {
  int i, j, ml;
};

class Tracer {
 public:
  Tracer(const FoldContext& x, std::vector<std::pair<int, int>>& pairs)
      : x_(x), E_(x.E), pairs_(pairs) {}

  void run(int ml) {
    stack_.push_back(Pending{1, x_.n, ml});
    while (!stack_.empty()) {
      const Pending seg = stack_.back();
      stack_.pop_back();
      if (seg.ml == kPair) {
        pair_trace(seg.i, seg.j);
        continue;
      }
      const int i = seg.i, j = seg.j;
      if (j < i + MIN_HAIRPIN + 1) continue;
      const int v = seg.ml == kExterior ? x_.ws.f5[j] : x_.fML(i, j);
      const int v_unpaired =
          seg.ml == kExterior ? x_.ws.f5[j - 1] : x_.fML(i, j - 1) + E_.ml_unpaired();
      if (v == v_unpaired) {  // base j unpaired
        stack_.push_back(Pending{i, j - 1, seg.ml});
        continue;
      }
      if (seg.ml == kExterior)
        exterior_step(j, v);
      else
        piece_step(i, j, v);
    }
  }

 private:
  // The exterior loop ending at j: the helix that ends there or one base before it,
  // with the 5' neighbour and, in modes 1 and 3, one dangling base. Among the helices
  // from k, the last matching test wins; the first k, from the 3' end, that matches is
  // taken.
  void exterior_step(int j, int v) {
    for (int k = j - MIN_HAIRPIN - 1; k >= 1; k--) {
      int pj = 0, rest = 0;
      exterior_candidates(k, j, v, pj, rest);
      if (pj != 0) {
        stack_.push_back(Pending{1, rest, kExterior});
        pair_trace(k, pj);
        return;
      }
    }
    throw Error("backtrack failed in f5");
  }

  // Sets pj (the helix's 3' end) and rest (the end of the exterior loop before it) when
  // a helix from k explains f5[j] = v.
  void exterior_candidates(int k, int j, int v, int& pj, int& rest) const {
    const std::vector<int>& f5 = x_.ws.f5;
    const int five = k > 1 ? x_.s(k - 1) : -1;
    if (E_.odd_dangles()) {
      if (const int t = x_.t(k, j - 1)) {
        const int e = x_.c(k, j - 1) + E_.dangle3(t, x_.s(j)) + E_.terminal(t);
        // [1 .. k-1] (k .. j-1) .
        if (v == f5[k - 1] + e) pj = j - 1, rest = k - 1;
        // [1 .. k-2] . (k .. j-1) .
        if (k > 1 && v == f5[k - 2] + e + E_.dangle5(t, five)) pj = j - 1, rest = k - 2;
      }
    }
    if (const int t = x_.t(k, j)) {
      // [1 .. k-1] (k .. j), both neighbours dangling in mode 2
      const int three = j < x_.n ? x_.s(j + 1) : -1;
      if (v == f5[k - 1] + x_.c(k, j) + E_.exterior_branch(t, five, three)) pj = j, rest = k - 1;
      // [1 .. k-2] . (k .. j)
      if (E_.odd_dangles() && k > 1 &&
          v == f5[k - 2] + x_.c(k, j) + E_.terminal(t) + E_.dangle5(t, five))
        pj = j, rest = k - 2;
    }
  }

  void piece_step(int i, int j, int v) {
    const int n = x_.n;
    const int unpaired = E_.ml_unpaired();
    if (v == x_.fML(i + 1, j) + unpaired) {  // [. i+1 .. j]
      stack_.push_back(Pending{i + 1, j, kPiece});
      return;
    }

    // (i .. j): one branch, or with dangling neighbours inside the piece
    const int t = x_.t(i, j);
    const int a0 = x_.c(i, j) + E_.ml_branch(t, i > 1 ? x_.s(i - 1) : -1, j < n ? x_.s(j + 1) : -1);
    int a1 = ENERGY_INF, a2 = ENERGY_INF, a3 = ENERGY_INF;
    if (E_.odd_dangles()) {
      const int t1 = x_.t(i + 1, j), t2 = x_.t(i, j - 1), t3 = x_.t(i + 1, j - 1);
      a1 = x_.c(i + 1, j) + E_.dangle5(t1, x_.s(i)) + E_.ml_branch(t1) + unpaired;
      a2 = x_.c(i, j - 1) + E_.dangle3(t2, x_.s(j)) + E_.ml_branch(t2) + unpaired;
      a3 = x_.c(i + 1, j - 1) + E_.dangle5(t3, x_.s(i)) + E_.dangle3(t3, x_.s(j)) +
           E_.ml_branch(t3) + 2 * unpaired;
    }
    if (v == a1) return pair_trace(i + 1, j);
    if (v == a2) return pair_trace(i, j - 1);
    if (v == a3) return pair_trace(i + 1, j - 1);
    if (v == a0) return pair_trace(i, j);

    // [i .. k][k+1 .. j]: two pieces
    for (int k = i + 4; k <= j - 5; k++) {
      if (v == x_.fML(i, k) + x_.fML(k + 1, j)) {
        stack_.push_back(Pending{i, k, kPiece});
        stack_.push_back(Pending{k + 1, j, kPiece});
        return;
      }
    }
    // (i k)(k+1 j): two coaxially stacked branches
    if (E_.dangles() == 3) {
      for (int k = i + 4; k <= j - 5; k++) {
        const int u1 = E_.rtype(x_.t(i, k)), u2 = E_.rtype(x_.t(k + 1, j));
        if (u1 == 0 || u2 == 0) continue;
        if (v == x_.c(i, k) + x_.c(k + 1, j) + E_.coaxial_stack(u1, u2)) {
          stack_.push_back(Pending{i, k, kPair});
          stack_.push_back(Pending{k + 1, j, kPair});
          return;
        }
      }
    }
    throw Error("backtrack failed in fML");
  }

  // Records (i, j) and follows the loop it closes: down helices and interior loops
  // iteratively, multiloop parts onto the segment stack.
  void pair_trace(int i, int j) {
    pairs_.emplace_back(i, j);
    int g = x_.c(i, j);
    for (;;) {
      const int t = x_.t(i, j);
      const int b = x_.bonus(i, j);
      // (i (i+1 ... j-1) j): under the lonely-pair rule c(i, j) itself is the stack
      if (x_.no_lonely_pairs && g == x_.c(i, j)) {
        g -= b + E_.stack(t, E_.rtype(x_.t(i + 1, j - 1)));
        i++;
        j--;
        pairs_.emplace_back(i, j);
        continue;
      }
      // (i ... j): hairpin
      const bool barred = x_.barred(t, b);
      if (barred && g == FORBIDDEN_HAIRPIN) return;
      if (!barred && g == E_.hairpin(i, j, t, x_.sequence, x_.S1()) + b) return;
      if (interior_step(i, j, t, b, barred, g)) continue;
      multiloop_step(i, j, t, b, barred, g);
      return;
    }
  }

  // Interior loops, smallest left gap first and for each the smallest right gap first.
  // On a match moves (i, j) to the inner pair and resets the target to its c.
  bool interior_step(int& i, int& j, int t, int b, bool barred, int& g) {
    // (i (p ... q) j)
    const int p_max = std::min(j - MIN_HAIRPIN - 2, i + MAX_INTERIOR + 1);
    for (int p = i + 1; p <= p_max; p++) {
      const int q_min = std::max(p + MIN_HAIRPIN + 1, p + j - i - MAX_INTERIOR - 2);
      for (int q = j - 1; q >= q_min; q--) {
        const int t2 = x_.t(p, q);
        if (t2 == 0) continue;
        const int u = E_.rtype(t2);
        const bool direct_stack = p == i + 1 && q == j - 1;
        if (!direct_stack && (barred || !x_.may_be_inner(u))) continue;
        const int L = E_.two_pair_loop(p - i - 1, j - q - 1, t, u, x_.s(i + 1), x_.s(j - 1),
                                       x_.s(p - 1), x_.s(q + 1));
        if (g == L + x_.c(p, q) + b) {
          pairs_.emplace_back(p, q);
          i = p;
          j = q;
          g = x_.c(p, q);
          return true;
        }
      }
    }
    return false;
  }

  // (i (..)(..) j): the multiloop closed by (i, j), read from inside as tt; the first
  // split k that explains g is taken.
  void multiloop_step(int i, int j, int t, int b, bool barred, int g) {
    for (int k = i + 5; k <= j - 6; k++) {
      if (!barred && split_closing(i, j, k, t, b, g)) return;
      if (E_.dangles() == 3 && coaxial_closing(i, j, k, t, b, g)) return;
    }
    throw Error("backtracking failed in repeat");
  }

  // (i [i+1 .. k][k+1 .. j-1] j) and, in modes 1 and 3, with bases dangling on (i, j).
  bool split_closing(int i, int j, int k, int t, int b, int g) {
    const int tt = E_.rtype(t);
    if (g ==
        x_.fML(i + 1, k) + x_.fML(k + 1, j - 1) + b + E_.ml_closed_by(t, x_.s(j - 1), x_.s(i + 1)))
      return push_parts(i + 1, k, kPiece, k + 1, j - 1, kPiece);
    if (!E_.odd_dangles()) return false;
    const int base = b + E_.ml_closed_by(t), unpaired = E_.ml_unpaired();
    const int x5 = E_.dangle5(tt, x_.s(j - 1)), x3 = E_.dangle3(tt, x_.s(i + 1));
    // (i . [i+2 .. k][k+1 .. j-1] j)
    if (g == x_.fML(i + 2, k) + x_.fML(k + 1, j - 1) + base + x3 + unpaired)
      return push_parts(i + 2, k, kPiece, k + 1, j - 1, kPiece);
    // (i [i+1 .. k][k+1 .. j-2] . j)
    if (g == x_.fML(i + 1, k) + x_.fML(k + 1, j - 2) + base + x5 + unpaired)
      return push_parts(i + 1, k, kPiece, k + 1, j - 2, kPiece);
    // (i . [i+2 .. k][k+1 .. j-2] . j)
    if (g == x_.fML(i + 2, k) + x_.fML(k + 1, j - 2) + base + x3 + x5 + 2 * unpaired)
      return push_parts(i + 2, k, kPiece, k + 1, j - 2, kPiece);
    return false;
  }

  // (i (i+1 k) [k+1 .. j-1] j) and (i [i+1 .. k] (k+1 j-1) j): coaxial stacks.
  bool coaxial_closing(int i, int j, int k, int t, int b, int g) {
    const int closing = E_.ml_closing() + b;
    const int u1 = E_.rtype(x_.t(i + 1, k));
    if (u1 != 0 && g == x_.c(i + 1, k) + E_.coaxial_stack(t, u1) + x_.fML(k + 1, j - 1) + closing)
      return push_parts(i + 1, k, kPair, k + 1, j - 1, kPiece);
    const int u2 = E_.rtype(x_.t(k + 1, j - 1));
    if (u2 != 0 && g == x_.c(k + 1, j - 1) + E_.coaxial_stack(t, u2) + x_.fML(i + 1, k) + closing)
      return push_parts(i + 1, k, kPiece, k + 1, j - 1, kPair);
    return false;
  }

  // The 5' part goes first, so the 3' part is traced first. Always true, for the callers'
  // `return push_parts(...)`.
  bool push_parts(int i1, int j1, int ml1, int i2, int j2, int ml2) {
    stack_.push_back(Pending{i1, j1, ml1});
    stack_.push_back(Pending{i2, j2, ml2});
    return true;
  }

  const FoldContext& x_;
  const EnergyTerms& E_;
  std::vector<std::pair<int, int>>& pairs_;
  std::vector<Pending> stack_;
};

}  // namespace

void trace_structure(const FoldContext& ctx, char backtrack_type,
                     std::vector<std::pair<int, int>>& pairs) {
  const int ml = backtrack_type == 'M' ? kPiece : backtrack_type == 'C' ? kPair : kExterior;
  Tracer(ctx, pairs).run(ml);
}

}  // namespace stemloop

// Backtracking: retrace one optimal structure through f5, fML and c. The order of the
// tests decides which of several equal-energy structures is produced; keep it.
#include <algorithm>

#include "mfe/fold_workspace.hpp"
#include "model/loop_candidates.hpp"
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
  // a helix from k explains f5[j] = v: in modes 1 and 3 one that ends at j-1 with base j
  // dangling, then one that ends at j.
  void exterior_candidates(int k, int j, int v, int& pj, int& rest) const {
    const std::vector<int>& f5 = x_.ws.f5;
    for (const int m : {j - 1, j}) {
      if (m == j - 1 && !E_.odd_dangles()) continue;
      const int t = x_.t(k, m);
      if (t == 0) continue;
      exterior_helix(x_, k, m, t, [&](int first, int last, int e) {
        if (last == j && v == f5[first - 1] + x_.c(k, m) + e) pj = m, rest = first - 1;
      });
    }
  }

  void piece_step(int i, int j, int v) {
    const int unpaired = E_.ml_unpaired();
    if (v == x_.fML(i + 1, j) + unpaired) {  // [. i+1 .. j]
      stack_.push_back(Pending{i + 1, j, kPiece});
      return;
    }

    // (i .. j): one branch, or with dangling neighbours inside the piece
    bool found = false;
    branch_helices(x_, i, j, E_.dangles(), [&](int p, int q, int, int e) {
      if (!found && v == x_.c(p, q) + e) found = true, pair_trace(p, q);
    });
    if (found) return;

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
        int e = 0;
        if (coaxial_branches(x_, i, k, j, e) && v == x_.c(i, k) + x_.c(k + 1, j) + e) {
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
      int hairpin = 0;
      if (hairpin_loop(x_, i, j, t, barred, hairpin) && g == hairpin + b) return;
      if (interior_step(i, j, t, b, barred, g)) continue;
      multiloop_step(i, j, t, b, barred, g);
      return;
    }
  }

  // Interior loops, smallest left gap first and for each the smallest right gap first.
  // On a match moves (i, j) to the inner pair and resets the target to its c.
  bool interior_step(int& i, int& j, int t, int b, bool barred, int& g) {
    // (i (p ... q) j)
    int p = 0, q = 0;
    const bool found = for_each_two_pair_loop(x_, i, j, barred, [&](int p2, int q2, int u) {
      p = p2, q = q2;
      return g == two_pair_energy(x_, i, j, p, q, t, u) + x_.c(p, q) + b;
    });
    if (!found) return false;
    pairs_.emplace_back(p, q);
    i = p;
    j = q;
    g = x_.c(p, q);
    return true;
  }

  // (i (..)(..) j): the multiloop closed by (i, j); the first split k that explains g is
  // taken.
  void multiloop_step(int i, int j, int t, int b, bool barred, int g) {
    for (int k = i + 5; k <= j - 6; k++) {
      if (!barred && split_closing(i, j, k, t, b, g)) return;
      if (E_.dangles() == 3 && coaxial_closing(i, j, k, t, b, g)) return;
    }
    throw Error("backtracking failed in repeat");
  }

  // (i [i+1 .. k][k+1 .. j-1] j) and, in modes 1 and 3, with bases dangling on (i, j).
  bool split_closing(int i, int j, int k, int t, int b, int g) {
    bool found = false;
    multiloop_closings(x_, i, j, t, E_.dangles(), [&](int first, int last, int e) {
      if (!found && g == x_.fML(first, k) + x_.fML(k + 1, last) + b + e)
        found = push_parts(first, k, kPiece, k + 1, last, kPiece);
    });
    return found;
  }

  // (i (i+1 k) [k+1 .. j-1] j) and (i [i+1 .. k] (k+1 j-1) j): coaxial stacks.
  bool coaxial_closing(int i, int j, int k, int t, int b, int g) {
    bool found = false;
    coaxial_closings(x_, i, j, k, t, [&](int p, int q, int e) {
      const bool first = p == i + 1;
      if (found || g != x_.c(p, q) + (first ? x_.fML(k + 1, j - 1) : x_.fML(i + 1, k)) + e + b)
        return;
      found = first ? push_parts(i + 1, k, kPair, k + 1, j - 1, kPiece)
                    : push_parts(i + 1, k, kPiece, k + 1, j - 1, kPair);
    });
    return found;
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

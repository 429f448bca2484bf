// The loops of a structure as every algorithm decomposes them, with the options' rules
// and the energies of energy_terms.hpp: which loops a pair closes (hairpin, stacks,
// bulges and interior loops, multiloop) and how a helix end of the exterior loop or of a
// multiloop takes its neighbours in each dangle mode. The MFE fill and trace, the
// ensemble and suboptimal folding combine these candidates with their own tables; their
// fast paths regroup the same terms.
//
// A Site is one sequence under one model and its rules, with
//   const EnergyTerms& terms();  int type(i, j) (0: may not pair);  int s(k) aliased code;
//   int length();  const char* text();  const short* S1();
//   bool free(a, b): bases a..b may all stay unpaired (true when a > b);
//   bool may_be_inner(u): a pair read from inside as u may be the inner pair of a loop
//   other than a stack.
// A pair that is `barred` (under no_closingGU) closes no loop but a stack.
#pragma once

#include <algorithm>

#include "model/energy_terms.hpp"
#include "stemloop/constants.h"

namespace stemloop {

// (i ... j): the hairpin closed by (i, j) of type t into e; false when the pair is barred
// or a base inside must pair.
template <class Site>
inline bool hairpin_loop(const Site& x, int i, int j, int t, bool barred, int& e) {
  if (barred || !x.free(i + 1, j - 1)) return false;
  e = x.terms().hairpin(i, j, t, x.text(), x.S1());
  return true;
}

// (i (p ... q) j): the stack, bulge or interior loop, t the type of (i, j) from outside
// and u that of (p, q) from inside.
template <class Site>
inline __attribute__((always_inline)) int two_pair_energy(const Site& x, int i, int j, int p, int q,
                                                          int t, int u) {
  return x.terms().two_pair_loop(p - i - 1, j - q - 1, t, u, x.s(i + 1), x.s(j - 1), x.s(p - 1),
                                 x.s(q + 1));
}

// Only the stack (i (i+1 ... j-1) j) is open to a barred (i, j) and to an inner pair read
// from inside as u that may not be inner.
template <class Site>
inline bool two_pair_rules_allow(const Site& x, bool stack, bool barred, int u) {
  return stack || (!barred && x.may_be_inner(u));
}

// Every (i (p ... q) j) that (i, j) may close: p ascending and, for each p, q descending,
// with at most MAX_INTERIOR unpaired bases, all free, more than MIN_HAIRPIN bases inside
// (p, q), and two_pair_rules_allow. Calls visit(p, q, u), u the type of (p, q) from inside,
// until it returns true, and then returns true. The walk may start at (p_from, q_from),
// where a walk that stopped there would go on.
template <class Site, class Visit>
bool for_each_two_pair_loop(const Site& x, int i, int j, bool barred, Visit&& visit, int p_from = 0,
                            int q_from = 0) {
  const EnergyTerms& E = x.terms();
  const int p_max = std::min(j - MIN_HAIRPIN - 2, i + MAX_INTERIOR + 1);
  int q = q_from != 0 ? q_from : j - 1;
  for (int p = p_from != 0 ? p_from : i + 1; p <= p_max && x.free(i + 1, p - 1); p++, q = j - 1) {
    const int q_min = std::max(p + MIN_HAIRPIN + 1, p + j - i - MAX_INTERIOR - 2);
    for (; q >= q_min && x.free(q + 1, j - 1); q--) {
      const int t2 = x.type(p, q);
      if (t2 == 0) continue;
      const int u = E.rtype(t2);
      if (!two_pair_rules_allow(x, p == i + 1 && q == j - 1, barred, u)) continue;
      if (visit(p, q, u)) return true;
    }
  }
  return false;
}

// For one (i (p ... q) j), i < j: the type of (p, q) from inside when for_each_two_pair_loop
// visits it for (i, j), barred or not, and 0 when it does not.
template <class Site>
inline int two_pair_inner_type(const Site& x, int i, int j, int p, int q, bool barred) {
  const int left = p - i - 1, right = j - q - 1;
  if (left < 0 || right < 0 || left + right > MAX_INTERIOR || q - p <= MIN_HAIRPIN) return 0;
  if (!x.free(i + 1, p - 1) || !x.free(q + 1, j - 1)) return 0;
  const int t2 = x.type(p, q);
  if (t2 == 0) return 0;
  const int u = x.terms().rtype(t2);
  return two_pair_rules_allow(x, left + right == 0, barred, u) ? u : 0;
}

// k (i ... j) m: the helix (i, j) of type t in the exterior loop, with the bases next to
// it. Calls visit(first, last, e) for each way: the helix and the unpaired bases that
// dangle on it cover first..last, and e is what it pays beyond its own pair. Modes 0 and
// 2 have one way (in mode 2 both neighbours dangle, paired or not); modes 1 and 3 add a
// lone 5' neighbour, a lone 3' neighbour and both, in that order.
template <class Site, class Visit>
inline __attribute__((always_inline)) void exterior_helix(const Site& x, int i, int j, int t,
                                                          Visit&& visit) {
  const EnergyTerms& E = x.terms();
  const int n = x.length();
  const int five = i > 1 ? x.s(i - 1) : -1, three = j < n ? x.s(j + 1) : -1;
  // [1 .. i-1] (i .. j)
  visit(i, j, E.exterior_branch(t, five, three));
  if (!E.odd_dangles()) return;
  const int base = E.terminal(t);
  // [1 .. i-2] . (i .. j)
  if (i > 1) visit(i - 1, j, base + E.dangle5(t, five));
  if (j == n) return;
  // [1 .. i-1] (i .. j) .
  const int d3 = E.dangle3(t, three);
  visit(i, j + 1, base + d3);
  // [1 .. i-2] . (i .. j) .
  if (i > 1) visit(i - 1, j + 1, base + d3 + E.dangle5(t, five));
}

// [i .. j] as one multiloop branch: the helix (p, q) and the unpaired bases that dangle
// on it cover i..j. Calls visit(p, q, type, e) for each, whatever the type (0 where the
// bases may not pair), e what the branch pays beyond its own pair, unpaired bases
// included; in modes 1 and 3 first the helices (i+1, j), (i, j-1) and (i+1, j-1) with
// their lone dangling neighbours, then (i, j). `dangles` is E's normalised mode, given
// so that a caller that knows it at compile time drops the other modes' terms.
template <class Site, class Visit>
inline __attribute__((always_inline)) void branch_helices(const Site& x, int i, int j, int dangles,
                                                          Visit&& visit) {
  const EnergyTerms& E = x.terms();
  const int n = x.length();
  if (dangles % 2 == 1) {
    const int u = E.ml_unpaired();
    const int t1 = x.type(i + 1, j), t2 = x.type(i, j - 1), t3 = x.type(i + 1, j - 1);
    // . (i+1 .. j)
    visit(i + 1, j, t1, E.dangle5(t1, x.s(i)) + E.ml_branch(t1) + u);
    // (i .. j-1) .
    visit(i, j - 1, t2, E.dangle3(t2, x.s(j)) + E.ml_branch(t2) + u);
    // . (i+1 .. j-1) .
    visit(i + 1, j - 1, t3,
          E.dangle5(t3, x.s(i)) + E.dangle3(t3, x.s(j)) + E.ml_branch(t3) + 2 * u);
  }
  // (i .. j), both neighbours dangling in mode 2
  const int t = x.type(i, j);
  visit(i, j, t,
        dangles == 2 ? E.ml_branch(t, i > 1 ? x.s(i - 1) : -1, j < n ? x.s(j + 1) : -1)
                     : E.ml_branch(t));
}

// (i [a .. b] j): the multiloop closed by (i, j) of type t from outside, its branches in
// a..b. Calls visit(a, b, e) for each way, e what the closing pair pays (ml_closed_by, its
// dangles and the unpaired bases between it and a..b): a..b = i+1..j-1 (in mode 2 with
// both inside neighbours dangling), then in modes 1 and 3 with a lone base i+1, a lone
// base j-1, and both, dangling on it. `dangles` as for branch_helices.
template <class Site, class Visit>
inline __attribute__((always_inline)) void multiloop_closings(const Site& x, int i, int j, int t,
                                                              int dangles, Visit&& visit) {
  const EnergyTerms& E = x.terms();
  if (dangles == 2) return visit(i + 1, j - 1, E.ml_closed_by(t, x.s(j - 1), x.s(i + 1)));
  const int base = E.ml_closed_by(t);
  visit(i + 1, j - 1, base);
  if (dangles % 2 == 0) return;
  const int tt = E.rtype(t), u = E.ml_unpaired();
  const int x3 = E.dangle3(tt, x.s(i + 1)), x5 = E.dangle5(tt, x.s(j - 1));
  // (i . [i+2 .. j-1] j), (i [i+1 .. j-2] . j), (i . [i+2 .. j-2] . j)
  visit(i + 2, j - 1, base + x3 + u);
  visit(i + 1, j - 2, base + x5 + u);
  visit(i + 2, j - 2, base + x3 + x5 + 2 * u);
}

// Dangle mode 3, (i (i+1 k) [k+1 .. j-1] j) and (i [i+1 .. k] (k+1 j-1) j): the multiloop
// closed by (i, j) of type t from outside, split after k, with the closing pair stacked
// end on end on the branch next to it. Calls visit(p, q, e) for the first branch and
// then the second, where it may form: (p, q) the branch, e what the closing pair and the
// stack pay.
template <class Site, class Visit>
void coaxial_closings(const Site& x, int i, int j, int k, int t, Visit&& visit) {
  const EnergyTerms& E = x.terms();
  if (const int u = E.rtype(x.type(i + 1, k)))
    visit(i + 1, k, E.coaxial_stack(t, u) + E.ml_closing());
  if (const int u = E.rtype(x.type(k + 1, j - 1)))
    visit(k + 1, j - 1, E.coaxial_stack(t, u) + E.ml_closing());
}

// Dangle mode 3, (i k)(k+1 j): two adjacent multiloop branches stacked end on end, e what
// the stack pays in place of their branch costs; false when either may not form.
template <class Site>
bool coaxial_branches(const Site& x, int i, int k, int j, int& e) {
  const EnergyTerms& E = x.terms();
  const int u1 = E.rtype(x.type(i, k)), u2 = E.rtype(x.type(k + 1, j));
  if (u1 == 0 || u2 == 0) return false;
  e = E.coaxial_stack(u1, u2);
  return true;
}

}  // namespace stemloop

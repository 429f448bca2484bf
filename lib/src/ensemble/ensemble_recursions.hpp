// The decomposition of the ensemble, written once for any semiring: the partition
// function sums Boltzmann weights (times a scale factor per base), the fold with
// enforced constraints takes the minimum of energies. The inside passes combine the
// candidates of each part; sampling and the trace walk the same candidates back.
//
// Parts, by their bracket pictures ([ ] a stretch, . unpaired, ( ) a pair):
//   Pair(i, j)     (i ... j)        i paired with j, everything inside
//   Stacked(i, j)  ((i+1 ... j-1))  under the lonely-pair rule: (i, j) with (i+1, j-1)
//                                   inside, the form a pair takes in any loop but a stack
//   Branch(i, l)   ..(k ... l)      one multiloop branch ending at l, unpaired bases before
//   Multi(i, j)    [i ... j]        at least one multiloop branch, unpaired bases around
//   Exterior(i)    [i ... n]        the exterior loop from i to the 3' end
#pragma once

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "model/energy_terms.hpp"
#include "model/loop_candidates.hpp"
#include "model/strict_constraints.hpp"
#include "stemloop/constants.h"
#include "stemloop/ensemble.hpp"

namespace stemloop {

enum class Part { None, Pair, Stacked, Branch, Multi, Exterior };

struct Ref {
  Part part;
  int i, j;
};
constexpr Ref kNone{Part::None, 0, 0};

// Whether the stretch a..b is long enough to hold a pair.
constexpr bool holds_branch(int a, int b) { return b - a >= MIN_HAIRPIN + 1; }

// One sequence under one model and its options, with the pairs it may form.
struct EnsembleContext {
  EnsembleContext(const Model& model, const EnsembleOptions& options, const std::string& text,
                  const char* constraint);

  EnsembleOptions options;
  EnergyTerms E;
  std::string sequence;  // as given: special hairpins are looked up in the text
  EncodedSequence seq;
  PairRules rules;
  int n;
  bool no_lonely_pairs;
  bool no_closing_gu;
  double rt;  // kcal/mol

  int type(int i, int j) const { return rules.type(i, j); }
  bool free(int a, int b) const { return rules.may_be_unpaired(a, b); }
  int s(int k) const { return seq.S1[static_cast<size_t>(k)]; }
  // Neighbours of a helix end, -1 past the ends of the sequence.
  int five(int i) const { return i > 1 ? s(i - 1) : -1; }
  int three(int j) const { return j < n ? s(j + 1) : -1; }
  // The part a pair is in any loop but a stack: under the lonely-pair rule it must
  // stack on the pair inside it.
  Part enclosed_pair() const { return no_lonely_pairs ? Part::Stacked : Part::Pair; }
  // Under no_closingGU a G-U pair closes only a stack and sits inside only a stack.
  bool barred(int type) const { return no_closing_gu && is_wobble(type); }
  // As loop_candidates.hpp reads a Site.
  const EnergyTerms& terms() const { return E; }
  int length() const { return n; }
  const char* text() const { return sequence.c_str(); }
  const short* S1() const { return seq.S1.data(); }
  bool may_be_inner(int type) const { return !barred(type); }
};

// Sums of Boltzmann weights, each base k scaled by a factor s_k of its own, so that long
// stretches neither overflow nor underflow whatever the composition along the sequence:
// a stretch a..b holds its weight times s_a ... s_b. Concatenated stretches multiply their
// factors; a loop takes the factors of its own bases.
class BoltzmannRing {
 public:
  using Value = double;
  // log_scale[k] = ln s_k for k = 1..n; entry 0 is unused.
  BoltzmannRing(double rt, std::vector<double> log_scale);
  static double zero() { return 0.0; }
  static double add(double a, double b) { return a + b; }
  static double mul(double a, double b) { return a * b; }
  // exp(-e / RT) for an energy in 0.01 kcal/mol.
  double weight(int e) const {
    const int k = e + kCached;
    if (k >= 0 && k < 2 * kCached) return cache_[static_cast<size_t>(k)];
    return std::exp(-e * per_unit_);
  }
  // The scale factor of bases a..b, 1 when the stretch is empty.
  double unit(int a, int b) const {
    const int k = b - a;
    if (k < 0) return 1.0;
    if (k < kNear) return near_[static_cast<size_t>(a) * kNear + static_cast<size_t>(k)];
    return std::exp(
        static_cast<double>(prefix_[static_cast<size_t>(b)] - prefix_[static_cast<size_t>(a) - 1]));
  }
  // The scale factor of base k alone.
  double base(int k) const { return near_[static_cast<size_t>(k) * kNear]; }
  // ln of the factor of the whole sequence.
  double log_scale() const { return static_cast<double>(prefix_.back()); }
  // The same factors, each times exp(shift).
  BoltzmannRing shifted(double shift) const;

 private:
  static constexpr int kCached = 20000;
  // Stretches of up to kNear bases (every loop side of an interior loop or bulge) are
  // looked up; longer ones are computed from the prefix sums.
  static constexpr int kNear = 32;
  double rt_;
  double per_unit_;
  std::vector<double> log_scale_;
  std::vector<long double> prefix_;  // prefix_[k] = ln s_1 + ... + ln s_k
  std::vector<double> cache_, near_;
};

// Minima of energies in 0.01 kcal/mol; ENERGY_INF where nothing can form.
struct EnergyRing {
  using Value = int;
  static int zero() { return ENERGY_INF; }
  static int add(int a, int b) { return std::min(a, b); }
  static int mul(int a, int b) { return a >= ENERGY_INF || b >= ENERGY_INF ? ENERGY_INF : a + b; }
  static int weight(int e) { return e; }
  static int unit(int, int) { return 0; }
};

// Calls visit(w, a, b) for every way the part `at` decomposes: w is the candidate's
// value (its own loop times the values of its subparts a and b), a and b the subparts
// or kNone. Tables give get(Ref) of parts already computed.
template <class Ring, class Tables, class Visit>
void for_each_candidate(const EnsembleContext& x, const Ring& R, const Tables& T, Ref at,
                        Visit&& visit) {
  const EnergyTerms& E = x.E;
  const int i = at.i, j = at.j;
  switch (at.part) {
    case Part::Pair: {
      const int t = x.type(i, j);
      if (t == 0) return;
      const bool barred = x.barred(t);
      // (i ... j): hairpin
      int hairpin = 0;
      if (hairpin_loop(x, i, j, t, barred, hairpin))
        visit(R.mul(R.weight(hairpin), R.unit(i, j)), kNone, kNone);
      // (i (p ... q) j): stack, bulge or interior loop
      for_each_two_pair_loop(x, i, j, barred, [&](int p, int q, int u) {
        const bool stack = p == i + 1 && q == j - 1;
        const Ref inner{stack ? Part::Pair : x.enclosed_pair(), p, q};
        const int e = two_pair_energy(x, i, j, p, q, t, u);
        visit(R.mul(R.mul(R.weight(e), R.mul(R.unit(i, p - 1), R.unit(q + 1, j))), T.get(inner)),
              inner, kNone);
        return false;
      });
      // (i [i+1 .. l][l+1 .. j-1] j): multiloop, the closing pair read from inside
      if (barred) return;
      multiloop_closings(x, i, j, t, E.dangles(), [&](int a, int b, int e) {
        const auto closing = R.mul(R.weight(e), R.mul(R.unit(i, a - 1), R.unit(b + 1, j)));
        for (int l = a + MIN_HAIRPIN + 1; l <= b - MIN_HAIRPIN - 2; l++) {
          const Ref first{Part::Branch, a, l}, rest{Part::Multi, l + 1, b};
          visit(R.mul(closing, R.mul(T.get(first), T.get(rest))), first, rest);
        }
      });
      return;
    }
    case Part::Stacked: {
      // ((i+1 ... j-1)): the pair stacked on the pair inside it
      const int t = x.type(i, j);
      if (t == 0 || j - i - 2 < MIN_HAIRPIN + 1) return;
      const int t2 = x.type(i + 1, j - 1);
      if (t2 == 0) return;
      const Ref inner{Part::Pair, i + 1, j - 1};
      visit(R.mul(R.mul(R.weight(E.stack(t, E.rtype(t2))), R.mul(R.unit(i, i), R.unit(j, j))),
                  T.get(inner)),
            inner, kNone);
      return;
    }
    case Part::Branch: {
      // . [i+1 .. l]: base i unpaired
      if (x.free(i, i) && holds_branch(i + 1, j))
        visit(R.mul(R.mul(R.weight(E.ml_unpaired()), R.unit(i, i)),
                    T.get(Ref{Part::Branch, i + 1, j})),
              Ref{Part::Branch, i + 1, j}, kNone);
      // (i .. l): the branch
      branch_helices(x, i, j, E.dangles(), [&](int p, int q, int t, int e) {
        if (t == 0) return;
        const Ref pair{x.enclosed_pair(), p, q};
        visit(R.mul(R.weight(e), T.get(pair)), pair, kNone);
      });
      return;
    }
    case Part::Multi: {
      // [i .. l] ... j and [i .. l][l+1 .. j]: the first branch, then unpaired bases or more
      for (int l = i + MIN_HAIRPIN + 1; l <= j; l++) {
        const Ref first{Part::Branch, i, l};
        const auto a = T.get(first);
        if (l == j) {
          visit(a, first, kNone);
          continue;
        }
        if (x.free(l + 1, j))
          visit(R.mul(a, R.mul(R.weight(E.ml_unpaired(j - l, false)), R.unit(l + 1, j))), first,
                kNone);
        if (holds_branch(l + 1, j)) {
          const Ref rest{Part::Multi, l + 1, j};
          visit(R.mul(a, T.get(rest)), first, rest);
        }
      }
      return;
    }
    case Part::Exterior: {
      const int n = x.n;
      // . [i+1 .. n]
      if (x.free(i, i))
        visit(R.mul(R.unit(i, i), T.get(Ref{Part::Exterior, i + 1, 0})),
              Ref{Part::Exterior, i + 1, 0}, kNone);
      // (i .. l) [l+1 .. n], in the ensemble's dangle modes 0 and 2
      for (int l = i + MIN_HAIRPIN + 1; l <= n; l++) {
        const int t = x.type(i, l);
        if (t == 0) continue;
        const Ref pair{x.enclosed_pair(), i, l};
        const Ref rest{Part::Exterior, l + 1, 0};
        exterior_helix(x, i, l, t, [&](int, int, int e) {
          visit(R.mul(R.mul(R.weight(e), T.get(pair)), T.get(rest)), pair, rest);
        });
      }
      return;
    }
    case Part::None:
      return;
  }
}

// Fills every part from the 3' end, row by row, each the sum (in the ring) of its
// candidates: T.set(ref, value) stores one. After row i, row_done(i) may end the pass
// early by returning false, which the pass returns.
template <class Ring, class Tables, class RowDone>
bool inside_by_candidates(const EnsembleContext& x, const Ring& R, Tables& T, RowDone&& row_done) {
  using Value = typename Ring::Value;
  for (int i = x.n; i >= 1; i--) {
    for (int j = i + MIN_HAIRPIN + 1; j <= x.n; j++) {
      for (Part part : {Part::Pair, Part::Stacked, Part::Branch, Part::Multi}) {
        if (part == Part::Stacked && !x.no_lonely_pairs) continue;
        Value v = Ring::zero();
        for_each_candidate(x, R, T, Ref{part, i, j},
                           [&](Value w, Ref, Ref) { v = Ring::add(v, w); });
        T.set(Ref{part, i, j}, v);
      }
    }
    Value v = Ring::zero();
    for_each_candidate(x, R, T, Ref{Part::Exterior, i, 0},
                       [&](Value w, Ref, Ref) { v = Ring::add(v, w); });
    T.set(Ref{Part::Exterior, i, 0}, v);
    if (!row_done(i)) return false;
  }
  return true;
}

}  // namespace stemloop

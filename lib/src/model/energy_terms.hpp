// The energy model, one function per scored loop, in 0.01 kcal/mol. The evaluation, the
// fill and its precomputed tables, the trace and every later algorithm score loops only
// through these functions; the numbers themselves live in the model.
//
// Conventions: a pair's type is read 5' to 3' from the side named (the type of (i, j)
// "from outside" is the type of i paired with j; "from inside", as the loop it closes
// sees it, is the type of j paired with i, that is rtype of the former). Bases are
// aliased codes (0 none, 1..4 A, C, G, U); -1 stands for a neighbour that does not exist
// at an end of the sequence.
#pragma once

#include <algorithm>

#include "stemloop/alphabet.hpp"
#include "stemloop/constants.h"
#include "stemloop/energy_params.hpp"
#include "stemloop/model.hpp"

namespace stemloop {

// Dangle modes outside 0..3 behave as mode 1 throughout.
constexpr int normalized_dangles(int dangles) { return dangles >= 0 && dangles <= 3 ? dangles : 1; }

class EnergyTerms {
 public:
  EnergyTerms(const Model& model, int dangles, bool special_hairpins)
      : P_(model.params),
        pm_(model.pairs),
        dangles_(normalized_dangles(dangles)),
        tetra_loop_(special_hairpins) {}

  const PairMatrix& pairs() const { return pm_; }
  int dangles() const { return dangles_; }
  // Modes 1 and 3 let a lone unpaired base dangle on one neighbouring helix only.
  bool odd_dangles() const { return dangles_ % 2 == 1; }
  int rtype(int type) const { return pm_.rtype[type]; }

  // (i ... j): hairpin closed by (i, j) of type `type`. `sequence` is the text as given
  // (position k is character k - 1), S1 the aliased codes indexed by position.
  int hairpin(int i, int j, int type, const char* sequence, const short* S1) const {
    return hairpin_size(j - i - 1) + hairpin_ends(i, j, type, sequence, S1);
  }
  // The two parts of a hairpin: the cost of its size (logarithmic past the table), and
  // its closing pair with the bases next to it or, for the special loops, the whole loop.
  int hairpin_size(int size) const {
    return size <= MAXLOOP ? P_.hairpin[size] : extrapolated_loop(P_.hairpin, size, P_.lxc);
  }
  int hairpin_ends(int i, int j, int type, const char* sequence, const short* S1) const {
    if (P_.special_hairpins_whole) return measured_hairpin_ends(i, j, type, sequence, S1);
    const int size = j - i - 1;
    if (size == 3) return special_hairpin(i, size, sequence) + terminal(type);  // no mismatch
    const int e = size == 4 && tetra_loop_ ? special_hairpin(i, size, sequence) : 0;
    return e + P_.mismatchH[type][S1[i + 1]][S1[j - 1]];
  }

  // (i (p ... q) j): stack, bulge or interior loop closed by (i, j) around (p, q), with
  // left = p - i - 1 and right = j - q - 1 unpaired bases, `type` of (i, j) from outside,
  // `inner_type` of (p, q) from inside, and the bases i+1, j-1, p-1, q+1.
  int two_pair_loop(int left, int right, int type, int inner_type, int after_i, int before_j,
                    int before_p, int after_q) const {
    const int larger = std::max(left, right);
    const int smaller = std::min(left, right);
    if (larger == 0) return stack(type, inner_type);
    if (smaller == 0) {
      // A bulge of one base keeps the stacking of its two pairs.
      if (larger == 1)
        return bulge_size(1) + stack(type, inner_type) +
               bulge_one(left, type, inner_type, after_i, before_j);
      return bulge_size(larger) + terminal(type) + terminal(inner_type);
    }
    if (smaller == 1) {
      if (larger == 1) return P_.int11[type][inner_type][after_i][before_j];
      if (larger == 2) {
        if (left == 1) return P_.int21[type][inner_type][after_i][after_q][before_j];
        return P_.int21[inner_type][type][after_q][after_i][before_p];
      }
    } else if (left == 2 && right == 2) {
      return P_.int22[type][inner_type][after_i][before_p][after_q][before_j];
    }
    if (!in_windows(left, right)) {
      const auto& mismatch = smaller == 1 ? P_.mismatch1n : P_.mismatch23;
      return mismatch[type][after_i][before_j] + interior_size(left, right) +
             mismatch[inner_type][after_q][before_p];
    }
    return interior_outer(type, after_i, before_j) + interior_size(left, right) +
           interior_inner(inner_type, after_q, before_p);
  }

  // Whether a generic interior loop costs interior_outer + interior_size + interior_inner,
  // which the fast paths regroup; the 1 x n and 2 x 3 loops of a set that gives them
  // mismatch tables of their own do not, and are scored as candidates of their own.
  bool in_windows(int left, int right) const {
    if (!is_generic_interior(left, right)) return false;
    if (!P_.interior_mismatch_by_kind) return true;
    return std::min(left, right) >= 2 && left + right != 5;
  }
  // The generic loops that in_windows leaves out.
  bool own_candidate(int left, int right) const {
    return is_generic_interior(left, right) && !in_windows(left, right);
  }

  // (i (i+1 ... j-1) j): two stacked pairs.
  int stack(int type, int inner_type) const { return P_.stack[type][inner_type]; }

  // The parts of a generic interior loop (both sides unpaired, not 1x1, 1x2, 2x1 or
  // 2x2), whose sum is two_pair_loop: the fill stores the inner part once per pair.
  static bool is_generic_interior(int left, int right) {
    return std::min(left, right) >= 1 && std::max(left, right) >= 3;
  }
  // Mismatch of the closing pair (i, j) on the bases i+1 and j-1.
  int interior_outer(int type, int after_i, int before_j) const {
    return P_.mismatchI[type][after_i][before_j];
  }
  // Size and asymmetry of a loop of left + right unpaired bases.
  int interior_size(int left, int right) const {
    const int u = left + right;
    const int e =
        u <= MAXLOOP ? P_.internal_loop[u] : extrapolated_loop(P_.internal_loop, u, P_.lxc);
    return e + std::min(P_.MAX_NINIO, std::abs(left - right) * P_.F_ninio[2]);
  }
  // Mismatch of the inner pair (q, p), from inside, on the bases q+1 and p-1.
  int interior_inner(int inner_type, int after_q, int before_p) const {
    return P_.mismatchI[inner_type][after_q][before_p];
  }
  // Size part of a bulge; bulges of two or more bases add terminal() of both pairs.
  int bulge_size(int size) const {
    return size <= MAXLOOP ? P_.bulge[size] : extrapolated_loop(P_.bulge, size, P_.lxc);
  }
  // Penalty of a helix end that is not C-G or G-C.
  int terminal(int type) const { return pays_terminal_penalty(type) ? P_.TerminalAU : 0; }

  // Dangling bases: `base` 5' of (or 3' of) a helix end of `type`, read from the loop
  // the base lies in.
  int dangle5(int type, int base) const { return P_.dangle5[type][base]; }
  int dangle3(int type, int base) const { return P_.dangle3[type][base]; }
  // Mode 2: both neighbours of every helix end dangle on it, paired or not; with a
  // neighbour on each side, a set with end mismatches takes the mismatch of the loop kind
  // (`mismatch`, mismatchM or mismatchExt) instead.
  int both_dangles(int type, int five, int three, const int (&mismatch)[8][5][5]) const {
    if (dangles_ != 2) return 0;
    if (P_.end_mismatches && five >= 0 && three >= 0) return mismatch[type][five][three];
    return (five >= 0 ? dangle5(type, five) : 0) + (three >= 0 ? dangle3(type, three) : 0);
  }

  // k (i ... j) m: a helix (i, j) in the exterior loop, `type` from outside, with its
  // neighbours k = i-1 and m = j+1.
  int exterior_branch(int type, int five, int three) const {
    return terminal(type) + both_dangles(type, five, three, P_.mismatchExt);
  }

  // (i (..)(..) j): a multiloop pays ml_closing once, ml_branch for every helix end in
  // it (the closing pair read from inside, the branches from outside) and ml_unpaired
  // per unpaired base.
  int ml_closing() const { return P_.MLclosing; }
  int ml_branch(int type) const { return P_.MLintern[type]; }
  int ml_unpaired() const { return P_.MLbase; }
  // With the logarithmic penalty, loops of more than 6 unpaired bases grow as log(u/6).
  int ml_unpaired(int count, bool logarithmic) const;
  // A helix end in a multiloop with the mode-2 dangles of its neighbours: for a branch
  // (i, j) the bases i-1 and j+1, for the closing pair (j, i) read from inside the
  // bases j-1 and i+1.
  int ml_branch(int type, int five, int three) const {
    return ml_branch(type) + both_dangles(type, five, three, P_.mismatchM);
  }
  // (i (..)(..) j) seen from its closing pair (i, j) of `type` from outside: ml_closing
  // and the pair's branch cost by that type, as the multiloop recursion charges it (the
  // same as by its type from inside for any pair that reads both ways), plus in mode 2
  // the bases j-1 and i+1 dangling on it from inside.
  int ml_closed_by(int type) const { return ml_closing() + ml_branch(type); }
  int ml_closed_by(int type, int before_j, int after_i) const {
    return ml_closed_by(type) + both_dangles(rtype(type), before_j, after_i, P_.mismatchM);
  }

  // (i (p q)(r s) j): two adjacent helix ends of a multiloop stacked end on end, their
  // types given as stack() reads two pairs of one helix. They pay the stacking and two
  // branch costs without terminal penalties, in place of their own ml_branch.
  int coaxial_stack(int type_a, int type_b) const {
    return P_.coaxial[type_a][type_b] + 2 * P_.MLintern[kPairCG];
  }

 private:
  // The bonus of a listed triloop or tetraloop of `size` bases after position i, or 0.
  int special_hairpin(int i, int size, const char* sequence) const;
  // hairpin_ends of a set whose listed hairpins are whole loops: their value less the
  // size term, else the mismatch with the G-U closure and all-C terms, or for three
  // bases the CCC penalty and the terminal penalty.
  int measured_hairpin_ends(int i, int j, int type, const char* sequence, const short* S1) const;
  // A bulge of one base: the bonus of a C next to a paired C, less RT ln(states), where
  // the states are the places the bulge could take among identical neighbouring bases.
  // The bulged base is i+1 (left) or j-1, its paired neighbours i and p, or q and j.
  int bulge_one(int left, int type, int inner_type, int after_i, int before_j) const {
    // The bases of a pair type (5' first); 0 for none and nonstandard pairs.
    static constexpr int kFirst[8] = {0, 2, 3, 3, 4, 1, 4, 0};
    static constexpr int kSecond[8] = {0, 3, 2, 4, 3, 4, 1, 0};
    const int bulged = left == 1 ? after_i : before_j;
    const int x = left == 1 ? kFirst[type] : kSecond[type];
    const int y = left == 1 ? kSecond[inner_type] : kFirst[inner_type];
    if (bulged == 0) return 0;
    const int c = bulged == 2 && (x == 2 || y == 2) ? P_.bulge_special_c : 0;
    return c - P_.bulge_states[1 + (x == bulged) + (y == bulged)];
  }

  const EnergyParams& P_;
  const PairMatrix& pm_;
  int dangles_;
  bool tetra_loop_;
};

}  // namespace stemloop

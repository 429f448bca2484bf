// The energy tables of suboptimal folding, in a grammar where every structure has exactly
// one derivation (so the band search meets each structure once):
//
//   prefix(j)  [1 .. j] of the exterior loop        base j unpaired, or (k, j) closes it
//   suffix(i)  [i .. n] of the exterior loop        base i unpaired, or (i, l) opens it
//   C(i, j)    i paired with j, no pair stacked on it from outside (under the lonely-pair
//              rule it must then stack on (i+1, j-1) inside)
//   CC(i, j)   i paired with j, any loop inside
//   M(i, j)    part of a multiloop holding at least one branch: base j unpaired, or the
//              last branch (k, j) after unpaired bases or after another M(i, k-1)
//   M2(i, j)   the same with at least two branches, as a closing pair sees its inside
//
// Loops are scored only through EnergyTerms; each table value is the lowest energy of what
// it describes. Internal to the library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/energy_terms.hpp"
#include "model/impossible.hpp"
#include "model/loop_candidates.hpp"
#include "model/strict_constraints.hpp"
#include "stemloop/alphabet.hpp"
#include "stemloop/subopt.hpp"

namespace stemloop {

// A triangle of (i, j) entries, 0 <= i <= j <= n + 1, stored as lines. By rows, line i
// holds j = i .. n+1 contiguously; by columns, line j holds i = 0 .. j. A line's pointer is
// indexed by the other coordinate. Not the model's Triangle: the band search reads the
// boundary lines 0 and n + 1, and its inner loops walk whole lines by pointer.
template <class T>
class TriangleTable {
 public:
  enum Order { kByRow, kByColumn };
  TriangleTable() = default;
  TriangleTable(int n, Order order, T value) : order_(order) {
    const size_t lines = static_cast<size_t>(n) + 2;
    offset_.resize(lines);
    size_t used = order == kByRow ? lines : 0;  // room so that row i may start at -i
    for (size_t k = 0; k < lines; k++) {
      offset_[k] = order == kByRow ? used - k : used;
      used += order == kByRow ? lines - k : k + 1;
    }
    data_.assign(used, value);
  }
  T* line(int k) { return data_.data() + offset_[static_cast<size_t>(k)]; }
  const T* line(int k) const { return data_.data() + offset_[static_cast<size_t>(k)]; }
  T& operator()(int i, int j) { return order_ == kByRow ? line(i)[j] : line(j)[i]; }
  T operator()(int i, int j) const { return order_ == kByRow ? line(i)[j] : line(j)[i]; }

 private:
  Order order_ = kByRow;
  std::vector<size_t> offset_;
  std::vector<T> data_;
};

enum class SegmentKind : uint8_t { kPrefix, kSuffix, kPair, kStacked, kMulti, kMulti2 };

// A part of a structure still to be decomposed: prefix(j), suffix(i), C, CC, M or M2.
struct Segment {
  SegmentKind kind;
  int i, j;
};

class SuboptTables {
 public:
  SuboptTables(const Model& model, const SuboptOptions& options, const std::string& sequence);

  int n() const { return n_; }
  bool no_lonely_pairs() const { return no_lonely_pairs_; }
  const EnergyTerms& terms() const { return E_; }
  // Pair type of (i, j), i < j, or 0 when the two may not pair (also when j - i < 4).
  int type(int i, int j) const { return types_(i, j); }
  const int8_t* type_row(int i) const { return types_.line(i); }
  int s(int k) const { return enc_.S1[static_cast<size_t>(k)]; }
  bool may_be_unpaired(int k) const { return rules_.may_be_unpaired(k, k); }
  bool may_be_unpaired(int a, int b) const { return rules_.may_be_unpaired(a, b); }
  // How many bases right before j, or right after i, may stay unpaired.
  int free_before(int j) const { return free_before_[static_cast<size_t>(j)]; }
  int free_after(int i) const { return free_after_[static_cast<size_t>(i)]; }
  const std::vector<int>& free_after_all() const { return free_after_; }
  // As loop_candidates.hpp reads a Site.
  int length() const { return n_; }
  const char* text() const { return sequence_.c_str(); }
  const short* S1() const { return enc_.S1.data(); }
  bool free(int a, int b) const { return a > b || free_after(a - 1) > b - a; }
  // Under no_closingGU a G-U or U-G pair takes part in no loop other than a stack.
  bool barred(int type) const { return no_closing_gu_ && is_wobble(type); }
  bool may_be_inner(int type) const { return !barred(type); }

  // Loop energies; kImpossible where the rules forbid the loop.
  // (i ... j): hairpin
  int hairpin(int i, int j) const;
  // (i (p ... q) j): stack, bulge or interior loop
  __attribute__((always_inline)) int two_pair(int i, int j, int p, int q) const {
    const int t = type(i, j);
    const int u = t == 0 ? 0 : two_pair_inner_type(*this, i, j, p, q, barred(t));
    return u == 0 ? kImpossible : two_pair_energy(*this, i, j, p, q, t, u);
  }
  // (i .. (p ... q) .. j), generic: the part of (i, j), whose sum with the size part
  // and inner(p, q) is two_pair + C(p, q)
  int generic_outer(int i, int j) const;
  // The part of (p, q) in a generic interior loop around it.
  int generic_inner(int p, int q) const;
  // C(p, q) + generic_inner(p, q)
  int inner(int p, int q) const { return inner_(p, q); }
  const int* inner_row(int p) const { return inner_.line(p); }
  // (i (..)(..) j): what the closing pair adds to a multiloop
  int multiloop_closing(int i, int j) const;
  // (.. (i ... j) ..) inside a multiloop: one branch
  int branch(int i, int j) const;
  // k (i ... j) m in the exterior loop
  int exterior(int i, int j) const;
  // One unpaired base of a multiloop.
  int unpaired() const { return E_.ml_unpaired(); }

  int C(int i, int j) const { return C_(i, j); }
  int CC(int i, int j) const { return CC_(i, j); }
  int M(int i, int j) const { return M_(i, j); }
  int M2(int i, int j) const { return M2_(i, j); }
  int prefix(int j) const { return prefix_[static_cast<size_t>(j)]; }
  int suffix(int i) const { return suffix_[static_cast<size_t>(i)]; }
  int mfe() const { return prefix(n_); }
  // C(k, j) + branch(k, j): the column of j, by k.
  const int* branch_column(int j) const { return B_.line(j); }
  const int* M_row(int i) const { return M_.line(i); }
  // The lowest energy of what a segment describes.
  int best(const Segment& seg) const {
    switch (seg.kind) {
      case SegmentKind::kPrefix:
        return prefix(seg.j);
      case SegmentKind::kSuffix:
        return suffix(seg.i);
      case SegmentKind::kPair:
        return C(seg.i, seg.j);
      case SegmentKind::kStacked:
        return CC(seg.i, seg.j);
      case SegmentKind::kMulti:
        return M(seg.i, seg.j);
      case SegmentKind::kMulti2:
        return M2(seg.i, seg.j);
    }
    return kImpossible;
  }

  // Bulge and interior-loop shapes (left, right) that are not generic interior loops, and
  // the generic ones outside the windows (EnergyTerms::own_candidate); the stack (0, 0)
  // comes first.
  const std::vector<std::pair<int, int>>& special_loops() const { return special_loops_; }

 private:
  void fill();
  void fill_pair(int i, int j, const std::vector<int>& loops);
  void interior_loops(int i, std::vector<int>& loops) const;
  void fill_exterior();

  const EnergyTerms E_;
  std::vector<std::pair<int, int>> special_loops_;
  const std::string sequence_;
  const EncodedSequence enc_;
  const int n_;
  const bool no_lonely_pairs_;
  const bool no_closing_gu_;
  const PairRules rules_;
  TriangleTable<int8_t> types_;
  TriangleTable<int> C_, CC_, M_, M2_;
  TriangleTable<int> B_;      // by columns: C + branch
  TriangleTable<int> inner_;  // C(p, q) + the inner mismatch of a generic loop around (p, q)
  std::vector<int> prefix_, suffix_;
  std::vector<int> free_before_, free_after_;
};

}  // namespace stemloop

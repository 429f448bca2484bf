// The outside of the suboptimal-folding grammar: for each table entry, the lowest energy
// of everything around it in a whole structure, so that C(i, j) + outC(i, j) is the best
// energy of a structure containing (i, j) reached as C (and likewise for CC). Filled from
// the exterior loop inward; a trace then rebuilds what lies around one pair. Internal to
// the library.
#pragma once

#include <string>
#include <vector>

#include "subopt/subopt_tables.hpp"

namespace stemloop {

// A structure decided around a pair: the pairs placed so far, the energy of the loops
// already scored and the inside parts still to decompose.
struct PartialStructure {
  std::string structure;
  int energy = 0;
  std::vector<Segment> pending;
};

class OutsideTables {
 public:
  explicit OutsideTables(const SuboptTables& tables);

  // The lowest energy of a structure containing (i, j), kImpossible if there is none.
  int best_through(int i, int j) const {
    return or_impossible(std::min(outC_(i, j) + x_.C(i, j), outCC_(i, j) + x_.CC(i, j)));
  }
  // The exterior and every loop around (i, j) in a structure of energy best_through(i, j),
  // with the inside of (i, j) and of its neighbours left pending. Throws Error when the
  // tables do not reproduce the value (they always should).
  PartialStructure around(int i, int j) const;

 private:
  void fill_row(int i);
  void push_interior_loops(int i);
  // The part [i .. j] ends in the branch (i, j): outside of that branch, before its cost.
  int branch_outside(int i, int j) const;

  const SuboptTables& x_;
  const int n_;
  TriangleTable<int> outC_, outCC_;   // around C(i, j) and CC(i, j)
  TriangleTable<int> Mo_, M2o_, Uo_;  // around M, M2 and the unpaired-then-branch parts
  TriangleTable<int> So_;             // by columns: around a part that ends in a branch
  TriangleTable<int> loop_in_;        // around (i, j) as the inner pair of a bulge or small loop
  TriangleTable<int> generic_in_;     // the same for generic loops, before generic_inner(i, j)
  TriangleTable<int> B_rows_;         // C + branch, by rows
  TriangleTable<int> M_cols_;         // M by columns
};

}  // namespace stemloop

// The Turner 2004 set on the worked examples of its source pages and on its loop rules,
// at 37 C, in 0.01 kcal/mol.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/energy_terms.hpp"
#include "stemloop/model.hpp"
#include "stemloop/parameter_set.hpp"

namespace {

using namespace stemloop;
constexpr int A = 1, C = 2, G = 3, U = 4;

Model model2004(double temperature = 37.0) {
  ModelOptions mo;
  mo.temperature = temperature;
  mo.parameters = turner2004();
  return Model(mo);
}

TEST(Turner2004, WorkedExamples) {
  const Model m = model2004();
  const EnergyTerms E(m, 2, true);
  // A bulged C between C-G pairs: initiation 3.8, the C bonus -0.9, the stack as if the
  // bulge were absent and -RT ln(states); here the C has one C neighbour (2 states) or
  // two (3 states).
  EXPECT_EQ(E.two_pair_loop(1, 0, kPairCG, kPairCG, C, G, C, C), 380 - 90 - 240 - 42);
  EXPECT_EQ(E.two_pair_loop(1, 0, kPairCG, kPairGC, C, G, C, G), 380 - 90 - 330 - 67);
  // The exterior-loop example: configuration 1 is a 5' dangle (AU, U), a 3' dangle
  // (CG, C) and the mismatch (CG, G, G); configuration 2 the coaxial stack of AU on GC
  // with the same mismatch. Pairs here are read from outside the loop.
  const int mismatch = E.exterior_branch(kPairGC, G, G);
  EXPECT_EQ(E.dangle5(kPairUA, U) + E.dangle3(kPairGC, C) + mismatch, -260);
  EXPECT_EQ(m.params.coaxial[kPairAU][kPairCG] + mismatch, -370);
  // The multibranch example, configuration 1: -0.1 - 1.4 - 1.1 - 0.3.
  EXPECT_EQ(E.dangle3(kPairAU, U) + E.ml_branch(kPairGC, A, G) - E.ml_branch(kPairGC) +
                E.dangle3(kPairCG, A) + E.dangle5(kPairCG, C),
            -290);
}

TEST(Turner2004, LoopRules) {
  const Model m = model2004();
  const EnergyTerms E(m, 2, true);
  // Listed hairpins are whole loops, off with --noTetra; CCC and all-C loops pay extra.
  const char* tetra = "CUACGG";
  short S1[8] = {6, C, U, A, C, G, G, 0};
  EXPECT_EQ(E.hairpin(1, 6, kPairCG, tetra, S1), 280);
  EXPECT_EQ(EnergyTerms(m, 2, false).hairpin(1, 6, kPairCG, tetra, S1),
            560 + m.params.mismatchH[kPairCG][U][G]);
  short cccc[8] = {6, G, C, C, C, C, C, 0};
  EXPECT_EQ(E.hairpin(1, 6, kPairGC, "GCCCCC", cccc),
            560 + m.params.mismatchH[kPairGC][C][C] + 280);
  short ccc[7] = {5, A, C, C, C, U, 0};
  EXPECT_EQ(E.hairpin(1, 5, kPairAU, "ACCCU", ccc), 540 + 150 + 50);
  // G-U closing pair after two Gs.
  short ggg[10] = {8, G, G, G, A, A, A, A, U, 0};
  EXPECT_EQ(E.hairpin(3, 8, kPairGU, "GGGAAAAU", ggg),
            560 + m.params.mismatchH[kPairGU][A][A] - 220);
  // 1x3 and 2x3 loops read their own mismatches, 2x4 the generic ones.
  EXPECT_EQ(E.two_pair_loop(1, 3, kPairCG, kPairCG, G, A, G, A), 110 + 2 * 60);  // CG: no closure
  EXPECT_EQ(E.two_pair_loop(2, 3, kPairCG, kPairCG, G, A, G, A),
            200 + 60 + m.params.mismatch23[kPairCG][G][A] + m.params.mismatch23[kPairCG][A][G]);
  EXPECT_EQ(E.two_pair_loop(2, 4, kPairCG, kPairCG, G, A, G, A),
            200 + 2 * 60 - 100 + m.params.mismatchI[kPairCG][A][G]);
}

}  // namespace

// The energy model below folding: alphabets and pair matrices, temperature scaling of
// the working tables, and the loop energy functions, on worked numbers.
#include <gtest/gtest.h>

#include <string>

#include "stemloop/alphabet.hpp"
#include "stemloop/energy_par.h"
#include "stemloop/error.hpp"
#include "engine/energy_terms.hpp"
#include "stemloop/model.hpp"
#include "stemloop/stemloop.h"
#include "support/test_support.hpp"

namespace {

using stemloop::AlphabetOptions;
using stemloop::EnergyParams;
using stemloop::PairMatrix;

std::vector<short> codes(const std::vector<short>& v) { return v; }

TEST(Alphabet, EncodesLettersCaseAndThymine) {
  const PairMatrix pm = stemloop::Model().pairs;
  for (const char* seq : {"ACGU", "acgu", "ACGT"}) {
    const auto enc = stemloop::encode_sequence(seq, pm);
    EXPECT_EQ(enc.S, codes({4, 1, 2, 3, 4})) << seq;
    EXPECT_EQ(enc.S1, codes({4, 1, 2, 3, 4})) << seq;
  }
  const auto odd = stemloop::encode_sequence("N-XKI", pm);
  EXPECT_EQ(odd.S, codes({5, 0, 0, 5, 6, 7}));
  EXPECT_EQ(odd.S1, codes({5, 0, 0, 3, 2, 0}));  // X costs as G, K as C, I as no base
  EXPECT_EQ(stemloop::encode_sequence("", pm).S, codes({0}));
}

TEST(Alphabet, StandardPairMatrixAndNoGU) {
  PairMatrix pm;
  stemloop::build_pair_matrix(pm, AlphabetOptions{});
  EXPECT_EQ(pm.pair[2][3], 1);  // C-G
  EXPECT_EQ(pm.pair[3][4], 3);  // G-U
  EXPECT_EQ(pm.pair[5][6], 2);  // X-K pairs like G-C
  EXPECT_EQ(pm.pair[7][1], 6);  // I-A like U-A
  EXPECT_EQ(pm.pair[0][0], 0);
  const int expected_rtype[8] = {0, 2, 1, 4, 3, 6, 5, 7};
  for (int t = 0; t < 8; t++) EXPECT_EQ(pm.rtype[t], expected_rtype[t]);

  AlphabetOptions no_gu;
  no_gu.noGU = true;
  stemloop::build_pair_matrix(pm, no_gu);
  EXPECT_EQ(pm.pair[3][4], 0);
  EXPECT_EQ(pm.pair[4][3], 0);
  EXPECT_EQ(pm.rtype[3], 4);  // kept from before
}

TEST(Alphabet, NonstandardPairsAreDirectional) {
  AlphabetOptions ga;
  ga.has_nonstandards = true;
  ga.nonstandards = "GA";
  PairMatrix pm;
  stemloop::build_pair_matrix(pm, ga);
  EXPECT_EQ(pm.pair[3][1], 7);
  EXPECT_EQ(pm.pair[1][3], 0);
  EXPECT_EQ(pm.rtype[7], 0);

  ga.nonstandards = "GAAG";
  stemloop::build_pair_matrix(pm, ga);
  EXPECT_EQ(pm.pair[1][3], 7);
  EXPECT_EQ(pm.rtype[7], 7);

  ga.nonstandards = "ga";  // lower case encodes to 0: unknown bases pair with each other
  stemloop::build_pair_matrix(pm, ga);
  EXPECT_EQ(pm.pair[0][0], 7);
}

TEST(Alphabet, TwoLetterAlphabets) {
  AlphabetOptions gc;
  gc.energy_set = 1;
  PairMatrix pm;
  stemloop::build_pair_matrix(pm, gc);
  const auto enc = stemloop::encode_sequence("ABAB", pm);
  EXPECT_EQ(enc.S, codes({4, 1, 2, 1, 2}));
  EXPECT_EQ(enc.S1, codes({4, 3, 2, 3, 2}));
  EXPECT_EQ(pm.pair[1][2], 2);
  EXPECT_EQ(pm.pair[2][1], 1);
  EXPECT_EQ(pm.pair[1][1], 0);
  EXPECT_EQ(pm.pair[1][3], 0);
  // Characters past T have no code in these alphabets.
  EXPECT_EQ(stemloop::encode_sequence("Z", pm).S, codes({1, 0}));

  AlphabetOptions au;
  au.energy_set = 2;
  stemloop::build_pair_matrix(pm, au);
  EXPECT_EQ(pm.pair[1][2], 5);
  EXPECT_EQ(pm.pair[2][1], 6);
  EXPECT_EQ(stemloop::encode_sequence("AB", pm).S1, codes({2, 1, 4}));

  AlphabetOptions bad;
  bad.energy_set = 3;
  EXPECT_THROW(stemloop::build_pair_matrix(pm, bad), stemloop::Error);
}

TEST(Alphabet, ClassicUnknownEnergySetIsFatal) {
  auto r = testing_support::run_in_child([] {
    energy_set = 3;
    update_fold_params();
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\nWhat energy_set are YOU using??\n");
}

EnergyParams scaled(double temperature) {
  EnergyParams p;
  stemloop::scale_parameters(p, temperature);
  return p;
}

TEST(Scaling, At37TheWorkingTablesAreTheSources) {
  const EnergyParams p = scaled(37.0);
  EXPECT_EQ(p.hairpin[3], 570);
  EXPECT_EQ(p.stack[1][1], -240);
  EXPECT_EQ(p.MLclosing, 340);
  EXPECT_EQ(p.MLintern[2], 40);
  EXPECT_EQ(p.MLintern[3], 90);
  EXPECT_EQ(p.MLintern[7], 90);
  EXPECT_EQ(p.TETRA_ENERGY[0], -300);
  EXPECT_EQ(p.hairpin[0], ENERGY_INF);
  EXPECT_EQ(p.stack[0][3], ENERGY_INF);
  EXPECT_EQ(p.dangle5[0][1], 0);  // ENERGY_INF dangles are clamped to 0
  EXPECT_EQ(p.dangle3[1][0], 0);
  EXPECT_DOUBLE_EQ(p.lxc, 107.856);
  for (int a = 0; a < 8; a++)
    for (int b = 0; b < 8; b++)
      for (int x = 0; x < 5; x++)
        for (int y = 0; y < 5; y++) ASSERT_EQ(p.int11[a][b][x][y], int11_37[a][b][x][y]);
}

TEST(Scaling, OtherTemperaturesTruncateTowardZero) {
  const EnergyParams warm = scaled(47.0);
  EXPECT_EQ(warm.hairpin[3], 588);
  EXPECT_EQ(warm.stack[1][1], -213);  // -213.56 truncates toward zero
  EXPECT_EQ(warm.MLclosing, 350);
  EXPECT_EQ(warm.MLintern[1], 41);
  EXPECT_EQ(warm.MLintern[5], 91);
  EXPECT_EQ(warm.TETRA_ENERGY[0], -296);
  EXPECT_NEAR(warm.lxc, 111.3335, 1e-4);
  EXPECT_EQ(warm.hairpin[0], 1032242);
  EXPECT_EQ(scaled(27.0).hairpin[0], 967757);

  const EnergyParams cold = scaled(0.0);
  EXPECT_EQ(cold.stack[1][1], -337);
  EXPECT_EQ(cold.hairpin[3], 502);
  EXPECT_EQ(cold.TETRA_ENERGY[0], -311);
  EXPECT_EQ(cold.dangle5[2][3], -54);
  EXPECT_EQ(cold.dangle3[1][1], -185);

  const EnergyParams hot = scaled(100.0);
  EXPECT_EQ(hot.dangle5[2][3], 0);  // 93 before the clamp
  EXPECT_EQ(hot.dangle3[1][1], 0);  // 17 before the clamp
  EXPECT_EQ(hot.stack[0][0], ENERGY_INF);  // H - G37 = 0 keeps the sentinel exact
}

class Loops : public ::testing::Test {
 protected:
  const stemloop::Model model;
  const EnergyParams& P = model.params;
  const stemloop::EnergyTerms E{model, 1, true};
  const stemloop::EnergyTerms no_tetra{model, 1, false};
  // Aliased codes of a sequence, 1-based.
  std::vector<short> s1(const std::string& seq) {
    return stemloop::encode_sequence(seq, stemloop::Model().pairs).S1;
  }
};

TEST_F(Loops, HairpinsWithTetraloopsTriloopsAndLongLoops) {
  const auto tetra = s1("GGGGAC");
  EXPECT_EQ(E.hairpin(1, 6, 2, "GGGGAC", tetra.data()), 560 - 300 - 240);
  EXPECT_EQ(E.hairpin(1, 6, 2, "ggggac", tetra.data()), 560 - 240);
  EXPECT_EQ(no_tetra.hairpin(1, 6, 2, "GGGGAC", tetra.data()), 560 - 240);
  const auto tri = s1("AAAAU");
  EXPECT_EQ(E.hairpin(1, 5, 5, "AAAAU", tri.data()), 570 + 50);
  EXPECT_EQ(E.hairpin(1, 5, 1, "CAAAG", s1("CAAAG").data()), 570);
  const std::string big = "G" + std::string(31, 'A') + "C";
  EXPECT_EQ(E.hairpin(1, 33, 2, big.c_str(), s1(big).data()),
            769 + 3 + P.mismatchH[2][1][1]);
}

TEST_F(Loops, StacksBulgesAndInteriorLoops) {
  EXPECT_EQ(E.two_pair_loop(0, 0, 1, 2, 1, 1, 1, 1), -330);
  EXPECT_EQ(E.two_pair_loop(1, 0, 1, 2, 1, 1, 1, 1), 380 + P.stack[1][2]);
  EXPECT_EQ(E.two_pair_loop(0, 2, 5, 6, 1, 1, 1, 1), 280 + 50 + 50);
  // 1x3: size 4, asymmetry 2 x 50, both mismatches.
  EXPECT_EQ(E.two_pair_loop(1, 3, 1, 2, 1, 3, 1, 3),
            170 + 100 + P.mismatchI[1][1][3] + P.mismatchI[2][3][1]);
  // 1x15: asymmetry capped at MAX_NINIO.
  EXPECT_EQ(E.two_pair_loop(1, 15, 1, 2, 4, 4, 4, 4),
            P.internal_loop[16] + 300 + P.mismatchI[1][4][4] + P.mismatchI[2][4][4]);
  // 31 and 60 unpaired bases are extrapolated from entry 30.
  EXPECT_EQ(E.two_pair_loop(15, 16, 1, 2, 2, 2, 2, 2),
            369 + 3 + 50 + P.mismatchI[1][2][2] + P.mismatchI[2][2][2]);
  EXPECT_EQ(E.two_pair_loop(30, 30, 1, 2, 2, 2, 2, 2),
            369 + 74 + P.mismatchI[1][2][2] + P.mismatchI[2][2][2]);
}

TEST_F(Loops, SmallInteriorLoopsReadTheirTablesFromTheSingleBaseSide) {
  EXPECT_EQ(E.two_pair_loop(1, 1, 1, 1, 3, 3, 1, 1), -140);  // G G in CG/CG
  // Same bases, other side: CG/GC [A][A][A] is 230, GC/CG [A][A][C] 370 - 150.
  EXPECT_EQ(E.two_pair_loop(1, 2, 1, 2, 1, 1, 2, 1), 230);
  EXPECT_EQ(E.two_pair_loop(2, 1, 1, 2, 1, 1, 2, 1), 220);
  EXPECT_EQ(E.two_pair_loop(2, 2, 1, 1, 1, 1, 1, 1), 130);  // int22 CG/CG AAAA
}

}  // namespace

// The fill stores the inner part of a generic interior loop once per pair and adds the
// outer part last: the parts must sum to the whole loop for every loop they stand for.
TEST_F(Loops, GenericInteriorLoopsAreTheSumOfTheirParts) {
  for (int left = 1; left <= MAX_INTERIOR; left++) {
    for (int right = 1; left + right <= MAX_INTERIOR + 4; right++) {
      if (!stemloop::EnergyTerms::is_generic_interior(left, right)) continue;
      for (int t = 1; t < stemloop::kPairTypes; t++)
        for (int u = 1; u < stemloop::kPairTypes; u++)
          for (int a = 0; a < 5; a++)
            for (int b = 0; b < 5; b++)
              for (int c = 0; c < 5; c++)
                for (int d = 0; d < 5; d++)
                  ASSERT_EQ(E.two_pair_loop(left, right, t, u, a, b, c, d),
                            E.interior_outer(t, a, b) + E.interior_size(left, right) +
                                E.interior_inner(u, d, c));
    }
  }
}

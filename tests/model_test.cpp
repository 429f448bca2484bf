// The energy model below folding: alphabets and pair matrices, temperature scaling of
// the working tables, and the loop energy functions, on worked numbers.
#include "stemloop/model.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "model/energy_terms.hpp"
#include "stemloop/alphabet.hpp"
#include "stemloop/energy_par.h"
#include "stemloop/error.hpp"

namespace {

using stemloop::AlphabetOptions;
using stemloop::EnergyParams;
using stemloop::PairMatrix;
using Codes = std::vector<short>;
using Ints = std::vector<int>;

PairMatrix matrix(int energy_set, bool noGU = false, const char* nsp = nullptr) {
  AlphabetOptions o;
  o.energy_set = energy_set, o.noGU = noGU, o.has_nonstandards = nsp != nullptr;
  if (nsp) o.nonstandards = nsp;
  PairMatrix pm;
  stemloop::build_pair_matrix(pm, o);
  return pm;
}

TEST(Alphabet, EncodingsAndPairMatrices) {
  const PairMatrix pm = matrix(0);
  for (const char* seq : {"ACGU", "acgu", "ACGT"}) {
    const auto enc = stemloop::encode_sequence(seq, pm);
    EXPECT_EQ(enc.S, Codes({4, 1, 2, 3, 4})) << seq;
    EXPECT_EQ(enc.S1, Codes({4, 1, 2, 3, 4})) << seq;
  }
  const auto odd = stemloop::encode_sequence("N-XKI", pm);
  EXPECT_EQ(odd.S, Codes({5, 0, 0, 5, 6, 7}));
  EXPECT_EQ(odd.S1, Codes({5, 0, 0, 3, 2, 0}));  // X costs as G, K as C, I as no base
  EXPECT_EQ(stemloop::encode_sequence("", pm).S, Codes({0}));
  EXPECT_EQ(Ints(pm.rtype, pm.rtype + 8), Ints({0, 2, 1, 4, 3, 6, 5, 7}));
  // C-G, G-U, X-K like G-C, I-A like U-A.
  EXPECT_EQ(Ints({pm.pair[2][3], pm.pair[3][4], pm.pair[5][6], pm.pair[7][1], pm.pair[0][0]}),
            Ints({1, 3, 2, 6, 0}));
  EXPECT_EQ(matrix(0, true).pair[3][4] + matrix(0, true).pair[4][3], 0);

  // Nonstandard pairs are directional; lower case encodes to 0, which then pairs with 0.
  const PairMatrix ga = matrix(0, false, "GA"), gaag = matrix(0, false, "GAAG");
  EXPECT_EQ(Ints({ga.pair[3][1], ga.pair[1][3], ga.rtype[7]}), Ints({7, 0, 0}));
  EXPECT_EQ(Ints({gaag.pair[1][3], gaag.rtype[7]}), Ints({7, 7}));
  EXPECT_EQ(matrix(0, false, "ga").pair[0][0], 7);

  // Two-letter alphabets: A-B pairs as G-C (set 1) or A-U (set 2); past T no code.
  const PairMatrix gc = matrix(1), au = matrix(2);
  const auto enc = stemloop::encode_sequence("ABAB", gc);
  EXPECT_EQ(enc.S, Codes({4, 1, 2, 1, 2}));
  EXPECT_EQ(enc.S1, Codes({4, 3, 2, 3, 2}));
  EXPECT_EQ(Ints({gc.pair[1][2], gc.pair[2][1], gc.pair[1][1], gc.pair[1][3]}), Ints({2, 1, 0, 0}));
  EXPECT_EQ(stemloop::encode_sequence("Z", gc).S, Codes({1, 0}));
  EXPECT_EQ(Ints({au.pair[1][2], au.pair[2][1]}), Ints({5, 6}));
  EXPECT_EQ(stemloop::encode_sequence("AB", au).S1, Codes({2, 1, 4}));
  EXPECT_THROW(matrix(3), stemloop::Error);
}

EnergyParams scaled(double temperature) {
  EnergyParams p;
  stemloop::scale_parameters(p, temperature);
  return p;
}

// At 37 C the working tables are the sources; elsewhere every value truncates toward
// zero, dangles are clamped to at most 0 and the sentinel stays exact.
TEST(Scaling, WorkedNumbersAtFiveTemperatures) {
  const EnergyParams p37 = scaled(37.0), warm = scaled(47.0), cold = scaled(0.0),
                     hot = scaled(100.0);
  const std::pair<int, int> worked[] = {{p37.hairpin[3], 570},
                                        {p37.stack[1][1], -240},
                                        {p37.MLclosing, 340},
                                        {p37.MLintern[2], 40},
                                        {p37.MLintern[3], 90},
                                        {p37.MLintern[7], 90},
                                        {p37.TETRA_ENERGY[0], -300},
                                        {p37.hairpin[0], ENERGY_INF},
                                        {p37.stack[0][3], ENERGY_INF},
                                        {p37.dangle5[0][1], 0},
                                        {p37.dangle3[1][0], 0},
                                        {p37.int11[2][2][3][3], -210},
                                        {p37.int21[2][1][4][2][4], 120},
                                        {p37.int22[1][1][4][3][4][3], -420},
                                        {warm.hairpin[3], 588},
                                        {warm.stack[1][1], -213},  // -213.56
                                        {warm.MLclosing, 350},
                                        {warm.MLintern[1], 41},
                                        {warm.MLintern[5], 91},
                                        {warm.TETRA_ENERGY[0], -296},
                                        {warm.hairpin[0], 1032242},
                                        {scaled(27.0).hairpin[0], 967757},
                                        {cold.stack[1][1], -337},
                                        {cold.hairpin[3], 502},
                                        {cold.TETRA_ENERGY[0], -311},
                                        {cold.dangle5[2][3], -54},
                                        {cold.dangle3[1][1], -185},
                                        {hot.dangle5[2][3], 0},
                                        {hot.dangle3[1][1], 0},  // 93 and 17 before the clamp
                                        {hot.stack[0][0], ENERGY_INF}};
  for (size_t k = 0; k < std::size(worked); k++)
    EXPECT_EQ(worked[k].first, worked[k].second) << "worked number " << k;
  EXPECT_DOUBLE_EQ(p37.lxc, 107.856);
  EXPECT_NEAR(warm.lxc, 111.3335, 1e-4);
}

class Loops : public ::testing::Test {
 protected:
  const stemloop::Model model;
  const EnergyParams& P = model.params;
  const stemloop::EnergyTerms E{model, 1, true};
  const stemloop::EnergyTerms no_tetra{model, 1, false};
  int hairpin(const stemloop::EnergyTerms& terms, const std::string& seq, int type) {
    const auto s1 = stemloop::encode_sequence(seq, model.pairs).S1;
    return terms.hairpin(1, static_cast<int>(seq.size()), type, seq.c_str(), s1.data());
  }
};

TEST_F(Loops, HairpinsStacksBulgesAndInteriorLoops) {
  const std::string big = "G" + std::string(31, 'A') + "C";
  const std::pair<int, int> worked[] = {
      {hairpin(E, "GGGGAC", 2), 560 - 300 - 240},  // tetraloop bonus
      {hairpin(E, "ggggac", 2), 560 - 240},
      {hairpin(no_tetra, "GGGGAC", 2), 560 - 240},
      {hairpin(E, "AAAAU", 5), 570 + 50},  // triloop closed by A-U
      {hairpin(E, "CAAAG", 1), 570},
      {hairpin(E, big, 2), 769 + 3 + P.mismatchH[2][1][1]},
      {E.two_pair_loop(0, 0, 1, 2, 1, 1, 1, 1), -330},
      {E.two_pair_loop(1, 0, 1, 2, 1, 1, 1, 1), 380 + P.stack[1][2]},
      {E.two_pair_loop(0, 2, 5, 6, 1, 1, 1, 1), 280 + 50 + 50},
      // 1x3: size 4, asymmetry 2 x 50, both mismatches.
      {E.two_pair_loop(1, 3, 1, 2, 1, 3, 1, 3),
       170 + 100 + P.mismatchI[1][1][3] + P.mismatchI[2][3][1]},
      // 1x15: asymmetry capped at MAX_NINIO.
      {E.two_pair_loop(1, 15, 1, 2, 4, 4, 4, 4),
       P.internal_loop[16] + 300 + P.mismatchI[1][4][4] + P.mismatchI[2][4][4]},
      // 31 and 60 unpaired bases are extrapolated from entry 30.
      {E.two_pair_loop(15, 16, 1, 2, 2, 2, 2, 2),
       369 + 3 + 50 + P.mismatchI[1][2][2] + P.mismatchI[2][2][2]},
      {E.two_pair_loop(30, 30, 1, 2, 2, 2, 2, 2),
       369 + 74 + P.mismatchI[1][2][2] + P.mismatchI[2][2][2]},
      // Small loops read their tables from the single-base side: G G in CG/CG; the same
      // bases on either side, CG/GC [A][A][A] 230 and GC/CG [A][A][C] 370 - 150.
      {E.two_pair_loop(1, 1, 1, 1, 3, 3, 1, 1), -140},
      {E.two_pair_loop(1, 2, 1, 2, 1, 1, 2, 1), 230},
      {E.two_pair_loop(2, 1, 1, 2, 1, 1, 2, 1), 220},
      {E.two_pair_loop(2, 2, 1, 1, 1, 1, 1, 1), 130}};  // int22 CG/CG AAAA
  for (size_t k = 0; k < std::size(worked); k++)
    EXPECT_EQ(worked[k].first, worked[k].second) << "worked number " << k;
}

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

// A Model is refused outside -50..150 C with one message, before any table is scaled.
TEST(ModelTemperature, OutsideTheRangeIsRefused) {
  for (double t : {-50.01, 150.01, 1e9, 1e12, std::nan("")}) {
    stemloop::ModelOptions mo;
    mo.temperature = t;
    try {
      const stemloop::Model model(mo);
      ADD_FAILURE() << t << " accepted";
    } catch (const stemloop::Error& e) {
      EXPECT_STREQ(e.what(), "temperature must be from -50 to 150 degrees Celsius");
    }
  }
  for (double t : {-50.0, 150.0}) {
    stemloop::ModelOptions mo;
    mo.temperature = t;
    EXPECT_NO_THROW(stemloop::Model{mo});
  }
}

}  // namespace

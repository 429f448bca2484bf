// The 37 C parameter tables: invariants over whole tables and
// published worked numbers.
#include "stemloop/energy_par.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "stemloop/constants.h"

namespace {

enum { CG = 1, GC, GU, UG, AU, UA, NS };
enum { A = 1, C, G, U };

bool strong(int t) { return t == CG || t == GC; }
bool standard(int t) { return t >= CG && t <= UA; }
bool complementary(int x, int y) {
  return (x == A && y == U) || (x == U && y == A) || (x == C && y == G) || (x == G && y == C);
}
// Rule 2 of int22: GU behaves as AU and UG as UA.
int int22_class(int t) { return t == GU ? AU : t == UG ? UA : t; }

TEST(EnergyPar, StackingTablesAreSymmetricWithInfForNoPair) {
  for (int a = 0; a < 8; a++) {
    for (int b = 0; b < 8; b++) {
      EXPECT_EQ(stack37[a][b], stack37[b][a]) << a << "," << b;
      EXPECT_EQ(enthalpies[a][b], enthalpies[b][a]) << a << "," << b;
    }
    EXPECT_EQ(stack37[0][a], ENERGY_INF);
    EXPECT_EQ(enthalpies[0][a], ENERGY_INF);
    if (a > 0) {
      EXPECT_EQ(stack37[NS][a], 0);
      EXPECT_EQ(enthalpies[NS][a], 0);
    }
  }
  for (int a = CG; a <= UA; a++)
    for (int b = CG; b <= UA; b++) {
      EXPECT_LT(enthalpies[a][b], 0);
      EXPECT_LT(enthalpies[a][b], stack37[a][b]);  // every stack loses stability when heated
    }
  EXPECT_EQ(stack37[CG][CG], -240);
  EXPECT_EQ(stack37[GC][GC], -340);
  EXPECT_EQ(stack37[GU][GU], 130);
  EXPECT_EQ(enthalpies[GC][GC], -1490);
  EXPECT_EQ(enthalpies[UG][AU], -320);
}

TEST(EnergyPar, DanglesAndMismatchesOfNoPairAndNonstandardPair) {
  for (int b = 0; b < 5; b++) {
    EXPECT_EQ(dangle5_37[0][b], ENERGY_INF);
    EXPECT_EQ(dangle3_37[0][b], ENERGY_INF);
    EXPECT_EQ(dangle5_H[0][b], ENERGY_INF);
    EXPECT_EQ(dangle3_H[0][b], ENERGY_INF);
    EXPECT_EQ(dangle5_37[NS][b], 0);
    EXPECT_EQ(dangle3_37[NS][b], 0);
    EXPECT_EQ(dangle5_H[NS][b], 0);
    EXPECT_EQ(dangle3_H[NS][b], 0);
  }
  for (int t = CG; t <= UA; t++) {
    EXPECT_EQ(dangle5_37[t][0], ENERGY_INF);  // base 0 names no base at 37 C
    EXPECT_EQ(dangle3_37[t][0], ENERGY_INF);
    EXPECT_EQ(dangle5_H[t][0], 0);
    EXPECT_EQ(dangle3_H[t][0], 0);
    for (int b = A; b <= U; b++) {
      EXPECT_LE(dangle5_37[t][b], 0);
      EXPECT_LT(dangle3_37[t][b], 0);
    }
  }
  EXPECT_EQ(dangle5_37[CG][A], -50);
  EXPECT_EQ(dangle3_37[GC][G], -170);
  EXPECT_EQ(dangle5_H[UA][C], 690);
  EXPECT_EQ(dangle3_H[GC][A], -900);

  for (int x = 0; x < 5; x++)
    for (int y = 0; y < 5; y++) {
      EXPECT_EQ(mismatchI37[0][x][y], 0);
      EXPECT_EQ(mismatchH37[0][x][y], 0);
      EXPECT_EQ(mism_H[0][x][y], 0);
      EXPECT_EQ(mismatchH37[NS][x][y], 0);
      EXPECT_EQ(mism_H[NS][x][y], -50);
    }
}

// Row 0 of each standard type is 0; column 0 is the same for every real first base.
TEST(EnergyPar, HairpinMismatchTablesHaveTheirBaseZeroShape) {
  for (int t = CG; t <= UA; t++) {
    const int h0 = t == CG ? -90 : t == GC ? -70 : 0;
    for (int y = 0; y < 5; y++) {
      EXPECT_EQ(mismatchH37[t][0][y], 0);
      EXPECT_EQ(mism_H[t][0][y], 0);
    }
    for (int x = A; x <= U; x++) {
      EXPECT_EQ(mismatchH37[t][x][0], h0) << t << " " << x;
      EXPECT_EQ(mism_H[t][x][0], -50) << t << " " << x;
      for (int y = A; y <= U; y++) EXPECT_LT(mism_H[t][x][y], mismatchH37[t][x][y]);
    }
  }
  for (int x = 0; x < 5; x++)
    for (int y = 0; y < 5; y++) EXPECT_EQ(mism_H[GU][x][y], mism_H[AU][x][y]);
  EXPECT_EQ(mismatchH37[CG][C][G], -290);
  EXPECT_EQ(mismatchH37[AU][G][U], 20);
  EXPECT_EQ(mism_H[CG][A][A], -1030);
  EXPECT_EQ(mism_H[UA][U][U], -140);
}

TEST(EnergyPar, InteriorMismatchFollowsItsRule) {
  for (int t = 0; t < 8; t++)
    for (int x = 0; x < 5; x++)
      for (int y = 0; y < 5; y++) {
        int expected = 0;
        const bool ag = (x == A && y == G) || (x == G && y == A);
        const bool uu = x == U && y == U;
        if (strong(t)) {
          expected = ag ? -110 : uu ? -70 : 0;
        } else if (standard(t)) {
          expected = (x == 0 || y == 0) ? 0 : ag ? -40 : uu ? 0 : 70;
        } else if (t == NS) {
          const bool minus20 = (x == A && y == U) || (x == G && y == A);
          expected = minus20 ? -20 : uu ? 20 : 90;
        }
        EXPECT_EQ(mismatchI37[t][x][y], expected) << t << " " << x << " " << y;
      }
}

TEST(EnergyPar, LoopSizeTables) {
  EXPECT_EQ(hairpin37[0], ENERGY_INF);
  EXPECT_EQ(hairpin37[1], ENERGY_INF);
  EXPECT_EQ(hairpin37[2], ENERGY_INF);
  EXPECT_EQ(bulge37[0], ENERGY_INF);
  EXPECT_EQ(internal_loop37[0], ENERGY_INF);
  EXPECT_EQ(internal_loop37[1], ENERGY_INF);
  EXPECT_EQ(hairpin37[3], 570);
  EXPECT_EQ(bulge37[1], 380);
  EXPECT_EQ(internal_loop37[2], 410);
  EXPECT_EQ(hairpin37[30], 769);
  EXPECT_EQ(bulge37[30], 609);
  EXPECT_EQ(internal_loop37[30], 369);
  // Beyond the irregular small sizes, a loop costs more the larger it is.
  for (int s = 9; s <= 30; s++) EXPECT_GT(hairpin37[s], hairpin37[s - 1]) << s;
  for (int s = 3; s <= 30; s++) EXPECT_GT(bulge37[s], bulge37[s - 1]) << s;
  for (int s = 5; s <= 30; s++) EXPECT_GT(internal_loop37[s], internal_loop37[s - 1]) << s;
}

TEST(EnergyPar, Scalars) {
  EXPECT_DOUBLE_EQ(Tmeasure, 310.15);
  EXPECT_DOUBLE_EQ(lxc37, 107.856);
  EXPECT_EQ(ML_BASE37, 0);
  EXPECT_EQ(ML_closing37, 340);
  EXPECT_EQ(ML_intern37, 40);
  EXPECT_EQ(MAX_NINIO, 300);
  const int ninio[5] = {0, 40, 50, 20, 10};
  for (int k = 0; k < 5; k++) EXPECT_EQ(F_ninio37[k], ninio[k]);
  EXPECT_EQ(TETRA_ENTH37, -400);
  EXPECT_EQ(TerminalAU, 50);
}

TEST(EnergyPar, TetraloopTextAndBonuses) {
  ASSERT_EQ(std::strlen(Tetraloops), 210u);
  for (size_t k = 210; k < sizeof Tetraloops; k++) EXPECT_EQ(Tetraloops[k], '\0');
  std::set<std::string> keys;
  for (int e = 0; e < 30; e++) {
    const std::string entry(Tetraloops + 7 * e, 7);
    EXPECT_EQ(entry.find_first_not_of("ACGU"), 6u) << entry;
    EXPECT_EQ(entry[6], ' ');
    keys.insert(entry.substr(0, 6));
  }
  EXPECT_EQ(keys.size(), 30u);
  const auto entry_of = [](const char* key) {
    const char* at = std::strstr(Tetraloops, key);
    return at ? static_cast<int>(at - Tetraloops) / 7 : -1;
  };
  EXPECT_EQ(entry_of("CUUCGG"), 7);
  EXPECT_EQ(entry_of("UGGAAA"), 29);
  EXPECT_EQ(entry_of("GGGGAC"), 0);
  EXPECT_EQ(entry_of("AAAAAA"), -1);
  EXPECT_EQ(TETRA_ENERGY37[entry_of("CUUCGG")], -300);
  EXPECT_EQ(TETRA_ENERGY37[entry_of("UGGAAA")], -150);

  for (int e = 0; e < 80; e++) {
    const int expected = e <= 8 ? -300 : e <= 13 ? -250 : e <= 18 ? -200 : e <= 29 ? -150 : 0;
    EXPECT_EQ(TETRA_ENERGY37[e], expected) << e;
  }
  EXPECT_EQ(Triloops[0], '\0');
  for (int e = 0; e < 40; e++) EXPECT_EQ(Triloop_E37[e], 0);
}

TEST(EnergyPar, InteriorTablesAreZeroForNoPair) {
  for (int t = 0; t < 8; t++)
    for (int a = 0; a < 5; a++)
      for (int b = 0; b < 5; b++)
        for (int c = 0; c < 5; c++) {
          EXPECT_EQ(int21_37[0][t][a][b][c], 0);
          EXPECT_EQ(int21_37[t][0][a][b][c], 0);
          EXPECT_EQ(int21_H[0][t][a][b][c], 0);
          EXPECT_EQ(int21_H[t][0][a][b][c], 0);
          EXPECT_EQ(int11_37[0][t][a][b], 0);
          EXPECT_EQ(int11_37[t][0][a][b], 0);
          for (int d = 0; d < 5; d++) {
            EXPECT_EQ(int22_37[0][t][a][b][c][d], 0);
            EXPECT_EQ(int22_37[t][0][a][b][c][d], 0);
            EXPECT_EQ(int22_H[0][t][a][b][c][d], 0);
            EXPECT_EQ(int22_H[t][0][a][b][c][d], 0);
          }
        }
}

TEST(EnergyPar, InteriorTablesAreSymmetric) {
  for (int t1 = 0; t1 < 8; t1++)
    for (int t2 = 0; t2 < 8; t2++)
      for (int a = 0; a < 5; a++)
        for (int b = 0; b < 5; b++) {
          EXPECT_EQ(int11_37[t1][t2][a][b], int11_37[t2][t1][b][a]);
          EXPECT_EQ(int11_H[t1][t2][a][b], 0);
          for (int c = 0; c < 5; c++)
            for (int d = 0; d < 5; d++) {
              EXPECT_EQ(int22_37[t1][t2][a][b][c][d], int22_37[t2][t1][c][d][a][b]);
              EXPECT_EQ(int22_H[t1][t2][a][b][c][d], int22_H[t2][t1][c][d][a][b]);
            }
        }
}

TEST(EnergyPar, Int11DefaultsAndExceptions) {
  for (int t1 = 1; t1 < 8; t1++)
    for (int t2 = 1; t2 < 8; t2++) {
      const int deflt = strong(t1) || strong(t2) ? 110 : 170;
      for (int x = 0; x < 5; x++)
        for (int y = 0; y < 5; y++) {
          const int v = int11_37[t1][t2][x][y];
          if (x == 0 || y == 0 || t1 == NS || t2 == NS) {
            EXPECT_EQ(v, deflt) << t1 << "/" << t2 << " " << x << y;
          } else if (!(strong(t1) && strong(t2)) && !(x == G && y == G) && !(x == U && y == U)) {
            EXPECT_EQ(v, deflt) << t1 << "/" << t2 << " " << x << y;
          }
        }
      if (standard(t1) && standard(t2) && !(strong(t1) && strong(t2))) {
        EXPECT_EQ(int11_37[t1][t2][G][G], deflt - 210);
      }
    }
  EXPECT_EQ(int11_37[CG][CG][G][G], -140);
  EXPECT_EQ(int11_37[CG][AU][G][G], -100);
  EXPECT_EQ(int11_37[AU][AU][G][G], -40);
  EXPECT_EQ(int11_37[CG][GC][A][C], -40);
  EXPECT_EQ(int11_37[GC][GC][G][G], -210);
  EXPECT_EQ(int11_37[GC][GC][U][U], -70);
  EXPECT_EQ(int11_37[GC][AU][U][U], 100);
  EXPECT_EQ(int11_37[AU][AU][U][U], 120);
  EXPECT_EQ(int11_37[UA][AU][U][U], 150);
  EXPECT_EQ(int11_37[UA][UA][U][U], 180);
  EXPECT_EQ(int11_37[CG][AU][U][U], 110);
  EXPECT_EQ(int11_37[GU][GU][U][U], 170);
  EXPECT_EQ(int11_37[CG][CG][0][G], 110);
  EXPECT_EQ(int11_37[AU][UA][A][0], 170);
}

// Every standard block is the AU/AU block (the 1x2 base table) plus its offset, with exactly
// eight exceptions; entries with base 0 or a nonstandard pair are 550.
TEST(EnergyPar, Int21IsTheBaseTablePlusOffsets) {
  int exceptions = 0;
  for (int t1 = 1; t1 < 8; t1++)
    for (int t2 = 1; t2 < 8; t2++) {
      const int offset = strong(t1) && strong(t2) ? -150 : strong(t1) || strong(t2) ? -70 : 0;
      for (int a = 0; a < 5; a++)
        for (int b = 0; b < 5; b++)
          for (int c = 0; c < 5; c++) {
            const int v = int21_37[t1][t2][a][b][c];
            if (a == 0 || b == 0 || c == 0 || t1 == NS || t2 == NS) {
              EXPECT_EQ(v, 550);
            } else if (v != int21_37[AU][AU][a][b][c] + offset) {
              exceptions++;
              EXPECT_TRUE((t1 == CG && t2 == GC) || (t1 == GC && t2 == CG)) << t1 << "/" << t2;
            }
          }
    }
  EXPECT_EQ(exceptions, 8);
  EXPECT_EQ(int21_37[GU][GU][A][A][A], 390);
  EXPECT_EQ(int21_37[CG][GU][A][A][A], 320);
  EXPECT_EQ(int21_37[CG][CG][A][A][A], 240);
  EXPECT_EQ(int21_37[CG][GC][A][A][A], 230);
  EXPECT_EQ(int21_37[GC][CG][A][A][A], 250);
  EXPECT_EQ(int21_37[GC][CG][U][C][U], 120);
  // The 550s of the base table are offset like every other entry.
  EXPECT_EQ(int21_37[AU][UA][A][U][A], 550);
  EXPECT_EQ(int21_37[CG][UA][A][U][A], 480);
  EXPECT_EQ(int21_37[GC][CG][A][U][A], 400);
  EXPECT_EQ(int21_37[UG][GC][G][U][U], 480);
}

TEST(EnergyPar, Int22FollowsItsRulesOnEveryEntry) {
  std::set<std::vector<int>> blocks;
  for (int t1 = 1; t1 < 8; t1++)
    for (int t2 = 1; t2 < 8; t2++) {
      std::vector<int> block;
      int two_hundreds = 0;
      for (int a = 0; a < 5; a++)
        for (int b = 0; b < 5; b++)
          for (int c = 0; c < 5; c++)
            for (int d = 0; d < 5; d++) {
              const int v = int22_37[t1][t2][a][b][c][d];
              if (a == 0 || b == 0 || c == 0 || d == 0 || t1 == NS || t2 == NS) {
                EXPECT_EQ(v, 340);
                continue;
              }
              block.push_back(v);
              EXPECT_EQ(v, int22_37[int22_class(t1)][int22_class(t2)][a][b][c][d]);
              if (complementary(a, d) || complementary(b, c)) {
                EXPECT_EQ(v, 200) << t1 << "/" << t2 << " " << a << b << c << d;
                two_hundreds++;
              }
            }
      if (standard(t1) && standard(t2)) {
        EXPECT_EQ(two_hundreds, 112);
        blocks.insert(block);
      }
    }
  EXPECT_EQ(blocks.size(), 16u);
  EXPECT_EQ(int22_37[CG][CG][A][A][A][A], 130);
  EXPECT_EQ(int22_37[CG][CG][U][G][U][G], -420);
  EXPECT_EQ(int22_37[CG][CG][G][G][U][U], -260);
  EXPECT_EQ(int22_37[CG][CG][U][A][C][G], -150);
}

// E, the interior mismatch enthalpy, read back from int21_H[t][NS][x][b][y] =
// E[t][x][y] + E[NS][b][x] with E[NS] = -50.
int interior_E(int t, int x, int y) { return int21_H[t][NS][x][A][y] + 50; }

TEST(EnergyPar, InteriorEnthalpiesAreSumsOfMismatchTerms) {
  int one_unit_higher = 0;
  for (int t = CG; t <= UA; t++)
    for (int x = 0; x < 5; x++)
      for (int y = 0; y < 5; y++) {
        const int diff = interior_E(t, x, y) - mism_H[t][x][y];
        EXPECT_TRUE(diff == 0 || diff == 1) << t << " " << x << y;
        one_unit_higher += diff;
      }
  EXPECT_EQ(one_unit_higher, 95);
  EXPECT_EQ(interior_E(CG, A, A), -1029);
  EXPECT_EQ(interior_E(UA, U, U), -140);
  EXPECT_EQ(interior_E(GC, 0, C), 0);
  EXPECT_EQ(interior_E(GC, C, 0), -50);

  const auto E = [](int t, int x, int y) { return t == NS ? -50 : interior_E(t, x, y); };
  std::vector<std::vector<int>> odd;
  for (int t1 = 1; t1 < 8; t1++)
    for (int t2 = 1; t2 < 8; t2++)
      for (int a = 0; a < 5; a++)
        for (int b = 0; b < 5; b++)
          for (int c = 0; c < 5; c++) {
            EXPECT_EQ(int21_H[t1][t2][a][b][c], E(t1, a, c) + E(t2, b, a));
            for (int d = 0; d < 5; d++)
              if (int22_H[t1][t2][a][b][c][d] != E(t1, a, d) + E(t2, c, b)) {
                odd.push_back({t1, t2, a, b, c, d, int22_H[t1][t2][a][b][c][d]});
              }
          }
  const std::vector<std::vector<int>> expected_odd = {
      {CG, GC, G, U, G, U, -3080}, {GC, CG, G, U, G, U, -3080}, {GC, GC, G, U, G, U, -3080}};
  EXPECT_EQ(odd, expected_odd);
}

}  // namespace

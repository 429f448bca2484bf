// The 37 C parameter tables: one whole-table check per rule family and published worked
// numbers. (The generator of the interior tables asserts their symmetries itself.)
#include "stemloop/energy_par.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <utility>
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

TEST(EnergyPar, PublishedWorkedNumbers) {
  const std::pair<int, int> worked[] = {
      {stack37[CG][CG], -240}, {stack37[GC][GC], -340}, {stack37[GU][GU], 130},
      {enthalpies[GC][GC], -1490}, {enthalpies[UG][AU], -320},
      {dangle5_37[CG][A], -50}, {dangle3_37[GC][G], -170}, {dangle5_H[UA][C], 690},
      {dangle3_H[GC][A], -900}, {mismatchH37[CG][C][G], -290}, {mismatchH37[AU][G][U], 20},
      {mism_H[CG][A][A], -1030}, {mism_H[UA][U][U], -140},
      {hairpin37[3], 570}, {bulge37[1], 380}, {internal_loop37[2], 410},
      {hairpin37[30], 769}, {bulge37[30], 609}, {internal_loop37[30], 369},
      {ML_BASE37, 0}, {ML_closing37, 340}, {ML_intern37, 40}, {MAX_NINIO, 300},
      {F_ninio37[2], 50}, {TETRA_ENTH37, -400}, {TerminalAU, 50},
      {int11_37[CG][GC][A][C], -40}, {int11_37[GC][GC][G][G], -210},
      {int11_37[GC][GC][U][U], -70}, {int11_37[GC][AU][U][U], 100},
      {int11_37[AU][AU][U][U], 120}, {int11_37[UA][AU][U][U], 150},
      {int11_37[UA][UA][U][U], 180}, {int11_37[GU][GU][U][U], 170},
      {int21_37[GC][CG][A][A][A], 250}, {int21_37[GC][CG][U][C][U], 120},
      {int21_37[UG][GC][G][U][U], 480}, {int22_37[CG][CG][A][A][A][A], 130},
      {int22_37[CG][CG][U][G][U][G], -420}, {int22_37[CG][CG][G][G][U][U], -260},
      {int22_37[CG][CG][U][A][C][G], -150}};
  for (size_t k = 0; k < sizeof worked / sizeof worked[0]; k++)
    EXPECT_EQ(worked[k].first, worked[k].second) << "worked number " << k;
  EXPECT_DOUBLE_EQ(Tmeasure, 310.15);
  EXPECT_DOUBLE_EQ(lxc37, 107.856);
}

TEST(EnergyPar, StacksDanglesAndHairpinMismatchesHaveTheirShape) {
  for (int a = 0; a < 8; a++)
    for (int b = 0; b < 8; b++) {
      EXPECT_EQ(stack37[a][b], stack37[b][a]) << a << "," << b;
      EXPECT_EQ(enthalpies[a][b], enthalpies[b][a]) << a << "," << b;
      const int edge = a == 0 || b == 0 ? ENERGY_INF : a == NS || b == NS ? 0 : -1;
      if (edge != -1) { EXPECT_EQ(stack37[a][b], edge) << a << "," << b; }
      if (standard(a) && standard(b)) { EXPECT_LT(enthalpies[a][b], stack37[a][b]); }
    }
  for (int t = 0; t < 8; t++)
    for (int x = 0; x < 5; x++) {
      // Row 0 is INF, row NS 0; at 37 C base 0 names no base, in the enthalpies it costs 0.
      const int d37 = t == 0 ? ENERGY_INF : t == NS ? 0 : x == 0 ? ENERGY_INF : 1;
      const int dH = t == 0 ? ENERGY_INF : t == NS || x == 0 ? 0 : 1;
      for (auto d : {dangle5_37, dangle3_37})
        if (d37 != 1) { EXPECT_EQ(d[t][x], d37) << t << " " << x; }
      for (auto d : {dangle5_H, dangle3_H})
        if (dH != 1) { EXPECT_EQ(d[t][x], dH) << t << " " << x; }
      if (d37 == 1) { EXPECT_LT(dangle3_37[t][x], 0); }
      if (d37 == 1) { EXPECT_LE(dangle5_37[t][x], 0); }
      // Hairpin mismatches: row 0 and column 0 of standard types are fixed.
      for (int y = 0; y < 5; y++) {
        if (!standard(t)) {
          EXPECT_EQ(mismatchH37[t][x][y], 0);
          EXPECT_EQ(mism_H[t][x][y], t == NS ? -50 : 0);
        } else if (x == 0 || y == 0) {
          EXPECT_EQ(mismatchH37[t][x][y], x == 0 ? 0 : t == CG ? -90 : t == GC ? -70 : 0);
          EXPECT_EQ(mism_H[t][x][y], x == 0 ? 0 : -50);
        } else {
          EXPECT_LT(mism_H[t][x][y], mismatchH37[t][x][y]);
        }
        if (t == GU) { EXPECT_EQ(mism_H[GU][x][y], mism_H[AU][x][y]); }
      }
    }
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

TEST(EnergyPar, LoopSizeTablesRiseBeyondTheIrregularSizes) {
  for (int s = 0; s <= 30; s++) {
    if (s < 3) { EXPECT_EQ(hairpin37[s], ENERGY_INF); }
    if (s < 1) { EXPECT_EQ(bulge37[s], ENERGY_INF); }
    if (s < 2) { EXPECT_EQ(internal_loop37[s], ENERGY_INF); }
    if (s >= 9) { EXPECT_GT(hairpin37[s], hairpin37[s - 1]) << s; }
    if (s >= 3) { EXPECT_GT(bulge37[s], bulge37[s - 1]) << s; }
    if (s >= 5) { EXPECT_GT(internal_loop37[s], internal_loop37[s - 1]) << s; }
  }
}

TEST(EnergyPar, TetraloopTextAndBonuses) {
  ASSERT_EQ(std::strlen(Tetraloops), 210u);
  std::set<std::string> keys;
  for (int e = 0; e < 30; e++) {
    const std::string entry(Tetraloops + 7 * e, 7);
    EXPECT_EQ(entry.find_first_not_of("ACGU"), 6u) << entry;
    EXPECT_EQ(entry[6], ' ');
    keys.insert(entry.substr(0, 6));
  }
  EXPECT_EQ(keys.size(), 30u);
  EXPECT_EQ(std::strstr(Tetraloops, "CUUCGG") - Tetraloops, 7 * 7);
  EXPECT_EQ(std::strstr(Tetraloops, "UGGAAA") - Tetraloops, 7 * 29);
  for (int e = 0; e < 80; e++) {
    const int expected = e <= 8 ? -300 : e <= 13 ? -250 : e <= 18 ? -200 : e <= 29 ? -150 : 0;
    EXPECT_EQ(TETRA_ENERGY37[e], expected) << e;
  }
  EXPECT_EQ(Triloops[0], '\0');
  for (int e = 0; e < 40; e++) EXPECT_EQ(Triloop_E37[e], 0);
}

// Default 110 next to a C-G/G-C pair, else 170; G G is 210 lower unless both pairs are
// strong; other exceptions only for G G, U U or two strong pairs.
TEST(EnergyPar, Int11DefaultsAndExceptions) {
  for (int t1 = 0; t1 < 8; t1++)
    for (int t2 = 0; t2 < 8; t2++) {
      const int deflt = strong(t1) || strong(t2) ? 110 : 170;
      for (int x = 0; x < 5; x++)
        for (int y = 0; y < 5; y++) {
          const int v = int11_37[t1][t2][x][y];
          if (t1 == 0 || t2 == 0) {
            EXPECT_EQ(v, 0);
          } else if (x == 0 || y == 0 || t1 == NS || t2 == NS ||
                     (!(strong(t1) && strong(t2)) && !(x == G && y == G) && !(x == U && y == U))) {
            EXPECT_EQ(v, deflt) << t1 << "/" << t2 << " " << x << y;
          } else if (x == G && y == G && !(strong(t1) && strong(t2))) {
            EXPECT_EQ(v, deflt - 210) << t1 << "/" << t2;
          }
        }
    }
}

// Every standard block is the AU/AU block plus its offset, with exactly eight exceptions;
// entries with base 0 or a nonstandard pair are 550.
TEST(EnergyPar, Int21IsTheBaseTablePlusOffsets) {
  int exceptions = 0;
  for (int t1 = 0; t1 < 8; t1++)
    for (int t2 = 0; t2 < 8; t2++) {
      const int offset = strong(t1) && strong(t2) ? -150 : strong(t1) || strong(t2) ? -70 : 0;
      for (int a = 0; a < 5; a++)
        for (int b = 0; b < 5; b++)
          for (int c = 0; c < 5; c++) {
            const int v = int21_37[t1][t2][a][b][c];
            if (t1 == 0 || t2 == 0) {
              EXPECT_EQ(v, 0);
              EXPECT_EQ(int21_H[t1][t2][a][b][c], 0);
            } else if (a == 0 || b == 0 || c == 0 || t1 == NS || t2 == NS) {
              EXPECT_EQ(v, 550);
            } else if (v != int21_37[AU][AU][a][b][c] + offset) {
              exceptions++;
              EXPECT_TRUE((t1 == CG && t2 == GC) || (t1 == GC && t2 == CG)) << t1 << "/" << t2;
            }
          }
    }
  EXPECT_EQ(exceptions, 8);
}

TEST(EnergyPar, Int22FollowsItsRulesOnEveryEntry) {
  for (int t1 = 0; t1 < 8; t1++)
    for (int t2 = 0; t2 < 8; t2++)
      for (int a = 0; a < 5; a++)
        for (int b = 0; b < 5; b++)
          for (int c = 0; c < 5; c++)
            for (int d = 0; d < 5; d++) {
              const int v = int22_37[t1][t2][a][b][c][d];
              if (t1 == 0 || t2 == 0) {
                EXPECT_EQ(v, 0);
                EXPECT_EQ(int22_H[t1][t2][a][b][c][d], 0);
              } else if (a == 0 || b == 0 || c == 0 || d == 0 || t1 == NS || t2 == NS) {
                EXPECT_EQ(v, 340);
              } else {
                EXPECT_EQ(v, int22_37[int22_class(t1)][int22_class(t2)][a][b][c][d]);
                if (complementary(a, d) || complementary(b, c)) { EXPECT_EQ(v, 200); }
              }
            }
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

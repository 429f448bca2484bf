// The 37 C parameter tables written by hand, on published worked numbers. The generated
// interior-loop tables are checked by their generator.
#include "stemloop/energy_par.h"

#include <gtest/gtest.h>

#include <utility>

#include "stemloop/constants.h"

namespace {

enum { CG = 1, GC, GU, UG, AU, UA };
enum { A = 1, C, G, U };

TEST(EnergyPar, PublishedWorkedNumbers) {
  const std::pair<int, int> worked[] = {{stack37[CG][CG], -240},
                                        {stack37[GC][GC], -340},
                                        {stack37[GU][GU], 130},
                                        {enthalpies[GC][GC], -1490},
                                        {enthalpies[UG][AU], -320},
                                        {dangle5_37[CG][A], -50},
                                        {dangle3_37[GC][G], -170},
                                        {dangle5_H[UA][C], 690},
                                        {dangle3_H[GC][A], -900},
                                        {mismatchH37[CG][C][G], -290},
                                        {mismatchH37[AU][G][U], 20},
                                        {mism_H[CG][A][A], -1030},
                                        {mism_H[UA][U][U], -140},
                                        {hairpin37[3], 570},
                                        {bulge37[1], 380},
                                        {internal_loop37[2], 410},
                                        {hairpin37[30], 769},
                                        {bulge37[30], 609},
                                        {internal_loop37[30], 369},
                                        {ML_BASE37, 0},
                                        {ML_closing37, 340},
                                        {ML_intern37, 40},
                                        {MAX_NINIO, 300},
                                        {TETRA_ENERGY37[0], -300},
                                        {TETRA_ENERGY37[29], -150},
                                        {TETRA_ENERGY37[30], 0},
                                        {F_ninio37[2], 50},
                                        {TETRA_ENTH37, -400},
                                        {TerminalAU, 50},
                                        {int11_37[CG][GC][A][C], -40},
                                        {int11_37[GC][GC][G][G], -210},
                                        {int11_37[GC][GC][U][U], -70},
                                        {int11_37[GC][AU][U][U], 100},
                                        {int11_37[AU][AU][U][U], 120},
                                        {int11_37[UA][AU][U][U], 150},
                                        {int11_37[UA][UA][U][U], 180},
                                        {int11_37[GU][GU][U][U], 170},
                                        {int21_37[GC][CG][A][A][A], 250},
                                        {int21_37[GC][CG][U][C][U], 120},
                                        {int21_37[UG][GC][G][U][U], 480},
                                        {int22_37[CG][CG][A][A][A][A], 130},
                                        {int22_37[CG][CG][U][G][U][G], -420},
                                        {int22_37[CG][CG][G][G][U][U], -260},
                                        {int22_37[CG][CG][U][A][C][G], -150},
                                        {int22_H[CG][GC][G][U][G][U], -3080}};
  for (size_t k = 0; k < sizeof worked / sizeof worked[0]; k++)
    EXPECT_EQ(worked[k].first, worked[k].second) << "worked number " << k;
  EXPECT_DOUBLE_EQ(Tmeasure, 310.15);
  EXPECT_DOUBLE_EQ(lxc37, 107.856);
}

}  // namespace

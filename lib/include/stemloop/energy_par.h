/*
 * The nearest-neighbour parameter set at 37 C with its enthalpies, as read-only global
 * data. Energies in 0.01 kcal/mol; pair-type indices 0..7 (0 none, 1 CG, 2 GC, 3 GU, 4 UG,
 * 5 AU, 6 UA, 7 nonstandard); base indices are aliased codes 0..4 (0 none, 1 A, 2 C, 3 G,
 * 4 U); loop-size tables are indexed by the number of unpaired bases 0..30.
 */
#ifndef STEMLOOP_ENERGY_PAR_H
#define STEMLOOP_ENERGY_PAR_H

#include "stemloop/export.h"

#ifdef __cplusplus
extern "C" {
#endif
STEMLOOP_API_BEGIN

extern const double Tmeasure; /* kelvin of the 37 tables: 310.15 */
extern const double lxc37;    /* loop-size log extrapolation: 107.856 */
extern const int stack37[8][8], enthalpies[8][8];
extern const int hairpin37[31], bulge37[31], internal_loop37[31];
extern const int mismatchI37[8][5][5], mismatchH37[8][5][5], mism_H[8][5][5];
extern const int dangle5_37[8][5], dangle3_37[8][5], dangle5_H[8][5], dangle3_H[8][5];
extern const int ML_BASE37, ML_closing37, ML_intern37, MAX_NINIO;
extern const int F_ninio37[5];
extern const char Tetraloops[561]; /* 7 characters per entry, room for 80 */
extern const int TETRA_ENERGY37[80];
extern const int TETRA_ENTH37;
extern const char Triloops[241]; /* 6 characters per entry, room for 40 */
extern const int Triloop_E37[40];
extern const int TerminalAU; /* penalty of a helix end other than C-G or G-C: 50 */
extern const int int11_37[8][8][5][5], int11_H[8][8][5][5];
extern const int int21_37[8][8][5][5][5], int21_H[8][8][5][5][5];
extern const int int22_37[8][8][5][5][5][5], int22_H[8][8][5][5][5][5];

STEMLOOP_API_END
#ifdef __cplusplus
}
#endif

#endif /* STEMLOOP_ENERGY_PAR_H */

// Working energy tables for one temperature, derived from the 37 C parameter set.
#pragma once

#include "stemloop/export.h"

STEMLOOP_API_BEGIN
namespace stemloop {

// Energies in 0.01 kcal/mol. Pair-type indices 0..7, base indices are aliased codes 0..4,
// sizes are numbers of unpaired bases 0..30.
struct EnergyParams {
  int stack[8][8] = {};              // [type (i,j)][type (q,p)]
  int hairpin[31] = {};              // by hairpin size
  int bulge[31] = {};                // by bulge size
  int internal_loop[31] = {};        // by total interior-loop size
  int mismatchI[8][5][5] = {};       // interior-loop terminal mismatches
  int mismatchH[8][5][5] = {};       // hairpin terminal mismatches
  int dangle5[8][5] = {};            // [type][base 5' of the pair], never positive
  int dangle3[8][5] = {};            // [type][base 3' of the pair], never positive
  int int11[8][8][5][5] = {};        // 1x1 interior loops
  int int21[8][8][5][5][5] = {};     // 2x1 interior loops
  int int22[8][8][5][5][5][5] = {};  // 2x2 interior loops
  int F_ninio[5] = {};               // asymmetry per base (entry 2 is used)
  double lxc = 0.0;                  // log extrapolation coefficient above 30
  int MLbase = 0;                    // multiloop, per unpaired base
  int MLintern[8] = {};              // multiloop, per branch (TerminalAU folded in)
  int MLclosing = 0;                 // multiloop closing penalty
  int TETRA_ENERGY[80] = {};         // bonus of the k-th entry of Tetraloops
  int Triloop_E[40] = {};            // bonus of the k-th entry of Triloops
  int TerminalAU = 0;                // helix end other than C-G or G-C
  int MAX_NINIO = 0;                 // cap of the interior-loop asymmetry penalty
  char Tetraloops[561] = {};         // special hairpins of four: "GAAAAC " ..., 7 per entry
  char Triloops[241] = {};           // special hairpins of three: 6 characters per entry
};

// Derives every working table for `temperature` (degrees Celsius) from the 37 C tables;
// the special-hairpin lists, TerminalAU and MAX_NINIO do not depend on temperature.
// Entries that the lists do not reach (TETRA_ENERGY past the tetraloop list, Triloop_E
// past the triloop list) keep what `params` held before.
void scale_parameters(EnergyParams& params, double temperature);

// Conversion of a double energy to an integer: truncation toward zero, saturated to int.
int trunc_energy(double value);

// Energy of a loop larger than the tables: table[30] + trunc(lxc * ln(size / 30)).
int extrapolated_loop(const int table[31], int size, double lxc);

}  // namespace stemloop
STEMLOOP_API_END

STEMLOOP_API_BEGIN
namespace stemloop {

// The one conversion from an integer energy (0.01 kcal/mol) to kcal/mol as returned by
// fold and energy_of_struct: converted to float, divided by 100 in single precision.
inline float energy_to_kcal(int energy) { return static_cast<float>(energy) / 100.0f; }

}  // namespace stemloop
STEMLOOP_API_END

// Working energy tables for one temperature, derived from a 37 C parameter set.
#pragma once

#include "stemloop/export.h"

STEMLOOP_API_BEGIN
namespace stemloop {

struct ParameterSet;

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
  char Hexaloops[361] = {};          // special hairpins of six: 9 characters per entry
  int Hexaloop_E[40] = {};           // value of the k-th entry of Hexaloops

  // The rules and tables beyond the 1999 set (ParameterSet says what they mean); a set
  // that does not use a rule leaves its switch off and its numbers 0.
  bool special_hairpins_whole = false;     // listed hairpins replace the whole loop
  bool interior_mismatch_by_kind = false;  // 1xn and 2x3 loops: mismatch1n, mismatch23
  bool end_mismatches = false;             // mode 2: mismatchM, mismatchExt at helix ends
  int coaxial[8][8] = {};                  // helix ends stacked coaxially, read as stack
  int mismatch1n[8][5][5] = {};            // interior loops of 1 x n, n > 2
  int mismatch23[8][5][5] = {};            // interior loops of 2 x 3
  // [type][base 5' of the helix end][base 3' of it], the type read as for the dangles.
  int mismatchM[8][5][5] = {};    // multiloop helix ends
  int mismatchExt[8][5][5] = {};  // exterior-loop helix ends
  int hairpin_gu_closure = 0;     // G-U closing pair after two Gs
  int hairpin_c_slope = 0;        // all-C loop of n > 3 bases: slope n + intercept
  int hairpin_c_intercept = 0;
  int hairpin_c3 = 0;        // the triloop CCC
  int bulge_special_c = 0;   // bulge of one C next to a paired C
  int bulge_states[4] = {};  // trunc(RT ln k) for a bulge of one base with k states
};

// Derives every working table for `temperature` (degrees Celsius) from the 37 C tables;
// the special-hairpin lists, TerminalAU and MAX_NINIO do not depend on temperature.
// Entries that the lists do not reach (TETRA_ENERGY past the tetraloop list, Triloop_E
// past the triloop list) keep what `params` held before.
void scale_parameters(EnergyParams& params, double temperature);
// The same from any parameter set: every table by G(T) = H - (H - G37) T / Tmeasure,
// fixed constants as they are, lxc and RT in proportion to T.
void scale_parameters(EnergyParams& params, const ParameterSet& set, double temperature);

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

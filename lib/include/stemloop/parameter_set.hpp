// A complete nearest-neighbour parameter set: every table as free energies at 37 C with
// the enthalpies beside them, the constants, the special hairpins and the loop rules the
// set uses. A Model derives its working tables for one temperature from one set.
//
// Units and indices are those of the working tables (energy_params.hpp): energies in
// 0.01 kcal/mol, pair types 0..7 read the way each loop sees the pair, bases as aliased
// codes 0..4, loop sizes 0..30. docs/parameters.md describes the text format.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "stemloop/export.h"

STEMLOOP_API_BEGIN
namespace stemloop {

// A table and its enthalpies, of one shape.
template <class Shape>
struct Tabled {
  Shape g37 = {};
  Shape h = {};
};

// A single number with its enthalpy; a fixed one keeps its value at every temperature.
struct ParameterConstant {
  int g37 = 0;
  int h = 0;
  bool fixed = false;
};

// A hairpin whose whole sequence, closing pair included, has a measured value
// (3, 4 or 6 unpaired bases, upper-case letters with U).
struct SpecialHairpin {
  std::string sequence;
  int g37 = 0;
  int h = 0;
};

struct ParameterSet {
  std::string name;       // as --version and the JSON output show it, e.g. "Turner 1999"
  std::string reference;  // its publication

  // Loop rules. Listed hairpins: their value replaces the whole loop (true), or is a bonus
  // added to the loop's size and mismatch (false; triloops then pay the terminal penalty).
  bool special_hairpins_whole = false;
  // Interior loops of 1 x n (n > 2) and 2 x 3 bases read their own mismatch tables.
  bool interior_mismatch_by_kind = false;
  // A helix end in a multiloop or the exterior loop whose two neighbours both stack on it
  // takes the terminal mismatch of its loop kind rather than the sum of two dangles.
  bool end_mismatches = false;

  Tabled<int[8][8]> stack;    // [type (i,j)][type (q,p)]
  Tabled<int[8][8]> coaxial;  // two helix ends stacked end on end, read as stack
  Tabled<int[31]> hairpin, bulge, interior;
  // Terminal mismatches [type][base 3' of its first base][base 5' of its second base].
  Tabled<int[8][5][5]> mismatch_hairpin, mismatch_interior, mismatch_interior_1n,
      mismatch_interior_23, mismatch_multi, mismatch_exterior;
  Tabled<int[8][5]> dangle5, dangle3;
  Tabled<int[8][8][5][5]> int11;
  Tabled<int[8][8][5][5][5]> int21;
  Tabled<int[8][8][5][5][5][5]> int22;
  Tabled<int[5]> ninio;  // interior-loop asymmetry per base (entry 2 is used)

  ParameterConstant ml_closing, ml_intern, ml_base;  // multiloop: once, per branch, per base
  ParameterConstant terminal_au;                     // helix end other than C-G or G-C
  ParameterConstant max_ninio;                       // cap of the asymmetry term
  ParameterConstant hairpin_gu_closure;  // G-U closing pair after two Gs, four or more bases
  ParameterConstant hairpin_c_slope, hairpin_c_intercept;  // all-C loop of n > 3: slope n + b
  ParameterConstant hairpin_c3;                            // the loop CCC
  ParameterConstant bulge_special_c;                       // bulge of one C next to a paired C
  // Coefficients scaled in proportion to the temperature: the log extrapolation of loop
  // sizes above 30, and RT of the -RT ln(states) term of a bulge of one base.
  double lxc37 = 0.0;
  double bulge_states_rt37 = 0.0;

  std::vector<SpecialHairpin> special_hairpins;

  bool operator==(const ParameterSet& other) const;
  bool operator!=(const ParameterSet& other) const { return !(*this == other); }
};

// The built-in sets by their names, "turner1999" (the default) and "turner2004".
std::shared_ptr<const ParameterSet> turner1999();
std::shared_ptr<const ParameterSet> turner2004();
// The built-in set of that name, or null.
std::shared_ptr<const ParameterSet> builtin_parameters(const std::string& name);
// A built-in name, or else the path of a parameter file, which is read whole. Throws
// Error "FILE:LINE: table TABLE: what is wrong" for a damaged file.
std::shared_ptr<const ParameterSet> load_parameters(const std::string& name_or_path);

// The text format. `source` names the input in the messages of read_parameters, which
// fills `set` only when the whole input is sound.
void read_parameters(std::istream& in, const std::string& source, ParameterSet& set);
void write_parameters(std::ostream& out, const ParameterSet& set);

// The special-hairpin capacities by size: triloops, tetraloops, hexaloops.
constexpr int kMaxTriloops = 40;
constexpr int kMaxTetraloops = 80;
constexpr int kMaxHexaloops = 40;

}  // namespace stemloop
STEMLOOP_API_END

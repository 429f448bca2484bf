// Temperature scaling: the working tables for one temperature from the 37 C set.
#include "stemloop/energy_params.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "stemloop/alphabet.hpp"
#include "stemloop/constants.h"
#include "stemloop/energy_par.h"
#include "stemloop/parameter_set.hpp"

namespace stemloop {

int trunc_energy(double value) {
  if (!(value < static_cast<double>(std::numeric_limits<int>::max())))
    return std::numeric_limits<int>::max();
  if (!(value > static_cast<double>(std::numeric_limits<int>::min())))
    return std::numeric_limits<int>::min();
  return static_cast<int>(value);  // truncates toward zero
}

// ln(size / 30) for the loop sizes that occur most, computed once with the same
// expression as for any other size, so results do not depend on the table.
static double log_size_ratio(int size) {
  constexpr int kTabulated = 1024;
  static const std::vector<double> table = [] {
    std::vector<double> logs(kTabulated);
    for (int k = 1; k < kTabulated; k++) logs[static_cast<size_t>(k)] = std::log(k / 30.0);
    return logs;
  }();
  return size > 0 && size < kTabulated ? table[static_cast<size_t>(size)] : std::log(size / 30.0);
}

int extrapolated_loop(const int table[31], int size, double lxc) {
  return table[30] + trunc_energy(lxc * log_size_ratio(size));
}

namespace {

// G(T) = H - (H - G37) * r, the difference formed in integers. With H = 0 this is the
// entropy-only G37 * r, exactly.
int from_enthalpy(int g37, int h, double r) {
  return trunc_energy(h - static_cast<double>(h - g37) * r);
}

// The enthalpy rule applied entry by entry over tables of the same shape, seen as flat arrays.
template <size_t N>
void scale_flat(int (&out)[N], const int* g37, const int* h, double r) {
  for (size_t k = 0; k < N; k++) out[k] = from_enthalpy(g37[k], h[k], r);
}

template <class Out, class In>
void scale_table(Out& out, const In& g37, const In& h, double r) {
  constexpr size_t n = sizeof(Out) / sizeof(int);
  static_assert(sizeof(In) == sizeof(Out), "tables of one shape");
  scale_flat(reinterpret_cast<int(&)[n]>(out), reinterpret_cast<const int*>(&g37),
             reinterpret_cast<const int*>(&h), r);
}

// The special hairpins of one length as a list text ("GGGGAC GGUGAC ..."), their
// values beside it; entries past the list keep what `values` held.
template <size_t Chars, size_t Entries>
void special_list(char (&text)[Chars], int (&values)[Entries], const ParameterSet& set,
                  size_t length, double r) {
  std::string list;
  size_t k = 0;
  for (const SpecialHairpin& loop : set.special_hairpins) {
    if (loop.sequence.size() != length || k == Entries) continue;
    list += loop.sequence + " ";
    values[k++] = from_enthalpy(loop.g37, loop.h, r);
  }
  std::memset(text, 0, Chars);
  std::memcpy(text, list.data(), std::min(list.size(), Chars - 1));
}

int constant(const ParameterConstant& c, double r) {
  return c.fixed ? c.g37 : from_enthalpy(c.g37, c.h, r);
}

// Reads a multiloop or exterior mismatch, keyed from inside the loop, in the orientation
// of the dangles: [type from outside][base 5' of the end][base 3' of it].
void end_mismatch(int (&out)[8][5][5], const Tabled<int[8][5][5]>& in, double r) {
  static constexpr int kReverse[8] = {0, 2, 1, 4, 3, 6, 5, 7};
  for (int t = 0; t < 8; t++)
    for (int five = 0; five < 5; five++)
      for (int three = 0; three < 5; three++)
        out[t][five][three] =
            from_enthalpy(in.g37[kReverse[t]][three][five], in.h[kReverse[t]][three][five], r);
}

}  // namespace

void scale_parameters(EnergyParams& P, double temperature) {
  scale_parameters(P, *turner1999(), temperature);
}

void scale_parameters(EnergyParams& P, const ParameterSet& set, double temperature) {
  const double r = (temperature + 273.15) / Tmeasure;

  scale_table(P.hairpin, set.hairpin.g37, set.hairpin.h, r);
  scale_table(P.bulge, set.bulge.g37, set.bulge.h, r);
  scale_table(P.internal_loop, set.interior.g37, set.interior.h, r);
  scale_table(P.F_ninio, set.ninio.g37, set.ninio.h, r);
  P.lxc = r * set.lxc37;
  P.MLbase = constant(set.ml_base, r);
  P.MLclosing = constant(set.ml_closing, r);
  P.TerminalAU = constant(set.terminal_au, r);
  P.MAX_NINIO = constant(set.max_ninio, r);
  special_list(P.Tetraloops, P.TETRA_ENERGY, set, 6, r);
  special_list(P.Triloops, P.Triloop_E, set, 5, r);
  special_list(P.Hexaloops, P.Hexaloop_E, set, 8, r);
  const int ml_intern = constant(set.ml_intern, r);
  for (int t = 0; t < 8; t++)
    P.MLintern[t] = ml_intern + (pays_terminal_penalty(t) ? P.TerminalAU : 0);

  scale_table(P.stack, set.stack.g37, set.stack.h, r);
  scale_table(P.coaxial, set.coaxial.g37, set.coaxial.h, r);
  scale_table(P.mismatchI, set.mismatch_interior.g37, set.mismatch_interior.h, r);
  scale_table(P.mismatchH, set.mismatch_hairpin.g37, set.mismatch_hairpin.h, r);
  scale_table(P.mismatch1n, set.mismatch_interior_1n.g37, set.mismatch_interior_1n.h, r);
  scale_table(P.mismatch23, set.mismatch_interior_23.g37, set.mismatch_interior_23.h, r);
  end_mismatch(P.mismatchM, set.mismatch_multi, r);
  end_mismatch(P.mismatchExt, set.mismatch_exterior, r);
  scale_table(P.dangle5, set.dangle5.g37, set.dangle5.h, r);
  scale_table(P.dangle3, set.dangle3.g37, set.dangle3.h, r);
  scale_table(P.int11, set.int11.g37, set.int11.h, r);
  scale_table(P.int21, set.int21.g37, set.int21.h, r);
  scale_table(P.int22, set.int22.g37, set.int22.h, r);

  // A dangling base never destabilises.
  for (auto& row : P.dangle5)
    for (int& d : row) d = d > 0 ? 0 : d;
  for (auto& row : P.dangle3)
    for (int& d : row) d = d > 0 ? 0 : d;

  P.special_hairpins_whole = set.special_hairpins_whole;
  P.interior_mismatch_by_kind = set.interior_mismatch_by_kind;
  P.end_mismatches = set.end_mismatches;
  P.hairpin_gu_closure = constant(set.hairpin_gu_closure, r);
  P.hairpin_c_slope = constant(set.hairpin_c_slope, r);
  P.hairpin_c_intercept = constant(set.hairpin_c_intercept, r);
  P.hairpin_c3 = constant(set.hairpin_c3, r);
  P.bulge_special_c = constant(set.bulge_special_c, r);
  const double rt = r * set.bulge_states_rt37;
  for (int k = 1; k < 4; k++) P.bulge_states[k] = trunc_energy(rt * std::log(k));
}

}  // namespace stemloop

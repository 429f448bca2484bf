// Temperature scaling: the working tables for one temperature from the 37 C set.
#include "stemloop/energy_params.hpp"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "stemloop/alphabet.hpp"
#include "stemloop/constants.h"
#include "stemloop/energy_par.h"

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

// Entropy-only terms: G(T) = G37 * r.
int scaled(int g37, double r) { return trunc_energy(r * g37); }

// Terms with an enthalpy: G(T) = H - (H - G37) * r, the difference formed in integers.
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

}  // namespace

void scale_parameters(EnergyParams& P, double temperature) {
  const double r = (temperature + 273.15) / Tmeasure;

  for (int s = 0; s <= MAXLOOP; s++) {
    P.hairpin[s] = scaled(hairpin37[s], r);
    P.bulge[s] = scaled(bulge37[s], r);
    P.internal_loop[s] = scaled(internal_loop37[s], r);
  }
  for (int k = 0; k < 5; k++) P.F_ninio[k] = scaled(F_ninio37[k], r);
  P.lxc = r * lxc37;
  P.MLbase = scaled(ML_BASE37, r);
  P.MLclosing = scaled(ML_closing37, r);
  P.TerminalAU = TerminalAU;
  P.MAX_NINIO = MAX_NINIO;
  std::memcpy(P.Tetraloops, Tetraloops, sizeof P.Tetraloops);
  std::memcpy(P.Triloops, Triloops, sizeof P.Triloops);
  for (int t = 0; t < 8; t++)
    P.MLintern[t] = scaled(ML_intern37, r) + (pays_terminal_penalty(t) ? P.TerminalAU : 0);

  scale_table(P.stack, stack37, enthalpies, r);
  scale_table(P.mismatchI, mismatchI37, mism_H, r);
  scale_table(P.mismatchH, mismatchH37, mism_H, r);
  scale_table(P.dangle5, dangle5_37, dangle5_H, r);
  scale_table(P.dangle3, dangle3_37, dangle3_H, r);
  scale_table(P.int11, int11_37, int11_H, r);
  scale_table(P.int21, int21_37, int21_H, r);
  scale_table(P.int22, int22_37, int22_H, r);

  // A dangling base never destabilises.
  for (auto& row : P.dangle5)
    for (int& d : row) d = d > 0 ? 0 : d;
  for (auto& row : P.dangle3)
    for (int& d : row) d = d > 0 ? 0 : d;

  const size_t tetra_entries = std::strlen(Tetraloops) / 7 + (std::strlen(Tetraloops) % 7 ? 1 : 0);
  for (size_t k = 0; k < tetra_entries && k < 80; k++)
    P.TETRA_ENERGY[k] = from_enthalpy(TETRA_ENERGY37[k], TETRA_ENTH37, r);
  const size_t tri_entries = std::strlen(Triloops) / 6 + (std::strlen(Triloops) % 6 ? 1 : 0);
  for (size_t k = 0; k < tri_entries && k < 40; k++) P.Triloop_E[k] = Triloop_E37[k];
}

}  // namespace stemloop

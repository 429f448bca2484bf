// Hairpin and two-pair loop energies, shared by the fill, the trace and evaluation.
#include "engine/loops.hpp"

#include <algorithm>
#include <cstring>

#include "stemloop/constants.h"
#include "stemloop/energy_par.h"

namespace stemloop {

// (i ... j): hairpin loop closed by (i,j).
int HairpinE(const EnergyParams& P, int i, int j, int type, const char* sequence, const short* S1,
             bool tetra_loop) {
  const int size = j - i - 1;
  int e = size <= MAXLOOP ? P.hairpin[size] : extrapolated_loop(P.hairpin, size, P.lxc);

  if (tetra_loop && size == 4) {
    char key[7] = {};
    std::memcpy(key, sequence + i - 1, 6);
    if (const char* hit = std::strstr(Tetraloops, key)) e += P.TETRA_ENERGY[(hit - Tetraloops) / 7];
  } else if (size == 3) {
    char key[6] = {};
    std::memcpy(key, sequence + i - 1, 5);
    if (const char* hit = std::strstr(Triloops, key)) e += P.Triloop_E[(hit - Triloops) / 6];
    if (type > 2) e += TerminalAU;
    return e;  // a triloop gets no mismatch
  }
  return e + P.mismatchH[type][S1[i + 1]][S1[j - 1]];
}

// (i (p ... q) j): stack, bulge or interior loop closed by (i,j) around (p,q).
int LoopEnergy(const EnergyParams& P, int left, int right, int type, int inner_type, int after_i,
               int before_j, int before_p, int after_q) {
  const int larger = std::max(left, right);
  const int smaller = std::min(left, right);

  if (larger == 0) return P.stack[type][inner_type];

  if (smaller == 0) {  // bulge
    int e = larger <= MAXLOOP ? P.bulge[larger] : extrapolated_loop(P.bulge, larger, P.lxc);
    if (larger == 1) return e + P.stack[type][inner_type];
    if (type > 2) e += TerminalAU;
    if (inner_type > 2) e += TerminalAU;
    return e;
  }

  if (smaller == 1) {
    if (larger == 1) return P.int11[type][inner_type][after_i][before_j];
    if (larger == 2) {
      if (left == 1) return P.int21[type][inner_type][after_i][after_q][before_j];
      return P.int21[inner_type][type][after_q][after_i][before_p];
    }
  } else if (left == 2 && right == 2) {
    return P.int22[type][inner_type][after_i][before_p][after_q][before_j];
  }

  const int u = left + right;
  int e = u <= MAXLOOP ? P.internal_loop[u] : extrapolated_loop(P.internal_loop, u, P.lxc);
  e += std::min(MAX_NINIO, (larger - smaller) * P.F_ninio[2]);
  return e + P.mismatchI[type][after_i][before_j] + P.mismatchI[inner_type][after_q][before_p];
}

}  // namespace stemloop

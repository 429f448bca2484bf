// The loop energies that are too long to inline: hairpins and the logarithmic multiloop
// penalty.
#include "engine/energy_terms.hpp"

#include <cmath>
#include <cstring>

namespace stemloop {

// (i ... j): hairpin closed by (i, j).
int EnergyTerms::hairpin(int i, int j, int type, const char* sequence, const short* S1) const {
  const int size = j - i - 1;
  int e = size <= MAXLOOP ? P_.hairpin[size] : extrapolated_loop(P_.hairpin, size, P_.lxc);

  if (tetra_loop_ && size == 4) {
    // The closing pair and the loop, "GAAAAC", looked up in the list of special hairpins.
    char key[7] = {};
    std::memcpy(key, sequence + i - 1, 6);
    if (const char* hit = std::strstr(P_.Tetraloops, key))
      e += P_.TETRA_ENERGY[(hit - P_.Tetraloops) / 7];
  } else if (size == 3) {
    char key[6] = {};
    std::memcpy(key, sequence + i - 1, 5);
    if (const char* hit = std::strstr(P_.Triloops, key)) e += P_.Triloop_E[(hit - P_.Triloops) / 6];
    return e + terminal(type);  // a triloop gets no mismatch
  }
  return e + P_.mismatchH[type][S1[i + 1]][S1[j - 1]];
}

int EnergyTerms::ml_unpaired(int count, bool logarithmic) const {
  if (logarithmic && count > 6) return 6 * P_.MLbase + trunc_energy(P_.lxc * std::log(count / 6.0));
  return count * P_.MLbase;
}

}  // namespace stemloop

// The loop energies that are too long to inline: hairpins and the logarithmic multiloop
// penalty.
#include "model/energy_terms.hpp"

#include <cmath>
#include <cstring>

namespace stemloop {

int EnergyTerms::special_hairpin(int i, int size, const char* sequence) const {
  // The closing pair and the loop, such as "GAAAAC", looked up in the list of its size.
  char key[7] = {};
  std::memcpy(key, sequence + i - 1, static_cast<size_t>(size) + 2);
  if (size == 4) {
    const char* hit = std::strstr(P_.Tetraloops, key);
    return hit ? P_.TETRA_ENERGY[(hit - P_.Tetraloops) / 7] : 0;
  }
  const char* hit = std::strstr(P_.Triloops, key);
  return hit ? P_.Triloop_E[(hit - P_.Triloops) / 6] : 0;
}

int EnergyTerms::measured_hairpin_ends(int i, int j, int type, const char* sequence,
                                       const short* S1) const {
  const int size = j - i - 1;
  if (tetra_loop_ && (size == 3 || size == 4 || size == 6)) {
    // The closing pair and the loop, looked up in the list of its size.
    char key[9] = {};
    std::memcpy(key, sequence + i - 1, static_cast<size_t>(size) + 2);
    const char* list = size == 3 ? P_.Triloops : size == 4 ? P_.Tetraloops : P_.Hexaloops;
    const int* values = size == 3 ? P_.Triloop_E : size == 4 ? P_.TETRA_ENERGY : P_.Hexaloop_E;
    if (const char* hit = std::strstr(list, key))
      return values[(hit - list) / (size + 3)] - hairpin_size(size);
  }
  bool all_c = true;
  for (int k = i + 1; k < j && all_c; k++) all_c = S1[k] == 2;
  if (size == 3) return (all_c ? P_.hairpin_c3 : 0) + terminal(type);
  int e = P_.mismatchH[type][S1[i + 1]][S1[j - 1]];
  // G-U closing pair (G 5') after two Gs
  if (type == kPairGU && i >= 3 && S1[i - 1] == 3 && S1[i - 2] == 3) e += P_.hairpin_gu_closure;
  if (all_c) e += P_.hairpin_c_slope * size + P_.hairpin_c_intercept;
  return e;
}

int EnergyTerms::ml_unpaired(int count, bool logarithmic) const {
  if (logarithmic && count > 6) return 6 * P_.MLbase + trunc_energy(P_.lxc * std::log(count / 6.0));
  return count * P_.MLbase;
}

}  // namespace stemloop

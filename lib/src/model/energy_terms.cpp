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

int EnergyTerms::ml_unpaired(int count, bool logarithmic) const {
  if (logarithmic && count > 6) return 6 * P_.MLbase + trunc_energy(P_.lxc * std::log(count / 6.0));
  return count * P_.MLbase;
}

}  // namespace stemloop

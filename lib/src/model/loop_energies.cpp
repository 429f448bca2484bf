// Single loop energies for callers outside the engine (the classic facade's HairpinE
// and LoopEnergy), scored by the one energy layer.
#include "model/energy_terms.hpp"
#include "stemloop/evaluate.hpp"

namespace stemloop {

int hairpin_energy(const Model& model, bool special_hairpins, int i, int j, int type,
                   const char* sequence, const short* S1) {
  return EnergyTerms(model, 0, special_hairpins).hairpin(i, j, type, sequence, S1);
}

int two_pair_loop_energy(const Model& model, int left, int right, int type, int inner_type,
                         int after_i, int before_j, int before_p, int after_q) {
  return EnergyTerms(model, 0, false)
      .two_pair_loop(left, right, type, inner_type, after_i, before_j, before_p, after_q);
}

}  // namespace stemloop

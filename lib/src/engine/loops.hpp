// Free energies of the loops closed by one pair (hairpins) or two pairs (stacks,
// bulges, interior loops). Pure lookups; no allocation, suitable for the fill.
#pragma once

#include "stemloop/energy_params.hpp"

namespace stemloop {

// Hairpin closed by (i, j) of pair type `type`. `sequence` is the text as given
// (position k is character k-1), S1 the aliased codes with S1[k] for position k.
int HairpinE(const EnergyParams& P, int i, int j, int type, const char* sequence, const short* S1,
             bool tetra_loop);

// Loop between the outer pair (i,j) and the inner pair (p,q):
// left = p-i-1, right = j-q-1, type of (i,j), inner_type = type of (q,p), and the
// aliased codes of bases i+1, j-1, p-1, q+1.
int LoopEnergy(const EnergyParams& P, int left, int right, int type, int inner_type, int after_i,
               int before_j, int before_p, int after_q);

}  // namespace stemloop

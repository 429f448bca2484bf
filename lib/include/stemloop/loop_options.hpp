// The options of the energy model and of the allowed pairs, shared by every algorithm:
// the fold, the ensemble and suboptimal folding derive their options from this one
// struct, so a fold's rules carry over to the others as they stand. The dangle modes each
// algorithm takes are in dangle_modes.hpp.
#pragma once

#include "stemloop/export.h"

STEMLOOP_API_BEGIN
namespace stemloop {

struct LoopOptions {
  // How unpaired bases next to a helix end add to its energy: 0 never, 1 one base per
  // helix end, shared out for the lowest energy, 2 both neighbours always, 3 as 1 with
  // coaxial stacking of adjacent helices. Any other value behaves as 1.
  int dangles = 2;
  bool noLonelyPairs = false;  // only structures in which every pair stacks on another
  bool no_closingGU = false;   // a G-U or U-G pair closes no loop but a stack and is the
                               // inner pair of no bulge or interior loop
  bool tetra_loop = true;      // bonuses of the special hairpins
};

}  // namespace stemloop
STEMLOOP_API_END

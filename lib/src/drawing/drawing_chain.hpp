// A loop laid out as a free chain, for loops whose branches do not fit around a circle:
// the branches are placed one after another, each within reach of the one before it
// through the unpaired bases between them, turned whichever way it fits.
#pragma once

#include <vector>

#include "drawing/drawing_pieces.hpp"
#include "drawing/drawing_tree.hpp"
#include "stemloop/pair_table.hpp"

namespace stemloop {
namespace layout {

// The places of all bases, or empty when some branch or tail finds no room. `shapes[b]`:
// the shapes branch b of the exterior loop offers, in its frame (its first pair at
// (-0.5, 0) and (0.5, 0), its helix rising along y), the preferred one first.
std::vector<Point> chain_exterior(const PairTable& table, const DrawLoop& loop,
                                  const std::vector<std::vector<Shape>>& shapes);

// A closed loop as a free chain in its frame: its closing pair at (-0.5, 0) and (0.5, 0),
// the runs and branches clear of `fixed` (the helix below) and their bases out of `room`.
// The places of positions i..j (the closing pair), or empty. A `thorough` search tries
// closing the chain at every run, with a larger budget.
std::vector<Point> chain_closed(const PairTable& table, const DrawLoop& loop,
                                const std::vector<std::vector<Shape>>& shapes,
                                const std::vector<Piece>& fixed, FreeRoom room,
                                bool thorough = false);

}  // namespace layout
}  // namespace stemloop

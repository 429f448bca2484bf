// The two radial layouts: placing branches around loop circles (drawing_layout.cpp), and
// overlap removal (drawing_overlap_layout.cpp), used where the first leaves faults.
#pragma once

#include "drawing/drawing_tree.hpp"
#include "stemloop/drawing.hpp"

namespace stemloop {

Layout overlap_removal_layout(const PairTable& table, const DrawTree& tree);

}  // namespace stemloop

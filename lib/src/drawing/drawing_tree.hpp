// The loops of a structure as the drawing sees them: every loop that is not a stack is
// one polygon, and runs of stacked pairs between them are helices. Loop 0 is the
// exterior loop, drawn open along a line.
#pragma once

#include <vector>

#include "stemloop/pair_table.hpp"

namespace stemloop {

enum class DrawnKind { Exterior, Hairpin, Interior, Multiloop };

struct DrawLoop {
  int parent = -1;  // -1 for the exterior loop
  int depth = 0;
  int branch_in_parent = -1;  // index into the parent's branches
  DrawnKind kind = DrawnKind::Exterior;
  // The loop's bases in 5'->3' order; a closed loop starts and ends with its closing pair.
  std::vector<int> vertices;
  // Edge e joins vertices[e] and vertices[e + 1]; a closed loop's last edge is its
  // closing pair, from the last vertex back to the first.
  std::vector<char> is_backbone;  // else the edge is a pair
  std::vector<int> branch_edge;   // edge of each branch's first pair
  std::vector<int> branch_loop;   // loop at the far end of each branch's helix
  std::vector<int> helix_pairs;   // pairs in each branch's helix, counting both ends
  bool closed() const { return parent >= 0; }
};

// Where a drawing element belongs: its loop, and its place in that loop's polygon.
// Bases and pairs of a helix belong to the loop at the helix's far end, as "incoming".
struct DrawPlace {
  int loop = 0;
  int vertex = -1;  // unpaired base of the loop: its vertex index, else -1
  int edge = -1;    // backbone edge of the loop's polygon: its edge index, else -1
};

struct DrawTree {
  std::vector<DrawLoop> loops;
  std::vector<DrawPlace> base;      // base[k]: position k + 1
  std::vector<DrawPlace> backbone;  // backbone[k]: the step from position k + 1 to k + 2
};

// Builds the tree of a properly nested pair table; iterative, so depth is unbounded.
DrawTree build_draw_tree(const PairTable& table);

}  // namespace stemloop

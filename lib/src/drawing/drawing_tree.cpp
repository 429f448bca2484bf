#include "drawing/drawing_tree.hpp"

#include <cstddef>
#include <utility>

namespace stemloop {
namespace {

size_t at(int position) { return static_cast<size_t>(position); }

// Fills the vertices and edges of a loop with the bases from `first` to `last`, the pairs
// inside as chords (their inner bases skipped); records the places of its unpaired bases and
// backbone steps.
void collect_vertices(DrawTree& tree, int index, const PairTable& table, int first, int last) {
  DrawLoop& loop = tree.loops[at(index)];
  for (int k = first; k <= last; k++) {
    const int partner = table[at(k)];
    loop.vertices.push_back(k);
    if (partner > k && !(loop.closed() && k == first)) {
      loop.vertices.push_back(partner);
      k = partner;
    }
  }
  const int count = static_cast<int>(loop.vertices.size());
  for (int e = 0; e + 1 < count; e++) {
    const int from = loop.vertices[at(e)];
    const int to = loop.vertices[at(e + 1)];
    // In a hairpin of no unpaired bases the one step joins the closing pair's own bases.
    const bool backbone = table[at(from)] != to || (loop.closed() && count == 2);
    loop.is_backbone.push_back(backbone ? 1 : 0);
    if (backbone) tree.backbone[at(from - 1)] = DrawPlace{index, -1, e};
  }
  if (loop.closed()) loop.is_backbone.push_back(0);  // the closing pair
  for (int v = 0; v < count; v++) {
    const int k = loop.vertices[at(v)];
    if (table[at(k)] == 0) tree.base[at(k - 1)] = DrawPlace{index, v, -1};
  }
}

}  // namespace

DrawTree build_draw_tree(const PairTable& table) {
  check_pair_table(table.data());
  const int n = table[0];
  DrawTree tree;
  tree.base.resize(at(n));
  tree.backbone.resize(at(n > 0 ? n - 1 : 0));
  tree.loops.emplace_back();
  std::vector<int> pending{0};  // loops whose vertices are known but not their branches
  if (n > 0) collect_vertices(tree, 0, table, 1, n);
  while (!pending.empty()) {
    const int index = pending.back();
    pending.pop_back();
    const std::vector<int> vertices = tree.loops[at(index)].vertices;
    const std::vector<char> backbone = tree.loops[at(index)].is_backbone;
    for (size_t e = 0; e + 1 < vertices.size(); e++) {
      if (backbone[e]) continue;
      // (p (p+1 ... q-1) q): a helix of stacked pairs up to the loop it closes.
      const int p = vertices[e];
      const int q = vertices[e + 1];
      int pairs = 1;
      while (p + pairs < q - pairs && table[at(p + pairs)] == q - pairs) pairs++;
      const int i = p + pairs - 1;
      const int j = q - pairs + 1;
      const int child = static_cast<int>(tree.loops.size());
      DrawLoop loop;
      loop.parent = index;
      loop.depth = tree.loops[at(index)].depth + 1;
      loop.branch_in_parent = static_cast<int>(tree.loops[at(index)].branch_edge.size());
      tree.loops.push_back(std::move(loop));
      DrawLoop& parent = tree.loops[at(index)];
      parent.branch_edge.push_back(static_cast<int>(e));
      parent.branch_loop.push_back(child);
      parent.helix_pairs.push_back(pairs);
      for (int t = 0; t < pairs; t++) {
        tree.base[at(p + t - 1)] = DrawPlace{child, -1, -1};
        tree.base[at(q - t - 1)] = DrawPlace{child, -1, -1};
        if (t + 1 < pairs) {
          tree.backbone[at(p + t - 1)] = DrawPlace{child, -1, -1};
          tree.backbone[at(q - t - 2)] = DrawPlace{child, -1, -1};
        }
      }
      collect_vertices(tree, child, table, i, j);
      DrawLoop& closed = tree.loops[at(child)];
      size_t inner_pairs = 0;
      for (size_t v = 1; v + 1 < closed.vertices.size(); v++)
        if (table[at(closed.vertices[v])] > closed.vertices[v]) inner_pairs++;
      closed.kind = inner_pairs == 0   ? DrawnKind::Hairpin
                    : inner_pairs == 1 ? DrawnKind::Interior
                                       : DrawnKind::Multiloop;
      pending.push_back(child);
    }
  }
  return tree;
}

}  // namespace stemloop

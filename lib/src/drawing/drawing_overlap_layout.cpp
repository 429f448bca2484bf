// The radial layout with overlap removal, kept for the structures the wedge layout cannot
// fit within its step limits: it never fails, but may lengthen steps a lot. Each loop is a polygon
// inscribed in a circle, each helix a ladder standing on its pair in the loop below, the exterior
// loop a straight line. Where two parts of the picture come too close, the loop where their paths
// from the exterior loop part lengthens its backbone steps between the two, which turns them apart
// and grows the loop; the layout is redone until nothing is too close.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

#include "drawing/drawing_faults.hpp"
#include "drawing/drawing_layouts.hpp"
#include "drawing/drawing_tree.hpp"
#include "stemloop/drawing.hpp"

namespace stemloop {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kStep = 1.0;
// The layout keeps more room than the rules it reports on demand, so that rounding in
// the picture never brings two elements within those.
constexpr double kMinDistance = 0.7;
constexpr double kClearance = 0.3;
constexpr double kRuleDistance = 0.5;
constexpr int kMaxRounds = 600;
// No edge of a loop may be longer than this share of the others together, so that every
// loop still closes into a polygon.
constexpr double kLongestShare = 0.8;

size_t at(int k) { return static_cast<size_t>(k); }

Point operator+(Point a, Point b) { return {a.x + b.x, a.y + b.y}; }
Point operator-(Point a, Point b) { return {a.x - b.x, a.y - b.y}; }
Point operator*(Point a, double s) { return {a.x * s, a.y * s}; }
double angle_of(Point a) { return std::atan2(a.y, a.x); }

// Central angles of a polygon with edges of the given lengths inscribed in a circle, and
// its radius. When one edge is too long for the circle's centre to lie inside, that edge
// takes the larger arc.
void inscribe(const std::vector<double>& length, double& radius, std::vector<double>& angle) {
  size_t longest = 0;
  double total = 0.0;
  for (size_t e = 0; e < length.size(); e++) {
    total += length[e];
    if (length[e] > length[longest]) longest = e;
  }
  const double low = length[longest] / 2;
  const auto arc = [](double chord, double r) {
    return 2 * std::asin(std::min(1.0, chord / (2 * r)));
  };
  const auto sum_others = [&](double r) {
    double sum = 0.0;
    for (size_t e = 0; e < length.size(); e++)
      if (e != longest) sum += arc(length[e], r);
    return sum;
  };
  const bool centre_inside = sum_others(low) + kPi >= 2 * kPi;
  // Centre inside: the arcs fill the circle. Outside: the others fill the longest's arc.
  const auto excess = [&](double r) {
    return centre_inside ? sum_others(r) + arc(length[longest], r) - 2 * kPi
                         : arc(length[longest], r) - sum_others(r);
  };
  double lo = low;
  double hi = std::max(total, low * 2);
  for (int k = 0; k < 200; k++) {
    const double mid = (lo + hi) / 2;
    (excess(mid) > 0) == centre_inside ? lo = mid : hi = mid;
  }
  radius = (lo + hi) / 2;
  angle.resize(length.size());
  double others = 0.0;
  for (size_t e = 0; e < length.size(); e++) {
    angle[e] = arc(length[e], radius);
    if (e != longest) others += angle[e];
  }
  angle[longest] = 2 * kPi - others;
}

// A place in one loop's polygon: a span of vertex indices, or the helix below the loop.
struct Span {
  bool incoming = false;
  int first = 0;
  int last = 0;
};

class RadialLayout {
 public:
  RadialLayout(const PairTable& table, const DrawTree& tree)
      : table_(table), tree_(tree), elements_(drawing_elements(table)) {
    const size_t loops = tree.loops.size();
    length_.resize(loops);
    grow_.resize(loops);
    pressure_.assign(loops, 0);
    for (size_t l = 0; l < loops; l++) {
      const DrawLoop& loop = tree.loops[l];
      for (char backbone : loop.is_backbone) length_[l].push_back(backbone ? kStep : kPairWidth);
      grow_[l].assign(loop.is_backbone.size(), 0.0);
    }
  }

  Layout run() {
    Layout layout;
    for (int round = 0;; round++) {
      place();
      const auto faults = find_faults(bases_, elements_, kMinDistance, kClearance);
      if (faults.empty() || round == kMaxRounds) break;
      for (const auto& fault : faults) widen_for(fault.first, fault.second);
      apply_growth();
    }
    layout.bases = bases_;
    layout.faults = count_layout_faults(bases_, table_, kRuleDistance, 0.0);
    return layout;
  }

 private:
  void place() {
    const int n = table_[0];
    bases_.assign(at(n), Point{});
    if (n == 0) return;
    const DrawLoop& exterior = tree_.loops[0];
    double x = 0.0;
    for (size_t v = 0; v < exterior.vertices.size(); v++) {
      if (v > 0) x += length_[0][v - 1];
      bases_[at(exterior.vertices[v] - 1)] = Point{x, 0.0};
    }
    std::vector<int> pending{0};
    while (!pending.empty()) {
      const DrawLoop& loop = tree_.loops[at(pending.back())];
      pending.pop_back();
      for (size_t b = 0; b < loop.branch_edge.size(); b++) {
        // (p (p+1 ... q-1) q): the ladder grows away from the loop, square to the pair.
        const int p = loop.vertices[at(loop.branch_edge[b])];
        const int q = loop.vertices[at(loop.branch_edge[b] + 1)];
        const Point from = bases_[at(p - 1)];
        const Point to = bases_[at(q - 1)];
        const Point side = to - from;
        const double norm = std::hypot(side.x, side.y);
        const Point up = Point{-side.y, side.x} * (kStep / norm);
        for (int t = 1; t < loop.helix_pairs[b]; t++) {
          bases_[at(p + t - 1)] = from + up * t;
          bases_[at(q - t - 1)] = to + up * t;
        }
        place_loop(loop.branch_loop[b]);
        pending.push_back(loop.branch_loop[b]);
      }
    }
  }

  // Places the polygon of a closed loop whose closing pair is already placed; its bases
  // run clockwise from the 5' base of the closing pair, so the loop lies beyond the pair.
  void place_loop(int index) {
    const DrawLoop& loop = tree_.loops[at(index)];
    const std::vector<double>& length = length_[at(index)];
    const size_t m = loop.vertices.size();
    const Point first = bases_[at(loop.vertices.front() - 1)];
    const Point last = bases_[at(loop.vertices.back() - 1)];
    if (m == 2) return;
    double radius = 0.0;
    std::vector<double> angle;
    inscribe(length, radius, angle);
    std::vector<Point> local(m);
    double a = 0.0;
    for (size_t v = 0; v < m; v++) {
      if (v > 0) a -= angle[v - 1];
      local[v] = Point{radius * std::cos(a), radius * std::sin(a)};
    }
    const double turn = angle_of(first - last) - angle_of(local.front() - local.back());
    const double c = std::cos(turn);
    const double s = std::sin(turn);
    const auto rotate = [c, s](Point u) { return Point{c * u.x - s * u.y, s * u.x + c * u.y}; };
    const Point shift = last - rotate(local.back());
    for (size_t v = 1; v + 1 < m; v++) bases_[at(loop.vertices[v] - 1)] = rotate(local[v]) + shift;
  }

  DrawPlace place_of(int element) const {
    const DrawnElement& segment = elements_[at(element)];
    const int n = table_[0];
    if (element < n) return tree_.base[at(element)];
    if (element < 2 * n - 1) return tree_.backbone[at(segment.a)];
    return tree_.base[at(segment.a)];
  }

  // The innermost loop whose subtree holds both loops.
  int common_loop(int a, int b) const {
    while (a != b) {
      if (tree_.loops[at(a)].depth >= tree_.loops[at(b)].depth) {
        a = tree_.loops[at(a)].parent;
      } else {
        b = tree_.loops[at(b)].parent;
      }
    }
    return a;
  }

  // Where `place` lies as seen from `loop`, an ancestor of (or equal to) its loop.
  Span span_in(int loop, const DrawPlace& place) const {
    if (place.loop == loop) {
      if (place.vertex >= 0) return Span{false, place.vertex, place.vertex};
      if (place.edge >= 0) return Span{false, place.edge, place.edge + 1};
      return Span{true, 0, 0};
    }
    int child = place.loop;
    while (tree_.loops[at(child)].parent != loop) child = tree_.loops[at(child)].parent;
    const int edge = tree_.loops[at(loop)].branch_edge[at(tree_.loops[at(child)].branch_in_parent)];
    return Span{false, edge, edge + 1};
  }

  // Asks for room between the elements x and y that broke a rule.
  void widen_for(int x, int y) {
    const DrawPlace px = place_of(x);
    const DrawPlace py = place_of(y);
    const int loop = common_loop(px.loop, py.loop);
    Span sx = span_in(loop, px);
    Span sy = span_in(loop, py);
    if (sx.incoming != sy.incoming) {
      turn_away(loop, sx.incoming ? sy : sx);
      return;
    }
    if (sx.first > sy.first) std::swap(sx, sy);
    if (!sx.incoming && sx.last < sy.first) {
      request(loop, sx.last, sy.first - 1);
      return;
    }
    // Neighbours in the loop (a branch and the step next to it): the branch's own loop
    // turns its parts away from the other element, which lies outside it.
    const int deeper = px.loop != loop ? px.loop : py.loop;
    if (deeper == loop) {
      request(loop, 0, static_cast<int>(length_[at(loop)].size()) - 1);
      return;
    }
    int child = deeper;
    while (tree_.loops[at(child)].parent != loop) child = tree_.loops[at(child)].parent;
    const Span inner = span_in(child, deeper == px.loop ? px : py);
    if (inner.incoming) {
      request(child, 0, static_cast<int>(length_[at(child)].size()) - 1);
    } else {
      turn_away(child, inner);
    }
  }

  // Something beyond the closing pair of a closed loop comes too close to the part of
  // the loop at `part`: lengthens the steps between the part and the nearer end of the
  // closing pair, which turns the part towards the far side of the loop.
  void turn_away(int index, const Span& part) {
    const std::vector<double>& length = length_[at(index)];
    const int open_edges = static_cast<int>(length.size()) - 1;
    double before = 0.0;
    double after = 0.0;
    for (int e = 0; e < part.first; e++) before += length[at(e)];
    for (int e = part.last; e < open_edges; e++) after += length[at(e)];
    if (before <= after && part.first > 0) {
      request(index, 0, part.first - 1);
    } else if (part.last < open_edges) {
      request(index, part.last, open_edges - 1);
    } else {
      request(index, 0, open_edges - 1);
    }
  }

  // Asks loop `index` to lengthen its backbone edges first..last by one share of a
  // growth that rises each round the loop is asked again.
  void request(int index, int first, int last) {
    const DrawLoop& loop = tree_.loops[at(index)];
    if (loop.vertices.size() <= 2) return;
    int count = 0;
    for (int e = first; e <= last; e++) count += loop.is_backbone[at(e)];
    if (count == 0) {
      first = 0;
      last = static_cast<int>(loop.is_backbone.size()) - 1;
      for (int e = first; e <= last; e++) count += loop.is_backbone[at(e)];
    }
    const double growth = kStep * (0.3 + 0.1 * pressure_[at(index)]);
    for (int e = first; e <= last; e++) {
      if (loop.is_backbone[at(e)])
        grow_[at(index)][at(e)] = std::max(grow_[at(index)][at(e)], growth / count);
    }
  }

  void apply_growth() {
    for (size_t l = 0; l < length_.size(); l++) {
      bool grew = false;
      for (size_t e = 0; e < length_[l].size(); e++) {
        length_[l][e] += grow_[l][e];
        grew = grew || grow_[l][e] > 0;
        grow_[l][e] = 0.0;
      }
      if (!grew) continue;
      pressure_[l]++;
      if (tree_.loops[l].closed()) balance(l);
    }
  }

  // Keeps the longest edge of a closed loop shorter than the others together.
  void balance(size_t index) {
    std::vector<double>& length = length_[index];
    const std::vector<char>& backbone = tree_.loops[index].is_backbone;
    const size_t longest =
        static_cast<size_t>(std::max_element(length.begin(), length.end()) - length.begin());
    double others = 0.0;
    int flexible = 0;
    for (size_t e = 0; e < length.size(); e++) {
      if (e == longest) continue;
      others += length[e];
      flexible += backbone[e];
    }
    const double needed = length[longest] / kLongestShare - others;
    if (needed <= 0 || flexible == 0) return;
    for (size_t e = 0; e < length.size(); e++)
      if (e != longest && backbone[e]) length[e] += needed / flexible;
  }

  const PairTable& table_;
  const DrawTree& tree_;
  std::vector<DrawnElement> elements_;
  std::vector<std::vector<double>> length_;  // per loop, per edge
  std::vector<std::vector<double>> grow_;    // lengthening asked for in this round
  std::vector<int> pressure_;                // rounds in which each loop had to grow
  std::vector<Point> bases_;
};

}  // namespace

Layout overlap_removal_layout(const PairTable& table, const DrawTree& tree) {
  return RadialLayout(table, tree).run();
}

}  // namespace stemloop

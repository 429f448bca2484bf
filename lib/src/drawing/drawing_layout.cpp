// Radial layout for structures of any size. Every loop is a circle through its bases,
// every helix a straight ladder standing square on its first pair in the loop below.
// Bottom-up, each loop places its branches (a helix and all beyond it, laid out already
// and moved as one piece) around its circle, turning each clockwise just as far as it
// takes to keep clear of what is placed; where the branches do not fit, the loop spreads
// its bases over a larger circle (backbone steps up to kMaxStep), then lengthens its
// helices, and only then allows longer steps. Where a loop needs longer steps, the layout
// is redone turning: every loop also offers its branches turned as far clockwise and
// counterclockwise as its slack allows (bent at interior loops), and loops keep all beyond
// them above their closing pair as long as they can; where they cannot, out of a cone
// below the closing pair, narrowing step by step to a strip as wide as the pair, so that
// a large branch never hangs where the loops below it need their bases and helix. A
// loop that cannot fit its branches around its circle places them as a free chain
// (drawing_chain.cpp). Where a loop still needs longer steps, the layout is redone once
// more with every large loop also offering a shape that stays within an upward wedge,
// so that it leaves its neighbours room on either side (an angle budget, as in
// Wiegreffe et al. 2018), and with a more thorough last chain. Where a loop still
// cannot fit its branches, layout_structure falls back to overlap removal for the whole
// structure.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "drawing/drawing_chain.hpp"
#include "drawing/drawing_faults.hpp"
#include "drawing/drawing_geometry.hpp"
#include "drawing/drawing_layouts.hpp"
#include "drawing/drawing_pieces.hpp"
#include "drawing/drawing_tree.hpp"
#include "stemloop/drawing.hpp"

namespace stemloop {
namespace {

constexpr double kGrowth = 1.08;  // the radius tried next, as a factor
constexpr double kRuleDistance = 0.5;
constexpr double kRiseNotch = 0.5;  // a helix lengthens its rise by this much at a time
constexpr int kMaxAttempts = 5;
constexpr int kPlainAttempts = 3;
constexpr double kTurnRange = 2.5;  // how much larger a circle may turn a loop's branches
constexpr double kLean = kPi / 6;
constexpr double kAbove = 0.3;
// A wedged search: loops of this many bases and beyond also offer a shape within the
// wedge whose sides widen by kWedgeSpread per step up, from kWedgeApex below the pair.
constexpr int kWedgedBases = 200;
constexpr double kWedgeSpread = 1.0;
constexpr double kWedgeApex = 4.0;

using namespace layout;  // NOLINT(google-build-using-namespace): the layout's own pieces

double chord_angle(double chord, double radius) {
  return 2 * std::asin(std::min(1.0, chord / (2 * radius)));
}

// Spreads `amount` of angle over the edges, raising the smallest first, none above `cap`.
// Returns false when they cannot take it all.
bool fill_edges(std::vector<double>& angle, const std::vector<int>& edges, double cap,
                double amount) {
  double room = 0.0;
  for (int e : edges) room += cap - angle[at(e)];
  if (amount > room + 1e-12) return false;
  if (amount <= 0) return true;
  double lo = 0.0;
  double hi = cap;
  for (int k = 0; k < 60; k++) {  // the water level
    const double t = (lo + hi) / 2;
    double sum = 0.0;
    for (int e : edges) sum += std::clamp(t - angle[at(e)], 0.0, cap - angle[at(e)]);
    (sum < amount ? lo : hi) = t;
  }
  for (int e : edges) angle[at(e)] += std::clamp(hi - angle[at(e)], 0.0, cap - angle[at(e)]);
  return true;
}

// One loop as placed in its own frame. A closed loop's closing pair lies at (-0.5, 0)
// (its 5' base) and (0.5, 0), the loop above it; the exterior loop's frame is the page's.
struct PlacedLoop {
  std::vector<double> rise;  // per branch: the distance between its stacked pairs
  int first = 0;             // the loop's bases and all beyond: positions first..last
  int last = 0;
  // Their places, local[v][k - first] for position k: v = 0 as the loop chose, then as
  // far turned clockwise and counterclockwise as the loop's slack allows (where it has
  // any), for the loop below to pick what fits there.
  std::vector<std::vector<Point>> local;
};

// Per branch of a loop, its shapes.
using Shapes = std::vector<std::vector<Shape>>;

// How hard the layout tries. Plain gives up where a loop needs steps longer than
// kMaxStep. Turning has loops offer turned shapes and chains and keep their branches
// above them longer. Wedged also has large loops offer shapes within a wedge.
enum class Search { Plain, Turning, Wedged };

class WedgeLayout {
 public:
  WedgeLayout(const PairTable& table, const DrawTree& tree, Search search)
      : table_(table),
        tree_(tree),
        placed_(tree.loops.size()),
        turning_(search != Search::Plain),
        wedged_(search == Search::Wedged) {}

  // Whether some loop needed steps longer than kMaxStep.
  bool stretched() const { return stretched_; }
  // Whether the plain layout met such a loop, where it stops.
  bool gave_up() const { return !turning_ && stretched_; }

  Layout run() {
    Layout layout;
    const int n = table_[0];
    if (n == 0) return layout;
    // Children come after their parent in the tree, so backwards is bottom-up.
    for (size_t l = tree_.loops.size(); l-- > 0 && !gave_up();) place_loop(static_cast<int>(l));
    if (gave_up()) return layout;
    layout.bases = placed_[0].local[0];
    layout.faults = count_layout_faults(layout.bases, table_, kRuleDistance, 0.0);
    return layout;
  }

 private:
  // The pieces of positions first..last placed at `place`: bases, steps and pairs.
  std::vector<Piece> pieces(int first, int last, const std::vector<Point>& place) const {
    std::vector<Piece> result;
    const auto p = [&](int k) { return place[at(k - first)]; };
    for (int k = first; k <= last; k++) {
      result.push_back(Piece{k, k, p(k), p(k)});
      if (k < last) result.push_back(Piece{k, k + 1, p(k), p(k + 1)});
      const int partner = table_[at(k)];
      if (partner > k && partner <= last) result.push_back(Piece{k, partner, p(k), p(partner)});
    }
    return result;
  }

  // Branch b of a loop in the branch's frame: positions p..q of its helix and beyond.
  std::vector<Point> branch_points(const DrawLoop& loop, size_t b, double rise,
                                   size_t shape = 0) const {
    const int p = loop.vertices[at(loop.branch_edge[b])];
    const int q = loop.vertices[at(loop.branch_edge[b] + 1)];
    const int pairs = loop.helix_pairs[b];
    const PlacedLoop& child = placed_[at(loop.branch_loop[b])];
    std::vector<Point> place(at(q - p + 1));
    for (int t = 0; t + 1 < pairs; t++) {
      place[at(t)] = Point{-0.5, t * rise};
      place[at(q - t - p)] = Point{0.5, t * rise};
    }
    const Point lift{0.0, (pairs - 1) * rise};
    for (int k = child.first; k <= child.last; k++)
      place[at(k - p)] = child.local[shape][at(k - child.first)] + lift;
    return place;
  }

  // The branch's points placed with its first pair centred at angle `mid` on the circle.
  static Frame branch_frame(Point centre, double distance, double mid) {
    Frame frame;
    frame.axis = Point{std::cos(mid), std::sin(mid)};
    frame.origin = centre + frame.axis * distance;
    return frame;
  }

  static std::vector<Piece> turned(const Shape& shape, Point centre, double distance, double mid,
                                   int owner) {
    const Frame frame = branch_frame(centre, distance, mid);
    std::vector<Piece> result = shape.pieces;
    for (Piece& piece : result) {
      piece.pa = frame.map(piece.pa);
      piece.pb = piece.a == piece.b ? piece.pa : frame.map(piece.pb);
      piece.owner = owner;
    }
    return result;
  }

  // Branch b of a loop in the branch's frame, with its pieces.
  Shape branch_shape(const DrawLoop& loop, size_t b, double rise, size_t which) const {
    Shape shape;
    shape.points = branch_points(loop, b, rise, which);
    const int p = loop.vertices[at(loop.branch_edge[b])];
    shape.pieces = pieces(p, table_[at(p)], shape.points);
    return shape;
  }

  // The pieces of the helix below a closed loop with stacked pairs one step apart, in
  // the loop's frame: what no branch may meet.
  std::vector<Piece> helix_below(const DrawLoop& loop) const {
    const int i = loop.vertices.front();
    const int j = loop.vertices.back();
    const int pairs = tree_.loops[at(loop.parent)].helix_pairs[at(loop.branch_in_parent)];
    std::vector<Point> place(at(j - i + 2 * pairs - 1));
    const int first = i - pairs + 1;
    for (int t = 0; t < pairs; t++) {
      place[at(i - t - first)] = Point{-0.5, -t * 1.0};
      place[at(j + t - first)] = Point{0.5, -t * 1.0};
    }
    std::vector<Piece> result;
    for (const Piece& piece : pieces(first, j + pairs - 1, place)) {
      const bool inside = (piece.a > i && piece.a < j) || (piece.b > i && piece.b < j);
      if (!inside) result.push_back(piece);
    }
    return result;
  }

  // Vertex angles (from the loop centre, clockwise = decreasing) for a circle of the given
  // radius, or an empty vector when the branches do not fit.
  std::vector<double> try_radius(const DrawLoop& loop, double radius, const Shapes& shapes) {
    const bool closed = loop.closed();
    const size_t m = loop.vertices.size();
    const double pair = chord_angle(kPairWidth, radius);
    const double cap = chord_angle(longest_step_, radius);
    const double distance = std::sqrt(std::max(0.0, radius * radius - 0.25));
    const Point centre{0.0, closed ? distance : 0.0};
    const auto on_circle = [&](double t) {
      return centre + Point{std::cos(t), std::sin(t)} * radius;
    };
    const std::vector<Piece> fixed = closed ? helix_below(loop) : std::vector<Piece>{};
    // The pieces that come with vertex v + 1 at angle t: the step from vertex v (at
    // angle `from`) and the vertex, or the whole branch it starts.
    size_t branch = 0;
    chosen_.assign(shapes.size(), 0);
    const auto with_vertex = [&](size_t v, double from, double t, size_t shape) {
      const int k = loop.vertices[v + 1];
      std::vector<Piece> result;
      if (v + 2 < m && !loop.is_backbone[v + 1]) {
        result =
            turned(shapes[branch][shape], centre, distance, t - pair / 2, static_cast<int>(branch));
      } else {
        result.push_back(Piece{k, k, on_circle(t), on_circle(t)});
      }
      if (v + 1 > 0 || !closed) {
        const Point a = on_circle(from);
        result.push_back(Piece{loop.vertices[v], k, a, result.front().pa});
      }
      return result;
    };
    // Upright, the branches of a closed loop keep out of the room on either side of the
    // helix below, which the loops further down need for their own bases.
    // The step to a branch keeps clear of the branch itself.
    const auto allowed = [&](const std::vector<Piece>& candidate) {
      const Piece& step = candidate.back();
      for (const Piece& piece : candidate)
        if (!PieceGrid::apart(step, piece)) return false;
      if (!closed || !above_ || candidate.front().owner < 0) return true;
      // The branch's first pair lies on the circle; the rest keeps out.
      const int p = candidate.front().a;
      const int q = table_[at(p)];
      for (const Piece& piece : candidate) {
        const bool root = piece.a == p || piece.a == q;
        if (!root && piece.a == piece.b && room_.holds(piece.pa)) return false;
      }
      return true;
    };
    // The same test for vertex v + 1 starting a branch in the given shape, its pieces
    // checked one at a time as they are moved into place, so that most misfits show
    // before the whole branch is moved; `out` gets the pieces when they fit.
    std::vector<Piece> out;
    const auto branch_fits = [&](size_t v, double from, double t, size_t shape) {
      const Shape& local = shapes[branch][shape];
      const Frame frame = branch_frame(centre, distance, t - pair / 2);
      const int p = local.pieces.front().a;
      const int q = table_[at(p)];
      const Piece step{loop.vertices[v], p, on_circle(from), frame.map(local.pieces.front().pa)};
      out.clear();
      for (Piece piece : local.pieces) {
        piece.pa = frame.map(piece.pa);
        piece.pb = piece.a == piece.b ? piece.pa : frame.map(piece.pb);
        piece.owner = static_cast<int>(branch);
        if (!PieceGrid::apart(step, piece)) return false;
        const bool root = piece.a == p || piece.a == q;
        if (closed && above_ && !root && piece.a == piece.b && room_.holds(piece.pa)) return false;
        if (!grid_.fits(piece)) return false;
        out.push_back(piece);
      }
      out.push_back(step);
      return grid_.fits(step);
    };
    std::vector<double> theta(m);
    theta[0] = closed ? std::atan2(-distance, -0.5) + 2 * kPi : 0.0;
    grid_.clear();
    grid_.add(fixed);
    if (!closed) {
      // The first vertex: a base, or a branch that starts the loop.
      std::vector<Piece> first;
      if (!loop.is_backbone[0]) {
        first = turned(shapes[0][0], centre, distance, theta[0] - pair / 2, 0);
        branch = 1;
      } else {
        first.push_back(Piece{loop.vertices[0], loop.vertices[0], on_circle(0), on_circle(0)});
      }
      grid_.add(first);
    }
    int last_branch_edge = -1;
    for (size_t e = 0; e + 1 < m; e++) {
      if (!loop.is_backbone[e]) {
        theta[e + 1] = theta[e] - pair;
        last_branch_edge = static_cast<int>(e);
        continue;
      }
      if (closed && e + 2 == m) {  // the closing pair's 3' base: placed with the slack
        theta[e + 1] = theta[e] - pair;
        continue;
      }
      // The first angle, turning clockwise, where the vertex meets nothing placed; a
      // branch in the first shape of it that fits there.
      const bool starts_branch = e + 2 < m && !loop.is_backbone[e + 1];
      const size_t choices = starts_branch && turns_ ? shapes[branch].size() : 1;
      bool placed = false;
      for (double next = theta[e] - pair; theta[e] - next <= cap + 1e-12 && !placed;
           next -= pair / 6) {
        for (size_t shape = 0; shape < choices && !placed; shape++) {
          bool fits = false;
          if (starts_branch) {
            fits = branch_fits(e, theta[e], next, shape);
          } else {
            out = with_vertex(e, theta[e], next, shape);
            fits = allowed(out) && grid_.fits(out);
          }
          if (fits) {
            grid_.add(out);
            theta[e + 1] = next;
            if (starts_branch) chosen_[branch] = shape;
            placed = true;
          }
        }
      }
      if (!placed) {
        blocked_ = grid_.blocker();
        return {};
      }
      if (starts_branch) branch++;
    }
    if (!closed) {
      const double open = theta[0] - theta[m - 1];
      if (open > 2 * kPi - chord_angle(1.5, radius)) return {};
      return theta;
    }
    const double target = theta[0] - 2 * kPi + pair;
    const double slack = theta[m - 1] - target;
    if (slack < 0) return {};
    std::vector<double> angle(m - 1);
    for (size_t e = 0; e + 1 < m; e++) angle[e] = theta[e] - theta[e + 1];
    // The spare angle first goes to the two steps next to the closing pair, which turns
    // the branches away from the helix below; the rest evenly to the backbone edges, or
    // else to those after the last branch. The loop is checked again as a whole.
    std::vector<int> all;
    std::vector<int> after;
    for (size_t e = 0; e + 1 < m; e++) {
      if (!loop.is_backbone[e]) continue;
      all.push_back(static_cast<int>(e));
      if (static_cast<int>(e) > last_branch_edge) after.push_back(static_cast<int>(e));
    }
    const std::vector<int> ends{0, static_cast<int>(m) - 2};
    for (int option = bias_ != 0 ? -1 : 0; option < (bias_ != 0 ? 0 : 3); option++) {
      std::vector<double> spread = angle;
      double rest = slack;
      if (option == -1) {
        const int e = bias_ > 0 ? 0 : static_cast<int>(m) - 2;
        const double take = std::min(rest, cap - spread[at(e)]);
        spread[at(e)] += take;
        rest -= take;
      }
      if (option == 0) {
        for (int e : ends) {
          const double share = std::min(rest, std::max(0.0, (slack / 2) - 0.0));
          const double take = std::min(share, cap - spread[at(e)]);
          spread[at(e)] += take;
          rest -= take;
        }
      }
      if (!fill_edges(spread, option == 2 ? after : all, cap, rest)) continue;
      std::vector<double> t(m);
      t[0] = theta[0];
      for (size_t e = 0; e + 1 < m; e++) t[e + 1] = t[e] - spread[e];
      t[m - 1] = target;
      bool upright = true;
      for (size_t e = 0; e + 1 < m; e++) {
        const double mid = t[e] - pair / 2;
        if (!loop.is_backbone[e] && (mid > 1.5 * kPi - lean_ || mid < lean_ - 0.5 * kPi))
          upright = false;
      }
      if (!upright) continue;
      grid_.clear();
      grid_.add(fixed);
      branch = 0;
      bool ok = true;
      for (size_t e = 0; e + 1 < m && ok; e++) {
        if (!loop.is_backbone[e]) continue;
        std::vector<Piece> candidate;
        if (e + 2 == m) {
          const Point a = on_circle(t[e]);
          candidate.push_back(Piece{loop.vertices[e], loop.vertices[e + 1], a, Point{0.5, 0.0}});
        } else {
          candidate = with_vertex(e, t[e], t[e + 1], branch < chosen_.size() ? chosen_[branch] : 0);
          if (!loop.is_backbone[e + 1]) branch++;
        }
        ok = allowed(candidate) && grid_.fits(candidate);
        if (!ok) blocked_ = grid_.blocker();
        grid_.add(candidate);
      }
      if (ok) return t;
    }
    return {};
  }

  // The vertex angles on the smallest circle, from `smallest` up, on which the branches
  // fit, `radius` set to it; empty when none does up to the radius past which even steps
  // of `longest` no longer close a closed loop's circle.
  std::vector<double> smallest_fit(const DrawLoop& loop, const Shapes& shapes, double smallest,
                                   double longest, double& radius) {
    const double edges = static_cast<double>(loop.vertices.size() - 1);
    for (radius = smallest; radius < smallest * 12; radius *= kGrowth) {
      std::vector<double> theta = try_radius(loop, radius, shapes);
      if (!theta.empty()) return theta;
      if (loop.closed() && chord_angle(longest, radius) * edges < 2 * kPi) break;
    }
    return {};
  }

  // Whether the helix of branch b, stretched to `rise`, keeps clear of what lies beyond.
  bool helix_clear(const DrawLoop& loop, size_t b, double rise, const std::vector<Point>& shape) {
    const int p = loop.vertices[at(loop.branch_edge[b])];
    const int q = loop.vertices[at(loop.branch_edge[b] + 1)];
    const int pairs = loop.helix_pairs[b];
    if (rise == 1.0 || pairs == 1) return true;
    std::vector<Piece> helix;
    std::vector<Piece> beyond;
    const int i = p + pairs - 1;
    const int j = q - pairs + 1;
    for (const Piece& piece : pieces(p, q, shape)) {
      const bool in_helix = piece.a <= i || piece.b >= j;
      (in_helix ? helix : beyond).push_back(piece);
    }
    grid_.clear();
    grid_.add(beyond);
    return grid_.fits(helix);
  }

  // Lengthens the helix of the branch that was in the way (all helices when the loop
  // itself was), one notch; false when none can be lengthened further.
  bool stretch(const DrawLoop& loop, std::vector<double>& rise, Shapes& shapes) {
    std::vector<size_t> wanted;
    if (blocked_ >= 0 && at(blocked_) < rise.size()) wanted.push_back(at(blocked_));
    if (wanted.empty() || rise[wanted[0]] >= kMaxStep || loop.helix_pairs[wanted[0]] == 1) {
      wanted.clear();
      for (size_t b = 0; b < rise.size(); b++) wanted.push_back(b);
    }
    bool any = false;
    for (size_t b : wanted) {
      if (rise[b] >= kMaxStep || loop.helix_pairs[b] == 1) continue;
      const double longer = std::min(kMaxStep, rise[b] + kRiseNotch);
      std::vector<Shape> stretched;
      for (size_t v = 0; v < shapes[b].size(); v++) {
        Shape shape = branch_shape(loop, b, longer, v);
        if (!helix_clear(loop, b, longer, shape.points)) break;
        stretched.push_back(std::move(shape));
      }
      if (stretched.size() < shapes[b].size()) continue;  // some shape meets the longer helix
      rise[b] = longer;
      shapes[b] = std::move(stretched);
      any = true;
    }
    return any;
  }

  // Every shape of each branch with its helix at its rise.
  Shapes branch_shapes(const DrawLoop& loop, const std::vector<double>& rise) const {
    Shapes shapes(rise.size());
    for (size_t b = 0; b < rise.size(); b++)
      for (size_t v = 0; v < placed_[at(loop.branch_loop[b])].local.size(); v++)
        shapes[b].push_back(branch_shape(loop, b, rise[b], v));
    return shapes;
  }

  void place_loop(int index) {
    const DrawLoop& loop = tree_.loops[at(index)];
    PlacedLoop& placed = placed_[at(index)];
    const size_t m = loop.vertices.size();
    const size_t branches = loop.branch_edge.size();
    placed.first = loop.closed() ? loop.vertices.front() : 1;
    placed.last = loop.closed() ? loop.vertices.back() : table_[0];
    if (loop.closed() && m == 2) {  // a hairpin of no unpaired bases
      placed.local.push_back(finish(loop, placed, {Point{-0.5, 0.0}, Point{0.5, 0.0}}));
      return;
    }
    if (!loop.closed() && branches == 0) {  // nothing paired: the bases on a line
      std::vector<Point> vertex;
      for (size_t v = 0; v < m; v++) vertex.push_back(Point{static_cast<double>(v), 0.0});
      placed.local.push_back(finish(loop, placed, vertex));
      return;
    }
    // A closed loop's edges and its closing pair; the exterior loop's edges and an opening.
    const double edges = static_cast<double>(loop.closed() ? m : m + 1);
    const double smallest = 0.5 / std::sin(kPi / edges);
    std::vector<double> theta;
    double radius = smallest;
    Shapes shapes;
    // Steps longer than kMaxStep only where nothing else fits. In each phase the modes are
    // tried in turn at every length of the helices, which lengthen as far as needed before
    // the next phase. The plain layout: best with every branch turned well away from the
    // helix below and all beyond the loop above the closing pair's line, else as it fits.
    // Where that needs longer steps, the turning layout keeps all beyond the loop above
    // its line (so the loops below can turn the piece freely) as long as it can: first
    // with the branches as they chose, then in their turned shapes.
    struct Mode {
      double lean;
      bool above;
      bool turns;
      double slope = kHalfPlane;
    };
    using Phase = std::vector<Mode>;
    const std::vector<Phase> plain = {{{kLean, true, false}, {0.0, false, false}}};
    const std::vector<Phase> turning = {
        {{kLean, true, false}},    {{0.0, true, false}},      {{kLean, true, true}},
        {{0.0, true, true}},       {{0.0, true, true, 3.0}},  {{0.0, true, true, 1.7}},
        {{0.0, true, true, 1.0}},  {{0.0, true, true, 0.7}},  {{0.0, true, true, 0.5}},
        {{0.0, true, true, 0.35}}, {{0.0, true, true, 0.25}}, {{0.0, true, true, 0.1}},
        {{0.0, true, true, 0.0}},  {{0.0, false, true}}};
    bias_ = 0;
    FreeRoom kept;  // the room below the pair that the placement found keeps free
    for (double longest : {kMaxStep, 2 * kMaxStep, 4 * kMaxStep, 10 * kMaxStep}) {
      // A loop whose branches need longer steps around its circle lays them out as a
      // free chain instead, with short steps; a closed loop keeping as much room below its
      // closing pair free as it can.
      if (longest == 2 * kMaxStep && turning_) {
        placed.rise.assign(branches, 1.0);
        shapes = branch_shapes(loop, placed.rise);
        std::vector<Point> chain = chain_shape(loop, shapes, chain_rooms(FreeRoom{}));
        if (chain.empty() && loop.closed())
          chain = chain_shape(loop, shapes, {FreeRoom{}}, wedged_);
        if (!chain.empty()) {
          placed.local.push_back(std::move(chain));
          free_branches(loop);
          return;
        }
      }
      longest_step_ = longest;
      stretched_ = stretched_ || longest > kMaxStep;
      if (gave_up()) return;  // the turning layout follows
      for (const Phase& phase : turning_&& longest == kMaxStep ? turning : plain) {
        placed.rise.assign(branches, 1.0);
        shapes = branch_shapes(loop, placed.rise);
        const int attempts = turning_ ? kMaxAttempts : kPlainAttempts;
        for (int attempt = 0; attempt < attempts && theta.empty(); attempt++) {
          blocked_ = -1;
          for (const Mode& mode : phase) {
            lean_ = mode.lean;
            above_ = mode.above;
            room_ = FreeRoom{kAbove, mode.slope};
            turns_ = mode.turns;
            theta = smallest_fit(loop, shapes, smallest, longest, radius);
            if (!theta.empty()) {
              if (mode.above) kept = room_;
              break;
            }
          }
          if (theta.empty() && !stretch(loop, placed.rise, shapes)) break;
        }
        if (!theta.empty()) break;
      }
      if (!theta.empty()) break;
    }
    if (theta.empty()) {
      // The branches meet at every radius: a regular polygon, and the fault count says so.
      radius = smallest;
      const double step = 2 * kPi / edges;
      const double pair = chord_angle(kPairWidth, radius);
      theta.assign(m, 0.0);
      theta[0] = loop.closed() ? kPi * 1.5 - pair / 2 : 0.0;
      for (size_t v = 1; v < m; v++) theta[v] = theta[v - 1] - step;
      chosen_.assign(branches, 0);
    }
    placed.local.push_back(finish(loop, placed, vertices(loop, theta, radius), shapes));
    if (turning_ && loop.closed() && longest_step_ == kMaxStep && branches > 0) {
      // The turned shapes: the slack all on the first edge, or on the last, on the circle
      // that turns the branches furthest.
      const auto direction = [&](const std::vector<double>& t, double r) {
        double sum = 0.0;
        for (size_t b = 0; b < branches; b++)
          sum += t[at(loop.branch_edge[b])] - chord_angle(kPairWidth, r) / 2;
        return sum / static_cast<double>(branches);
      };
      const double straight = direction(theta, radius);
      for (int bias : {1, -1}) {
        bias_ = bias;
        std::vector<double> best;
        double best_radius = radius;
        double best_turn = 0.05;
        for (double r = radius; r < std::min(smallest * 12, radius * kTurnRange); r *= kGrowth) {
          const std::vector<double> t = try_radius(loop, r, shapes);
          if (t.empty()) continue;
          const double turn = (straight - direction(t, r)) * bias;
          if (turn > best_turn) {
            best_turn = turn;
            best = t;
            best_radius = r;
          }
          if (chord_angle(kMaxStep, r) * static_cast<double>(m - 1) < 2 * kPi) break;
        }
        if (best.empty()) continue;
        try_radius(loop, best_radius, shapes);  // sets chosen_ for it
        placed.local.push_back(finish(loop, placed, vertices(loop, best, best_radius), shapes));
      }
      bias_ = 0;
    }
    // A loop that could not keep all beyond it above its closing pair also offers a chain
    // that keeps more room free, for the loops below it that need it.
    const std::vector<FreeRoom> rooms = chain_rooms(kept);
    if (turning_ && loop.closed() && longest_step_ == kMaxStep && branches > 0 && !rooms.empty()) {
      std::vector<Point> chain = chain_shape(loop, shapes, rooms);
      if (!chain.empty()) placed.local.push_back(std::move(chain));
    }
    if (wedged_ && loop.closed() && longest_step_ == kMaxStep && branches > 0 &&
        placed.last - placed.first + 1 >= kWedgedBases)
      add_wedged_shape(loop, placed, shapes, smallest);
    free_branches(loop);
  }

  // Where the loop's shape reaches out of the wedge above its closing pair, also the
  // shape within it: on a circle, else as a chain.
  void add_wedged_shape(const DrawLoop& loop, PlacedLoop& placed, const Shapes& shapes,
                        double smallest) {
    const FreeRoom wedge{kAbove, kHalfPlane, kWedgeSpread, kWedgeApex};
    bool inside = true;
    for (int k = placed.first + 1; k < placed.last && inside; k++)
      inside = !wedge.holds(placed.local[0][at(k - placed.first)]);
    if (inside) return;
    above_ = true;
    turns_ = true;
    lean_ = 0.0;
    room_ = wedge;
    double radius = smallest;
    const std::vector<double> theta = smallest_fit(loop, shapes, smallest, kMaxStep, radius);
    if (!theta.empty()) {
      placed.local.push_back(finish(loop, placed, vertices(loop, theta, radius), shapes));
      return;
    }
    std::vector<Point> chain = chain_shape(loop, shapes, {wedge});
    if (!chain.empty()) placed.local.push_back(std::move(chain));
  }

  // The loop's places with its branches laid out as a free chain, or empty: a closed
  // loop's clear of the helix below, with the first of `rooms` free that it can keep free.
  std::vector<Point> chain_shape(const DrawLoop& loop, const Shapes& shapes,
                                 const std::vector<FreeRoom>& rooms, bool thorough = false) const {
    if (!loop.closed()) return chain_exterior(table_, loop, shapes);
    const std::vector<Piece> below = helix_below(loop);
    for (const FreeRoom& room : rooms) {
      std::vector<Point> chain = chain_closed(table_, loop, shapes, below, room, thorough);
      if (!chain.empty()) return chain;
    }
    return {};
  }

  // The rooms below its closing pair that a chain tries to keep free, the most first: all
  // of it, then ever narrower cones, as long as they are larger than `kept`.
  static std::vector<FreeRoom> chain_rooms(FreeRoom kept) {
    std::vector<FreeRoom> rooms;
    for (double slope : {kHalfPlane, 1.0, 0.35})
      if (kept.top != kAbove || slope > kept.slope) rooms.push_back(FreeRoom{kAbove, slope});
    return rooms;
  }

  // The branches' own places are no longer needed once the loop has placed them.
  void free_branches(const DrawLoop& loop) {
    for (int child : loop.branch_loop) {
      placed_[at(child)].local.clear();
      placed_[at(child)].local.shrink_to_fit();
    }
  }

  // The loop's vertices at angles theta on a circle of the given radius.
  static std::vector<Point> vertices(const DrawLoop& loop, std::vector<double> theta,
                                     double radius) {
    const size_t m = loop.vertices.size();
    const double centre = loop.closed() ? std::sqrt(std::max(0.0, radius * radius - 0.25)) : 0.0;
    if (!loop.closed()) {
      // The opening between the two ends faces down the page.
      const double opening = (theta[m - 1] + theta[0] - 2 * kPi) / 2;
      for (double& t : theta) t += -kPi / 2 - opening;
    }
    std::vector<Point> vertex(m);
    for (size_t v = 0; v < m; v++)
      vertex[v] = Point{radius * std::cos(theta[v]), centre + radius * std::sin(theta[v])};
    if (loop.closed()) {
      vertex.front() = Point{-0.5, 0.0};
      vertex.back() = Point{0.5, 0.0};
    }
    return vertex;
  }

  // The places of all bases from the loop on, its vertices given and each branch in the
  // shape chosen_ names.
  std::vector<Point> finish(const DrawLoop& loop, const PlacedLoop& placed,
                            const std::vector<Point>& vertex, const Shapes& shapes = {}) const {
    std::vector<Point> local(at(placed.last - placed.first + 1));
    for (size_t v = 0; v < loop.vertices.size(); v++)
      local[at(loop.vertices[v] - placed.first)] = vertex[v];
    for (size_t b = 0; b < loop.branch_edge.size(); b++) {
      const int p = loop.vertices[at(loop.branch_edge[b])];
      const Point from = vertex[at(loop.branch_edge[b])];
      const Point to = vertex[at(loop.branch_edge[b] + 1)];
      const Point side = to - from;
      const double norm = std::hypot(side.x, side.y);
      Frame frame;
      frame.origin = (from + to) * 0.5;
      frame.axis = Point{-side.y / norm, side.x / norm};
      const std::vector<Point>& shape = shapes[b][chosen_[b]].points;
      for (size_t k = 0; k < shape.size(); k++)
        local[at(p - placed.first) + k] = frame.map(shape[k]);
    }
    return local;
  }

  const PairTable& table_;
  const DrawTree& tree_;
  std::vector<PlacedLoop> placed_;
  PieceGrid grid_;
  int blocked_ = -1;                // the branch in the way when a radius failed, or -1
  double longest_step_ = kMaxStep;  // the longest backbone step allowed now
  int bias_ = 0;  // 1: all the slack turns the branches clockwise, -1: counterclockwise
  const bool turning_;
  const bool wedged_;
  bool stretched_ = false;
  bool turns_ = false;          // whether branches may take their turned shapes
  std::vector<size_t> chosen_;  // the shape of each branch that try_radius placed
  bool above_ = false;          // whether all beyond the loop must lie above its closing pair
  FreeRoom room_;               // with above_, the room kept free below the closing pair
  double lean_ = 0.0;           // how far above the closing pair's line each branch must point
};

}  // namespace

Layout layout_structure(const PairTable& table, DrawingStyle style) {
  const DrawTree tree = build_draw_tree(table);
  if (style == DrawingStyle::Arcs) {
    Layout layout;
    for (int k = 0; k < table[0]; k++) layout.bases.push_back(Point{k * 1.0, 0.0});
    return layout;
  }
  // The plain layout where its steps stay short, else the turning one, else the wedged
  // one where that keeps them short.
  Layout layout = WedgeLayout(table, tree, Search::Plain).run();
  if (layout.bases.empty() && table[0] > 0) {
    WedgeLayout turning(table, tree, Search::Turning);
    layout = turning.run();
    if (turning.stretched()) {
      WedgeLayout wedged(table, tree, Search::Wedged);
      Layout narrow = wedged.run();
      if (!wedged.stretched() && narrow.faults <= layout.faults) layout = std::move(narrow);
    }
  }
  // Where branches could not be fitted, overlap removal gives a picture without faults.
  if (layout.faults > 0) {
    Layout opened = overlap_removal_layout(table, tree);
    if (opened.faults < layout.faults) layout = std::move(opened);
  }
  return layout;
}

}  // namespace stemloop

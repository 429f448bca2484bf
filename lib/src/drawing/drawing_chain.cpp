#include "drawing/drawing_chain.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

#include "drawing/drawing_geometry.hpp"

namespace stemloop {
namespace layout {
namespace {

constexpr int kTurns = 24;  // directions tried for a run, a tail or a branch's axis
constexpr double kTurn = 2 * kPi / kTurns;
constexpr double kBends[] = {0.0, 0.2, -0.2, 0.4, -0.4};  // a run's turn at each base
constexpr double kSteps[] = {1.0, 1.5, 2.0, 2.45, kMaxStep};
constexpr double kTailLean = kPi / 6;  // tails leave a little below the line of the pair
constexpr int kMoves = 40;             // places that fit, tried in all by a chain
constexpr int kThoroughMoves = 100;    // by a thorough one

Point direction(double angle) { return Point{std::cos(angle), std::sin(angle)}; }

// The places a run reaches from `from`: `steps` steps of `step`, the first in direction
// `angle`, turning by `bend` at each base.
std::vector<Point> walk(Point from, double angle, double step, double bend, int steps) {
  std::vector<Point> result;
  Point here = from;
  for (int t = 0; t < steps; t++) {
    here = here + direction(angle + bend * t) * step;
    result.push_back(here);
  }
  return result;
}

// The pieces of a run of bases: `first`, first + delta, ... at `points` (the last point
// may be a branch's base, which the run reaches but does not hold), joined to `anchor`.
std::vector<Piece> run_pieces(int anchor, Point from, int delta, const std::vector<Point>& points,
                              bool last_is_base) {
  std::vector<Piece> result;
  Point previous = from;
  for (size_t t = 0; t < points.size(); t++) {
    const int k = anchor + delta * static_cast<int>(t + 1);
    if (t + 1 < points.size() || last_is_base) result.push_back(Piece{k, k, points[t], points[t]});
    const int before = k - delta;
    result.push_back(delta > 0 ? Piece{before, k, previous, points[t]}
                               : Piece{k, before, points[t], previous});
    previous = points[t];
  }
  return result;
}

// Calls f with each of a shape's pieces moved into the frame's place, in an order that
// samples the whole shape early, until f returns false; returns whether none did.
template <typename F>
bool each_placed(const Shape& shape, const Frame& frame, F f) {
  const size_t count = shape.pieces.size();
  constexpr size_t kStride = 37;
  for (size_t start = 0; start < std::min(kStride, count); start++)
    for (size_t k = start; k < count; k += kStride) {
      Piece piece = shape.pieces[k];
      piece.pa = frame.map(piece.pa);
      piece.pb = piece.a == piece.b ? piece.pa : frame.map(piece.pb);
      if (!f(piece)) return false;
    }
  return true;
}

std::vector<Piece> placed_pieces(const Shape& shape, const Frame& frame) {
  std::vector<Piece> result;
  result.reserve(shape.pieces.size());
  each_placed(shape, frame, [&](const Piece& piece) {
    result.push_back(piece);
    return true;
  });
  return result;
}

// Whether a piece keeps clear of the first `count` of `pieces` (a run has few: testing
// each is quicker than a grid of them).
bool clear_of(const std::vector<Piece>& pieces, const Piece& piece, size_t count) {
  for (size_t k = 0; k < count; k++)
    if (!PieceGrid::apart(piece, pieces[k])) return false;
  return true;
}

// Whether a run keeps clear of the grid and each of its pieces of those before it.
bool run_fits(const PieceGrid& grid, const std::vector<Piece>& run) {
  for (size_t k = 0; k < run.size(); k++)
    if (!grid.fits(run[k]) || !clear_of(run, run[k], k)) return false;
  return true;
}

// A tail of `count` bases from the placed base `anchor` outwards (delta -1: towards the 5'
// end), first tried leaving at `angle`, then turned further each way and bent; steps of one.
bool place_tail(PieceGrid& grid, int anchor, int delta, int count, Point from, double angle,
                std::vector<Point>& place) {
  if (count == 0) return true;
  for (double bend : kBends)
    for (int t = 0; t < kTurns; t++) {
      const int side = t % 2 == 0 ? 1 : -1;
      const int turns = (t + 1) / 2;
      const double turn = side * turns * kTurn;
      const std::vector<Point> points = walk(from, angle + turn, 1.0, bend, count);
      const std::vector<Piece> tail = run_pieces(anchor, from, delta, points, true);
      if (!run_fits(grid, tail)) continue;
      grid.add(tail);
      for (size_t k = 0; k < points.size(); k++)
        place[at(anchor + (delta * static_cast<int>(k + 1)))] = points[k];
      return true;
    }
  return false;
}

// The places of `count` bases between `from` and `to` and then `to`: on the straight line
// where that keeps steps between one and kMaxStep, else on an arc with steps of one bulging
// to the given side (1: left of the way from `from` to `to`); empty when the two are too
// far apart, or closer than one with no base between them.
std::vector<Point> bridge(Point from, Point to, int count, int side) {
  const int steps = count + 1;
  const Point way = to - from;
  const double chord = std::hypot(way.x, way.y);
  if (chord > steps * kMaxStep || chord < 1e-9) return {};
  std::vector<Point> result;
  if (chord >= steps) {
    for (int t = 1; t <= steps; t++)
      result.push_back(from + way * (static_cast<double>(t) / steps));
    return result;
  }
  if (steps == 1) return {};  // one step cannot bend, and would be shorter than one
  // Half the arc's angle h, with steps of one: sin(h) / sin(h / steps) = chord.
  double lo = 0.0;
  double hi = kPi;
  for (int k = 0; k < 60; k++) {
    const double h = (lo + hi) / 2;
    (std::sin(h) / std::sin(h / steps) > chord ? lo : hi) = h;
  }
  const double half = (lo + hi) / 2;
  const double radius = chord / (2 * std::sin(half));
  const Point left{-way.y / chord, way.x / chord};
  const Point centre = (from + to) * 0.5 - left * (side * radius * std::cos(half));
  const double start = std::atan2(from.y - centre.y, from.x - centre.x);
  // Turning from `from` through the bulge: clockwise for a bulge to the left.
  const double sweep = -side * 2 * half;
  for (int t = 1; t < steps; t++)
    result.push_back(centre + direction(start + sweep * t / steps) * radius);
  result.push_back(to);
  return result;
}

// Calls f with other ways for `count` bases between `from` and `to` (at least one), until
// f returns true; returns whether it did. Each way is two straight legs meeting at one of
// the bases, each with even steps between one and kMaxStep, the plainest first: the bend
// least turned from the straight way, the first leg's steps shortest, the bend nearest
// the middle. The places end with `to`, as bridge() gives them.
template <typename F>
bool each_elbow(Point from, Point to, int count, F f) {
  const int steps = count + 1;
  const Point way = to - from;
  const double straight = std::atan2(way.y, way.x);
  struct Elbow {
    double cost;
    int turn;
    double step;
    int first;  // steps on the first leg
  };
  std::vector<Elbow> order;
  for (int turn = 1; turn < kTurns / 2; turn++)
    for (int side : {1, -1})
      for (double step : {1.0, 1.5, 2.0})
        for (int first = 1; first < steps; first++)
          order.push_back(Elbow{turn + (step - 1) * 2 + std::abs(2.0 * first - steps) / steps,
                                side * turn, step, first});
  std::stable_sort(order.begin(), order.end(),
                   [](const Elbow& x, const Elbow& y) { return x.cost < y.cost; });
  for (const Elbow& e : order) {
    const std::vector<Point> leg = walk(from, straight + e.turn * kTurn, e.step, 0.0, e.first);
    const Point rest = to - leg.back();
    const int left = steps - e.first;
    const double second = std::hypot(rest.x, rest.y) / left;
    if (second < 1.0 || second > kMaxStep) continue;
    std::vector<Point> points = leg;
    for (int t = 1; t <= left; t++)
      points.push_back(leg.back() + rest * (static_cast<double>(t) / left));
    if (f(points)) return true;
  }
  return false;
}

// The bases at either end of run g of a closed loop, the run between branch g - 1 and
// branch g: the closing pair's 5' base before the first branch, its 3' base after the last.
std::pair<int, int> run_ends(const PairTable& table, const DrawLoop& loop, size_t g) {
  const size_t branches = loop.branch_edge.size();
  const auto first_base = [&](size_t b) { return loop.vertices[at(loop.branch_edge[b])]; };
  return {g == 0 ? loop.vertices.front() : table[at(first_base(g - 1))],
          g == branches ? loop.vertices.back() : first_base(g)};
}

// Places the branches one after another, depth first: where a branch finds no room,
// the one before it moves to its next place that fits, within a budget of such moves.
class Chain {
 public:
  Chain(const PairTable& table, const DrawLoop& loop, const std::vector<std::vector<Shape>>& shapes,
        int moves = kMoves)
      : table_(table), loop_(loop), shapes_(shapes), n_(table[0]), moves_(moves) {}

  // A closed loop in its frame: its closing pair at (-0.5, 0) and (0.5, 0), `fixed` below
  // it. Each branch and each run is first tried where a regular polygon would put it. The
  // branches before run `gap` (0: the run from the closing pair's 5' base) are placed from
  // the 5' base on, those after it from the 3' base back; that run closes the chain.
  std::vector<Point> run_closed(const std::vector<Piece>& fixed, FreeRoom room, size_t gap) {
    room_ = room;
    const size_t m = loop_.vertices.size();
    const size_t branches = loop_.branch_edge.size();
    const double edges = static_cast<double>(m);
    const double radius = 0.5 / std::sin(kPi / edges);
    const Point centre{0.0, std::sqrt(std::max(0.0, radius * radius - 0.25))};
    const double first = std::atan2(-centre.y, -0.5);
    const auto vertex = [&](size_t v) {
      return centre + direction(first - 2 * kPi * static_cast<double>(v) / edges) * radius;
    };
    const auto angle = [](Point way) { return std::atan2(way.y, way.x); };
    for (size_t b = 0; b < branches; b++) {
      const size_t e = at(loop_.branch_edge[b]);
      const size_t start = b == 0 ? 0 : at(loop_.branch_edge[b - 1]) + 1;
      const size_t end = b + 1 < branches ? at(loop_.branch_edge[b + 1]) : m - 1;
      run_target_.push_back(b < gap ? angle(vertex(start + 1) - vertex(start))
                                    : angle(vertex(end - 1) - vertex(end)));
      axis_target_.push_back(angle((vertex(e) + vertex(e + 1)) * 0.5 - centre));
    }
    for (size_t b = 0; b < gap; b++) order_.push_back(b);
    for (size_t b = branches; b-- > gap;) order_.push_back(b);
    gap_ = gap;
    State state;
    state.place.assign(at(n_ + 1), Point{});
    state.grid.add(fixed);
    state.place[at(loop_.vertices.front())] = Point{-0.5, 0.0};
    state.place[at(loop_.vertices.back())] = Point{0.5, 0.0};
    if (!place_from(0, state)) return {};
    return state.place;
  }

  std::vector<Point> run() {
    for (size_t b = 0; b < loop_.branch_edge.size(); b++) order_.push_back(b);
    State state;
    state.place.assign(at(n_ + 1), Point{});
    // The first branch upright at the origin, the 5' tail leaving it to the left.
    for (size_t shape = 0; shape < shapes_[0].size(); shape++) {
      State first = state;
      first.grid.add(placed_pieces(shapes_[0][shape], first.frame));
      put(first, 0, shape);
      const int p = first_base(0);
      if (!place_tail(first.grid, p, -1, p - 1, first.place[at(p)], kPi + kTailLean, first.place))
        continue;
      if (place_from(1, first)) {
        first.place.erase(first.place.begin());
        return first.place;
      }
    }
    return {};
  }

 private:
  struct State {
    PieceGrid grid;
    std::vector<Point> place;  // place[k]: position k
    Frame frame;               // of the branch placed last
  };
  struct Candidate {
    double cost;
    double turn;  // of the run, from the line of the branch before
    double bend;
    double step;
    double axis;  // of the branch, from the axis of the branch before
    size_t shape;
  };

  int first_base(size_t b) const { return loop_.vertices[at(loop_.branch_edge[b])]; }

  void put(State& state, size_t b, size_t shape) const {
    const std::vector<Point>& points = shapes_[b][shape].points;
    for (size_t k = 0; k < points.size(); k++)
      state.place[at(first_base(b)) + k] = state.frame.map(points[k]);
  }

  // Every way to place branch b, the plainest first: in the exterior loop the run between
  // it and the branch before straight on along that branch's line with steps of one, its
  // axis parallel; in a closed loop both where a regular polygon has them.
  const std::vector<Candidate>& candidates(size_t b, int steps) {
    if (candidates_.size() <= b) candidates_.resize(b + 1);
    std::vector<Candidate>& result = candidates_[b];
    if (!result.empty()) return result;
    constexpr int range = kTurns / 2;
    for (double bend : kBends) {
      if (steps == 1 && bend != 0.0) continue;
      for (double step : kSteps)
        for (int t = -range; t < range; t++)
          for (int a = -range; a < range; a++)
            for (size_t v = 0; v < shapes_[b].size(); v++) {
              const double cost = std::abs(t) + std::abs(a) + 2 * std::fabs(bend) * steps +
                                  (step - 1) * 2 + static_cast<double>(v);
              result.push_back(Candidate{cost, t * kTurn, bend, step, a * kTurn, v});
            }
    }
    std::stable_sort(result.begin(), result.end(),
                     [](const Candidate& x, const Candidate& y) { return x.cost < y.cost; });
    return result;
  }

  // Places the branches from order_[k] on (and the 3' tail after the last) into `state`.
  bool place_from(size_t k, State& state) {
    const size_t branches = loop_.branch_edge.size();
    if (k == branches && loop_.closed()) return close(state);
    if (k == branches) {
      const int q = table_[at(first_base(k - 1))];
      const double away = std::atan2(state.frame.axis.y, state.frame.axis.x) - kPi / 2 - kTailLean;
      return place_tail(state.grid, q, 1, n_ - q, state.place[at(q)], away, state.place);
    }
    const size_t b = order_[k];
    const bool closed = loop_.closed();
    // A branch placed from the 3' end on is reached from the base after it, backwards.
    const bool back = closed && b >= gap_;
    const int p = first_base(b);
    const int q = table_[at(p)];
    const int before =
        back ? run_ends(table_, loop_, b + 1).second : run_ends(table_, loop_, b).first;
    const int delta = back ? -1 : 1;
    const int steps = back ? before - q : p - before;
    const Point from = state.place[at(before)];
    const double axis_before = std::atan2(state.frame.axis.y, state.frame.axis.x);
    const double run_base = closed ? run_target_[b] : axis_before - kPi / 2;
    const double axis_base = closed ? axis_target_[b] : axis_before;
    struct Tried {
      Point end;
      double axis;
      size_t shape;
    };
    std::vector<Tried> tried;
    for (const Candidate& c : candidates(b, steps)) {
      const std::vector<Point> points = walk(from, run_base + c.turn, c.step, c.bend, steps);
      // After a place that led nowhere, only places unlike it (tested first: it is cheap).
      const bool like_tried = std::any_of(tried.begin(), tried.end(), [&](const Tried& other) {
        const Point gap = other.end - points.back();
        return other.shape == c.shape && std::fabs(other.axis - c.axis) < kLike &&
               std::hypot(gap.x, gap.y) < kLikeDistance;
      });
      if (like_tried) continue;
      const std::vector<Piece> run = run_pieces(before, from, delta, points, false);
      if (!above(run) || !run_fits(state.grid, run)) continue;
      Frame frame;
      frame.axis = direction(axis_base + c.axis);
      // The branch's 5' base lies half a pair to the left of its origin, its 3' base to the right.
      frame.origin = points.back() + Point{frame.axis.y, -frame.axis.x} * (back ? -0.5 : 0.5);
      // Most places fail on a few pieces: each is tested as it is moved.
      const bool fits = each_placed(shapes_[b][c.shape], frame, [&](const Piece& piece) {
        return above(piece) && state.grid.fits(piece) && clear_of(run, piece, run.size());
      });
      if (!fits) continue;
      if (moves_ == 0) return false;
      moves_--;
      tried.push_back(Tried{points.back(), c.axis, c.shape});
      State next = state;
      next.grid.add(run);
      next.grid.add(placed_pieces(shapes_[b][c.shape], frame));
      for (size_t t = 0; t + 1 < points.size(); t++)
        next.place[at(before + delta * static_cast<int>(t + 1))] = points[t];
      next.frame = frame;
      put(next, b, c.shape);
      if (place_from(k + 1, next)) {
        state = std::move(next);
        return true;
      }
    }
    return false;
  }

  // The run that closes the chain, run gap_.
  bool close(State& state) const {
    const std::pair<int, int> ends = run_ends(table_, loop_, gap_);
    const int from = ends.first;  // named, not bound: the lambda below captures them
    const int to = ends.second;
    const Point a = state.place[at(from)];
    const Point b = state.place[at(to)];
    const int count = to - from - 1;
    const auto take = [&](const std::vector<Point>& points) {
      const std::vector<Piece> run = run_pieces(from, a, 1, points, false);
      if (!above(run) || !run_fits(state.grid, run)) return false;
      state.grid.add(run);
      for (size_t t = 0; t + 1 < points.size(); t++) state.place[at(from) + t + 1] = points[t];
      return true;
    };
    for (int side : {1, -1}) {
      const std::vector<Point> points = bridge(a, b, count, side);
      if (points.empty()) return false;
      if (take(points)) return true;
    }
    // Where neither keeps clear, the run may bend once instead.
    if (count == 0) return false;
    return each_elbow(a, b, count, take);
  }

  // Whether a piece that is a base keeps out of the room kept free.
  bool above(const Piece& piece) const { return piece.a != piece.b || !room_.holds(piece.pa); }
  bool above(const std::vector<Piece>& pieces) const {
    return std::all_of(pieces.begin(), pieces.end(),
                       [&](const Piece& piece) { return above(piece); });
  }

  // Places as alike as this are not both tried: axes this close, first bases this near.
  static constexpr double kLike = kPi / 4;
  static constexpr double kLikeDistance = 6.0;

  const PairTable& table_;
  const DrawLoop& loop_;
  const std::vector<std::vector<Shape>>& shapes_;
  const int n_;
  int moves_;
  std::vector<std::vector<Candidate>> candidates_;  // per branch, once made
  FreeRoom room_;                    // no base of a closed loop's branches or runs in it
  std::vector<double> run_target_;   // per branch of a closed loop: where its run starts
  std::vector<double> axis_target_;  // and where its axis points
  std::vector<size_t> order_;        // the branches in the order they are placed
  size_t gap_ = 0;                   // a closed loop's run that closes the chain
};

}  // namespace

std::vector<Point> chain_exterior(const PairTable& table, const DrawLoop& loop,
                                  const std::vector<std::vector<Shape>>& shapes) {
  return Chain(table, loop, shapes).run();
}

std::vector<Point> chain_closed(const PairTable& table, const DrawLoop& loop,
                                const std::vector<std::vector<Shape>>& shapes,
                                const std::vector<Piece>& fixed, FreeRoom room, bool thorough) {
  // The chain closes at the last run, else at the run with the most bases (the first
  // of those), which can bridge the widest gap; a thorough search then tries the others.
  const size_t branches = loop.branch_edge.size();
  size_t widest = 0;
  int most = -1;
  for (size_t g = 0; g <= branches; g++) {
    const auto [start, end] = run_ends(table, loop, g);
    if (end - start - 1 > most) {
      most = end - start - 1;
      widest = g;
    }
  }
  std::vector<size_t> gaps = {branches};
  if (widest != branches) gaps.push_back(widest);
  if (thorough)
    for (size_t g = 0; g < branches; g++)
      if (g != widest) gaps.push_back(g);
  for (size_t gap : gaps) {
    std::vector<Point> place =
        Chain(table, loop, shapes, thorough ? kThoroughMoves : kMoves).run_closed(fixed, room, gap);
    if (place.empty()) continue;
    return std::vector<Point>(place.begin() + loop.vertices.front(),
                              place.begin() + loop.vertices.back() + 1);
  }
  return {};
}

}  // namespace layout
}  // namespace stemloop

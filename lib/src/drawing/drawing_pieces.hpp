// The pieces of a drawing being laid out (bases, backbone steps and pairs where they
// lie), a grid that tells whether a new piece keeps clear of those placed, and the shape
// of a branch moved as one piece.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "drawing/drawing_faults.hpp"
#include "stemloop/drawing.hpp"

namespace stemloop {
namespace layout {

// The layout keeps more room than the rules it reports on, so that rounding in the
// picture never brings two elements within those.
constexpr double kBaseGap = 0.7;     // between two base centres
constexpr double kSegmentGap = 0.3;  // between segments (and bases) that share no base
constexpr double kMaxStep = 2.9;     // longest backbone step across a loop
constexpr double kCell = 1.5;
constexpr double kHalfPlane = 1e9;  // a slope that keeps all below a closing pair free

inline size_t at(int k) { return static_cast<size_t>(k); }

// A base (a == b) or a segment between two bases (1-based positions), where it lies.
struct Piece {
  int a = 0;
  int b = 0;
  Point pa;
  Point pb;
  int owner = -1;  // the branch of the loop being placed it belongs to, or -1
};

// Pieces already placed, found by a grid of cells.
class PieceGrid {
 public:
  void clear() {
    cells_.clear();
    pieces_.clear();
  }

  // Whether two pieces that share no base keep their distance.
  static bool apart(const Piece& piece, const Piece& other) {
    if (other.a == piece.a || other.a == piece.b || other.b == piece.a || other.b == piece.b)
      return true;
    const bool bases = other.a == other.b && piece.a == piece.b;
    const double gap = bases ? kBaseGap : kSegmentGap;
    // Boxes that far apart hold segments that far apart.
    if (std::min(piece.pa.x, piece.pb.x) - std::max(other.pa.x, other.pb.x) >= gap ||
        std::min(other.pa.x, other.pb.x) - std::max(piece.pa.x, piece.pb.x) >= gap ||
        std::min(piece.pa.y, piece.pb.y) - std::max(other.pa.y, other.pb.y) >= gap ||
        std::min(other.pa.y, other.pb.y) - std::max(piece.pa.y, piece.pb.y) >= gap)
      return true;
    return segment_distance(piece.pa, piece.pb, other.pa, other.pb) >= gap;
  }

  bool fits(const Piece& piece) const {
    bool ok = true;
    visit(piece, [&](int index) {
      const Piece& other = pieces_[at(index)];
      if (ok && !apart(piece, other)) {
        ok = false;
        blocker_ = other.owner;
      }
    });
    return ok;
  }

  // The owner of the piece that a failed fits() met.
  int blocker() const { return blocker_; }

  bool fits(const std::vector<Piece>& pieces) const {
    for (const Piece& piece : pieces)
      if (!fits(piece)) return false;
    return true;
  }

  void add(const std::vector<Piece>& pieces) {
    for (const Piece& piece : pieces) {
      const int index = static_cast<int>(pieces_.size());
      pieces_.push_back(piece);
      cover(piece, 0.0, [&](uint64_t key) { cells_[key].push_back(index); });
    }
  }

 private:
  static int64_t cell(double u) { return static_cast<int64_t>(std::floor(u / kCell)); }
  static uint64_t key(int64_t cx, int64_t cy) {
    return (static_cast<uint64_t>(cx) << 32) ^ (static_cast<uint64_t>(cy) & 0xffffffffULL);
  }
  template <typename F>
  static void cover(const Piece& piece, double grow, F f) {
    const int64_t x0 = cell(std::min(piece.pa.x, piece.pb.x) - grow);
    const int64_t x1 = cell(std::max(piece.pa.x, piece.pb.x) + grow);
    const int64_t y0 = cell(std::min(piece.pa.y, piece.pb.y) - grow);
    const int64_t y1 = cell(std::max(piece.pa.y, piece.pb.y) + grow);
    for (int64_t cx = x0; cx <= x1; cx++)
      for (int64_t cy = y0; cy <= y1; cy++) f(key(cx, cy));
  }
  template <typename F>
  void visit(const Piece& piece, F f) const {
    cover(piece, kBaseGap, [&](uint64_t k) {
      const auto it = cells_.find(k);
      if (it == cells_.end()) return;
      for (int index : it->second) f(index);
    });
  }

  std::unordered_map<uint64_t, std::vector<int>> cells_;
  std::vector<Piece> pieces_;
  mutable int blocker_ = -1;
};

// The room a closed loop keeps free below its closing pair (at (-0.5, 0) and (0.5, 0))
// for the loops below it: below `top`, within 0.5 + slope * depth of the pair's middle.
struct FreeRoom {
  double top = -1e300;  // the default keeps nothing free
  double slope = kHalfPlane;
  bool holds(Point point) const {
    return point.y < top && std::fabs(point.x) < 0.5 + (top - point.y) * slope;
  }
};

// A branch in the branch's frame: the places of its positions and its pieces there.
struct Shape {
  std::vector<Point> points;
  std::vector<Piece> pieces;
};

}  // namespace layout
}  // namespace stemloop

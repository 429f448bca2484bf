// The pieces of a drawing being laid out (bases, backbone steps and pairs where they
// lie), a grid that tells whether a new piece keeps clear of those placed, and the shape
// of a branch moved as one piece.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
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

// Pieces already placed, found by a grid of cells. The cells live in a flat hash table
// (open addressing), each holding its pieces in the order they were added, so that a
// grid is cheap to copy and a failed fits() names the first piece it met.
class PieceGrid {
 public:
  void clear() {
    slots_.clear();
    used_ = 0;
    entry_.clear();
    next_.clear();
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
    return visit(piece, [&](int index) {
      const Piece& other = pieces_[at(index)];
      if (apart(piece, other)) return true;
      blocker_ = other.owner;
      return false;
    });
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
      cover(piece, 0.0, [&](uint64_t key) {
        append(key, index);
        return true;
      });
    }
  }

 private:
  struct Slot {
    uint64_t key = 0;
    int head = -1;  // the cell's first entry, -1 for a free slot
    int tail = -1;  // and its last
  };

  static int64_t cell(double u) { return static_cast<int64_t>(std::floor(u / kCell)); }
  static uint64_t key(int64_t cx, int64_t cy) {
    return (static_cast<uint64_t>(cx) << 32) ^ (static_cast<uint64_t>(cy) & 0xffffffffULL);
  }
  static size_t hash(uint64_t key) {  // mixes the bits of both coordinates
    key ^= key >> 33;
    key *= 0xff51afd7ed558ccdULL;
    key ^= key >> 33;
    return static_cast<size_t>(key);
  }
  // Calls f with the key of each cell the piece's box, grown by `grow`, touches, until f
  // returns false; returns whether none did.
  template <typename F>
  static bool cover(const Piece& piece, double grow, F f) {
    const int64_t x0 = cell(std::min(piece.pa.x, piece.pb.x) - grow);
    const int64_t x1 = cell(std::max(piece.pa.x, piece.pb.x) + grow);
    const int64_t y0 = cell(std::min(piece.pa.y, piece.pb.y) - grow);
    const int64_t y1 = cell(std::max(piece.pa.y, piece.pb.y) + grow);
    for (int64_t cx = x0; cx <= x1; cx++)
      for (int64_t cy = y0; cy <= y1; cy++)
        if (!f(key(cx, cy))) return false;
    return true;
  }
  // Calls f with every piece near `piece`, until f returns false; returns whether none did.
  template <typename F>
  bool visit(const Piece& piece, F f) const {
    return cover(piece, kBaseGap, [&](uint64_t k) {
      const Slot* slot = find(k);
      if (slot == nullptr) return true;
      for (int e = slot->head; e >= 0; e = next_[at(e)])
        if (!f(entry_[at(e)])) return false;
      return true;
    });
  }
  const Slot* find(uint64_t k) const {
    if (slots_.empty()) return nullptr;
    const size_t mask = slots_.size() - 1;
    for (size_t s = hash(k) & mask;; s = (s + 1) & mask) {
      if (slots_[s].head < 0) return nullptr;
      if (slots_[s].key == k) return &slots_[s];
    }
  }
  void append(uint64_t k, int piece) {
    if (2 * (used_ + 1) > slots_.size()) grow();
    const size_t mask = slots_.size() - 1;
    size_t s = hash(k) & mask;
    while (slots_[s].head >= 0 && slots_[s].key != k) s = (s + 1) & mask;
    const int entry = static_cast<int>(entry_.size());
    entry_.push_back(piece);
    next_.push_back(-1);
    Slot& slot = slots_[s];
    if (slot.head < 0) {
      slot = Slot{k, entry, entry};
      used_++;
    } else {
      next_[at(slot.tail)] = entry;
      slot.tail = entry;
    }
  }
  void grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(std::max<size_t>(64, old.size() * 2), Slot{});
    const size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.head < 0) continue;
      size_t s = hash(slot.key) & mask;
      while (slots_[s].head >= 0) s = (s + 1) & mask;
      slots_[s] = slot;
    }
  }

  std::vector<Slot> slots_;  // a power of two of them, at most half in use
  size_t used_ = 0;
  std::vector<int> entry_;  // per entry: its piece
  std::vector<int> next_;   // per entry: the next entry of its cell, or -1
  std::vector<Piece> pieces_;
  mutable int blocker_ = -1;
};

// The room a closed loop keeps free below its closing pair (at (-0.5, 0) and (0.5, 0))
// for the loops below it: below `top`, within 0.5 + slope * depth of the pair's middle.
// A wedge also keeps free all above `top` beyond (y + apex) * spread of the middle, so
// that a large loop leaves its neighbours in the loop below room on either side.
struct FreeRoom {
  double top = -1e300;  // the default keeps nothing free
  double slope = kHalfPlane;
  double spread = kHalfPlane;  // kHalfPlane: no wedge
  double apex = 0.0;           // how far below the pair the wedge's sides meet
  bool holds(Point point) const {
    if (point.y < top) return std::fabs(point.x) < 0.5 + (top - point.y) * slope;
    return spread < kHalfPlane && std::fabs(point.x) > (point.y + apex) * spread;
  }
};

// A branch in the branch's frame: the places of its positions and its pieces there.
struct Shape {
  std::vector<Point> points;
  std::vector<Piece> pieces;
};

}  // namespace layout
}  // namespace stemloop

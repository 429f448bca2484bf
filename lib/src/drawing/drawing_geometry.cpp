#include "drawing/drawing_geometry.hpp"

namespace stemloop {

Point Frame::map(Point local) const {
  const Point left{-axis.y, axis.x};
  return origin + axis * local.y - left * local.x;
}

Point Frame::turn(Point direction) const { return map(direction) - origin; }

}  // namespace stemloop

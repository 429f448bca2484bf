#include "drawing/drawing_geometry.hpp"

namespace stemloop {

Point Frame::turn(Point direction) const { return map(direction) - origin; }

}  // namespace stemloop

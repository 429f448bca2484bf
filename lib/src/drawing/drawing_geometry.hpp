// Plane geometry for the layout: vectors and frames.
#pragma once

#include <vector>

#include "stemloop/drawing.hpp"

namespace stemloop {

constexpr double kPi = 3.14159265358979323846;

inline Point operator+(Point a, Point b) { return {a.x + b.x, a.y + b.y}; }
inline Point operator-(Point a, Point b) { return {a.x - b.x, a.y - b.y}; }
inline Point operator*(Point a, double s) { return {a.x * s, a.y * s}; }

// A frame: local (x, y) lies at origin + y * axis - x * left, where left is the axis
// turned a quarter counterclockwise; local x < 0 is the counterclockwise side.
struct Frame {
  Point origin{0.0, 0.0};
  Point axis{0.0, 1.0};           // unit
  Point map(Point local) const {  // inline: the layout maps whole branches many times
    return Point{origin.x + axis.x * local.y + axis.y * local.x,
                 origin.y + axis.y * local.y - axis.x * local.x};
  }
  Point turn(Point direction) const;  // a direction given in the frame
};

}  // namespace stemloop

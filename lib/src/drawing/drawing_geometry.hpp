// Plane geometry for the layout: vectors, convex hulls, and the angles under which a
// convex region is seen from a point.
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
  Point axis{0.0, 1.0};  // unit
  Point map(Point local) const;
  Point turn(Point direction) const;  // a direction given in the frame
};

// The convex hull, counterclockwise, of the points (collinear points dropped).
std::vector<Point> convex_hull(std::vector<Point> points);

// Adds the corners of an octagon around `centre` that holds the disc of `radius`.
void add_disc(std::vector<Point>& points, Point centre, double radius);

// A convex region as its support in kSides fixed directions (angle 2 pi k / kSides):
// side[k] is the largest projection of the region on direction k. Two such regions are
// apart exactly when some direction separates them.
constexpr int kSides = 64;
struct Outline {
  double side[kSides] = {};
};
Outline outline_of(const std::vector<Point>& points);
bool overlap(const Outline& a, const Outline& b);
// The corners of the outline, counterclockwise.
std::vector<Point> corners(const Outline& outline);

// How far a convex polygon reaches to either side of the ray from `apex` along +y:
// the largest angle counterclockwise (left) and clockwise (right), counting only the
// part of the polygon within `reach` of the apex. A side the polygon does not reach
// gets the negative of the nearest angle.
struct Extent {
  double left = -kPi;
  double right = -kPi;
  bool empty() const { return left + right < 0; }
};
Extent angular_extent(const std::vector<Point>& hull, Point apex, double reach);

}  // namespace stemloop

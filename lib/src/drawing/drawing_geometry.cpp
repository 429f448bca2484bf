#include "drawing/drawing_geometry.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace stemloop {

Point Frame::map(Point local) const {
  const Point left{-axis.y, axis.x};
  return origin + axis * local.y - left * local.x;
}

Point Frame::turn(Point direction) const { return map(direction) - origin; }

namespace {

double cross(Point o, Point a, Point b) {
  return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

}  // namespace

std::vector<Point> convex_hull(std::vector<Point> points) {
  std::sort(points.begin(), points.end(),
            [](Point a, Point b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
  if (points.size() < 3) return points;
  std::vector<Point> hull(2 * points.size());
  size_t k = 0;
  for (size_t i = 0; i < points.size(); i++) {
    while (k >= 2 && cross(hull[k - 2], hull[k - 1], points[i]) <= 0) k--;
    hull[k++] = points[i];
  }
  for (size_t i = points.size() - 1, lower = k + 1; i > 0; i--) {
    while (k >= lower && cross(hull[k - 2], hull[k - 1], points[i - 1]) <= 0) k--;
    hull[k++] = points[i - 1];
  }
  hull.resize(k - 1);
  return hull;
}

void add_disc(std::vector<Point>& points, Point centre, double radius) {
  const double corner = radius / std::cos(kPi / 8);
  for (int k = 0; k < 8; k++) {
    const double a = kPi / 8 + k * kPi / 4;
    points.push_back(centre + Point{std::cos(a), std::sin(a)} * corner);
  }
}

namespace {

struct Directions {
  double cos[kSides];
  double sin[kSides];
  Directions() {
    for (int k = 0; k < kSides; k++) {
      cos[k] = std::cos(2 * kPi * k / kSides);
      sin[k] = std::sin(2 * kPi * k / kSides);
    }
  }
};
const Directions& directions() {
  static const Directions table;
  return table;
}

}  // namespace

Outline outline_of(const std::vector<Point>& points) {
  const Directions& d = directions();
  Outline outline;
  for (int k = 0; k < kSides; k++) {
    double best = -std::numeric_limits<double>::infinity();
    for (const Point& p : points) best = std::max(best, p.x * d.cos[k] + p.y * d.sin[k]);
    outline.side[k] = best;
  }
  return outline;
}

bool overlap(const Outline& a, const Outline& b) {
  constexpr int kHalf = kSides / 2;
  for (int k = 0; k < kSides; k++)
    if (a.side[k] + b.side[(k + kHalf) % kSides] < 0) return false;
  return true;
}

std::vector<Point> corners(const Outline& outline) {
  const Directions& d = directions();
  std::vector<Point> result(kSides);
  const double between = std::sin(2 * kPi / kSides);
  for (int k = 0; k < kSides; k++) {
    const int l = (k + 1) % kSides;
    const double hk = outline.side[k];
    const double hl = outline.side[l];
    result[static_cast<size_t>(k)] = Point{(hk * d.sin[l] - hl * d.sin[k]) / between,
                                           (hl * d.cos[k] - hk * d.cos[l]) / between};
  }
  return result;
}

Extent angular_extent(const std::vector<Point>& hull, Point apex, double reach) {
  Extent extent;
  const auto see = [&](Point p) {
    const double angle = std::atan2(-(p.x - apex.x), p.y - apex.y);
    extent.left = std::max(extent.left, angle);
    extent.right = std::max(extent.right, -angle);
  };
  const double reach2 = reach * reach;
  bool inside = hull.size() >= 3;
  for (size_t k = 0; k < hull.size(); k++)
    inside = inside && cross(hull[k], hull[(k + 1) % hull.size()], apex) > 0;
  if (inside) return Extent{kPi, kPi};  // seen from within: every direction
  for (size_t k = 0; k < hull.size(); k++) {
    const Point a = hull[k] - apex;
    const Point b = hull[(k + 1) % hull.size()] - apex;
    if (a.x * a.x + a.y * a.y <= reach2) see(hull[k]);
    // Where the edge a-b meets the circle of radius `reach`.
    const Point d = b - a;
    const double qa = d.x * d.x + d.y * d.y;
    const double qb = 2 * (a.x * d.x + a.y * d.y);
    const double qc = a.x * a.x + a.y * a.y - reach2;
    const double disc = qb * qb - 4 * qa * qc;
    if (qa <= 0 || disc < 0) continue;
    for (double sign : {-1.0, 1.0}) {
      const double t = (-qb + sign * std::sqrt(disc)) / (2 * qa);
      if (t >= 0 && t <= 1) see(apex + a + d * t);
    }
  }
  return extent;
}

}  // namespace stemloop

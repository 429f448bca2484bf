#include "drawing/drawing_faults.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace stemloop {
namespace {

double cross(const Point& o, const Point& a, const Point& b) {
  return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

double distance(const Point& a, const Point& b) { return std::hypot(a.x - b.x, a.y - b.y); }

double point_to_segment(const Point& p, const Point& a, const Point& b) {
  const double dx = b.x - a.x;
  const double dy = b.y - a.y;
  const double length2 = dx * dx + dy * dy;
  double t = length2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  return distance(p, Point{a.x + t * dx, a.y + t * dy});
}

bool opposite(double u, double v) { return (u > 0 && v < 0) || (u < 0 && v > 0); }

// Two cell coordinates in one key; unsigned, as negative coordinates must shift too.
uint64_t cell_key(int64_t cx, int64_t cy) {
  return (static_cast<uint64_t>(cx) << 32) ^ (static_cast<uint64_t>(cy) & 0xffffffffULL);
}

}  // namespace

double segment_distance(const Point& p1, const Point& p2, const Point& q1, const Point& q2) {
  if (opposite(cross(q1, q2, p1), cross(q1, q2, p2)) &&
      opposite(cross(p1, p2, q1), cross(p1, p2, q2)))
    return 0.0;
  return std::min({point_to_segment(p1, q1, q2), point_to_segment(p2, q1, q2),
                   point_to_segment(q1, p1, p2), point_to_segment(q2, p1, p2)});
}

std::vector<DrawnElement> drawing_elements(const PairTable& table) {
  const int n = table[0];
  std::vector<DrawnElement> elements;
  elements.reserve(static_cast<size_t>(std::max(2 * n, 0)));
  for (int k = 0; k < n; k++) elements.push_back(DrawnElement{k, k});
  for (int k = 0; k + 1 < n; k++) elements.push_back(DrawnElement{k, k + 1});
  for (int k = 1; k <= n; k++)
    if (table[static_cast<size_t>(k)] > k)
      elements.push_back(DrawnElement{k - 1, table[static_cast<size_t>(k)] - 1});
  return elements;
}

std::vector<std::pair<int, int>> find_faults(const std::vector<Point>& bases,
                                             const std::vector<DrawnElement>& elements,
                                             double min_distance, double clearance) {
  // Each element goes into every grid cell its box, grown by half the reach, touches:
  // two elements within reach of each other then share a cell.
  const double reach = std::max(min_distance, clearance);
  const double cell = std::max(1.0, reach);
  std::vector<std::pair<uint64_t, int>> entries;
  for (size_t e = 0; e < elements.size(); e++) {
    const Point& a = bases[static_cast<size_t>(elements[e].a)];
    const Point& b = bases[static_cast<size_t>(elements[e].b)];
    const auto low = [&](double u, double v) {
      return static_cast<int64_t>(std::floor((std::min(u, v) - reach / 2) / cell));
    };
    const auto high = [&](double u, double v) {
      return static_cast<int64_t>(std::floor((std::max(u, v) + reach / 2) / cell));
    };
    for (int64_t cx = low(a.x, b.x); cx <= high(a.x, b.x); cx++)
      for (int64_t cy = low(a.y, b.y); cy <= high(a.y, b.y); cy++)
        entries.emplace_back(cell_key(cx, cy), static_cast<int>(e));
  }
  std::sort(entries.begin(), entries.end());
  std::vector<std::pair<int, int>> faults;
  for (size_t start = 0; start < entries.size();) {
    size_t end = start;
    while (end < entries.size() && entries[end].first == entries[start].first) end++;
    for (size_t u = start; u < end; u++) {
      for (size_t v = u + 1; v < end; v++) {
        const DrawnElement& s = elements[static_cast<size_t>(entries[u].second)];
        const DrawnElement& t = elements[static_cast<size_t>(entries[v].second)];
        const bool s_point = s.a == s.b;
        const bool t_point = t.a == t.b;
        bool fault = false;
        if (s_point && t_point) {
          fault = distance(bases[static_cast<size_t>(s.a)], bases[static_cast<size_t>(t.a)]) <
                  min_distance;
        } else if (!s_point && !t_point && s.a != t.a && s.a != t.b && s.b != t.a && s.b != t.b) {
          const double gap =
              segment_distance(bases[static_cast<size_t>(s.a)], bases[static_cast<size_t>(s.b)],
                               bases[static_cast<size_t>(t.a)], bases[static_cast<size_t>(t.b)]);
          fault = clearance > 0 ? gap < clearance : gap <= 1e-9;
        }
        if (fault)
          faults.emplace_back(std::min(entries[u].second, entries[v].second),
                              std::max(entries[u].second, entries[v].second));
      }
    }
    start = end;
  }
  std::sort(faults.begin(), faults.end());
  faults.erase(std::unique(faults.begin(), faults.end()), faults.end());
  return faults;
}

int count_layout_faults(const std::vector<Point>& bases, const PairTable& table,
                        double min_distance, double clearance) {
  return static_cast<int>(
      find_faults(bases, drawing_elements(table), min_distance, clearance).size());
}

}  // namespace stemloop

// Finds where a drawing breaks its rules: base centres too close together, or backbone
// and pair segments that share no base too close or crossing. A uniform grid keeps the
// search near linear in the number of bases.
#pragma once

#include <utility>
#include <vector>

#include "stemloop/drawing.hpp"
#include "stemloop/pair_table.hpp"

namespace stemloop {

// A drawn element between two bases (0-based); a lone base has a == b.
struct DrawnElement {
  int a = 0;
  int b = 0;
};

// 0 when the segments p1-p2 and q1-q2 cross, else their shortest distance.
double segment_distance(const Point& p1, const Point& p2, const Point& q1, const Point& q2);

// The elements of a structure in a fixed order: the n bases, the n - 1 backbone steps,
// then the pairs by their 5' base.
std::vector<DrawnElement> drawing_elements(const PairTable& table);

// Every pair of elements (indices into `elements`, first < second) that breaks a rule,
// each once.
std::vector<std::pair<int, int>> find_faults(const std::vector<Point>& bases,
                                             const std::vector<DrawnElement>& elements,
                                             double min_distance, double clearance);

}  // namespace stemloop

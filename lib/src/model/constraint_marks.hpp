// What each character of a constraint string says about its position. The fold's
// classic constraints and the strict ones of the ensemble, subopt and the enforced fold
// read a string the same way; they differ only in what they do with the marks.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace stemloop {

struct ConstraintMarks {
  explicit ConstraintMarks(int n);
  std::vector<char> no_left;   // '<' and 'x': no pair with a partner to the left
  std::vector<char> no_right;  // '>' and 'x': no pair with a partner to the right
  std::vector<char> bar;       // '|': the position must pair
  std::vector<int> partner;    // '(' ')': the forced partner, 0 for none
  // The 5' end of the innermost forced pair strictly around the position, 0 for none: a
  // pair crossing no forced pair has both ends in the same region.
  std::vector<int> region;
  std::vector<std::pair<int, int>> forced;  // forced pairs in the order of their ')'
  bool any = false;                         // some character constrains something

  bool forced_end(int k) const { return partner[static_cast<size_t>(k)] != 0; }
  // Strict reading: the position pairs ('|', '<', '>', '(', ')').
  bool must_pair(int k) const {
    const size_t at = static_cast<size_t>(k);
    return bar[at] || no_left[at] != no_right[at] || partner[at] != 0;
  }
};

// Reads the first n characters of `constraint` (shorter strings leave the rest free).
// Throws Error("unbalanced brackets in constraints") at a ')' without its '(' and
// Error("unbalanced brackets in constraint string") at a '(' left open.
ConstraintMarks read_constraint(int n, const char* constraint);

}  // namespace stemloop

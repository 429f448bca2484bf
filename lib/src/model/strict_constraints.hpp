// Which pairs a sequence may form under strict constraints, and which bases must pair.
// Shared by the ensemble and the fold with enforced constraints.
#pragma once

#include <cstdint>
#include <vector>

#include "model/triangle.hpp"
#include "stemloop/alphabet.hpp"

namespace stemloop {

struct PairRules {
  int n = 0;
  Triangle index{0};
  std::vector<int8_t> types;     // pair type of (i, j) by row, 0 where it may not form
  std::vector<int> must_before;  // number of bases among 1..k that must pair

  int type(int i, int j) const { return types[index.row(i, j)]; }
  // Whether every base of a..b may stay unpaired (true for a > b).
  bool may_be_unpaired(int a, int b) const {
    return a > b || must_before[static_cast<size_t>(b)] == must_before[static_cast<size_t>(a - 1)];
  }
};

// The pairs of the encoded sequence (S[0] = n) that the pair matrix allows with at least
// MIN_HAIRPIN bases between them, restricted by a strict constraint string (or null):
// 'x' unpaired, '|' paired, '<' paired downstream, '>' paired upstream, '(' ')' paired
// with each other and crossed by no pair; other characters and positions past the
// string's end are free. Throws Error("unbalanced brackets in constraints") for a ')'
// without its '(' and Error("unbalanced brackets in constraint string") for a '(' left open.
PairRules strict_pair_rules(const EncodedSequence& seq, const PairMatrix& pm,
                            const char* constraint);

}  // namespace stemloop

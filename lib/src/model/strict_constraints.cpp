// Strict constraints: the pairs each position may form and the positions that must pair.
#include "model/strict_constraints.hpp"

#include <cstring>

#include "stemloop/constants.h"
#include "stemloop/error.hpp"

namespace stemloop {

Triangle::Triangle(int n) : rowstart(static_cast<size_t>(n) + 2, 0) {
  const size_t size = static_cast<size_t>(n);
  cells = size * (size + 1) / 2 + 2;
  size_t offset = 1;
  for (size_t i = 1; i <= size; i++) {
    rowstart[i] = offset - i;
    offset += size - i + 1;
  }
}

PairRules strict_pair_rules(const EncodedSequence& seq, const PairMatrix& pm,
                            const char* constraint) {
  const int n = seq.length();
  const size_t size = static_cast<size_t>(n) + 2;
  PairRules rules;
  rules.n = n;
  rules.index = Triangle(n);
  rules.types.assign(rules.index.cells, 0);
  rules.must_before.assign(size, 0);

  // Per position: the forced partner, whether it may pair downstream and upstream, and
  // the innermost forced pair around it (a pair may not cross a forced one, so both its
  // ends lie in the same such region).
  std::vector<int> partner(size, 0), region(size, 0);
  std::vector<char> down(size, 1), up(size, 1), must(size, 0);
  const int given = constraint ? static_cast<int>(std::strlen(constraint)) : 0;
  std::vector<int> open, regions{0};
  for (int k = 1; k <= n; k++) {
    const size_t at = static_cast<size_t>(k);
    const char c = k <= given ? constraint[k - 1] : '.';
    region[at] = regions.back();
    switch (c) {
      case '(':
        open.push_back(k);
        regions.push_back(k);
        must[at] = 1;
        break;
      case ')': {
        if (open.empty())
          throw Error("unbalanced brackets in constraints", k, Error::Kind::UnbalancedBrackets);
        partner[at] = open.back();
        partner[static_cast<size_t>(open.back())] = k;
        open.pop_back();
        regions.pop_back();
        must[at] = 1;
        break;
      }
      case 'x':
        down[at] = up[at] = 0;
        break;
      case '<':
        up[at] = 0;
        must[at] = 1;
        break;
      case '>':
        down[at] = 0;
        must[at] = 1;
        break;
      case '|':
        must[at] = 1;
        break;
      default:
        break;
    }
  }
  if (!open.empty())
    throw Error("unbalanced brackets in constraint string", open.back(),
                Error::Kind::UnbalancedBrackets);

  for (int k = 1; k <= n; k++)
    rules.must_before[static_cast<size_t>(k)] =
        rules.must_before[static_cast<size_t>(k - 1)] + must[static_cast<size_t>(k)];
  for (int i = 1; i <= n; i++) {
    const size_t a = static_cast<size_t>(i);
    if (!down[a]) continue;
    for (int j = i + MIN_HAIRPIN + 1; j <= n; j++) {
      const size_t b = static_cast<size_t>(j);
      if (!up[b]) continue;
      if (partner[a] != 0 || partner[b] != 0) {
        if (partner[a] != j) continue;
      } else if (region[a] != region[b]) {
        continue;
      }
      rules.types[rules.index.row(i, j)] = static_cast<int8_t>(pm.pair[seq.S[a]][seq.S[b]]);
    }
  }
  return rules;
}

}  // namespace stemloop

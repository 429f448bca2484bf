// Strict constraints: the pairs each position may form and the positions that must pair.
#include "model/strict_constraints.hpp"

#include "model/constraint_marks.hpp"
#include "stemloop/constants.h"

namespace stemloop {

PairRules strict_pair_rules(const EncodedSequence& seq, const PairMatrix& pm,
                            const char* constraint) {
  const int n = seq.length();
  const size_t size = static_cast<size_t>(n) + 2;
  PairRules rules;
  rules.n = n;
  rules.index = Triangle(n);
  rules.types.assign(rules.index.cells, 0);
  rules.must_before.assign(size, 0);

  const ConstraintMarks marks = read_constraint(n, constraint);
  for (int k = 1; k <= n; k++)
    rules.must_before[static_cast<size_t>(k)] =
        rules.must_before[static_cast<size_t>(k - 1)] + (marks.must_pair(k) ? 1 : 0);
  for (int i = 1; i <= n; i++) {
    const size_t a = static_cast<size_t>(i);
    if (marks.no_right[a]) continue;
    for (int j = i + MIN_HAIRPIN + 1; j <= n; j++) {
      const size_t b = static_cast<size_t>(j);
      if (marks.no_left[b]) continue;
      if (marks.partner[a] != 0 || marks.partner[b] != 0) {
        if (marks.partner[a] != j) continue;
      } else if (marks.region[a] != marks.region[b]) {
        continue;
      }
      rules.types[rules.index.row(i, j)] = static_cast<int8_t>(pm.pair[seq.S[a]][seq.S[b]]);
    }
  }
  return rules;
}

}  // namespace stemloop

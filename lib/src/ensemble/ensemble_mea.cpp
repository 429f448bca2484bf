// Single structures from the pair probabilities: the maximum-expected-accuracy structure
// (Do et al. 2006) and the centroid (Ding, Chan and Lawrence 2005).
#include <vector>

#include "ensemble/ensemble_tables.hpp"
#include "stemloop/ensemble.hpp"
#include "stemloop/error.hpp"

namespace stemloop {

// best(i, j) = max of best(i, j-1) + q_j       [i .. j-1] .
//              and best(i, k-1) + best(k+1, j-1) + 2 gamma p_kj   [i .. k-1] (k ... j)
// over the pairs (k, j) that can be part of an optimum: a pair worth no more than its two
// bases left unpaired (2 gamma p_kj <= q_k + q_j) never improves a structure.
MeaStructure Ensemble::mea(double gamma) const {
  if (!tables_) throw Error("ensemble: no sequence computed yet");
  const EnsembleTables& T = *tables_;
  const int n = T.x.n;
  const std::vector<double>& q = T.unpaired;
  struct Candidate {
    int k;
    double gain;
  };
  std::vector<std::vector<Candidate>> by_end(static_cast<size_t>(n) + 1);
  for (int k = 1; k <= n; k++)
    for (int j = k + MIN_HAIRPIN + 1; j <= n; j++) {
      const double gain = 2.0 * gamma * T.prob[T.index.row(k, j)];
      if (gain > 0.0 && gain > q[static_cast<size_t>(k)] + q[static_cast<size_t>(j)])
        by_end[static_cast<size_t>(j)].push_back(Candidate{k, gain});
    }

  // best(i, j) by row, best(i, i-1) = 0 at row(i, i) - 1 ... kept as a function.
  const Triangle& ix = T.index;
  CellTable best(ix.cells);
  auto value = [&](int i, int j) { return j < i ? 0.0 : best[ix.row(i, j)]; };
  for (int i = n; i >= 1; i--) {
    for (int j = i; j <= n; j++) {
      double v = value(i, j - 1) + q[static_cast<size_t>(j)];
      for (const Candidate& c : by_end[static_cast<size_t>(j)]) {
        if (c.k < i) continue;
        v = std::max(v, value(i, c.k - 1) + value(c.k + 1, j - 1) + c.gain);
      }
      best[ix.row(i, j)] = v;
    }
  }

  MeaStructure result;
  result.gamma = gamma;
  result.expected_accuracy = n > 0 ? value(1, n) : 0.0;
  result.structure.assign(static_cast<size_t>(n), '.');
  std::vector<std::pair<int, int>> stack;
  if (n > 0) stack.emplace_back(1, n);
  while (!stack.empty()) {
    auto [i, j] = stack.back();
    stack.pop_back();
    if (j < i) continue;
    const double v = value(i, j);
    if (v == value(i, j - 1) + q[static_cast<size_t>(j)]) {
      stack.emplace_back(i, j - 1);
      continue;
    }
    for (const Candidate& c : by_end[static_cast<size_t>(j)]) {
      if (c.k < i || v != value(i, c.k - 1) + value(c.k + 1, j - 1) + c.gain) continue;
      result.structure[static_cast<size_t>(c.k - 1)] = '(';
      result.structure[static_cast<size_t>(j - 1)] = ')';
      stack.emplace_back(i, c.k - 1);
      stack.emplace_back(c.k + 1, j - 1);
      break;
    }
  }
  return result;
}

std::string Ensemble::centroid() const {
  if (!tables_) throw Error("ensemble: no sequence computed yet");
  const EnsembleTables& T = *tables_;
  std::string structure(static_cast<size_t>(T.x.n), '.');
  for (int i = 1; i <= T.x.n; i++)
    for (int j = i + MIN_HAIRPIN + 1; j <= T.x.n; j++)
      if (T.prob[T.index.row(i, j)] > 0.5) {
        structure[static_cast<size_t>(i - 1)] = '(';
        structure[static_cast<size_t>(j - 1)] = ')';
      }
  return structure;
}

}  // namespace stemloop

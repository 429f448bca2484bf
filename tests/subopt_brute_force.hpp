// Brute force for the suboptimal-structure tests: every structure of a short sequence that
// the options allow, each evaluated on its own.
#pragma once

#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "stemloop/evaluate.hpp"
#include "stemloop/subopt.hpp"

namespace subopt_testing {

using stemloop::EncodedSequence;
using stemloop::SuboptOptions;

inline std::string random_sequence(std::mt19937& rng, int n) {
  static const char kBases[] = "GCGCGCAU";
  std::string s;
  for (int k = 0; k < n; k++) s += kBases[rng() % 8];
  return s;
}

// Calls `visit` with every table of properly nested pairs the pair matrix allows, each
// enclosing at least three bases; positions from `pos` on are still open to choose.
inline void each_table(const stemloop::PairMatrix& pm, const EncodedSequence& enc,
                       std::vector<short>& pt, std::vector<int>& open, int pos,
                       const std::function<void()>& visit) {
  const int n = pt[0];
  if (pos > n) {
    if (open.empty()) visit();
    return;
  }
  if (static_cast<int>(open.size()) > n - pos + 1) return;
  each_table(pm, enc, pt, open, pos + 1, visit);
  open.push_back(pos);
  each_table(pm, enc, pt, open, pos + 1, visit);
  open.pop_back();
  if (open.empty()) return;
  const int p = open.back();
  if (pos - p < 4 || pm.pair[enc.S[p]][enc.S[pos]] == 0) return;
  pt[p] = static_cast<short>(pos);
  pt[pos] = static_cast<short>(p);
  open.pop_back();
  each_table(pm, enc, pt, open, pos + 1, visit);
  open.push_back(p);
  pt[p] = pt[pos] = 0;
}

// The rules of the options, checked on a whole structure.
inline bool obeys(const stemloop::PairMatrix& pm, const EncodedSequence& enc,
                  const SuboptOptions& o, const std::vector<short>& pt) {
  const int n = pt[0];
  std::vector<int> open;
  for (int k = 1; k <= n && k <= static_cast<int>(o.constraint.size()); k++) {
    const char c = o.constraint[static_cast<size_t>(k - 1)];
    const int p = pt[k];
    if ((c == 'x' && p != 0) || (c == '|' && p == 0) || (c == '<' && p <= k) ||
        (c == '>' && (p == 0 || p > k)))
      return false;
    if (c == '(') open.push_back(k);
    if (c == ')' && p != open.back()) return false;
    if (c == ')') open.pop_back();
  }
  auto wobble = [&](int i, int j) { return stemloop::is_wobble(pm.pair[enc.S[i]][enc.S[j]]); };
  for (int i = 1; i <= n; i++) {
    const int j = pt[i];
    if (j <= i) continue;
    if (o.noLonelyPairs && pt[i + 1] != j - 1 && !(i > 1 && pt[i - 1] == j + 1)) return false;
    std::vector<int> branches;  // of the loop (i, j) closes
    for (int p = i + 1; p < j; p++)
      if (pt[p] > p) branches.push_back(p), p = pt[p];
    if (!o.no_closingGU || (branches.size() == 1 && branches[0] == i + 1 && pt[i + 1] == j - 1))
      continue;
    if (wobble(i, j) || (branches.size() == 1 && wobble(branches[0], pt[branches[0]])))
      return false;
  }
  return true;
}

inline std::string dot_bracket(const std::vector<short>& pt) {
  std::string s(static_cast<size_t>(pt[0]), '.');
  for (int i = 1; i <= pt[0]; i++)
    if (pt[i] != 0) s[static_cast<size_t>(i - 1)] = pt[i] > i ? '(' : ')';
  return s;
}

// Every structure the options allow, with the energy the evaluation gives it.
inline std::map<std::string, int> all_structures(const stemloop::Model& model,
                                                 const SuboptOptions& o, const std::string& seq) {
  const EncodedSequence enc = stemloop::encode_sequence(seq, model.pairs);
  stemloop::EvalOptions eo;
  eo.dangles = o.dangles;
  eo.tetra_loop = o.tetra_loop;
  std::vector<short> pt(seq.size() + 2, 0);
  pt[0] = static_cast<short>(seq.size());
  std::vector<int> open;
  std::map<std::string, int> all;
  each_table(model.pairs, enc, pt, open, 1, [&] {
    if (!obeys(model.pairs, enc, o, pt)) return;
    all[dot_bracket(pt)] =
        stemloop::evaluate_structure(model, eo, seq.c_str(), pt.data(), enc.S.data(), enc.S1.data())
            .energy;
  });
  return all;
}

}  // namespace subopt_testing

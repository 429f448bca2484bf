// The ensemble against brute force: on short sequences every structure is enumerated and
// evaluated, and Z, every pair probability, the MEA score, the centroid, structure
// probabilities and defects, samples and the fold with enforced constraints agree with
// the sums over that list, for dangle modes 0 and 2, the lonely-pair rule, noGU,
// no_closingGU, several temperatures and strict constraints.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "stemloop/constants.h"
#include "stemloop/ensemble.hpp"
#include "stemloop/error.hpp"
#include "stemloop/evaluate.hpp"
#include "stemloop/folder.hpp"
#include "stemloop/pair_table.hpp"

namespace {

using namespace stemloop;

struct Config {
  int dangles;
  bool noLP, noGU, noClosingGU;
  double temperature;
  bool turner2004 = false;  // the 2004 parameter set instead of the default
};

// Every nested structure of the sequence with pairs the pair matrix allows and at least
// three unpaired bases in each hairpin.
void enumerate(const EncodedSequence& seq, const PairMatrix& pm, std::string& s, int from,
               std::vector<std::string>& out) {
  const int n = seq.length();
  int i = from;
  while (i <= n && s[static_cast<size_t>(i - 1)] != ' ') i++;
  if (i > n) return out.push_back(s);
  s[static_cast<size_t>(i - 1)] = '.';
  enumerate(seq, pm, s, i + 1, out);
  for (int j = i + 4; j <= n; j++) {
    bool open = true;  // j must not lie past a position already decided
    for (int k = i + 1; k <= j; k++) open = open && s[static_cast<size_t>(k - 1)] == ' ';
    if (!open) break;
    if (pm.pair[seq.S[static_cast<size_t>(i)]][seq.S[static_cast<size_t>(j)]] == 0) continue;
    s[static_cast<size_t>(i - 1)] = '(';
    s[static_cast<size_t>(j - 1)] = ')';
    enumerate(seq, pm, s, i + 1, out);
    s[static_cast<size_t>(j - 1)] = ' ';
  }
  s[static_cast<size_t>(i - 1)] = ' ';
}

bool wobble(const std::string& seq, int i, int j) {
  const std::string p{seq[static_cast<size_t>(i - 1)], seq[static_cast<size_t>(j - 1)]};
  return p == "GU" || p == "UG";
}

// The ensemble's own rules, written out plainly: lonely pairs, G-U pairs closing loops
// other than stacks or sitting inside them, and the strict constraint characters.
bool member(const std::string& seq, const std::string& s, const Config& c,
            const std::string& constraint) {
  const PairTable pt = make_pair_table(s);
  std::string brackets = constraint;
  for (char& ch : brackets)
    if (ch != '(' && ch != ')') ch = '.';
  const PairTable ct = make_pair_table(brackets);
  const int n = static_cast<int>(s.size());
  for (int i = 1; i <= n; i++) {
    const int j = pt[static_cast<size_t>(i)];
    const char k = constraint[static_cast<size_t>(i - 1)];
    if ((k == 'x' && j) || (k == '|' && !j) || (k == '<' && j <= i) || (k == '>' && (!j || j > i)))
      return false;
    if ((k == '(' || k == ')') && j != ct[static_cast<size_t>(i)]) return false;
    if (j <= i) continue;
    const bool stacked_in = pt[static_cast<size_t>(i + 1)] == j - 1;
    if (c.noLP && !stacked_in && !(i > 1 && pt[static_cast<size_t>(i - 1)] == j + 1)) return false;
    if (c.noClosingGU) {
      std::vector<int> inner;
      for (int p = i + 1; p < j; p++)
        if (pt[static_cast<size_t>(p)] > p) inner.push_back(p), p = pt[static_cast<size_t>(p)];
      const bool stack = inner.size() == 1 && stacked_in;
      if (!stack && wobble(seq, i, j)) return false;
      if (inner.size() == 1 && !stack && wobble(seq, inner[0], pt[static_cast<size_t>(inner[0])]))
        return false;
    }
  }
  return true;
}

// A constraint string that the structure meets, with random characters.
std::string constraint_for(const std::string& s, std::mt19937& rng) {
  const PairTable pt = make_pair_table(s);
  std::string c(s.size(), '.');
  for (int i = 1; i <= static_cast<int>(s.size()); i++) {
    const int j = pt[static_cast<size_t>(i)];
    const int pick = static_cast<int>(rng() % 6);
    char& here = c[static_cast<size_t>(i - 1)];
    if (here != '.') continue;
    if (j == 0 && pick == 0) here = 'x';
    if (j > i && pick == 1) here = '(', c[static_cast<size_t>(j - 1)] = ')';
    if (j > i && pick == 2) here = '<';
    if (j && j < i && pick == 3) here = '>';
    if (j && pick == 4) here = '|';
  }
  return c;
}

void check(const std::string& seq, const Config& c, const std::string& constraint, int seed) {
  SCOPED_TRACE(seq + " " + constraint + (c.turner2004 ? " 2004" : "") + " d" +
               std::to_string(c.dangles) + " T" + std::to_string(c.temperature) +
               (c.noLP ? " noLP" : "") + (c.noGU ? " noGU" : "") +
               (c.noClosingGU ? " noClosingGU" : ""));
  ModelOptions mo;
  mo.temperature = c.temperature;
  mo.alphabet.noGU = c.noGU;
  if (c.turner2004) mo.parameters = stemloop::turner2004();
  const Model model(mo);
  const EncodedSequence enc = encode_sequence(seq, model.pairs);
  const int n = enc.length();
  std::vector<std::string> all;
  std::string blank(static_cast<size_t>(n), ' ');
  enumerate(enc, model.pairs, blank, 1, all);

  EnsembleOptions eo;
  eo.dangles = c.dangles;
  eo.noLonelyPairs = c.noLP;
  eo.no_closingGU = c.noClosingGU;
  EvalOptions ev;
  ev.dangles = c.dangles;
  const double rt = 0.00198717 * (c.temperature + 273.15);
  double z = 0.0;
  int lowest = ENERGY_INF;
  std::vector<double> weight;
  std::vector<std::string> members;
  for (const std::string& s : all) {
    if (!member(seq, s, c, constraint)) continue;
    const int e = evaluate_structure(model, ev, seq, s).energy;
    lowest = std::min(lowest, e);
    members.push_back(s);
    weight.push_back(std::exp(-e / (100.0 * rt)));
    z += weight.back();
  }
  Ensemble ens;
  if (members.empty()) {
    EXPECT_THROW(ens.compute(model, eo, seq, constraint.c_str()), Error);
    return;
  }
  ens.compute(model, eo, seq, constraint.c_str());
  EXPECT_NEAR(ens.free_energy(), -rt * std::log(z), 1e-6);

  // Pair probabilities, unpaired probabilities, structure probabilities.
  std::vector<std::vector<double>> p(static_cast<size_t>(n) + 1,
                                     std::vector<double>(static_cast<size_t>(n) + 1, 0.0));
  for (size_t k = 0; k < members.size(); k++) {
    const PairTable pt = make_pair_table(members[k]);
    for (int i = 1; i <= n; i++)
      if (pt[static_cast<size_t>(i)] > i)
        p[static_cast<size_t>(i)][static_cast<size_t>(pt[static_cast<size_t>(i)])] += weight[k] / z;
    EXPECT_NEAR(ens.structure_probability(members[k]), weight[k] / z, 1e-9);
  }
  for (const std::string& s : all) {
    if (!member(seq, s, c, constraint)) {
      EXPECT_EQ(ens.structure_probability(s), 0.0);
    }
  }
  std::string centroid(static_cast<size_t>(n), '.');
  for (int i = 1; i <= n; i++) {
    double q = 1.0;
    for (int j = 1; j <= n; j++) {
      const double pij = i < j ? p[static_cast<size_t>(i)][static_cast<size_t>(j)]
                               : p[static_cast<size_t>(j)][static_cast<size_t>(i)];
      q -= pij;
      if (i < j) {
        EXPECT_NEAR(ens.probability(i, j), pij, 1e-9) << i << "," << j;
      }
      if (i < j && pij > 0.5)
        centroid[static_cast<size_t>(i - 1)] = '(', centroid[static_cast<size_t>(j - 1)] = ')';
    }
    EXPECT_NEAR(ens.unpaired(i), q, 1e-9);
  }
  EXPECT_EQ(ens.centroid(), centroid);

  // MEA: the best score over every nested structure of pairs with p > 0, and the defect
  // of each structure is n minus its score at gamma 1.
  for (double gamma : {1.0, 4.0}) {
    double best = -1.0;
    for (const std::string& s : all) {
      const PairTable pt = make_pair_table(s);
      double score = 0.0;
      bool ok = true;
      for (int i = 1; i <= n; i++) {
        const int j = pt[static_cast<size_t>(i)];
        if (j == 0) score += ens.unpaired(i);
        if (j > i) score += 2 * gamma * ens.probability(i, j), ok = ok && ens.probability(i, j) > 0;
      }
      if (gamma == 1.0) {
        EXPECT_NEAR(ens.ensemble_defect(s), n - score, 1e-9);
      }
      if (ok) best = std::max(best, score);
    }
    const MeaStructure mea = ens.mea(gamma);
    EXPECT_NEAR(mea.expected_accuracy, best, 1e-9);
    EXPECT_NEAR(ens.ensemble_defect(mea.structure),
                gamma == 1.0 ? n - best : ens.ensemble_defect(mea.structure), 1e-9);
  }

  // The fold with enforced constraints reaches the lowest energy, on a member.
  FoldOptions fo;
  fo.dangles = c.dangles;
  fo.noLonelyPairs = c.noLP;
  fo.no_closingGU = c.noClosingGU;
  fo.enforce_constraints = true;
  const FoldResult fr = Folder().fold(model, fo, seq, constraint.c_str());
  EXPECT_EQ(fr.energy, lowest);
  EXPECT_EQ(evaluate_structure(model, ev, seq, fr.structure).energy, lowest);
  EXPECT_GT(ens.structure_probability(fr.structure), 0.0);

  // Samples are members, and the same seed gives the same samples.
  const std::vector<std::string> drawn = ens.sample(20, static_cast<uint64_t>(seed));
  EXPECT_EQ(drawn, ens.sample(20, static_cast<uint64_t>(seed)));
  for (const std::string& s : drawn) EXPECT_GT(ens.structure_probability(s), 0.0) << s;
}

TEST(EnsembleEnumeration, AgreesWithEveryStructureForEveryOption) {
  std::mt19937 rng(11);
  const std::vector<Config> configs = {
      {2, false, false, false, 37},       {0, false, false, false, 37},
      {2, true, false, false, 37},        {0, true, false, false, 70},
      {2, false, true, false, 0},         {2, false, false, true, 37},
      {0, true, false, true, 0},          {2, false, false, false, 70},
      {2, false, false, false, 37, true}, {0, true, false, false, 55, true},
  };
  int seed = 0;
  for (const Config& c : configs) {
    for (int round = 0; round < 6; round++) {
      const int n = 11 + static_cast<int>(rng() % 7);
      std::string seq;
      for (int k = 0; k < n; k++) seq += "ACGUGC"[rng() % 6];
      std::string constraint(static_cast<size_t>(n), '.');
      if (round >= 3) {
        // Constraints some structure meets, taken from a random member.
        ModelOptions mo;
        mo.alphabet.noGU = c.noGU;
        const Model model(mo);
        std::vector<std::string> all;
        std::string blank(static_cast<size_t>(n), ' ');
        enumerate(encode_sequence(seq, model.pairs), model.pairs, blank, 1, all);
        constraint = constraint_for(all[rng() % all.size()], rng);
      }
      check(seq, c, constraint, seed++);
    }
  }
}

}  // namespace

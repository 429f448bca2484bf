// Zuker's suboptimals against brute force: the best energy through each pair is the lowest
// evaluated energy of a structure containing it, and the list holds distinct structures,
// each the best through a pair outside the window of those before it, until every pair
// within the energy limit is covered.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "stemloop/pair_table.hpp"
#include "subopt_brute_force.hpp"

namespace {

using namespace subopt_testing;
using stemloop::Model;
using stemloop::SuboptFolder;
using stemloop::ZukerOptions;
using stemloop::ZukerResult;

// Whether (i, j) lies within `window` of a pair of one of the first `count` structures.
bool near(const std::vector<stemloop::ScoredStructure>& list, size_t count, int i, int j,
          int window) {
  for (size_t m = 0; m < count; m++) {
    const stemloop::PairTable pt = stemloop::make_pair_table(list[m].structure);
    for (int k = 1; k <= pt[0]; k++)
      if (pt[k] > k && std::abs(k - i) <= window && std::abs(pt[k] - j) <= window) return true;
  }
  return false;
}

TEST(SuboptZuker, BestThroughEachPairAndTheListAgreeWithBruteForce) {
  std::mt19937 rng(1989);
  int listed = 0;
  for (int k = 0; k < 60; k++) {
    stemloop::ModelOptions mo;
    mo.temperature = k % 3 == 0 ? 25.0 : 37.0;
    if (k % 4 == 1) mo.parameters = stemloop::turner2004();
    const Model model(mo);
    const std::string seq = random_sequence(rng, 12 + k % 9);
    SuboptOptions o;
    o.dangles = k % 2 == 0 ? 2 : 0;
    o.noLonelyPairs = k % 5 == 1;
    o.no_closingGU = k % 7 == 3;
    if (k % 4 == 2) o.constraint = std::string(3, 'x') + "..|";
    SCOPED_TRACE(seq + " " + o.constraint);
    const std::map<std::string, int> all = all_structures(model, o, seq);
    std::map<std::pair<int, int>, int> best;
    for (const auto& [structure, energy] : all) {
      const stemloop::PairTable pt = stemloop::make_pair_table(structure);
      for (int i = 1; i <= pt[0]; i++) {
        if (pt[i] <= i) continue;
        auto [it, fresh] = best.emplace(std::make_pair(i, int(pt[i])), energy);
        if (!fresh) it->second = std::min(it->second, energy);
      }
    }
    ZukerOptions zo;
    zo.max_structures = 6;
    zo.window = k % 3;
    zo.percent = 100;
    const ZukerResult r = SuboptFolder(model, o, seq).zuker(zo);
    ASSERT_EQ(r.pairs.size(), best.size());
    for (const stemloop::PairEnergy& p : r.pairs)
      EXPECT_EQ(p.energy, best[std::make_pair(p.i, p.j)]) << p.i << "," << p.j;

    const int limit = r.mfe + static_cast<int>(std::abs(r.mfe));
    EXPECT_EQ(r.structures.empty(), all.empty());
    if (all.empty()) continue;
    EXPECT_EQ(r.structures[0].energy, r.mfe);
    for (size_t m = 0; m < r.structures.size(); m++) {
      const stemloop::ScoredStructure& s = r.structures[m];
      ASSERT_EQ(all.count(s.structure), 1u) << s.structure;
      EXPECT_EQ(s.energy, all.at(s.structure));
      EXPECT_LE(s.energy, limit);
      // after the first, defined by one of its pairs: the best through it, outside the
      // window of the structures before it (so the list holds no structure twice)
      bool defined = m == 0;
      for (const auto& [pair, energy] : best)
        defined = defined ||
                  (energy == s.energy && near(r.structures, m + 1, pair.first, pair.second, 0) &&
                   !near(r.structures, m, pair.first, pair.second, zo.window));
      EXPECT_TRUE(defined) << s.structure;
    }
    // A short list covers every pair within the limit.
    for (const auto& [pair, energy] : best)
      EXPECT_TRUE(r.structures.size() == 6 || energy > limit ||
                  near(r.structures, r.structures.size(), pair.first, pair.second, zo.window));
    listed += static_cast<int>(r.structures.size());
  }
  EXPECT_GT(listed, 90);  // the sample lists real alternatives
}

}  // namespace

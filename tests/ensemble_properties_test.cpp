// Properties of the ensemble beyond brute force: thread counts give identical results,
// sample frequencies follow the structure probabilities, long sequences stay in range.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <string>

#include "stemloop/ensemble.hpp"
#include "stemloop/error.hpp"
#include "stemloop/folder.hpp"

namespace {

using namespace stemloop;

std::string random_rna(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s;
  for (int k = 0; k < n; k++) s += "ACGU"[rng() % 4];
  return s;
}

TEST(EnsembleProperties, ThreadCountsGiveIdenticalResults) {
  const Model model;
  const std::string seq = random_rna(300, 3);
  EnsembleOptions eo;
  eo.noLonelyPairs = true;
  Ensemble one, four;
  one.compute(model, eo, seq);
  eo.threads = 4;
  four.compute(model, eo, seq);
  EXPECT_EQ(one.free_energy(), four.free_energy());
  for (int i = 1; i <= 300; i++)
    for (int j = i + 1; j <= 300; j++) ASSERT_EQ(one.probability(i, j), four.probability(i, j));
  EXPECT_EQ(one.sample(5, 9), four.sample(5, 9));
}

// Pearson's chi-square over the structures drawn at least five times expected, with a
// fixed seed: far below the 0.1% critical value when the draws follow exp(-E/RT)/Z.
TEST(EnsembleProperties, SampleFrequenciesFollowProbabilities) {
  const Model model;
  Ensemble ens;
  ens.compute(model, EnsembleOptions{}, "GGGAAAUCCCAGCUAGCUAGG");
  const int draws = 20000;
  std::map<std::string, int> seen;
  for (const std::string& s : ens.sample(draws, 42)) seen[s]++;
  double chi2 = 0.0, rest = draws;
  int classes = 0;
  for (const auto& [s, count] : seen) {
    const double expected = draws * ens.structure_probability(s);
    if (expected < 5) continue;
    chi2 += (count - expected) * (count - expected) / expected;
    rest -= count;
    classes++;
  }
  ASSERT_GE(classes, 5);
  EXPECT_LT(chi2, 3.0 * classes + 30);
}

// Hot and cold long sequences: the scale factor keeps every value in range.
TEST(EnsembleProperties, LongSequencesNeitherOverflowNorUnderflow) {
  for (double temperature : {0.0, 100.0}) {
    ModelOptions mo;
    mo.temperature = temperature;
    const Model model(mo);
    const std::string seq = random_rna(800, 5);
    Ensemble ens;
    ens.compute(model, EnsembleOptions{}, seq);
    EXPECT_TRUE(std::isfinite(ens.free_energy()));
    FoldOptions fo;
    fo.dangles = 2;
    const FoldResult mfe = Folder().fold(model, fo, seq);
    EXPECT_LE(ens.free_energy(), mfe.kcal + 1e-6);
    const double p = ens.structure_probability(mfe.structure);
    EXPECT_GT(p, 0.0);
    EXPECT_LE(p, 1.0);
    double most = 0.0;
    for (int i = 1; i <= 800; i++) most = std::max(most, 1.0 - ens.unpaired(i));
    EXPECT_GT(most, 0.5);
  }
}

TEST(EnsembleProperties, RefusesWhatItCannotDo) {
  const Model model;
  Ensemble ens;
  EnsembleOptions eo;
  eo.dangles = 1;
  EXPECT_THROW(ens.compute(model, eo, "GGGGAAAACCCC"), Error);
  EXPECT_THROW(ens.compute(model, EnsembleOptions{}, "GGGGAAAACCCC", "((....))..))"), Error);
  EXPECT_THROW(ens.compute(model, EnsembleOptions{}, "GGGGAAAACCCC", "|||||||||||x"), Error);
  EXPECT_THROW(ens.free_energy(), Error);
  // What 24 GB hold: the README's limit.
  EXPECT_LT(Ensemble::workspace_bytes(28000), size_t{24} << 30);
  EXPECT_GT(Ensemble::workspace_bytes(32767), size_t{24} << 30);
}

}  // namespace

// Scale factors per base: sequences whose composition changes along their length stay in
// range, and the factors change no result beyond rounding.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "ensemble/ensemble_tables.hpp"
#include "stemloop/ensemble.hpp"
#include "stemloop/folder.hpp"

namespace {

using namespace stemloop;

// n random bases, a share gc of them G or C.
std::string block(int n, double gc, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::string s;
  for (int k = 0; k < n; k++) s += u(rng) < gc ? "GC"[rng() % 2] : "AU"[rng() % 2];
  return s;
}

// Each refused with "partition function out of range" under one factor for every base.
TEST(EnsembleScale, ChangingCompositionsAreAccepted) {
  const Model model;
  const EnsembleOptions eo;
  for (const std::string& seq :
       {block(500, 1.0, 1) + block(500, 0.0, 2), std::string(500, 'A') + block(500, 1.0, 3),
        block(800, 0.7, 4) + block(800, 0.3, 5)}) {
    Ensemble e;
    ASSERT_NO_THROW(e.compute(model, eo, seq)) << seq.size();
    const int n = e.length();
    for (int i = 1; i <= n; i++) {
      double paired = 0.0;
      for (int j = 1; j <= n; j++) paired += e.probability(i, j);
      ASSERT_LE(paired, 1.0 + 1e-9) << i;
    }
    Folder folder;
    FoldOptions fo;
    fo.dangles = 2;
    EXPECT_LE(e.free_energy(), folder.fold(model, fo, seq).kcal + 1e-9);
  }
}

// A mixed sequence that one factor for every base also holds in range: the per-base
// factors give the same probabilities and free energy.
TEST(EnsembleScale, PerBaseFactorsAgreeWithOneFactor) {
  const Model model;
  EnsembleOptions eo;
  const std::string seq = block(250, 0.8, 6) + block(250, 0.2, 7);
  Ensemble e;
  e.compute(model, eo, seq);
  EnsembleTables uniform(model, eo, seq, nullptr);
  fill_inside(uniform);
  outside_pass(uniform);
  EXPECT_NEAR(e.free_energy(), -uniform.x.rt * uniform.log_z(), 1e-9);
  const int n = e.length();
  for (int i = 1; i <= n; i++)
    for (int j = i + 4; j <= n; j++)
      ASSERT_NEAR(e.probability(i, j), uniform.prob[uniform.index.row(i, j)], 1e-12) << i << j;
}

}  // namespace

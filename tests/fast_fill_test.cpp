// The library's fill against the straightforward reference fill: every table value, the
// traced structure and the energy must be identical, for every option combination.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

#include "mfe/fill_kernels.hpp"
#include "mfe/fold_workspace.hpp"
#include "stemloop/error.hpp"
#include "stemloop/evaluate.hpp"
#include "stemloop/folder.hpp"
#include "stemloop/model.hpp"
#include "support/test_support.hpp"

namespace stemloop {
void reference_fill(const FoldContext& x);
}

namespace {

using stemloop::FoldContext;
using stemloop::FoldOptions;
using stemloop::Model;
using stemloop::ModelOptions;
using stemloop::Workspace;
using testing_support::random_constraint;
using testing_support::random_sequence;

struct FoldRun {
  std::vector<int> tables;  // c and fML row by row, then f5
  std::vector<std::pair<int, int>> pairs;
};

FoldRun fold_with(bool reference, const Model& model, const FoldOptions& opt,
                  const std::string& seq, const char* constraint, int threads = 1) {
  Workspace ws;
  const FoldContext x = stemloop::prepare_fold(ws, model, opt, seq, constraint);
  if (reference)
    stemloop::reference_fill(x);
  else
    stemloop::fill_tables(x, threads);
  FoldRun r;
  // Values above the sentinel all mean "impossible"; their exact size is not part of
  // the recursions.
  auto capped = [](int v) { return std::min(v, static_cast<int>(ENERGY_INF)); };
  for (int j = 1; j <= x.n; j++)
    for (int i = 1; i <= j; i++)
      r.tables.insert(r.tables.end(), {capped(x.c(i, j)), capped(x.fML(i, j))});
  for (int j = 0; j <= x.n; j++) r.tables.push_back(capped(ws.f5[static_cast<size_t>(j)]));
  stemloop::trace_structure(x, opt.backtrack_type, r.pairs);
  return r;
}

void expect_same(const Model& model, const FoldOptions& opt, const std::string& seq,
                 const char* constraint = nullptr) {
  const FoldRun fast = fold_with(false, model, opt, seq, constraint);
  const FoldRun ref = fold_with(true, model, opt, seq, constraint);
  ASSERT_EQ(fast.tables, ref.tables) << seq << " " << (constraint ? constraint : "") << " d"
                                     << opt.dangles << opt.noLonelyPairs << opt.no_closingGU;
  ASSERT_EQ(fast.pairs, ref.pairs) << seq << " " << (constraint ? constraint : "");
}

TEST(FastFill, MatchesReferenceForEveryOptionCombination) {
  std::mt19937 rng(20261206);
  const Model plain;
  for (int round = 0; round < 60; round++) {
    const int n = 5 + static_cast<int>(rng() % 110);
    const std::string seq = random_sequence(rng, n, round % 3 == 0 ? 0.67 : 0.5);
    for (int flags = 0; flags < 16; flags++) {  // every dangle mode with every flag
      FoldOptions opt;
      opt.dangles = flags / 4;
      opt.noLonelyPairs = flags & 1;
      opt.no_closingGU = flags & 2;
      expect_same(plain, opt, seq);
    }
  }
}

// Every entry of every table of `model` moved by up to +-50, from a seeded generator,
// and a per-base multiloop cost: a term that the fast fill hard-codes, or reads from
// another table than the reference, shows up as a difference. Entries at the sentinel
// stay there, and dangles stay stabilising, as in every real parameter set.
Model perturbed(Model model, unsigned seed) {
  std::mt19937 rng(seed);
  auto nudge_all = [&](auto& table) {
    int* v = reinterpret_cast<int*>(&table);
    for (size_t k = 0; k < sizeof table / sizeof(int); k++)
      if (v[k] < ENERGY_INF / 2) v[k] += static_cast<int>(rng() % 101) - 50;
  };
  stemloop::EnergyParams& P = model.params;
  nudge_all(P.stack), nudge_all(P.hairpin), nudge_all(P.bulge), nudge_all(P.internal_loop);
  nudge_all(P.mismatchI), nudge_all(P.mismatchH), nudge_all(P.dangle5), nudge_all(P.dangle3);
  nudge_all(P.int11), nudge_all(P.int21), nudge_all(P.int22), nudge_all(P.F_ninio);
  nudge_all(P.MLintern), nudge_all(P.MLclosing), nudge_all(P.TETRA_ENERGY);
  nudge_all(P.Triloop_E), nudge_all(P.TerminalAU), nudge_all(P.MAX_NINIO);
  nudge_all(P.coaxial), nudge_all(P.mismatch1n), nudge_all(P.mismatch23), nudge_all(P.mismatchM);
  nudge_all(P.mismatchExt), nudge_all(P.Hexaloop_E), nudge_all(P.hairpin_gu_closure);
  nudge_all(P.hairpin_c_slope), nudge_all(P.hairpin_c3), nudge_all(P.bulge_special_c);
  nudge_all(P.bulge_states);
  for (auto* dangle : {&P.dangle5, &P.dangle3})
    for (auto& row : *dangle)
      for (int& d : row) d = std::min(d, 0);
  // A pair pays one branch cost whichever end it is read from, as in every real set:
  // the fill charges a closing pair by its type from outside, the evaluation from inside.
  for (int t = 1; t < stemloop::kPairTypes; t++)
    if (const int r = model.pairs.rtype[t]; r > t) P.MLintern[r] = P.MLintern[t];
  P.MLbase = 10 + static_cast<int>(rng() % 40);
  P.lxc *= 0.8 + 0.4 * static_cast<double>(rng() % 1000) / 1000.0;
  return model;
}

TEST(FastFill, MatchesReferenceUnderConstraintsAndRandomModels) {
  std::mt19937 rng(7);
  ModelOptions warm;
  warm.temperature = 55.0;
  ModelOptions no_gu;
  no_gu.alphabet.noGU = true;
  ModelOptions extra;  // G-A allowed one way only: its reverse type is 0
  extra.alphabet.has_nonstandards = true;
  extra.alphabet.nonstandards = "GA";
  ModelOptions t2004;
  t2004.parameters = stemloop::turner2004();
  ModelOptions t2004_extra = extra;
  t2004_extra.parameters = t2004.parameters;
  const Model models[] = {Model(warm),
                          Model(no_gu),
                          Model(extra),
                          perturbed(Model(), 1),
                          perturbed(Model(), 2),
                          perturbed(Model(extra), 3),
                          Model(t2004),
                          perturbed(Model(t2004), 4),
                          perturbed(Model(t2004_extra), 5)};
  for (int round = 0; round < 120; round++) {
    const int n = 8 + static_cast<int>(rng() % 90);
    const std::string seq = random_sequence(rng, n, round % 5 == 0 ? 0.67 : 0.5);
    const std::string constraint = random_constraint(rng, n);
    FoldOptions opt;
    opt.dangles = static_cast<int>(rng() % 4);
    opt.noLonelyPairs = rng() % 2;
    opt.no_closingGU = rng() % 2;
    opt.tetra_loop = rng() % 2;
    const Model& model = models[static_cast<size_t>(round) % std::size(models)];
    expect_same(model, opt, seq);
    expect_same(model, opt, seq, constraint.c_str());
  }
}

// Under the real model and random ones the folded energy equals the evaluation of the
// folded structure, in the modes where both score the same loops.
TEST(FastFill, RandomModelsFoldToTheirEvaluatedEnergy) {
  std::mt19937 rng(11);
  for (unsigned seed = 0; seed <= 6; seed++) {
    ModelOptions mo;
    if (seed >= 4) mo.parameters = stemloop::turner2004();
    const Model model = seed == 0 ? Model() : perturbed(Model(mo), seed);
    for (int round = 0; round < 20; round++) {
      const std::string seq =
          random_sequence(rng, 10 + static_cast<int>(rng() % (seed ? 120 : 300)));
      for (int dangles : {0, 2}) {
        FoldOptions opt;
        opt.dangles = dangles;
        opt.noLonelyPairs = round % 2;
        const stemloop::FoldResult folded = stemloop::Folder().fold(model, opt, seq);
        stemloop::EvalOptions eo;
        eo.dangles = dangles;
        ASSERT_EQ(stemloop::evaluate_structure(model, eo, seq, folded.structure).energy,
                  folded.energy)
            << "seed " << seed << " " << seq << " " << folded.structure << " d" << dangles;
      }
    }
  }
}

TEST(FastFill, ThreadsGiveTheSameTables) {
  std::mt19937 rng(31);
  const Model model;
  FoldOptions opt;
  // The last round: mode 3 under noLP and noClosingGU, whose barred pairs may scan
  // column copies.
  for (int dangles : {0, 2, 3, 4}) {
    opt.dangles = std::min(dangles, 3);
    opt.noLonelyPairs = opt.no_closingGU = dangles == 4;
    const std::string seq = random_sequence(rng, 1100);
    const FoldRun one = fold_with(false, model, opt, seq, nullptr, 1);
    for (int threads : {2, 4}) {
      const FoldRun many = fold_with(false, model, opt, seq, nullptr, threads);
      ASSERT_EQ(one.tables, many.tables) << threads << " threads, dangles " << dangles;
      ASSERT_EQ(one.pairs, many.pairs);
    }
  }
}

TEST(FastFill, MatchesReferenceOnLongLoopsAndSequences) {
  std::mt19937 rng(99);
  const Model model;
  FoldOptions opt;
  // Long unpaired stretches exercise interior loops near the 30-base limit.
  const std::string seq = "GGGGCC" + std::string(26, 'A') + "GGGCCC" + std::string(3, 'A') +
                          "GGGCCC" + std::string(27, 'A') + "GGCCCC";
  for (int dangles = 0; dangles <= 3; dangles++) {
    opt.dangles = dangles;
    expect_same(model, opt, seq);
  }
  opt.dangles = 2;
  expect_same(model, opt, random_sequence(rng, 400));
  // Mode 3 keeps its candidates in bit sets of many words and in long lists; a random
  // model passes far more of them than the real one.
  opt.dangles = 3;
  expect_same(model, opt, random_sequence(rng, 400));
  opt.noLonelyPairs = opt.no_closingGU = true;
  expect_same(perturbed(Model(), 8), opt, random_sequence(rng, 300));
}

// The kernel tests run once per compiled variant (tests/CMakeLists.txt sets
// STEMLOOP_KERNELS): the variant asked for must be the one that runs, or the other runs
// would test the widest one again.
TEST(FastFill, RunsTheKernelVariantAskedFor) {
  const char* asked = std::getenv("STEMLOOP_KERNELS");
  if (asked == nullptr) GTEST_SKIP() << "STEMLOOP_KERNELS not set";
  const std::string wanted = asked;
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
  if ((wanted == "avx512" && !__builtin_cpu_supports("avx512f")) ||
      (wanted == "avx2" && !__builtin_cpu_supports("avx2")))
    GTEST_SKIP() << "the CPU lacks " << wanted;
#else
  if (wanted != "portable") GTEST_SKIP() << "only the portable kernels are compiled";
#endif
  EXPECT_EQ(wanted, stemloop::kernels::kernel_set().name);
}

}  // namespace

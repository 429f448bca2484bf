// Structure evaluation against hand sums: every expected value below is written out loop
// by loop from the working tables of the model (stacks, hairpins, dangles, multiloop
// penalties), so a wrong table index, a missing term or a doubled term shows up directly.
#include "stemloop/evaluate.hpp"

#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "model/energy_terms.hpp"
#include "stemloop/constants.h"
#include "stemloop/energy_par.h"
#include "stemloop/error.hpp"
#include "stemloop/model.hpp"
#include "stemloop/pair_table.hpp"
#include "support/test_support.hpp"

namespace {

using stemloop::EvalOptions;
using stemloop::Evaluation;
using stemloop::LoopKind;
using stemloop::Model;

// Pair types and aliased base codes as the tables index them.
constexpr int CG = 1, GC = 2, AU = 5;
constexpr int A = 1, C = 2, G = 3;

EvalOptions with(int dangles, bool logML = false, bool tetra = true, char backtrack = 'F') {
  EvalOptions o;
  o.dangles = dangles, o.logML = logML, o.tetra_loop = tetra, o.backtrack_type = backtrack;
  return o;
}

int energy(const Model& m, const EvalOptions& o, const std::string& seq, const std::string& st) {
  return stemloop::evaluate_structure(m, o, seq, st).energy;
}

// Hairpin energy of (i, j) of the given type in `seq`.
int hairpin(const Model& m, const std::string& seq, int i, int j, int type, bool tetra = true) {
  const stemloop::EncodedSequence enc = stemloop::encode_sequence(seq, m.pairs);
  return stemloop::EnergyTerms(m, 1, tetra).hairpin(i, j, type, seq.c_str(), enc.S1.data());
}

TEST(EvaluateWorked, HandSumsInEveryDangleMode) {
  const Model m;
  const stemloop::EnergyParams& P = m.params;
  const auto& d5 = P.dangle5;
  const auto& d3 = P.dangle3;
  const int SGC = P.stack[GC][CG];
  // G-C closing pair at (2,10), two G-C on C-G stacks, hairpin GAAAC.
  const char *h1 = "AGGGAAACCCA", *s1 = ".(((...))).";
  const int helix1 = 2 * SGC + hairpin(m, h1, 4, 8, GC);
  // An A-U closing pair pays the terminal penalty; its dangles use the A-U rows.
  const char *h2 = "CAGGGAAACCCUG", *s2 = ".((((...)))).";
  const int helix2 = P.stack[AU][CG] + 2 * SGC + hairpin(m, h2, 5, 9, GC) + TerminalAU;
  // A helix over the whole sequence has no neighbour to dangle.
  const char *h3 = "GGGAAACCC", *s3 = "(((...)))";
  const int helix3 = 2 * SGC + hairpin(m, h3, 3, 7, GC);
  // GGGGAC, the first tetraloop, earns its bonus only in upper case and with tetra_loop.
  const int plain_tetra = P.stack[GC][CG] + hairpin(m, "GGGGGACC", 2, 7, GC, false);
  // Two exterior helices with one A between them, and with none.
  const char *e1 = "GGGAAACCCAGGGAAACCC", *t1 = "(((...))).(((...)))";
  const int two1 = 4 * SGC + hairpin(m, e1, 3, 7, GC) + hairpin(m, e1, 13, 17, GC);
  const char *e2 = "GGGAAACCCGGGAAACCC", *t2 = "(((...)))(((...)))";
  const int two2 = 4 * SGC + hairpin(m, e2, 3, 7, GC) + hairpin(m, e2, 12, 16, GC);
  // A C-G-closed multiloop (read from inside) with two G-C branches and gaps of 1, 2 and
  // 1 unpaired A.
  const char *ml = "GAGGGAAACCCAAGGGAAACCCAC", *mt = "(.(((...)))..(((...))).)";
  const int ml0 = 4 * SGC + hairpin(m, ml, 5, 9, GC) + hairpin(m, ml, 16, 20, GC) + P.MLclosing +
                  P.MLintern[CG] + 2 * P.MLintern[GC] + 4 * P.MLbase;
  const int ml1 =
      ml0 + std::min(d5[GC][A], d3[CG][A]) + d3[GC][A] + d5[GC][A] + std::min(d3[GC][A], d5[CG][A]);
  const int ml2 = ml0 + d5[GC][A] + d3[CG][A] + d3[GC][A] + d5[GC][A] + d3[GC][A] + d5[CG][A];
  // Two branches that touch: in mode 3 they stack coaxially (C-G on C-G read from the
  // junction) and both pay the C-G branch penalty; base 2 dangles on the closing pair,
  // base 22 before it.
  const char *cx = "GAGGGAAACCCGGGAAACCCAAC", *ct = "(.(((...)))(((...)))..)";
  const int cx0 =
      4 * SGC + hairpin(m, cx, 5, 9, GC) + hairpin(m, cx, 14, 18, GC) + P.MLclosing + 3 * P.MLbase;
  const int cx1 = cx0 + P.MLintern[CG] + 2 * P.MLintern[GC] + std::min(d5[GC][A], d3[CG][A]) +
                  d3[GC][A] + d5[CG][A];
  const int cx3 = cx0 + P.stack[CG][CG] + 3 * P.MLintern[CG] + d3[CG][A] + d5[CG][A];
  ASSERT_LT(cx3, cx1);
  ASSERT_NE(d3[GC][A], d5[GC][A]);  // modes 1 and 2 really differ on the exterior A
  // Logarithmic multiloop penalty beyond six unpaired bases: 12 and 7 unpaired, then 6.
  const char *l12 = "GAAAAGGGAAACCCAAAAGGGAAACCCAAAAC", *u12 = "(....(((...)))....(((...)))....)";
  const char *l7 = "GAAAGGGAAACCCAAGGGAAACCCAAC", *u7 = "(...(((...)))..(((...)))..)";
  const char *l6 = "GAAGGGAAACCCAAGGGAAACCCAAC", *u6 = "(..(((...)))..(((...)))..)";
  ASSERT_EQ(P.MLbase, 0);
  struct Case {
    const char *seq, *st;
    EvalOptions o;
    int expected;
  };
  const Case cases[] = {
      {h1, s1, with(0), helix1},
      {h1, s1, with(1), helix1 + d5[GC][A] + d3[GC][A]},
      {h1, s1, with(2), helix1 + d5[GC][A] + d3[GC][A]},
      {h2, s2, with(0), helix2},
      {h2, s2, with(2), helix2 + d5[AU][C] + d3[AU][G]},
      {h3, s3, with(2), helix3},
      {h3, s3, with(3), helix3},
      {"GGGGGACC", "((....))", with(0), plain_tetra + P.TETRA_ENERGY[0]},
      {"GGGGGACC", "((....))", with(0, false, false), plain_tetra},
      {"gggggacc", "((....))", with(0), plain_tetra},
      // Mode 1 gives the A between two helices to the better of its dangles; mode 2 to both.
      {e1, t1, with(0), two1},
      {e1, t1, with(1), two1 + std::min(d3[GC][A], d5[GC][A])},
      {e1, t1, with(2), two1 + d3[GC][A] + d5[GC][A]},
      // Without a gap, mode 2 still charges both paired neighbours, mode 1 nothing.
      {e2, t2, with(1), two2},
      {e2, t2, with(2), two2 + d3[GC][G] + d5[GC][C]},
      {ml, mt, with(0), ml0},
      {ml, mt, with(1), ml1},
      {ml, mt, with(2), ml2},
      {ml, mt, with(3), ml1},  // no two stems touch
      {cx, ct, with(1), cx1},
      {cx, ct, with(3), cx3},
      {l12, u12, with(0, true), energy(m, with(0), l12, u12) + 74},
      {l12, u12, with(3), energy(m, with(1), l12, u12)},  // gaps of two or more: no stacking
      {l7, u7, with(0, true), energy(m, with(0), l7, u7) + 16},
      {l6, u6, with(0, true), energy(m, with(0), l6, u6)},
      // The exterior loop scored as a multiloop piece: each unpaired base MLbase, each pair
      // its branch penalty, which for A-U comes on top of the terminal penalty.
      {h2, s2, with(0, false, true, 'M'), helix2 + P.MLintern[AU] + 2 * P.MLbase},
      {"GGGAAAACCC", "..........", with(2), 0},
      {"", "", with(1), 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(energy(m, c.o, c.seq, c.st), c.expected)
        << c.seq << " " << c.st << " d" << c.o.dangles << " logML " << c.o.logML;
  }
  EXPECT_EQ(P.MLintern[AU], P.MLintern[CG] + TerminalAU);
  stemloop::ModelOptions warm_options;
  warm_options.temperature = 60.0;
  const Model warm(warm_options);
  EXPECT_EQ(energy(warm, with(0, false, true, 'M'), "GGGAAAACCC", ".........."),
            10 * warm.params.MLbase);
}

// Closing a hairpin, as the inner pair of a stack, as a multiloop branch: one warning, and
// the pair scores as type 7.
TEST(EvaluateWorked, PairsThatCannotFormWarnOnceAndScoreAsType7) {
  const Model m;
  const std::pair<const char*, const char*> cases[] = {{"ACCCCA", "(....)"},
                                                       {"acccca", "(....)"},
                                                       {"GACCCCAC", "((....))"},
                                                       {"GAACCCCAAGCCCCCAC", "(.(....).(....).)"}};
  for (const auto& [seq, st] : cases) {
    const Evaluation e = stemloop::evaluate_structure(m, with(1), seq, st);
    ASSERT_EQ(e.warnings.size(), 1u) << seq;
    const auto& w = e.warnings[0];
    const int i = static_cast<int>(std::string(st).find("(....)")) + 1;
    EXPECT_EQ(std::make_tuple(w.i, w.j, w.ci, w.cj),
              std::make_tuple(i, i + 5, seq[i - 1], seq[i - 1]));
  }
  EXPECT_EQ(energy(m, with(1), "ACCCCA", "(....)"), hairpin(m, "ACCCCA", 1, 6, 7) + TerminalAU);
  EXPECT_TRUE(stemloop::evaluate_structure(m, {}, "GGGAAACCC", "(((...)))").warnings.empty());
}

TEST(EvaluateLoops, BreakdownSumsToTheTotalAndClassifiesEveryLoop) {
  const Model m;
  std::mt19937 rng(2718);
  for (int k = 0; k < 60; k++) {
    const int n = 20 + static_cast<int>(rng() % 120);
    const std::string seq = testing_support::random_sequence(rng, n);
    const std::string st = testing_support::random_structure(rng, n);
    const EvalOptions o = with(k % 4, k % 3 == 0);
    const Evaluation e = stemloop::evaluate_structure(m, o, seq, st, true);
    const stemloop::PairTable pt = stemloop::make_pair_table(st);
    int sum = 0, pairs = 0, exterior = 0;
    for (int i = 1; i <= n; i++) pairs += pt[i] > i;
    for (const auto& loop : e.loops) {
      sum += loop.energy;
      exterior += loop.kind == LoopKind::Exterior;
      if (loop.kind == LoopKind::Exterior) continue;
      ASSERT_EQ(pt[loop.i], loop.j) << st;
      // The first pair inside (i, j) tells the kind of loop.
      int p = loop.i + 1, q = loop.j - 1;
      while (p < loop.j && pt[p] == 0) p++;
      while (q > loop.i && pt[q] == 0) q--;
      LoopKind want = LoopKind::Multiloop;
      if (p >= loop.j) {
        want = LoopKind::Hairpin;
      } else if (pt[p] == q) {
        want = p == loop.i + 1 && q == loop.j - 1     ? LoopKind::Stack
               : (p == loop.i + 1 || q == loop.j - 1) ? LoopKind::Bulge
                                                      : LoopKind::Interior;
        EXPECT_EQ(std::make_pair(loop.p, loop.q), std::make_pair(p, q));
      }
      EXPECT_EQ(loop.kind, want) << st << " loop " << loop.i << "," << loop.j;
    }
    EXPECT_EQ(
        std::vector<int>({sum, exterior, static_cast<int>(e.loops.size()), energy(m, o, seq, st)}),
        std::vector<int>({e.energy, 1, pairs + 1, e.energy}))
        << seq << "\n"
        << st;
  }
}

// Multiloops nested 4600 levels deep, each level (x(...)<next level>), and a helix 16000
// pairs deep, evaluated on a thread with a small stack: recursion per nesting level would
// overflow it.
TEST(EvaluateDepth, DeepNestingNeedsNoCallStack) {
  const auto result = testing_support::run_in_child([] {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 256 * 1024);
    pthread_t th;
    pthread_create(
        &th, &attr,
        [](void*) -> void* {
          const Model m;
          int e[3];  // 4600, 4599 and 4598 levels
          for (int k = 0, levels = 4600; k < 3; k++, levels--) {
            std::string seq, st;
            for (int l = 0; l < levels; l++) seq += "GGAAAC", st += "((...)";
            e[k] = energy(m, with(2), seq + "GAAAC" + std::string(levels, 'C'),
                          st + "(...)" + std::string(levels, ')'));
          }
          const std::string seq = std::string(16000, 'G') + "AAA" + std::string(16000, 'C');
          const std::string st = std::string(16000, '(') + "..." + std::string(16000, ')');
          // Every middle level costs the same; the helix is its stacks and its hairpin.
          std::printf("%d %d", e[0] - e[1] == e[1] - e[2],
                      energy(m, with(0), seq, st) ==
                          15999 * m.params.stack[GC][CG] + hairpin(m, seq, 16000, 16004, GC));
          return nullptr;
        },
        nullptr);
    pthread_join(th, nullptr);
  });
  EXPECT_EQ(result.out + result.err, "1 1");
}

TEST(EvaluateInput, MalformedTablesAndStringsAreRejected) {
  const Model m;
  const stemloop::EncodedSequence enc = stemloop::encode_sequence("GGGGAAAACCCC", m.pairs);
  std::vector<short> crossing = {12, 12, 10, 11, 0, 0, 0, 0, 0, 0, 2, 3, 1, 0};
  EXPECT_THROW(stemloop::evaluate_structure(m, {}, "GGGGAAAACCCC", crossing.data(), enc.S.data(),
                                            enc.S1.data()),
               stemloop::Error);
  for (const char* st : {"(((...)))", "((((...))).", ")(((...)))."}) {
    try {
      energy(m, {}, "GGGGAAACCCC", st);
      ADD_FAILURE() << st << " accepted";
    } catch (const stemloop::Error& e) {
      EXPECT_STREQ(e.what(), st[9] == '\0' ? "string and structure have unequal length"
                                           : "unbalanced brackets in structure");
    }
  }
}

}  // namespace

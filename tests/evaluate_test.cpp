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
#include <vector>

#include "stemloop/constants.h"
#include "stemloop/energy_par.h"
#include "stemloop/error.hpp"
#include "engine/energy_terms.hpp"
#include "stemloop/model.hpp"
#include "stemloop/pair_table.hpp"
#include "support/test_support.hpp"

namespace {

using stemloop::EnergyParams;
using stemloop::EvalOptions;
using stemloop::Evaluation;
using stemloop::LoopKind;
using stemloop::Model;

// Pair types and aliased base codes as the tables index them.
constexpr int CG = 1, GC = 2, AU = 5;
constexpr int A = 1, C = 2, G = 3, U = 4;

EvalOptions with_dangles(int d) {
  EvalOptions o;
  o.dangles = d;
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

class EvaluateWorked : public ::testing::Test {
 protected:
  const Model m;
  const EnergyParams& P = m.params;
};

TEST_F(EvaluateWorked, SingleHelixWithAndWithoutDangles) {
  // .(((...))). : G-C closing pair at (2,10), two G-C on C-G stacks, hairpin GAAAC.
  const std::string seq = "AGGGAAACCCA", st = ".(((...))).";
  const int helix = P.stack[GC][CG] + P.stack[GC][CG] + hairpin(m, seq, 4, 8, GC);
  EXPECT_EQ(energy(m, with_dangles(0), seq, st), helix);
  for (int d : {1, 2, 3}) {
    EXPECT_EQ(energy(m, with_dangles(d), seq, st), helix + P.dangle5[GC][A] + P.dangle3[GC][A])
        << "dangles " << d;
  }

  // An A-U closing pair pays the terminal penalty; its dangles use the A-U rows.
  const std::string seq2 = "CAGGGAAACCCUG", st2 = ".((((...)))).";
  const int helix2 =
      P.stack[AU][CG] + 2 * P.stack[GC][CG] + hairpin(m, seq2, 5, 9, GC) + TerminalAU;
  EXPECT_EQ(energy(m, with_dangles(0), seq2, st2), helix2);
  EXPECT_EQ(energy(m, with_dangles(2), seq2, st2), helix2 + P.dangle5[AU][C] + P.dangle3[AU][G]);

  // A helix over the whole sequence has no neighbour to dangle.
  const std::string seq3 = "GGGAAACCC", st3 = "(((...)))";
  const int helix3 = 2 * P.stack[GC][CG] + hairpin(m, seq3, 3, 7, GC);
  for (int d : {0, 1, 2, 3}) EXPECT_EQ(energy(m, with_dangles(d), seq3, st3), helix3);

  // GGGGAC, the first tetraloop, earns its bonus only in upper case and with tetra_loop.
  EvalOptions off = with_dangles(0);
  off.tetra_loop = false;
  const int without = energy(m, off, "GGGGGACC", "((....))");
  EXPECT_EQ(energy(m, with_dangles(0), "GGGGGACC", "((....))") - without, P.TETRA_ENERGY[0]);
  EXPECT_EQ(energy(m, with_dangles(0), "gggggacc", "((....))"), without);
}

TEST_F(EvaluateWorked, TwoExteriorHelicesShareOneBase) {
  const std::string seq = "GGGAAACCCAGGGAAACCC", st = "(((...))).(((...)))";
  const int helices = 4 * P.stack[GC][CG] + hairpin(m, seq, 3, 7, GC) + hairpin(m, seq, 13, 17, GC);
  EXPECT_EQ(energy(m, with_dangles(0), seq, st), helices);
  // Mode 1: the A goes to the better of its two dangles; mode 2: to both.
  const int shared = std::min(P.dangle3[GC][A], P.dangle5[GC][A]);
  EXPECT_EQ(energy(m, with_dangles(1), seq, st), helices + shared);
  EXPECT_EQ(energy(m, with_dangles(3), seq, st), helices + shared);
  EXPECT_EQ(energy(m, with_dangles(2), seq, st), helices + P.dangle3[GC][A] + P.dangle5[GC][A]);
  EXPECT_NE(P.dangle3[GC][A], P.dangle5[GC][A]);  // the two modes really differ here

  // Without a gap, mode 2 still charges both paired neighbours, mode 1 nothing.
  const std::string seq2 = "GGGAAACCCGGGAAACCC", st2 = "(((...)))(((...)))";
  const int helices2 =
      4 * P.stack[GC][CG] + hairpin(m, seq2, 3, 7, GC) + hairpin(m, seq2, 12, 16, GC);
  EXPECT_EQ(energy(m, with_dangles(1), seq2, st2), helices2);
  EXPECT_EQ(energy(m, with_dangles(2), seq2, st2), helices2 + P.dangle3[GC][G] + P.dangle5[GC][C]);
}

// (.(((...)))..(((...))).) : a C-G-closed multiloop (read from inside) with two G-C
// branches and gaps of 1, 2 and 1 unpaired A.
TEST_F(EvaluateWorked, MultiloopInEveryDangleMode) {
  const std::string seq = "GAGGGAAACCCAAGGGAAACCCAC";
  const std::string st = "(.(((...)))..(((...))).)";
  const int branches =
      4 * P.stack[GC][CG] + hairpin(m, seq, 5, 9, GC) + hairpin(m, seq, 16, 20, GC);
  const int base = branches + P.MLclosing + P.MLintern[CG] + 2 * P.MLintern[GC] + 4 * P.MLbase;
  EXPECT_EQ(energy(m, with_dangles(0), seq, st), base);

  const int mode1 = base + std::min(P.dangle5[GC][A], P.dangle3[CG][A])  // base 2
                    + P.dangle3[GC][A] + P.dangle5[GC][A]                // bases 12, 13
                    + std::min(P.dangle3[GC][A], P.dangle5[CG][A]);      // base 23
  EXPECT_EQ(energy(m, with_dangles(1), seq, st), mode1);
  EXPECT_EQ(energy(m, with_dangles(3), seq, st), mode1);  // no two stems touch
  EXPECT_EQ(energy(m, with_dangles(4), seq, st), mode1);

  const int mode2 = base + P.dangle5[GC][A] + P.dangle3[CG][A] + P.dangle3[GC][A] +
                    P.dangle5[GC][A] + P.dangle3[GC][A] + P.dangle5[CG][A];
  EXPECT_EQ(energy(m, with_dangles(2), seq, st), mode2);
}

// (.(((...)))(((...)))..) : the two branches touch, so in mode 3 they may stack coaxially.
TEST_F(EvaluateWorked, CoaxialStackingOfTouchingBranches) {
  const std::string seq = "GAGGGAAACCCGGGAAACCCAAC";
  const std::string st = "(.(((...)))(((...)))..)";
  const int branches =
      4 * P.stack[GC][CG] + hairpin(m, seq, 5, 9, GC) + hairpin(m, seq, 14, 18, GC);
  const int common = branches + P.MLclosing + 3 * P.MLbase;
  // Dangles alone: base 2 between closing pair and branch 1, bases 21 and 22 on each side.
  const int plain = common + P.MLintern[CG] + 2 * P.MLintern[GC] +
                    std::min(P.dangle5[GC][A], P.dangle3[CG][A]) + P.dangle3[GC][A] +
                    P.dangle5[CG][A];
  EXPECT_EQ(energy(m, with_dangles(1), seq, st), plain);
  // Coaxial: the branches stack on each other (C-G on C-G read from the junction) and both
  // pay the C-G branch penalty; base 2 dangles on the closing pair, base 22 before it.
  const int coaxial =
      common + P.stack[CG][CG] + 3 * P.MLintern[CG] + P.dangle3[CG][A] + P.dangle5[CG][A];
  ASSERT_LT(coaxial, plain);
  EXPECT_EQ(energy(m, with_dangles(3), seq, st), coaxial);
}

TEST_F(EvaluateWorked, LogarithmicMultiloopPenalty) {
  ASSERT_EQ(P.MLbase, 0);
  EvalOptions lin = with_dangles(0), log = with_dangles(0);
  log.logML = true;
  struct Case {
    const char* seq;
    const char* st;
    int extra;
  };
  const Case cases[] = {
      {"GAAAAGGGAAACCCAAAAGGGAAACCCAAAAC", "(....(((...)))....(((...)))....)", 74},  // 12
      {"GAAAGGGAAACCCAAGGGAAACCCAAC", "(...(((...)))..(((...)))..)", 16},            // 7
      {"GAAGGGAAACCCAAGGGAAACCCAAC", "(..(((...)))..(((...)))..)", 0},               // 6
  };
  for (const Case& c : cases) {
    EXPECT_EQ(energy(m, log, c.seq, c.st) - energy(m, lin, c.seq, c.st), c.extra) << c.st;
  }
  // With every gap two bases or more, mode 3 never stacks coaxially and equals mode 1.
  EXPECT_EQ(energy(m, with_dangles(3), cases[0].seq, cases[0].st),
            energy(m, with_dangles(1), cases[0].seq, cases[0].st));
}

TEST_F(EvaluateWorked, MultiloopPieceBacktrackType) {
  // The exterior loop scored as a multiloop piece: each unpaired base MLbase, each pair
  // its branch penalty, which for A-U comes on top of the terminal penalty.
  const std::string seq = "CAGGGAAACCCUG", st = ".((((...)))).";
  EvalOptions f = with_dangles(0), mo = with_dangles(0);
  mo.backtrack_type = 'M';
  EXPECT_EQ(energy(m, mo, seq, st), energy(m, f, seq, st) + P.MLintern[AU] + 2 * P.MLbase);
  EXPECT_EQ(P.MLintern[AU], P.MLintern[CG] + TerminalAU);

  const Model warm([] {
    stemloop::ModelOptions o;
    o.temperature = 60.0;
    return o;
  }());
  EXPECT_EQ(energy(warm, mo, "GGGAAAACCC", ".........."), 10 * warm.params.MLbase);
  for (int d : {0, 1, 2, 3}) {
    EXPECT_EQ(energy(m, with_dangles(d), "GGGAAAACCC", ".........."), 0);
    EXPECT_EQ(energy(m, with_dangles(d), "", ""), 0);
  }
}

TEST_F(EvaluateWorked, PairsThatCannotFormWarnOnceAndScoreAsType7) {
  struct Case {
    const char *seq, *st;
    int i, j;
    char ci, cj;
  };
  // Closing a hairpin, as the inner pair of a stack, as a multiloop branch.
  const Case cases[] = {{"ACCCCA", "(....)", 1, 6, 'A', 'A'},
                        {"acccca", "(....)", 1, 6, 'a', 'a'},
                        {"GACCCCAC", "((....))", 2, 7, 'A', 'A'},
                        {"GAACCCCAAGCCCCCAC", "(.(....).(....).)", 3, 8, 'A', 'A'}};
  for (const Case& c : cases) {
    const Evaluation e = stemloop::evaluate_structure(m, with_dangles(1), c.seq, c.st);
    ASSERT_EQ(e.warnings.size(), 1u) << c.seq;
    EXPECT_EQ(e.warnings[0].i, c.i);
    EXPECT_EQ(e.warnings[0].j, c.j);
    EXPECT_EQ(e.warnings[0].ci, c.ci);
    EXPECT_EQ(e.warnings[0].cj, c.cj);
  }
  EXPECT_EQ(energy(m, with_dangles(1), "ACCCCA", "(....)"),
            hairpin(m, "ACCCCA", 1, 6, 7) + TerminalAU);
  EXPECT_TRUE(stemloop::evaluate_structure(m, {}, "GGGAAACCC", "(((...)))").warnings.empty());
}

// A random balanced structure whose pairs enclose at least three bases.
std::string random_structure(std::mt19937& rng, int n) {
  std::string s(static_cast<size_t>(n), '.');
  std::vector<int> open;
  for (int k = 0; k < n; k++) {
    const unsigned r = rng() % 3;
    if (!open.empty() && (static_cast<int>(open.size()) == n - k || r == 0) &&
        k - open.back() >= 4) {
      s[static_cast<size_t>(k)] = ')';
      s[static_cast<size_t>(open.back())] = '(';
      open.pop_back();
    } else if (r == 1) {
      open.push_back(k);
    }
  }
  return s;  // '(' without a partner stay dots
}

TEST(EvaluateLoops, BreakdownSumsToTheTotalAndClassifiesEveryLoop) {
  const Model m;
  std::mt19937 rng(2718);
  const char* bases = "ACGU";
  for (int k = 0; k < 60; k++) {
    const int n = 20 + static_cast<int>(rng() % 120);
    std::string seq;
    for (int i = 0; i < n; i++) seq += bases[rng() % 4];
    const std::string st = random_structure(rng, n);
    EvalOptions o = with_dangles(k % 4);
    o.logML = k % 3 == 0;
    const Evaluation e = stemloop::evaluate_structure(m, o, seq, st, true);
    const stemloop::PairTable pt = stemloop::make_pair_table(st);
    int sum = 0, pairs = 0, exterior = 0;
    for (const auto& loop : e.loops) {
      sum += loop.energy;
      if (loop.kind == LoopKind::Exterior) {
        exterior++;
        continue;
      }
      ASSERT_EQ(pt[static_cast<size_t>(loop.i)], loop.j) << st;
      // The first pair inside (i, j) tells the kind of loop.
      int p = loop.i + 1;
      while (p < loop.j && pt[static_cast<size_t>(p)] == 0) p++;
      int q = loop.j - 1;
      while (q > loop.i && pt[static_cast<size_t>(q)] == 0) q--;
      LoopKind want = LoopKind::Multiloop;
      if (p >= loop.j) {
        want = LoopKind::Hairpin;
      } else if (pt[static_cast<size_t>(p)] == q) {
        const int gaps = (p - loop.i - 1) + (loop.j - q - 1);
        want = gaps == 0                              ? LoopKind::Stack
               : (p == loop.i + 1 || q == loop.j - 1) ? LoopKind::Bulge
                                                      : LoopKind::Interior;
        EXPECT_EQ(loop.p, p);
        EXPECT_EQ(loop.q, q);
      }
      EXPECT_EQ(loop.kind, want) << st << " loop " << loop.i << "," << loop.j;
    }
    for (int i = 1; i <= n; i++) pairs += pt[static_cast<size_t>(i)] > i;
    EXPECT_EQ(sum, e.energy) << seq << "\n" << st;
    EXPECT_EQ(exterior, 1);
    EXPECT_EQ(static_cast<int>(e.loops.size()), pairs + 1);
    EXPECT_EQ(stemloop::evaluate_structure(m, o, seq, st).energy, e.energy);
  }
}

// Runs `body` on a thread with a small stack, so that recursion per nesting level would
// overflow it.
void on_small_stack(void (*body)()) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 256 * 1024);
  pthread_t th;
  pthread_create(
      &th, &attr,
      [](void* f) -> void* {
        reinterpret_cast<void (*)()>(f)();
        return nullptr;
      },
      reinterpret_cast<void*>(body));
  pthread_join(th, nullptr);
  pthread_attr_destroy(&attr);
}

// Multiloops nested `levels` deep: each level is (x(...)<next level>), innermost (...).
void nested_multiloops(int levels, std::string& seq, std::string& st) {
  seq.clear();
  st.clear();
  for (int k = 0; k < levels; k++) {
    seq += "GGAAAC";
    st += "((...)";
  }
  seq += "GAAAC";
  st += "(...)";
  seq.append(static_cast<size_t>(levels), 'C');
  st.append(static_cast<size_t>(levels), ')');
}

TEST(EvaluateDepth, DeepNestingNeedsNoCallStack) {
  const auto result = testing_support::run_in_child([] {
    on_small_stack([] {
      const Model m;
      std::string seq, st;
      int e[3];
      for (int k = 0; k < 3; k++) {
        nested_multiloops(4600 - k, seq, st);
        e[k] = stemloop::evaluate_structure(m, with_dangles(2), seq, st).energy;
      }
      // A helix 16000 pairs deep.
      const std::string helix_seq = std::string(16000, 'G') + "AAA" + std::string(16000, 'C');
      const std::string helix_st = std::string(16000, '(') + "..." + std::string(16000, ')');
      const int helix =
          stemloop::evaluate_structure(m, with_dangles(0), helix_seq, helix_st).energy;
      std::printf("%d %d %d %d\n", e[0] - e[1], e[1] - e[2], helix,
                  15999 * m.params.stack[GC][CG] + hairpin(m, helix_seq, 16000, 16004, GC));
    });
  });
  ASSERT_EQ(result.status, 0) << result.err;
  int d1 = 0, d2 = 0, helix = 0, want = 0;
  ASSERT_EQ(std::sscanf(result.out.c_str(), "%d %d %d %d", &d1, &d2, &helix, &want), 4);
  EXPECT_EQ(d1, d2);  // every middle level costs the same
  EXPECT_EQ(helix, want);
}

TEST(EvaluateInput, MalformedTablesAndStringsAreRejected) {
  const Model m;
  const EvalOptions o;
  const stemloop::EncodedSequence enc = stemloop::encode_sequence("GGGGAAAACCCC", m.pairs);
  auto eval_table = [&](std::vector<short> pt) {
    return stemloop::evaluate_structure(m, o, "GGGGAAAACCCC", pt.data(), enc.S.data(),
                                        enc.S1.data());
  };
  const std::vector<short> ok = {12, 12, 11, 0, 0, 0, 0, 0, 0, 0, 0, 2, 1, 0};
  EXPECT_NO_THROW(eval_table(ok));
  // Crossing pairs, a partner not pointing back, a self pair, a partner beyond n.
  const std::vector<std::vector<std::pair<int, short>>> edits = {
      {{2, 10}, {10, 2}, {3, 11}, {11, 3}}, {{5, 9}}, {{6, 6}}, {{4, 13}}};
  for (const auto& edit : edits) {
    std::vector<short> bad = ok;
    for (const auto& [at, value] : edit) bad[static_cast<size_t>(at)] = value;
    EXPECT_THROW(eval_table(bad), stemloop::Error) << edit[0].first;
  }

  try {
    stemloop::evaluate_structure(m, o, "GGGAAACCC", "(((...))");
    ADD_FAILURE() << "unequal lengths accepted";
  } catch (const stemloop::Error& e) {
    EXPECT_STREQ(e.what(), "string and structure have unequal length");
  }
  for (const char* bad : {"((((...))).", ")(((...)))."}) {
    try {
      stemloop::evaluate_structure(m, o, "GGGGAAACCCC", bad);
      ADD_FAILURE() << bad << " accepted";
    } catch (const stemloop::Error& e) {
      EXPECT_STREQ(e.what(), "unbalanced brackets in structure");
    }
  }
}

}  // namespace

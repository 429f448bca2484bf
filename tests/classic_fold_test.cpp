// The classic folding API: its module state (init_length, option globals, S/S1), its
// messages on standard error and its exits. Every case runs in a child process, because
// the globals persist for the life of a process and fatal paths end it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "stemloop/folder.hpp"
#include "stemloop/model.hpp"
#include "stemloop/stemloop.h"
#include "support/test_support.hpp"

namespace {

using testing_support::ChildResult;
using testing_support::run_in_child;

const char kSeq[] = "GGGAGCUAAGCUCAAAGGGCAUUCCCGCGCAAAGCGCAUAUCC";

// Folds in the classic API and prints "<structure> <energy in %a>".
void classic_fold_print(const char* seq) {
  std::vector<char> st(std::strlen(seq) + 1, '.');
  st.back() = '\0';
  const float e = fold(seq, st.data());
  std::printf("%s %a\n", st.data(), static_cast<double>(e));
}

std::string engine_line(const stemloop::FoldOptions& fo, double temperature, bool noGU,
                        const char* seq) {
  stemloop::ModelOptions mo;
  mo.temperature = temperature;
  mo.alphabet.noGU = noGU;
  const stemloop::Model model(mo);
  stemloop::Folder folder;
  const stemloop::FoldResult r = folder.fold(model, fo, seq);
  char energy[64];
  std::snprintf(energy, sizeof energy, "%a", static_cast<double>(r.kcal));
  return r.structure + " " + energy + "\n";
}

TEST(ClassicFold, InitializeFoldRejectsEmptyLengths) {
  for (int length : {0, -3}) {
    const ChildResult r = run_in_child([length] { initialize_fold(length); });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\ninitialize_fold: argument must be greater 0\n");
    EXPECT_EQ(r.out, "");
  }
  // An empty sequence in a fresh process reaches initialize_fold(0).
  const ChildResult r = run_in_child([] {
    char st[1] = "";
    fold("", st);
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\ninitialize_fold: argument must be greater 0\n");
}

TEST(ClassicFold, InitLengthFollowsTheWorkspace) {
  const ChildResult r = run_in_child([] {
    std::printf("%d", init_length);
    update_fold_params();
    std::printf(" %d", init_length);
    initialize_fold(50);
    std::printf(" %d", init_length);
    update_fold_params();
    std::printf(" %d", init_length);
    initialize_fold(10);
    std::printf(" %d", init_length);
    free_arrays();
    std::printf(" %d", init_length);
    free_arrays();  // a second release is harmless
    std::printf(" %d", init_length);
    char st[sizeof kSeq];
    fold(kSeq, st);  // allocates exactly its own length
    std::printf(" %d\n", init_length);
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "-1 0 50 50 10 0 0 " + std::to_string(std::strlen(kSeq)) + "\n");
  EXPECT_EQ(r.err, "");
}

TEST(ClassicFold, EmptySequenceWithTablesButNoWorkspace) {
  const ChildResult r = run_in_child([] {
    update_fold_params();
    char st[4] = "xyz";
    const float e = fold("", st);
    std::printf("[%s] %g\n", st, static_cast<double>(e));
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "[] 0\n");
}

TEST(ClassicFold, BasePairListMatchesTheStructure) {
  const ChildResult r = run_in_child([] {
    initialize_fold(static_cast<int>(std::strlen(kSeq)));
    classic_fold_print(kSeq);
    std::vector<char> st(sizeof kSeq);
    fold(kSeq, st.data());
    std::string rebuilt(std::strlen(kSeq), '.');
    for (int k = 1; k <= base_pair[0].i; k++) {
      rebuilt[static_cast<size_t>(base_pair[k].i - 1)] = '(';
      rebuilt[static_cast<size_t>(base_pair[k].j - 1)] = ')';
    }
    std::printf("%s %d\n", rebuilt.c_str(), base_pair[0].i);
    free_arrays();
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string want = engine_line(stemloop::FoldOptions{}, 37.0, false, kSeq);
  const std::string structure = want.substr(0, std::strlen(kSeq));
  int pairs = 0;
  for (char ch : structure) pairs += ch == '(';
  ASSERT_GT(pairs, 0);
  EXPECT_EQ(r.out, want + structure + " " + std::to_string(pairs) + "\n");
}

TEST(ClassicFold, OptionGlobalsDriveTheFold) {
  stemloop::FoldOptions d0, nolp, d2, d3;
  d0.dangles = 0;
  nolp.noLonelyPairs = true;
  d2.dangles = 2;
  d3.dangles = 3;
  ChildResult r = run_in_child([] {
    const int modes[4][2] = {{0, 0}, {1, 1}, {2, 0}, {3, 0}};  // dangles, noLonelyPairs
    for (const auto& mode : modes) {
      dangles = mode[0];
      noLonelyPairs = mode[1];
      classic_fold_print(kSeq);
    }
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, engine_line(d0, 37.0, false, kSeq) + engine_line(nolp, 37.0, false, kSeq) +
                       engine_line(d2, 37.0, false, kSeq) + engine_line(d3, 37.0, false, kSeq));

  // Temperature and noGU take effect only when the tables are derived again.
  r = run_in_child([] {
    initialize_fold(100);
    temperature = 20.0;
    noGU = 1;
    classic_fold_print(kSeq);  // still the 37 C tables with G-U pairs
    update_fold_params();
    classic_fold_print(kSeq);
    temperature = 60.0;
    noGU = 0;
    initialize_fold(static_cast<int>(std::strlen(kSeq)));
    classic_fold_print(kSeq);
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const stemloop::FoldOptions def;
  EXPECT_EQ(r.out, engine_line(def, 37.0, false, kSeq) + engine_line(def, 20.0, true, kSeq) +
                       engine_line(def, 60.0, false, kSeq));
  EXPECT_NE(engine_line(def, 37.0, false, kSeq), engine_line(def, 20.0, true, kSeq));
}

TEST(ClassicFold, ConstraintMessages) {
  struct Case {
    const char* constraint;
    int constrained, status;
    const char* err;
  };
  const Case cases[] = {
      {")(..........", 1, 1, ")(..........\n\nunbalanced brackets in constraints\n"},
      {"((.)........", 1, 1, "((.)........\n\nunbalanced brackets in constraint string\n"},
      {")(..........", 0, 0, ""},  // without fold_constrained the string is not read
  };
  for (const Case& c : cases) {
    const ChildResult r = run_in_child([&c] {
      fold_constrained = c.constrained;
      std::string st = c.constraint;
      fold("GGGGAAAACCCC", &st[0]);
    });
    EXPECT_EQ(r.status, c.status) << c.constraint;
    EXPECT_EQ(r.err, c.err) << c.constraint;
  }

  // A position that must pair but cannot: a warning, and the fold goes on.
  const ChildResult r = run_in_child([] {
    fold_constrained = 1;
    char st[] = "|....................";
    const float e = fold("AAAAAGGGGAAACCCCAAAAA", st);
    fold_constrained = 0;
    char free_st[sizeof st];
    const float f = fold("AAAAAGGGGAAACCCCAAAAA", free_st);
    std::printf("%d %d\n", std::strcmp(st, free_st), e == f);
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "\ncould not enforce all constraints\n");
  EXPECT_EQ(r.out, "0 1\n");
}

TEST(ClassicEvaluation, WarningTextAndSavedEncoding) {
  ChildResult r = run_in_child([] {
    const float e = energy_of_struct("ACCCCA", "(....)");
    std::printf("%d\n", e > 0.0f);
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "WARNING: bases 1 and 6 (AA) can't pair!\n");
  EXPECT_EQ(r.out, "1\n");

  r = run_in_child([] { energy_of_struct("acccca", "(....)"); });
  EXPECT_EQ(r.err, "WARNING: bases 1 and 6 (aa) can't pair!\n");

  // energy_of_struct puts the caller's S and S1 back, contents untouched.
  r = run_in_child([] {
    update_fold_params();
    encode_seq("GGGAAACCC");
    short* s = S;
    short* s1 = S1;
    const std::vector<short> before(s, s + 10), before1(s1, s1 + 10);
    const float e = energy_of_struct("GGGGAAAACCCCAAA", "((((....))))...");
    const bool same = S == s && S1 == s1 && std::vector<short>(S, S + 10) == before &&
                      std::vector<short>(S1, S1 + 10) == before1;
    std::printf("%d %d\n", same, e < 0.0f);
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1 1\n");

  // Unequal lengths end the process.
  r = run_in_child([] { energy_of_struct("GGGAAACCC", "(((...))"); });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\nenergy_of_struct: string and structure have unequal length\n");
}

}  // namespace

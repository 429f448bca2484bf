// The classic API: its fatal messages and exit statuses, its module state (init_length,
// option globals, S/S1) and the fold it forwards to the engine. Every case runs in a
// child process, because the globals persist for the life of a process and fatal paths
// end it.
#include <gtest/gtest.h>
#include <sys/resource.h>

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

void fold_with_constraint(const char* constraint) {
  std::string st = constraint;
  fold("GGGGAAAACCCC", &st[0]);
}

TEST(ClassicApi, FatalMessagesWarningsAndExitStatuses) {
  struct Case {
    void (*body)();
    int status;
    const char *out, *err;
  };
  static const Case cases[] = {
      {[] { std::printf("pending"), nrerror("X"); }, 1, "pending", "\nX\n"},
#ifndef STEMLOOP_SANITIZE  // the sanitizer's shadow memory does not fit an address-space limit
      {[] {
         rlimit limit{};
         limit.rlim_cur = limit.rlim_max = rlim_t{512} << 20;
         setrlimit(RLIMIT_AS, &limit);
         space(0xFFFFFFFFu);
         std::printf("returned");
       },
       1, "", "\nSPACE allocation failure -> no memory\n"},
#endif
      {[] { make_pair_table(")("); }, 1, "", ")(\n\nunbalanced brackets in make_pair_table\n"},
      {[] { make_pair_table("(()"); }, 1, "", "(()\n\nunbalanced brackets in make_pair_table\n"},
      {[] { pack_structure("((.x))"); }, 1, "",
       "\npack_structure: illegal charcter in structure\n"},
      {[] { energy_set = 3, update_fold_params(); }, 1, "", "\nWhat energy_set are YOU using??\n"},
      {[] { initialize_fold(0); }, 1, "", "\ninitialize_fold: argument must be greater 0\n"},
      {[] { initialize_fold(-3); }, 1, "", "\ninitialize_fold: argument must be greater 0\n"},
      // An empty sequence in a fresh process reaches initialize_fold(0).
      {[] {
         char st[1] = "";
         fold("", st);
       },
       1, "", "\ninitialize_fold: argument must be greater 0\n"},
      {[] { fold_constrained = 1, fold_with_constraint(")(.........."); }, 1, "",
       ")(..........\n\nunbalanced brackets in constraints\n"},
      {[] { fold_constrained = 1, fold_with_constraint("((.)........"); }, 1, "",
       "((.)........\n\nunbalanced brackets in constraint string\n"},
      // Without fold_constrained the string is not read.
      {[] { fold_with_constraint(")(.........."); }, 0, "", ""},
      // A position that must pair but cannot: a warning, and the fold goes on unchanged.
      {[] {
         fold_constrained = 1;
         char st[] = "|....................", free_st[sizeof st];
         const float e = fold("AAAAAGGGGAAACCCCAAAAA", st);
         fold_constrained = 0;
         const float f = fold("AAAAAGGGGAAACCCCAAAAA", free_st);
         std::printf("%d %d", std::strcmp(st, free_st), e == f);
       },
       0, "0 1", "\ncould not enforce all constraints\n"},
      {[] { std::printf("%d", energy_of_struct("ACCCCA", "(....)") > 0.0f); }, 0, "1",
       "WARNING: bases 1 and 6 (AA) can't pair!\n"},
      {[] { energy_of_struct("acccca", "(....)"); }, 0, "",
       "WARNING: bases 1 and 6 (aa) can't pair!\n"},
      {[] { energy_of_struct("GGGAAACCC", "(((...))"); }, 1, "",
       "\nenergy_of_struct: string and structure have unequal length\n"},
  };
  for (const Case& c : cases) {
    const ChildResult r = run_in_child(c.body);
    EXPECT_EQ(r.status, c.status) << c.err;
    EXPECT_EQ(r.out, c.out) << c.err;
    EXPECT_EQ(r.err, c.err);
  }
}

TEST(ClassicFold, InitLengthFollowsTheWorkspace) {
  const ChildResult r = run_in_child([] {
    const auto show = [] { std::printf("%d ", init_length); };
    show();
    update_fold_params();
    char empty[4] = "xyz";  // tables but no workspace: the empty sequence folds to nothing
    std::printf("%d [%s] %g ", init_length, empty, static_cast<double>(fold("", empty)));
    initialize_fold(50), show(), update_fold_params(), show(), initialize_fold(10), show();
    free_arrays(), show(), free_arrays(), show();  // a second release is harmless
    char st[sizeof kSeq];
    fold(kSeq, st), show();  // allocates exactly its own length
  });
  EXPECT_EQ(r.out + r.err, "-1 0 [] 0 50 50 10 0 0 " + std::to_string(std::strlen(kSeq)) + " ");
}

// Folds in the classic API and prints "<structure> <energy in %a>".
void classic_fold_print(const char* seq) {
  std::string st(std::strlen(seq), '.');
  const float e = fold(seq, &st[0]);
  std::printf("%s %a\n", st.c_str(), static_cast<double>(e));
}

// The same line from the engine.
std::string engine_line(int dangles, bool noLP, double temperature = 37.0, bool noGU = false) {
  stemloop::ModelOptions mo;
  mo.temperature = temperature, mo.alphabet.noGU = noGU;
  stemloop::FoldOptions fo;
  fo.dangles = dangles, fo.noLonelyPairs = noLP;
  const stemloop::FoldResult r = stemloop::Folder().fold(stemloop::Model(mo), fo, kSeq);
  char energy[64];
  std::snprintf(energy, sizeof energy, "%a", static_cast<double>(r.kcal));
  return r.structure + " " + energy + "\n";
}

TEST(ClassicFold, OptionGlobalsDriveTheFoldAndBasePairListsIt) {
  ChildResult r = run_in_child([] {
    for (const auto& [d, lp] : {std::pair(0, 0), {1, 1}, {2, 0}, {3, 0}})
      dangles = d, noLonelyPairs = lp, classic_fold_print(kSeq);
    std::string rebuilt(std::strlen(kSeq), '.');
    for (int k = 1; k <= base_pair[0].i; k++) {
      rebuilt[static_cast<size_t>(base_pair[k].i - 1)] = '(';
      rebuilt[static_cast<size_t>(base_pair[k].j - 1)] = ')';
    }
    std::printf("%s\n", rebuilt.c_str());
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string d3 = engine_line(3, false);
  EXPECT_EQ(r.out, engine_line(0, false) + engine_line(1, true) + engine_line(2, false) + d3 +
                       d3.substr(0, std::strlen(kSeq)) + "\n");
  ASSERT_NE(d3.find('('), std::string::npos);

  // Temperature and noGU take effect only when the tables are derived again.
  r = run_in_child([] {
    initialize_fold(100);
    temperature = 20.0, noGU = 1;
    classic_fold_print(kSeq);  // still the 37 C tables with G-U pairs
    update_fold_params(), classic_fold_print(kSeq);
    temperature = 60.0, noGU = 0;
    initialize_fold(static_cast<int>(std::strlen(kSeq))), classic_fold_print(kSeq);
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, engine_line(1, false) + engine_line(1, false, 20.0, true) +
                       engine_line(1, false, 60.0));
  EXPECT_NE(engine_line(1, false), engine_line(1, false, 20.0, true));

  // The engine's Model refuses 200 C; the classic layer scales its own tables, so its
  // fold still runs there (the pairs melt: the open chain).
  r = run_in_child([] {
    temperature = 200.0;
    update_fold_params(), classic_fold_print(kSeq);
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, std::string(std::strlen(kSeq), '.') + " 0x0p+0\n");
}

// energy_of_struct puts the caller's S and S1 back, contents untouched.
TEST(ClassicEvaluation, KeepsTheCallersEncoding) {
  const ChildResult r = run_in_child([] {
    update_fold_params();
    encode_seq("GGGAAACCC");
    short *s = S, *s1 = S1;
    const std::vector<short> before(s, s + 10), before1(s1, s1 + 10);
    const float e = energy_of_struct("GGGGAAAACCCCAAA", "((((....))))...");
    std::printf("%d %d",
                S == s && S1 == s1 && std::vector<short>(S, S + 10) == before &&
                    std::vector<short>(S1, S1 + 10) == before1,
                e < 0.0f);
  });
  EXPECT_EQ(r.out + r.err, "1 1");
}

}  // namespace

// Folding against evaluation: the folded energy is the lowest energy over every structure
// (checked exhaustively on short sequences), the folded structure evaluates to the folded
// energy, the trace completes for every option combination, and constraints hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "stemloop/constants.h"
#include "stemloop/error.hpp"
#include "stemloop/evaluate.hpp"
#include "stemloop/folder.hpp"
#include "stemloop/model.hpp"
#include "stemloop/pair_table.hpp"
#include "support/test_support.hpp"

namespace {

using stemloop::EncodedSequence;
using stemloop::EvalOptions;
using stemloop::Folder;
using stemloop::FoldOptions;
using stemloop::FoldResult;
using stemloop::Model;
using testing_support::random_constraint;
using testing_support::random_sequence;

Model make_model(double temperature, bool noGU) {
  stemloop::ModelOptions mo;
  mo.temperature = temperature;
  mo.alphabet.noGU = noGU;
  return Model(mo);
}

EvalOptions eval_options(const FoldOptions& fo, char backtrack_type = 'F') {
  EvalOptions eo;
  eo.dangles = fo.dangles;
  eo.tetra_loop = fo.tetra_loop;
  eo.backtrack_type = backtrack_type;
  return eo;
}

int evaluate(const Model& model, const EvalOptions& eo, const std::string& seq,
             const std::string& structure) {
  return stemloop::evaluate_structure(model, eo, seq, structure).energy;
}

std::vector<int> partners(const std::string& structure) {
  const stemloop::PairTable pt = stemloop::make_pair_table(structure);
  return std::vector<int>(pt.begin(), pt.end());
}

// True when some pair (i, j) of `pt` has neither (i-1, j+1) nor (i+1, j-1) in the table.
bool has_lonely_pair(const std::vector<short>& pt) {
  const int n = pt[0];
  for (int i = 1; i <= n; i++) {
    const int j = pt[i];
    if (j > i && !(i > 1 && j < n && pt[i - 1] == j + 1) && pt[i + 1] != j - 1) return true;
  }
  return false;
}

// Calls `visit` with the pair table of every structure of length n whose pairs enclose at
// least three bases and satisfy `allowed`.
void for_each_structure(int n, const std::function<bool(int, int)>& allowed,
                        const std::function<void(const std::vector<short>&)>& visit) {
  std::vector<short> pt(static_cast<size_t>(n) + 2, 0);
  pt[0] = static_cast<short>(n);
  std::vector<int> open;
  std::function<void(int)> place = [&](int pos) {
    if (pos > n) {
      if (open.empty()) visit(pt);
      return;
    }
    const int left = n - pos + 1;
    if (static_cast<int>(open.size()) > left) return;
    place(pos + 1);
    if (static_cast<int>(open.size()) + 1 < left) {
      open.push_back(pos);
      place(pos + 1);
      open.pop_back();
    }
    if (!open.empty() && pos - open.back() >= 4 && allowed(open.back(), pos)) {
      const int p = open.back();
      pt[p] = static_cast<short>(pos);
      pt[pos] = static_cast<short>(p);
      open.pop_back();
      place(pos + 1);
      open.push_back(p);
      pt[p] = pt[pos] = 0;
    }
  };
  place(1);
}

// The lowest evaluated energy over every structure `allowed` permits; with a constraint,
// first the most '|' positions paired.
std::pair<int, int> exhaustive_minimum(const Model& model, const EvalOptions& eo,
                                       const std::string& seq,
                                       const std::function<bool(int, int)>& allowed,
                                       bool noLP = false, const std::string& marks = "") {
  const EncodedSequence enc = stemloop::encode_sequence(seq, model.pairs);
  int best_met = -1, best = ENERGY_INF;
  for_each_structure(static_cast<int>(seq.size()), allowed, [&](const std::vector<short>& pt) {
    if (noLP && has_lonely_pair(pt)) return;
    int met = 0;
    for (size_t k = 0; k < marks.size(); k++) met += marks[k] == '|' && pt[k + 1];
    const int e = stemloop::evaluate_structure(model, eo, seq.c_str(), pt.data(), enc.S.data(),
                                               enc.S1.data()).energy;
    if (met > best_met || (met == best_met && e < best)) best_met = met, best = e;
  });
  return {best_met, best};
}

struct ExhaustiveSetting {
  const char* name;
  double temperature;
  bool noGU;
  int dangles;
  bool noLonelyPairs;
};

class ExhaustiveFold : public ::testing::TestWithParam<ExhaustiveSetting> {};

// The fill's minimum is the true minimum over all structures, and the trace returns one
// structure that reaches it. One folder serves all lengths, shorter after longer.
TEST_P(ExhaustiveFold, FoldedEnergyIsTheLowestOfAllStructures) {
  const ExhaustiveSetting& s = GetParam();
  const Model model = make_model(s.temperature, s.noGU);
  FoldOptions fo;
  fo.dangles = s.dangles;
  fo.noLonelyPairs = s.noLonelyPairs;
  const EvalOptions eo = eval_options(fo);
  std::mt19937 rng(20240 + static_cast<unsigned>(s.dangles) * 7 +
                   static_cast<unsigned>(s.temperature));
  Folder folder;
  int with_pairs = 0;
  for (int k = 0; k < 110; k++) {  // lengths 0 to 9, then 100 of 6 to 20
    const std::string seq = random_sequence(rng, k < 10 ? k : 6 + k % 15, 0.8);
    SCOPED_TRACE(seq);
    const FoldResult r = folder.fold(model, fo, seq);
    const EncodedSequence enc = stemloop::encode_sequence(seq, model.pairs);
    const auto pairs = [&](int p, int q) { return model.pairs.pair[enc.S[p]][enc.S[q]] != 0; };
    EXPECT_EQ(r.energy, exhaustive_minimum(model, eo, seq, pairs, s.noLonelyPairs).second);
    EXPECT_EQ(evaluate(model, eo, seq, r.structure), r.energy) << r.structure;
    if (s.noLonelyPairs) {
      EXPECT_FALSE(has_lonely_pair(stemloop::make_pair_table(r.structure))) << r.structure;
    }
    for (const auto& [i, j] : r.pairs) {
      EXPECT_GE(j - i, 4);
      EXPECT_TRUE(pairs(i, j)) << i << "," << j;
    }
    with_pairs += !r.pairs.empty();
  }
  EXPECT_GT(with_pairs, 30);  // the sample exercises real structures, not just dots
}

void PrintTo(const ExhaustiveSetting& s, std::ostream* os) { *os << s.name; }

INSTANTIATE_TEST_SUITE_P(Settings, ExhaustiveFold,
                         ::testing::Values(ExhaustiveSetting{"d0_37", 37.0, false, 0, false},
                                           ExhaustiveSetting{"d2_37", 37.0, false, 2, false},
                                           ExhaustiveSetting{"d0_20", 20.0, false, 0, false},
                                           ExhaustiveSetting{"d2_20", 20.0, false, 2, false},
                                           ExhaustiveSetting{"d2_noGU", 37.0, true, 2, false},
                                           ExhaustiveSetting{"d0_noLP", 37.0, false, 0, true},
                                           ExhaustiveSetting{"d2_noLP_55", 55.0, false, 2, true}),
                         [](const ::testing::TestParamInfo<ExhaustiveSetting>& info) {
                           return info.param.name;
                         });

// Checks that a folded structure obeys a constraint string.
void expect_obeys(const std::string& constraint, const FoldResult& r) {
  const std::string& st = r.structure;
  const std::vector<int> pt = partners(st);
  int items = 0, met = 0;
  std::vector<int> open;
  for (size_t k = 0; k < constraint.size(); k++) {
    const int pos = static_cast<int>(k) + 1;
    const char c = constraint[k];
    EXPECT_FALSE(c == 'x' && st[k] != '.') << "x at " << pos;
    EXPECT_FALSE(c == '<' && st[k] == ')') << "< at " << pos;
    EXPECT_FALSE(c == '>' && st[k] == '(') << "> at " << pos;
    items += c == '|';
    met += c == '|' && st[k] != '.';
    if (c == '(') open.push_back(pos);
    if (c != ')') continue;
    // p pairs only with pos, and no pair leaves the range p..pos from inside it.
    const int p = open.back();
    open.pop_back();
    EXPECT_TRUE(pt[p] == 0 || pt[p] == pos) << "forced pair " << p << "," << pos;
    EXPECT_TRUE(pt[pos] == 0 || pt[pos] == p) << "forced pair " << p << "," << pos;
    for (int m = p + 1; m < pos; m++) {
      EXPECT_TRUE(pt[m] == 0 || (pt[m] > p && pt[m] < pos)) << "crosses " << p << "," << pos;
    }
  }
  EXPECT_EQ(r.constraint_items, items);
  EXPECT_EQ(r.constraint_met, met);
}

TEST(FoldTrace, CompletesForEveryOptionCombinationAndKeepsConstraints) {
  const Model models[] = {make_model(37.0, false), make_model(24.0, true)};
  std::mt19937 rng(4242);
  Folder folder;
  int evaluated = 0;
  for (int dangles : {0, 1, 2, 3, 5}) {
    for (int mask = 0; mask < 8; mask++) {
      FoldOptions fo;
      fo.dangles = dangles;
      fo.noLonelyPairs = (mask & 1) != 0;
      fo.no_closingGU = (mask & 2) != 0;
      fo.tetra_loop = (mask & 4) == 0;
      for (int k = 0; k < 3; k++) {
        const Model& model = models[k % 2];
        const int n = 25 + static_cast<int>(rng() % 50);
        const std::string seq = random_sequence(rng, n, 0.55);
        const std::string constraint =
            k == 0 ? std::string(seq.size(), '.') : random_constraint(rng, n);
        SCOPED_TRACE(seq + "\n" + constraint + " dangles " + std::to_string(dangles) + " mask " +
                     std::to_string(mask));
        FoldResult r;
        ASSERT_NO_THROW(r = folder.fold(model, fo, seq, constraint.c_str()));
        ASSERT_EQ(r.structure.size(), seq.size());
        ASSERT_NO_THROW(partners(r.structure));
        for (const auto& [i, j] : r.pairs) EXPECT_GE(j - i, 4);
        expect_obeys(constraint, r);
        if (dangles == 5) {  // modes outside 0..3 fold as mode 1
          FoldOptions mode1 = fo;
          mode1.dangles = 1;
          EXPECT_EQ(folder.fold(model, mode1, seq, constraint.c_str()).structure, r.structure);
        }
        const bool brackets = constraint.find('(') != std::string::npos;
        if ((dangles == 0 || dangles == 2) && !fo.no_closingGU && !(fo.noLonelyPairs && brackets)) {
          EXPECT_EQ(evaluate(model, eval_options(fo), seq, r.structure), r.energy) << r.structure;
          evaluated++;
        }
      }
    }
  }
  EXPECT_GT(evaluated, 10);
}

// Under constraints the fold first pairs as many '|' positions as possible and then
// minimises the energy among the structures the constraint string allows.
TEST(FoldConstraints, ExhaustiveOverAllowedStructures) {
  const Model model;
  std::mt19937 rng(1234);
  Folder folder;
  int forced = 0;
  for (int k = 0; k < 90; k++) {
    const int n = 8 + k % 11;
    const std::string seq = random_sequence(rng, n, 0.75);
    // One or two nested bracket pairs, the other positions drawn from the single marks.
    std::string cons(static_cast<size_t>(n), '.');
    for (char& c : cons) c = "......x<>||"[rng() % 11];
    const int p0 = static_cast<int>(rng() % 3), q0 = n - 1 - static_cast<int>(rng() % 3);
    cons[static_cast<size_t>(p0)] = '(';
    cons[static_cast<size_t>(q0)] = ')';
    if (k % 3 == 0 && q0 - p0 > 12) {
      cons[static_cast<size_t>(p0 + 2)] = '(';
      cons[static_cast<size_t>(q0 - 2)] = ')';
    }
    FoldOptions fo;
    fo.dangles = k % 2 == 0 ? 0 : 2;
    SCOPED_TRACE(seq + "\n" + cons);
    const FoldResult r = folder.fold(model, fo, seq, cons.c_str());
    const EncodedSequence enc = stemloop::encode_sequence(seq, model.pairs);
    const std::vector<int> bracket = partners(cons);
    auto ch = [&](int pos) { return cons[static_cast<size_t>(pos - 1)]; };
    auto allowed = [&](int p, int q) {
      if (bracket[p] == q) return true;
      if (bracket[p] != 0 || bracket[q] != 0) return false;
      if (ch(p) == 'x' || ch(p) == '>' || ch(q) == 'x' || ch(q) == '<') return false;
      for (int a = 1; a <= n; a++) {
        const int b = bracket[a];
        if (b > a && (p > a && p < b) != (q > a && q < b)) return false;
      }
      return model.pairs.pair[enc.S[p]][enc.S[q]] != 0;
    };
    const auto [best_met, best] = exhaustive_minimum(model, eval_options(fo), seq, allowed,
                                                     false, cons);
    EXPECT_EQ(r.constraint_met, best_met) << r.structure;
    EXPECT_EQ(r.energy, best) << r.structure;
    expect_obeys(cons, r);
    for (int p = 1; p <= n; p++) forced += bracket[p] > p && r.structure[p - 1] == '(';
  }
  EXPECT_GT(forced, 5);
}

// 'C' traces the structure with 1 paired to n, 'M' the best multiloop piece. Evaluating the
// 'M' structure as a multiloop piece charges TerminalAU once more per exterior pair of a
// type above 2 than fML does.
TEST(FoldBacktrackType, ClosedAndMultiloopPieces) {
  const Model model;
  std::mt19937 rng(31337);
  Folder folder;
  int closed = 0;
  for (int k = 0; k < 30; k++) {
    std::string seq = random_sequence(rng, 20 + static_cast<int>(rng() % 40), 0.6);
    if (k % 2 == 0) seq.front() = 'G', seq.back() = 'C';
    const int n = static_cast<int>(seq.size());
    const EncodedSequence enc = stemloop::encode_sequence(seq, model.pairs);
    const auto au = [&](int i, int j) { return model.pairs.pair[enc.S[i]][enc.S[j]] > 2 ? 50 : 0; };
    for (int d : {0, 2}) {
      SCOPED_TRACE(seq + " dangles " + std::to_string(d));
      FoldOptions fo;
      fo.dangles = d;
      const FoldResult f = folder.fold(model, fo, seq);
      fo.backtrack_type = 'M';
      const FoldResult m = folder.fold(model, fo, seq);
      EXPECT_EQ(m.energy, folder.fML(1, n));
      EXPECT_FALSE(m.pairs.empty());
      const std::vector<int> pt = partners(m.structure);
      int extra_au = 0;
      for (int i = 1; i <= n; i++)
        if (pt[i] > i) extra_au += au(i, pt[i]), i = pt[i];
      EXPECT_EQ(evaluate(model, eval_options(fo, 'M'), seq, m.structure) - extra_au, m.energy)
          << m.structure;

      fo.backtrack_type = 'C';
      if (model.pairs.pair[enc.S[1]][enc.S[n]] == 0) {
        EXPECT_THROW(folder.fold(model, fo, seq), stemloop::Error);
        continue;
      }
      const FoldResult c = folder.fold(model, fo, seq);
      closed++;
      ASSERT_FALSE(c.pairs.empty());
      EXPECT_EQ(c.pairs.front(), std::make_pair(1, n));
      EXPECT_EQ(c.energy, folder.c(1, n));
      EXPECT_EQ(evaluate(model, eval_options(fo), seq, c.structure), c.energy + au(1, n));
      EXPECT_GE(c.energy + au(1, n), f.energy);
    }
  }
  EXPECT_GT(closed, 10);
}

// A trace with nothing to trace fails with the classic message; a rejected constraint
// leaves the folder usable.
TEST(FoldErrors, NothingToTraceAndARejectedConstraint) {
  const Model model;
  Folder folder;
  auto trace = [&](char type, bool noLP, const char* seq) {
    FoldOptions fo;
    fo.backtrack_type = type;
    fo.noLonelyPairs = noLP;
    try {
      folder.fold(model, fo, seq);
      return std::string("traced");
    } catch (const stemloop::Error& e) {
      return std::string(e.what());
    }
  };
  for (char type : {'C', 'M'})
    for (const char* seq : {"AAAAAAAAAAAA", "GGGC"})
      EXPECT_EQ(trace(type, false, seq), "backtracking failed in repeat") << type << seq;
  // 1 and n pair, but under the lonely-pair rule (1,n) needs (2,n-1).
  EXPECT_EQ(trace('C', true, "GAAAGGGAAACCCAAAC"), "backtracking failed in repeat");
  EXPECT_EQ(trace('C', false, "GAAAGGGAAACCCAAAC"), "traced");
  EXPECT_THROW(folder.fold(model, {}, "GGGGAAAACCCC", ")(.........."), stemloop::Error);
  EXPECT_EQ(folder.fold(model, {}, "GGGGAAAACCCC", "(((......)))").structure.substr(0, 3), "(((");
}

TEST(FoldConstraints, MustPairMarksShortStringsAndBonusesLeaveTheEnergyClean) {
  const Model model;
  Folder folder;
  FoldOptions fo;
  fo.dangles = 2;
  // An A with no U anywhere can pair with nothing; a string shorter than the sequence
  // constrains only its own positions.
  const std::string seq = "AAAAAGGGGAAACCCCAAAAA";
  const FoldResult free_fold = folder.fold(model, fo, seq);
  for (const char* mark : {"|....................", "|", ""}) {
    const FoldResult r = folder.fold(model, fo, seq, mark);
    EXPECT_EQ(r.constraints_unmet(), mark[0] == '|') << mark;
    EXPECT_EQ(r.energy, free_fold.energy) << mark;
    EXPECT_EQ(r.structure, free_fold.structure) << mark;
  }
  EXPECT_EQ(folder.fold(model, fo, seq, "xxxxxxxx").structure.substr(0, 8), "........");

  // Marked U (at the end, or both ends of one pair) pair although the free fold leaves them
  // alone; each bonus is taken back out.
  const std::string seq2 = "GGGGAAACCCCAAAAAAAAAU";
  const FoldResult free2 = folder.fold(model, fo, seq2);
  ASSERT_EQ(free2.structure.back(), '.');
  const std::pair<const char*, int> marks[] = {{"....................|", 1},
                                               {"|.........|..........", 2}};
  for (const auto& [mark, met] : marks) {
    const FoldResult r = folder.fold(model, fo, seq2, mark);
    EXPECT_EQ(r.constraint_met, met) << mark;
    EXPECT_EQ(r.energy, evaluate(model, eval_options(fo), seq2, r.structure)) << mark;
    EXPECT_GE(r.energy, free2.energy);
  }
  // A bracket pair only allows its pair: here leaving both ends open is cheaper.
  const FoldResult r = folder.fold(model, fo, "AAAAAAAAAAAA", "(..........)");
  EXPECT_EQ(r.structure, "............");
  EXPECT_FALSE(r.constraints_unmet());
}

}  // namespace

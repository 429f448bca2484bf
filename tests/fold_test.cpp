// Folding against evaluation: the folded energy is the lowest energy over every structure
// (checked exhaustively on short sequences), the folded structure evaluates to the folded
// energy, the trace completes for every option combination, and constraints hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <tuple>
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
using stemloop::ModelOptions;
using testing_support::random_constraint;
using testing_support::random_sequence;
using Rule = std::function<bool(int, int)>;

Model make_model(double temperature, bool noGU, bool turner2004 = false) {
  stemloop::ModelOptions mo;
  mo.temperature = temperature, mo.alphabet.noGU = noGU;
  if (turner2004) mo.parameters = stemloop::turner2004();
  return Model(mo);
}

EvalOptions eval_options(const FoldOptions& fo, char backtrack_type = 'F') {
  EvalOptions eo;
  eo.dangles = fo.dangles, eo.tetra_loop = fo.tetra_loop, eo.backtrack_type = backtrack_type;
  return eo;
}

int evaluate(const Model& model, const EvalOptions& eo, const std::string& seq,
             const std::string& structure) {
  return stemloop::evaluate_structure(model, eo, seq, structure).energy;
}

// Whether bases p < q may pair under `model` and the constraint string `cons` (shorter
// strings constrain only their own positions).
Rule constraint_rule(const Model& model, const std::string& seq, std::string cons = "") {
  cons.resize(seq.size(), '.');
  const EncodedSequence enc = stemloop::encode_sequence(seq, model.pairs);
  const stemloop::PairTable bracket = stemloop::make_pair_table(cons);
  return [&model, enc, bracket, cons](int p, int q) {
    if (bracket[p] == q) return true;
    const char a = cons[static_cast<size_t>(p - 1)], b = cons[static_cast<size_t>(q - 1)];
    if (bracket[p] != 0 || bracket[q] != 0 || a == 'x' || a == '>' || b == 'x' || b == '<')
      return false;
    for (int i = 1; i <= bracket[0]; i++)  // no pair crosses a bracket pair
      if (bracket[i] > i && (p > i && p < bracket[i]) != (q > i && q < bracket[i])) return false;
    return model.pairs.pair[enc.S[p]][enc.S[q]] != 0;
  };
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

// Over every structure whose pairs enclose at least three bases and satisfy `allowed`: the
// most '|' positions of `cons` paired, and the lowest evaluated energy among those.
std::pair<int, int> exhaustive_minimum(const Model& model, const EvalOptions& eo,
                                       const std::string& seq, const Rule& allowed,
                                       bool noLP = false, const std::string& cons = "") {
  const int n = static_cast<int>(seq.size());
  const EncodedSequence enc = stemloop::encode_sequence(seq, model.pairs);
  std::vector<short> pt(static_cast<size_t>(n) + 2, 0);
  pt[0] = static_cast<short>(n);
  std::vector<int> open;
  std::pair<int, int> best{1, ENERGY_INF};  // (-met, energy)
  std::function<void(int)> place = [&](int pos) {
    const int left = n - pos + 1, depth = static_cast<int>(open.size());
    if (left == 0 && depth == 0 && !(noLP && has_lonely_pair(pt))) {
      int met = 0;
      for (size_t k = 0; k < cons.size(); k++) met += cons[k] == '|' && pt[k + 1];
      best = std::min(best, {-met, stemloop::evaluate_structure(model, eo, seq.c_str(), pt.data(),
                                                                enc.S.data(), enc.S1.data())
                                       .energy});
    }
    if (left == 0 || depth > left) return;
    place(pos + 1);
    if (depth + 1 < left) {
      open.push_back(pos);
      place(pos + 1);
      open.pop_back();
    }
    if (depth > 0 && pos - open.back() >= 4 && allowed(open.back(), pos)) {
      const int p = open.back();
      pt[p] = static_cast<short>(pos), pt[pos] = static_cast<short>(p);
      open.pop_back();
      place(pos + 1);
      open.push_back(p);
      pt[p] = pt[pos] = 0;
    }
  };
  place(1);
  return {-best.first, best.second};
}

// Every pair of `r` is allowed, and the '|' marks of `cons` are counted right.
void expect_obeys(const Rule& allowed, const std::string& cons, const FoldResult& r) {
  ASSERT_GE(r.structure.size(), cons.size());
  int items = 0, met = 0;
  for (size_t k = 0; k < cons.size(); k++)
    items += cons[k] == '|', met += cons[k] == '|' && r.structure[k] != '.';
  EXPECT_EQ(r.constraint_items, items);
  EXPECT_EQ(r.constraint_met, met);
  for (const auto& [i, j] : r.pairs) EXPECT_TRUE(j - i >= 4 && allowed(i, j)) << i << "," << j;
}

// The fill's minimum is the true minimum over all structures, and the trace returns one
// structure that reaches it. One folder serves all lengths, shorter after longer.
TEST(ExhaustiveFold, FoldedEnergyIsTheLowestOfAllStructures) {
  // temperature, noGU, dangles, noLonelyPairs
  // temperature, noGU, dangles, noLonelyPairs, the 2004 set
  for (const auto& [temperature, noGU, dangles, noLP, t2004] :
       {std::tuple(37.0, false, 0, false, false),
        {37.0, false, 2, false, false},
        {20.0, false, 0, false, false},
        {20.0, false, 2, false, false},
        {37.0, true, 2, false, false},
        {37.0, false, 0, true, false},
        {55.0, false, 2, true, false},
        {37.0, false, 0, false, true},
        {37.0, false, 2, false, true},
        {60.0, false, 2, true, true}}) {
    const Model model = make_model(temperature, noGU, t2004);
    FoldOptions fo;
    fo.dangles = dangles;
    fo.noLonelyPairs = noLP;
    const EvalOptions eo = eval_options(fo);
    std::mt19937 rng(20240 + static_cast<unsigned>(dangles * 7 + temperature));
    Folder folder;
    int with_pairs = 0;
    for (int k = 0; k < 110; k++) {  // lengths 0 to 9, then 100 of 6 to 20
      const std::string seq = random_sequence(rng, k < 10 ? k : 6 + k % 15, 0.8);
      SCOPED_TRACE(seq + (t2004 ? " 2004" : "") + " at " + std::to_string(temperature) +
                   (noGU ? " noGU" : "") + " d" + std::to_string(dangles) + (noLP ? " noLP" : ""));
      const FoldResult r = folder.fold(model, fo, seq);
      const Rule pairs = constraint_rule(model, seq);
      EXPECT_EQ(r.energy, exhaustive_minimum(model, eo, seq, pairs, noLP).second);
      EXPECT_EQ(evaluate(model, eo, seq, r.structure), r.energy) << r.structure;
      EXPECT_FALSE(noLP && has_lonely_pair(stemloop::make_pair_table(r.structure)));
      expect_obeys(pairs, "", r);
      with_pairs += !r.pairs.empty();
    }
    EXPECT_GT(with_pairs, 30);  // the sample exercises real structures, not just dots
  }
}

TEST(FoldTrace, CompletesForEveryOptionCombinationAndKeepsConstraints) {
  const Model models[] = {make_model(37.0, false), make_model(24.0, true, true)};
  std::mt19937 rng(4242);
  Folder folder;
  for (int combo = 0; combo < 40; combo++) {  // dangle modes 0, 1, 2, 3, 5 times 8 flag masks
    const int dangles = "01235"[combo / 8] - '0', mask = combo % 8;
    FoldOptions fo;
    fo.dangles = dangles;
    fo.noLonelyPairs = mask & 1, fo.no_closingGU = mask & 2, fo.tetra_loop = !(mask & 4);
    for (int k = 0; k < 3; k++) {
      const Model& model = models[k % 2];
      const int n = 25 + static_cast<int>(rng() % 50);
      const std::string seq = random_sequence(rng, n, 0.55);
      const std::string cons = k == 0 ? std::string(seq.size(), '.') : random_constraint(rng, n);
      SCOPED_TRACE(seq + "\n" + cons + " dangles " + std::to_string(dangles) + " mask " +
                   std::to_string(mask));
      FoldResult r;
      ASSERT_NO_THROW(r = folder.fold(model, fo, seq, cons.c_str()));
      ASSERT_EQ(r.structure.size(), seq.size());
      expect_obeys(constraint_rule(model, seq, cons), cons, r);
      if (dangles == 5) {  // modes outside 0..3 fold as mode 1
        FoldOptions mode1 = fo;
        mode1.dangles = 1;
        EXPECT_EQ(folder.fold(model, mode1, seq, cons.c_str()).structure, r.structure);
      }
      const bool brackets = cons.find('(') != std::string::npos;
      if ((dangles == 0 || dangles == 2) && !fo.no_closingGU && !(fo.noLonelyPairs && brackets)) {
        EXPECT_EQ(evaluate(model, eval_options(fo), seq, r.structure), r.energy) << r.structure;
      }
    }
  }
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
    const Rule allowed = constraint_rule(model, seq, cons);
    const auto [best_met, best] =
        exhaustive_minimum(model, eval_options(fo), seq, allowed, false, cons);
    EXPECT_EQ(r.constraint_met, best_met) << r.structure;
    EXPECT_EQ(r.energy, best) << r.structure;
    expect_obeys(allowed, cons, r);
    forced += r.structure[static_cast<size_t>(p0)] == '(';
  }
  EXPECT_GT(forced, 5);
}

// 'C' traces the structure with 1 paired to n, 'M' the best multiloop piece (ends that cannot
// pair are in the failures below). Both evaluate
// to their energy plus TerminalAU for each exterior pair of a type above 2, which c and
// fML leave to the exterior loop.
TEST(FoldBacktrackType, ClosedAndMultiloopPieces) {
  const Model model;
  std::mt19937 rng(31337);
  Folder folder;
  for (int k = 0; k < 40; k++) {  // 1 and n pair: G-C, or C-G, G-U...
    std::string seq = random_sequence(rng, 20 + static_cast<int>(rng() % 40), 0.6);
    seq.front() = "GCGU"[k % 4], seq.back() = "CGUG"[k % 4];
    const int n = static_cast<int>(seq.size());
    const EncodedSequence enc = stemloop::encode_sequence(seq, model.pairs);
    const auto exterior_au = [&](const std::string& st) {
      const stemloop::PairTable pt = stemloop::make_pair_table(st);
      int au = 0;
      for (int i = 1; i <= n; i++)
        if (pt[i] > i) au += model.pairs.pair[enc.S[i]][enc.S[pt[i]]] > 2 ? 50 : 0, i = pt[i];
      return au;
    };
    FoldOptions fo;
    fo.dangles = 2 * (k % 2);
    fo.backtrack_type = 'M';
    SCOPED_TRACE(seq + " dangles " + std::to_string(fo.dangles));
    const FoldResult m = folder.fold(model, fo, seq);
    EXPECT_FALSE(m.pairs.empty());
    EXPECT_EQ(evaluate(model, eval_options(fo, 'M'), seq, m.structure) - exterior_au(m.structure),
              m.energy)
        << m.structure;
    fo.backtrack_type = 'C';
    const FoldResult c = folder.fold(model, fo, seq);
    ASSERT_FALSE(c.pairs.empty());
    EXPECT_EQ(c.pairs.front(), std::make_pair(1, n));
    EXPECT_EQ(evaluate(model, eval_options(fo), seq, c.structure) - exterior_au(c.structure),
              c.energy);
  }
}

// A trace with nothing to trace fails with the classic message; a rejected constraint
// leaves the folder usable.
TEST(FoldErrors, NothingToTraceAndARejectedConstraint) {
  const Model model;
  Folder folder;
  // In the last, 1 and n pair, but under the lonely-pair rule (1,n) needs (2,n-1).
  for (const auto& [type, noLP, seq] : {std::tuple('C', false, "GGGGGGGGGGGG"),
                                        {'M', false, "GGGGGGGGGGGG"},
                                        {'C', false, "GGGC"},
                                        {'M', false, "GGGC"},
                                        {'C', true, "GAAAGGGAAACCCAAAC"},
                                        {'C', false, "GAAAGGGAAACCCAAAC"}}) {
    FoldOptions fo;
    fo.backtrack_type = type, fo.noLonelyPairs = noLP;
    const bool fails = noLP || seq[1] != 'A';
    try {
      folder.fold(model, fo, seq);
      EXPECT_FALSE(fails) << type << seq << " traced";
    } catch (const stemloop::Error& e) {
      EXPECT_TRUE(fails) << type << seq;
      EXPECT_STREQ(e.what(), "backtracking failed in repeat");
    }
  }
  EXPECT_THROW(folder.fold(model, {}, "GGGGAAAACCCC", ")(.........."), stemloop::Error);
  EXPECT_EQ(folder.fold(model, {}, "GGGGAAAACCCC", "(((......)))").structure.substr(0, 3), "(((");
}

// A '|' on a base that can pair with nothing (an A, and no U anywhere) leaves the fold as
// it is and counts as unmet; a string shorter than the sequence constrains only its own
// positions.
TEST(FoldConstraints, UnmetMarksAndShortStrings) {
  const Model model;
  Folder folder;
  const std::string seq = "AAAAAGGGGAAACCCCAAAAA";
  const FoldResult free_fold = folder.fold(model, {}, seq);
  for (const char* mark : {"|....................", "|", "....|", ""}) {
    const FoldResult r = folder.fold(model, {}, seq, mark);
    EXPECT_EQ(r.constraints_unmet(), mark[0] != '\0') << mark;
    EXPECT_EQ(r.energy, free_fold.energy) << mark;
    EXPECT_EQ(r.structure, free_fold.structure) << mark;
  }
}

}  // namespace

// A multiloop charges its closing pair the branch cost of the pair's own type. With a
// non-standard pair allowed one way only (its reverse type is 0) the two readings differ:
// these folds once took the reverse one.
TEST(FoldConstraints, OneWayNonstandardPairsCloseMultiloops) {
  struct Case {
    double temperature;
    int dangles;
    bool no_gu;
    const char *seq, *cons, *structure;
    int energy;
  };
  const Case cases[] = {
      {24.5, 1, false,
       "GCCUUCGGGCCCAGACGGGACGAAUUCAGCACCGCCCAGACCACCCCGCGGUCGGGCGCUAAAGGGGGGGUAGUGGCACCGCCGGGA",
       "........>.x.|x..<.(........).>...||...(.....<|)x......x>x..............|....(......)...",
       "(((....))).((..(((...(....)....)))(((.(.......)..(((.....)))...))).(...).))............",
       -1053},
      {0, 0, true, "CGGGCGCUGGCUCCUGCCUGUUGCAACGGACUCGGGACCCCAUCCCACGUGCAG",
       "..|....(.....x<...)..><.x..<..........................",
       "..(.(...(((....))).)..((.(((.....((((.....)))).)))))).", -2112},
  };
  for (const Case& c : cases) {
    ModelOptions mo;
    mo.temperature = c.temperature;
    mo.alphabet.noGU = c.no_gu;
    mo.alphabet.has_nonstandards = true;
    mo.alphabet.nonstandards = "GA";
    FoldOptions fo;
    fo.dangles = c.dangles;
    const FoldResult r = Folder().fold(Model(mo), fo, c.seq, c.cons);
    EXPECT_EQ(r.structure, c.structure);
    EXPECT_EQ(r.energy, c.energy);
  }
}

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
#include "engine/energy_terms.hpp"
#include "stemloop/model.hpp"
#include "stemloop/pair_table.hpp"

namespace {

using stemloop::EncodedSequence;
using stemloop::EvalOptions;
using stemloop::Evaluation;
using stemloop::Folder;
using stemloop::FoldOptions;
using stemloop::FoldResult;
using stemloop::Model;
using stemloop::ModelOptions;

Model make_model(double temperature, bool noGU) {
  ModelOptions mo;
  mo.temperature = temperature;
  mo.alphabet.noGU = noGU;
  return Model(mo);
}

// Random sequence of length n; `gc` is the share of G and C.
std::string random_sequence(std::mt19937& rng, int n, double gc = 0.5) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::string s;
  for (int k = 0; k < n; k++) {
    const bool strong = u(rng) < gc;
    const bool first = u(rng) < 0.5;
    s += strong ? (first ? 'G' : 'C') : (first ? 'A' : 'U');
  }
  return s;
}

EvalOptions eval_options(const FoldOptions& fo) {
  EvalOptions eo;
  eo.dangles = fo.dangles;
  eo.tetra_loop = fo.tetra_loop;
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
    if (j <= i) continue;
    const bool outer = i > 1 && j < n && pt[i - 1] == j + 1;
    const bool inner = pt[i + 1] == j - 1;
    if (!outer && !inner) return true;
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
    pt[pos] = 0;
    place(pos + 1);
    if (static_cast<int>(open.size()) + 1 < left) {
      open.push_back(pos);
      place(pos + 1);
      open.pop_back();
    }
    if (!open.empty()) {
      const int p = open.back();
      if (pos - p >= 4 && allowed(p, pos)) {
        pt[p] = static_cast<short>(pos);
        pt[pos] = static_cast<short>(p);
        open.pop_back();
        place(pos + 1);
        open.push_back(p);
        pt[p] = 0;
        pt[pos] = 0;
      }
    }
  };
  place(1);
}

std::function<bool(int, int)> by_pair_matrix(const Model& model, const EncodedSequence& enc) {
  return [&model, &enc](int p, int q) {
    return model.pairs.pair[enc.S[static_cast<size_t>(p)]][enc.S[static_cast<size_t>(q)]] != 0;
  };
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
// structure that reaches it.
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
  for (int k = 0; k < 100; k++) {
    const int n = 6 + k % 15;
    const std::string seq = random_sequence(rng, n, 0.8);
    SCOPED_TRACE(seq);
    const FoldResult r = folder.fold(model, fo, seq);
    const EncodedSequence enc = stemloop::encode_sequence(seq, model.pairs);
    int best = ENERGY_INF;
    for_each_structure(n, by_pair_matrix(model, enc), [&](const std::vector<short>& pt) {
      if (s.noLonelyPairs && has_lonely_pair(pt)) return;
      const Evaluation e = stemloop::evaluate_structure(model, eo, seq.c_str(), pt.data(),
                                                        enc.S.data(), enc.S1.data());
      best = std::min(best, e.energy);
    });
    EXPECT_EQ(r.energy, best);
    EXPECT_EQ(evaluate(model, eo, seq, r.structure), r.energy) << r.structure;
    const stemloop::PairTable pt = stemloop::make_pair_table(r.structure);
    if (s.noLonelyPairs) {
      EXPECT_FALSE(has_lonely_pair(pt)) << r.structure;
    }
    for (const auto& [i, j] : r.pairs) {
      EXPECT_GE(j - i, 4);
      EXPECT_NE(model.pairs.pair[enc.S[static_cast<size_t>(i)]][enc.S[static_cast<size_t>(j)]], 0);
    }
    if (!r.pairs.empty()) with_pairs++;
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

// Longer sequences: the traced structure always evaluates to the folded energy.
TEST(FoldEvaluation, LongSequencesEvaluateToTheFoldedEnergy) {
  const Model model;
  std::mt19937 rng(777);
  Folder folder;
  for (int k = 0; k < 24; k++) {
    const int n = k % 8 == 7 ? 300 : 30 + static_cast<int>(rng() % 140);
    const std::string seq = random_sequence(rng, n, 0.3 + 0.05 * (k % 6));
    for (int dangles : {0, 2}) {
      for (bool nolp : {false, true}) {
        FoldOptions fo;
        fo.dangles = dangles;
        fo.noLonelyPairs = nolp;
        const FoldResult r = folder.fold(model, fo, seq);
        ASSERT_EQ(r.structure.size(), seq.size());
        EXPECT_EQ(evaluate(model, eval_options(fo), seq, r.structure), r.energy)
            << seq << "\n"
            << r.structure << " dangles " << dangles << " noLP " << nolp;
        EXPECT_LE(r.energy, 0);
      }
    }
  }
}

// A balanced constraint string of length n using every constraint character.
std::string random_constraint(std::mt19937& rng, int n) {
  static const char kSingles[] = "..........xx<>|||";
  std::string s(static_cast<size_t>(n), '.');
  std::vector<int> open;
  for (int k = 0; k < n; k++) {
    const int left = n - k;
    const unsigned r = rng() % 12;
    if (static_cast<int>(open.size()) == left || (r == 0 && !open.empty())) {
      s[static_cast<size_t>(k)] = ')';
      open.pop_back();
    } else if (r == 1 && static_cast<int>(open.size()) + 1 < left) {
      s[static_cast<size_t>(k)] = '(';
      open.push_back(k);
    } else {
      s[static_cast<size_t>(k)] = kSingles[rng() % (sizeof(kSingles) - 1)];
    }
  }
  return s;
}

// Checks that a folded structure obeys a constraint string.
void expect_obeys(const std::string& constraint, const FoldResult& r) {
  const std::string& st = r.structure;
  const std::vector<int> pt = partners(st);
  int items = 0, met = 0;
  std::vector<int> open;
  for (size_t k = 0; k < constraint.size(); k++) {
    const int pos = static_cast<int>(k) + 1;
    switch (constraint[k]) {
      case 'x':
        EXPECT_EQ(st[k], '.') << "x at " << pos;
        break;
      case '<':
        EXPECT_NE(st[k], ')') << "< at " << pos;
        break;
      case '>':
        EXPECT_NE(st[k], '(') << "> at " << pos;
        break;
      case '|':
        items++;
        if (st[k] != '.') met++;
        break;
      case '(':
        open.push_back(pos);
        break;
      case ')': {
        const int p = open.back();
        open.pop_back();
        // p pairs only with pos, and no pair leaves the range p..pos from inside it.
        EXPECT_TRUE(pt[p] == 0 || pt[p] == pos) << "forced pair " << p << "," << pos;
        EXPECT_TRUE(pt[pos] == 0 || pt[pos] == p) << "forced pair " << p << "," << pos;
        for (int m = p + 1; m < pos; m++) {
          EXPECT_TRUE(pt[m] == 0 || (pt[m] > p && pt[m] < pos)) << "crosses " << p << "," << pos;
        }
        break;
      }
      default:
        break;
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
      if (bracket[static_cast<size_t>(p)] == q) return true;
      if (bracket[static_cast<size_t>(p)] != 0 || bracket[static_cast<size_t>(q)] != 0) {
        return false;
      }
      if (ch(p) == 'x' || ch(p) == '>' || ch(q) == 'x' || ch(q) == '<') return false;
      for (int a = 1; a <= n; a++) {
        const int b = bracket[static_cast<size_t>(a)];
        if (b <= a) continue;
        const bool p_in = p > a && p<b, q_in = q> a && q < b;
        if (p_in != q_in) return false;
      }
      return model.pairs.pair[enc.S[static_cast<size_t>(p)]][enc.S[static_cast<size_t>(q)]] != 0;
    };
    int best_met = -1, best = ENERGY_INF;
    for_each_structure(n, allowed, [&](const std::vector<short>& pt) {
      int met = 0;
      for (int pos = 1; pos <= n; pos++) met += ch(pos) == '|' && pt[static_cast<size_t>(pos)];
      const int e = stemloop::evaluate_structure(model, eval_options(fo), seq.c_str(), pt.data(),
                                                 enc.S.data(), enc.S1.data())
                        .energy;
      if (met > best_met || (met == best_met && e < best)) {
        best_met = met;
        best = e;
      }
    });
    EXPECT_EQ(r.constraint_met, best_met) << r.structure;
    EXPECT_EQ(r.energy, best) << r.structure;
    expect_obeys(cons, r);
    for (int p = 1; p <= n; p++) {
      const int q = bracket[static_cast<size_t>(p)];
      if (q > p && r.structure[static_cast<size_t>(p - 1)] == '(') forced++;
    }
  }
  EXPECT_GT(forced, 5);
}

// Every dangle mode outside 0..3 folds exactly as mode 1; a workspace sized by a longer
// sequence gives the same result for a shorter one.
TEST(FoldReuse, UndefinedDangleModesAndShorterSequenceInALargerWorkspace) {
  const Model model;
  std::mt19937 rng(99);
  Folder reused;
  for (int k = 0; k < 6; k++) {
    const std::string big = random_sequence(rng, 120, 0.5);
    const std::string seq = random_sequence(rng, 40 + 10 * k, 0.55);
    const FoldResult ref = Folder().fold(model, FoldOptions{}, seq);
    for (int d : {0, 1, 2, 3, 4, 5, -1}) {
      FoldOptions fo;
      fo.dangles = d;
      const FoldResult fresh = Folder().fold(model, fo, seq);
      reused.fold(model, fo, big);
      FoldResult r;
      ASSERT_NO_THROW(r = reused.fold(model, fo, seq)) << seq << " dangles " << d;
      EXPECT_EQ(r.structure, fresh.structure) << seq << " dangles " << d;
      EXPECT_EQ(r.energy, fresh.energy) << seq << " dangles " << d;
      if (d < 0 || d > 3) {
        EXPECT_EQ(r.structure, ref.structure) << seq << " dangles " << d;
        EXPECT_EQ(r.energy, ref.energy) << seq << " dangles " << d;
      }
    }
  }
}

// Below five bases nothing pairs; five bases allow only the hairpin of three, which
// the lonely-pair rule forbids.
TEST(FoldSmall, SequencesTooShortToPairAndTheSmallestHairpin) {
  const Model model;
  Folder folder;
  const std::string five = "GAAAC";
  const EncodedSequence enc = stemloop::encode_sequence(five, model.pairs);
  const int hairpin = stemloop::EnergyTerms(model, 1, true).hairpin(1, 5, 2, five.c_str(), enc.S1.data());
  for (int d : {0, 1, 2, 3}) {
    FoldOptions fo;
    fo.dangles = d;
    for (const std::string seq : {"", "G", "GC", "GGCC", "GAAAA"}) {
      const FoldResult r = folder.fold(model, fo, seq);
      EXPECT_EQ(r.structure, std::string(seq.size(), '.')) << seq;
      EXPECT_EQ(r.energy, 0) << seq;
    }
    EXPECT_EQ(folder.fold(model, fo, five).energy, std::min(0, hairpin));
    EXPECT_EQ(folder.c(1, 5), hairpin);
    fo.noLonelyPairs = true;
    folder.fold(model, fo, five);
    EXPECT_EQ(folder.c(1, 5), ENERGY_INF);
  }
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
    const auto type = [&](int i, int j) { return model.pairs.pair[enc.S[i]][enc.S[j]]; };
    for (int d : {0, 2}) {
      SCOPED_TRACE(seq + " dangles " + std::to_string(d));
      FoldOptions fo;
      fo.dangles = d;
      const FoldResult f = folder.fold(model, fo, seq);
      fo.backtrack_type = 'M';
      const FoldResult m = folder.fold(model, fo, seq);
      EXPECT_EQ(m.energy, folder.fML(1, n));
      EXPECT_FALSE(m.pairs.empty());
      EvalOptions eo = eval_options(fo);
      eo.backtrack_type = 'M';
      const std::vector<int> pt = partners(m.structure);
      int extra_au = 0;
      for (int i = 1; i <= n; i++)
        if (pt[static_cast<size_t>(i)] > i) {
          extra_au += type(i, pt[static_cast<size_t>(i)]) > 2 ? 50 : 0;
          i = pt[static_cast<size_t>(i)];
        }
      EXPECT_EQ(evaluate(model, eo, seq, m.structure) - extra_au, m.energy) << m.structure;

      fo.backtrack_type = 'C';
      if (type(1, n) == 0) {
        EXPECT_THROW(folder.fold(model, fo, seq), stemloop::Error);
        continue;
      }
      const FoldResult c = folder.fold(model, fo, seq);
      closed++;
      ASSERT_FALSE(c.pairs.empty());
      EXPECT_EQ(c.pairs.front(), std::make_pair(1, n));
      EXPECT_EQ(c.energy, folder.c(1, n));
      const int au = type(1, n) > 2 ? 50 : 0;
      EXPECT_EQ(evaluate(model, eval_options(fo), seq, c.structure), c.energy + au);
      EXPECT_GE(c.energy + au, f.energy);
    }
  }
  EXPECT_GT(closed, 10);
}

void expect_error(const std::function<void()>& body, const std::string& message) {
  try {
    body();
    ADD_FAILURE() << "no error, expected: " << message;
  } catch (const stemloop::Error& e) {
    EXPECT_EQ(std::string(e.what()), message);
  }
}

TEST(FoldErrors, NothingToTraceAndUnbalancedConstraints) {
  const Model model;
  Folder folder;
  FoldOptions fo;
  for (char type : {'C', 'M'}) {
    fo.backtrack_type = type;
    expect_error([&] { folder.fold(model, fo, "AAAAAAAAAAAA"); }, "backtracking failed in repeat");
    expect_error([&] { folder.fold(model, fo, "GGGC"); }, "backtracking failed in repeat");
  }
  // 1 and n pair, but under the lonely-pair rule (1,n) needs (2,n-1).
  fo.backtrack_type = 'C';
  fo.noLonelyPairs = true;
  expect_error([&] { folder.fold(model, fo, "GAAAGGGAAACCCAAAC"); },
               "backtracking failed in repeat");
  fo.noLonelyPairs = false;
  EXPECT_NO_THROW(folder.fold(model, fo, "GAAAGGGAAACCCAAAC"));

  fo.backtrack_type = 'F';
  const std::string seq = "GGGGAAAACCCC";
  expect_error([&] { folder.fold(model, fo, seq, ")(.........."); },
               "unbalanced brackets in constraints");
  expect_error([&] { folder.fold(model, fo, seq, "((.)........"); },
               "unbalanced brackets in constraint string");
  // The folder stays usable after a rejected constraint.
  EXPECT_NO_THROW(folder.fold(model, fo, seq, "(((......)))"));
}

TEST(FoldConstraints, MustPairMarksShortStringsAndBonusesLeaveTheEnergyClean) {
  const Model model;
  Folder folder;
  FoldOptions fo;
  fo.dangles = 2;
  const EvalOptions eo = eval_options(fo);

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
    EXPECT_EQ(r.energy, evaluate(model, eo, seq2, r.structure)) << mark;
    EXPECT_GE(r.energy, free2.energy);
  }

  // A bracket pair only allows its pair: here leaving both ends open is cheaper.
  const FoldResult r = folder.fold(model, fo, "AAAAAAAAAAAA", "(..........)");
  EXPECT_EQ(r.structure, "............");
  EXPECT_FALSE(r.constraints_unmet());
}

}  // namespace

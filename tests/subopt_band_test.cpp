// The band of suboptimal structures against brute force: on short sequences the band is
// exactly the set of allowed structures whose evaluated energy lies within delta of the
// lowest, each once, for every option; sorting and --max keep to that set.
#include <gtest/gtest.h>

#include <algorithm>

#include "stemloop/constants.h"
#include "stemloop/error.hpp"
#include "stemloop/pair_table.hpp"
#include "subopt_brute_force.hpp"

namespace {

using namespace subopt_testing;
using stemloop::BandOptions;
using stemloop::Model;
using stemloop::SuboptFolder;

struct Setting {
  const char* name;
  int dangles;
  bool noLP, noGU, noClosingGU, constrained;
  double temperature;
  const char* nsp;
  bool turner2004 = false;  // the 2004 parameter set instead of the default
};

void PrintTo(const Setting& s, std::ostream* os) { *os << s.name; }

// Strict constraints that `structure` obeys, on about a third of its positions.
std::string constraints_of(const std::string& structure, std::mt19937& rng) {
  const std::vector<short> pt = stemloop::make_pair_table(structure);
  std::string c(structure.size(), '.');
  for (int k = 1; k <= pt[0]; k++) {
    const size_t at = static_cast<size_t>(k - 1);
    if (rng() % 3 != 0 || c[at] != '.') continue;
    if (pt[k] == 0)
      c[at] = 'x';
    else if (pt[k] < k)
      c[at] = rng() % 2 ? '>' : '|';
    else if (rng() % 2)
      c[at] = '<';
    else
      c[at] = '(', c[static_cast<size_t>(pt[k] - 1)] = ')';
  }
  return c;
}

// (energy, structure): sorting these puts a band in its sorted order.
using Item = std::pair<int, std::string>;

std::vector<Item> band(const SuboptFolder& folder, const BandOptions& options) {
  std::vector<Item> list;
  folder.band(options, [&](const std::string& s, int e) {
    list.emplace_back(e, s);
    return true;
  });
  return list;
}

class SuboptBand : public ::testing::TestWithParam<Setting> {};

TEST_P(SuboptBand, IsEveryStructureWithinDeltaOnce) {
  const Setting& s = GetParam();
  stemloop::ModelOptions mo;
  mo.temperature = s.temperature;
  mo.alphabet.noGU = s.noGU;
  mo.alphabet.has_nonstandards = s.nsp[0] != '\0';
  mo.alphabet.nonstandards = s.nsp;
  if (s.turner2004) mo.parameters = stemloop::turner2004();
  const Model model(mo);
  std::mt19937 rng(1999 + static_cast<unsigned>(s.dangles));
  int banded = 0;
  for (int k = 0; k < 30; k++) {
    const std::string seq = random_sequence(rng, 10 + k % 13);
    SuboptOptions o;
    o.dangles = s.dangles;
    o.noLonelyPairs = s.noLP;
    o.no_closingGU = s.noClosingGU;
    o.tetra_loop = k % 4 != 0;
    std::map<std::string, int> all = all_structures(model, o, seq);
    if (s.constrained) {
      auto member = all.begin();
      std::advance(member, rng() % all.size());
      o.constraint = constraints_of(member->first, rng);
      all = all_structures(model, o, seq);
    }
    SCOPED_TRACE(seq + " " + o.constraint);
    int lowest = ENERGY_INF;
    for (const auto& item : all) lowest = std::min(lowest, item.second);
    const SuboptFolder folder(model, o, seq);
    ASSERT_EQ(folder.mfe(), lowest);

    // Everything (a band wider than any energy), and a band of 2.5 kcal/mol.
    for (int delta : {100000, 250}) {
      BandOptions bo;
      bo.delta = delta;
      std::vector<Item> expected;
      for (const auto& [structure, energy] : all)
        if (energy <= lowest + delta) expected.emplace_back(energy, structure);
      std::sort(expected.begin(), expected.end());
      std::vector<Item> got = band(folder, bo);
      std::sort(got.begin(), got.end());
      EXPECT_TRUE(std::adjacent_find(got.begin(), got.end()) == got.end()) << "a structure twice";
      EXPECT_EQ(got, expected);
      // Sorted in about four passes, whole and cut by --max.
      bo.sorted = true;
      bo.sort_memory = (expected.size() / 4 + 1) * (seq.size() + 64);
      EXPECT_EQ(band(folder, bo), expected);
      bo.max_structures = 7;
      got = band(folder, bo);
      EXPECT_EQ(got, std::vector<Item>(expected.begin(),
                                       expected.begin() + std::min<size_t>(7, expected.size())));
      bo.sorted = false;
      EXPECT_EQ(band(folder, bo).size(), std::min<size_t>(7, expected.size()));
      banded += static_cast<int>(expected.size());
    }
  }
  EXPECT_GT(banded, 50);  // the sample holds real bands, not just open chains
}

INSTANTIATE_TEST_SUITE_P(
    Options, SuboptBand,
    ::testing::Values(Setting{"d2", 2, false, false, false, false, 37.0, ""},
                      Setting{"d0_T20", 0, false, false, false, false, 20.0, ""},
                      Setting{"d2_noLP", 2, true, false, false, false, 37.0, ""},
                      Setting{"d0_noLP_noGU", 0, true, true, false, false, 37.0, ""},
                      Setting{"d2_noClosingGU", 2, false, false, true, false, 37.0, ""},
                      Setting{"d2_nsp_T60", 2, false, false, false, false, 60.0, "GAAG"},
                      Setting{"d2_constraints", 2, false, false, false, true, 37.0, ""},
                      Setting{"d0_noLP_constraints", 0, true, false, true, true, 37.0, ""},
                      Setting{"d2_turner2004", 2, false, false, false, false, 37.0, "", true},
                      Setting{"d0_turner2004_T50", 0, false, false, false, true, 50.0, "", true}),
    [](const ::testing::TestParamInfo<Setting>& info) { return info.param.name; });

// Modes 1 and 3 have no single decomposition per structure; constraints that no structure
// obeys leave an empty band.
TEST(SuboptBand, RefusesOddDanglesAndImpossibleConstraints) {
  const Model model;
  for (int dangles : {1, 3}) {
    SuboptOptions o;
    o.dangles = dangles;
    EXPECT_THROW(SuboptFolder(model, o, "GGGGAAAACCCC"), stemloop::Error);
  }
  SuboptOptions o;
  o.constraint = "(....)......";  // G-A cannot pair
  const SuboptFolder folder(model, o, "GGGGAAAACCCC");
  EXPECT_EQ(folder.mfe(), ENERGY_INF);
  EXPECT_TRUE(band(folder, BandOptions{100000}).empty());
  o.constraint = "(((";
  EXPECT_THROW(SuboptFolder(model, o, "GGGGAAAACCCC"), stemloop::Error);
}

}  // namespace

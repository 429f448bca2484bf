// The fast paths against the candidates they regroup, on sequences long enough for
// interior loops of every size up to the limit and for long multiloops: the fold with
// enforced constraints (minima over the ensemble's candidates) reaches the fast fill's
// energy, and the inside pass's regrouped sums equal the plain sums of the candidates.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "ensemble/ensemble_tables.hpp"
#include "stemloop/folder.hpp"

namespace {

using namespace stemloop;

std::string random_rna(int n, std::mt19937& rng) {
  std::string s;
  for (int k = 0; k < n; k++) s += "ACGUGC"[rng() % 6];
  return s;
}

// Inside values by part, filled by inside_by_candidates.
struct PlainTables {
  explicit PlainTables(int length)
      : n(length), width(static_cast<size_t>(n) + 2), values(6 * width * width, 0.0) {}
  size_t at(Ref r) const {
    return (static_cast<size_t>(r.part) * width + static_cast<size_t>(r.i)) * width +
           static_cast<size_t>(r.j);
  }
  double get(Ref r) const {
    if (r.part == Part::None || (r.part == Part::Exterior && r.i > n)) return 1.0;
    return values[at(r)];
  }
  void set(Ref r, double v) { values[at(r)] = v; }
  int n;
  size_t width;
  std::vector<double> values;
};

struct Config {
  int dangles;
  bool noLP, noClosingGU;
};

TEST(LoopCandidates, FastPathsEqualThePlainCandidates) {
  std::mt19937 rng(5);
  const Model model;
  for (const Config c : {Config{0, true, false}, Config{2, true, true}, Config{2, false, false}}) {
    for (int round = 0; round < 3; round++) {
      const std::string seq = random_rna(70 + 30 * round, rng);
      const int n = static_cast<int>(seq.size());
      FoldOptions fo;
      fo.dangles = c.dangles;
      fo.noLonelyPairs = c.noLP;
      fo.no_closingGU = c.noClosingGU;
      const int fast = Folder().fold(model, fo, seq).energy;
      fo.enforce_constraints = true;
      const std::string none(seq.size(), '.');
      EXPECT_EQ(Folder().fold(model, fo, seq, none.c_str()).energy, fast) << seq;

      EnsembleTables T(model, ensemble_options(fo), seq, nullptr);
      fill_inside(T);
      PlainTables plain(n);
      inside_by_candidates(T.x, T.ring, plain, [](int) { return true; });
      auto near = [](double a, double b) { return std::fabs(a - b) <= 1e-12 * std::fabs(b); };
      for (int i = 1; i <= n; i++) {
        for (int j = i + MIN_HAIRPIN + 1; j <= n; j++) {
          for (Part part : {Part::Pair, Part::Stacked, Part::Branch, Part::Multi}) {
            if (part == Part::Stacked && !c.noLP) continue;
            const Ref r{part, i, j};
            ASSERT_TRUE(near(plain.get(r), T.get(r)))
                << seq << " part " << static_cast<int>(part) << " at " << i << ", " << j;
          }
        }
      }
      EXPECT_TRUE(near(plain.get(Ref{Part::Exterior, 1, 0}), T.z())) << seq;
    }
  }
}

}  // namespace

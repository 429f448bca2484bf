// Structure drawings: the layout rules on random structures, checked by brute force, and
// the SVG's base elements against the structure.
#include "stemloop/drawing.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "stemloop/error.hpp"
#include "stemloop/pair_table.hpp"

namespace {

using stemloop::Point;

// Random nested structures with helices of 1 to 8 pairs, hairpins of 0 unpaired bases
// and more, multiloops and long unpaired runs.
std::string random_structure(std::mt19937& rng, int n) {
  std::string s(static_cast<size_t>(n), '.');
  std::vector<std::pair<int, int>> spans{{0, n - 1}};
  const auto pick = [&rng](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(rng);
  };
  const int unpaired_weight = pick(1, 6);
  while (!spans.empty()) {
    auto [k, end] = spans.back();
    spans.pop_back();
    while (k < end) {
      if (pick(0, 9) < unpaired_weight) {
        k++;
        continue;
      }
      const int l = pick(k + 1, end);
      const int h = pick(1, std::max(1, std::min(8, (l - k + 1) / 2)));
      for (int t = 0; t < h; t++) {
        s[static_cast<size_t>(k + t)] = '(';
        s[static_cast<size_t>(l - t)] = ')';
      }
      spans.emplace_back(k + h, l - h);
      k = l + 1;
    }
  }
  return s;
}

double distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

double cross(Point o, Point a, Point b) {
  return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// Segments that share no end cross when each one's ends lie on both sides of the other
// (touching counts); segments on one line cross when their extents overlap.
bool cross_each_other(Point a, Point b, Point c, Point d) {
  const auto on_line = [](double v) { return std::fabs(v) < 1e-12; };
  if (on_line(cross(a, b, c)) && on_line(cross(a, b, d))) {
    const auto overlap = [](double p, double q, double r, double s) {
      return std::max(std::min(p, q), std::min(r, s)) <= std::min(std::max(p, q), std::max(r, s));
    };
    return overlap(a.x, b.x, c.x, d.x) && overlap(a.y, b.y, c.y, d.y);
  }
  return cross(a, b, c) * cross(a, b, d) <= 0 && cross(c, d, a) * cross(c, d, b) <= 0;
}

TEST(Drawing, RandomLayoutsKeepBasesApartAndSegmentsUncrossed) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 120; round++) {
    const int n = std::uniform_int_distribution<int>(1, 240)(rng);
    const std::string structure = random_structure(rng, n);
    const stemloop::PairTable table = stemloop::make_pair_table(structure);
    const stemloop::Layout layout = stemloop::layout_structure(table);
    ASSERT_EQ(layout.bases.size(), static_cast<size_t>(n));
    EXPECT_EQ(layout.faults, 0) << structure;
    const auto& p = layout.bases;
    std::vector<std::pair<int, int>> segments;
    for (int k = 0; k + 1 < n; k++) {
      segments.emplace_back(k, k + 1);
      EXPECT_GE(distance(p[k], p[k + 1]), 1.0 - 1e-6) << structure;  // no step drawn short
    }
    for (int k = 1; k <= n; k++) {
      if (table[k] <= k) continue;
      segments.emplace_back(k - 1, table[k] - 1);
      EXPECT_NEAR(distance(p[k - 1], p[table[k] - 1]), stemloop::kPairWidth, 1e-6) << structure;
    }
    for (int a = 0; a < n; a++)
      for (int b = a + 1; b < n; b++)
        ASSERT_GE(distance(p[a], p[b]), 0.5) << a + 1 << " " << b + 1 << " " << structure;
    for (size_t s = 0; s < segments.size(); s++) {
      for (size_t t = s + 1; t < segments.size(); t++) {
        const auto [a, b] = segments[s];
        const auto [c, d] = segments[t];
        if (a == c || a == d || b == c || b == d) continue;
        ASSERT_FALSE(cross_each_other(p[a], p[b], p[c], p[d]))
            << a + 1 << "-" << b + 1 << " x " << c + 1 << "-" << d + 1 << " " << structure;
      }
    }
    EXPECT_EQ(stemloop::count_layout_faults(p, table, 0.5, 0.0), 0);
  }
}

TEST(Drawing, FaultCountSeesOverlapsAndCrossings) {
  const stemloop::PairTable table = stemloop::make_pair_table("(..)");
  // The steps 1-2 and 3-4 cross.
  std::vector<Point> p = {{0, 0}, {1, 1}, {0, 1}, {1, 0}};
  EXPECT_GT(stemloop::count_layout_faults(p, table, 0.5, 0.0), 0);
  p = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
  EXPECT_EQ(stemloop::count_layout_faults(p, table, 0.5, 0.0), 0);
  p[2] = {0.1, 1.2};
  EXPECT_EQ(stemloop::count_layout_faults(p, table, 0.5, 0.0), 1);  // bases 2 and 3
}

TEST(Drawing, SvgBaseElementsFollowTheStructure) {
  const std::string sequence = "GGGAAAUCCC&<\"AGG";
  const std::string structure = "(((....)))..(..)";
  for (auto style : {stemloop::DrawingStyle::Radial, stemloop::DrawingStyle::Arcs}) {
    stemloop::DrawingOptions options;
    options.style = style;
    options.title = "a <b> & c";
    const std::string svg = stemloop::structure_svg(sequence, structure, options);
    const stemloop::PairTable table = stemloop::make_pair_table(structure);
    const std::regex base("data-pos=\"(\\d+)\" data-partner=\"(\\d+)\" cx=\"([-0-9.]+)\"");
    int count = 0;
    for (std::sregex_iterator it(svg.begin(), svg.end(), base), end; it != end; ++it) {
      count++;
      EXPECT_EQ(std::stoi((*it)[1]), count);
      EXPECT_EQ(std::stoi((*it)[2]), table[count]);
    }
    EXPECT_EQ(count, 16);
    EXPECT_NE(svg.find("<title>a &lt;b&gt; &amp; c</title>"), std::string::npos);
    EXPECT_NE(svg.find(">&amp;</text>"), std::string::npos);
    EXPECT_NE(svg.find(">5'</text>"), std::string::npos);
    EXPECT_NE(svg.find(">10</text>"), std::string::npos);
  }
  stemloop::DrawingOptions coloured;
  coloured.base_values.assign(16, 1.0);
  coloured.pair_values = {0.0, 0.5, 1.0, 1.0};
  const std::string svg = stemloop::structure_svg(sequence, structure, coloured);
  EXPECT_NE(svg.find("style=\"fill:#d7191c\""), std::string::npos);
  EXPECT_NE(svg.find("style=\"stroke:#2c7bb6\""), std::string::npos);
  coloured.pair_values.pop_back();
  EXPECT_THROW(stemloop::structure_svg(sequence, structure, coloured), stemloop::Error);
  EXPECT_THROW(stemloop::structure_svg("GG", "(.)"), stemloop::Error);
  EXPECT_THROW(stemloop::structure_svg("GGG", "(.("), stemloop::Error);
  EXPECT_NE(stemloop::structure_svg("", "").find("</svg>"), std::string::npos);
}

TEST(Drawing, DotPlotSquaresFollowTheProbabilities) {
  // A made-up ensemble: (i, j) pairs with probability (j - i) / 10 when i + j is even.
  const auto probability = [](int i, int j) { return (i + j) % 2 == 0 ? (j - i) / 10.0 : 0.0; };
  const std::string svg = stemloop::dot_plot_svg("GGGAAACCCC", probability, "(((...))).", "dp");
  const std::regex prob("class=\"prob\" x=\"[-0-9.]+\" y=\"[-0-9.]+\" width=\"([0-9.]+)\"");
  std::vector<double> sides;
  for (std::sregex_iterator it(svg.begin(), svg.end(), prob), end; it != end; ++it)
    sides.push_back(std::stod((*it)[1]));
  ASSERT_EQ(sides.size(), 20u + 3u);  // 20 pairs with i + j even, then the scale
  // The first row: (1,3), (1,5), ... with areas in the ratio 2 : 4 : 6 : 8.
  EXPECT_NEAR(sides[1] * sides[1] / (sides[0] * sides[0]), 2.0, 0.02);
  EXPECT_NEAR(sides[3] * sides[3] / (sides[0] * sides[0]), 4.0, 0.05);
  size_t fixed = 0;
  for (size_t at = svg.find("class=\"fixed\""); at != std::string::npos;
       at = svg.find("class=\"fixed\"", at + 1))
    fixed++;
  EXPECT_EQ(fixed, 3u);
  EXPECT_THROW(stemloop::dot_plot_svg("GG", probability, "(.)"), stemloop::Error);
}

}  // namespace

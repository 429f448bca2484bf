// The dot plot: row i, column j holds the pair (i, j); probabilities above the diagonal,
// the given structure below it.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "drawing/svg_text.hpp"
#include "stemloop/drawing.hpp"
#include "stemloop/error.hpp"
#include "stemloop/pair_table.hpp"

namespace stemloop {
namespace {

constexpr double kPlotPixels = 640.0;  // the matrix fits this, within the cell limits
constexpr double kMinCell = 1.0;
constexpr double kMaxCell = 12.0;
constexpr double kLetterCell = 7.0;  // cells at least this wide carry sequence letters
constexpr double kAxis = 40.0;       // room for the position numbers and letters
constexpr double kNumberGap = 24.0;  // least pixels between two position numbers
constexpr double kTitleHeight = 24.0;
constexpr double kScaleWidth = 120.0;  // right of the matrix: scale and legend

const char kStyle[] =
    "<style>\n"
    ".frame{fill:none;stroke:#444;stroke-width:1}.diagonal{stroke:#aaa;stroke-width:0.5}\n"
    ".prob{fill:#1f3b73}.fixed{fill:#c0392b}\n"
    ".axis{font-size:9px;text-anchor:middle;dominant-baseline:central}\n"
    ".title{font-size:13px}.legend{font-size:9px;dominant-baseline:central}\n"
    "</style>\n"
    "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";

std::string square(const char* kind, double cx, double cy, double side) {
  return std::string("<rect class=\"") + kind + "\" x=\"" + svg_number(cx - side / 2) + "\" y=\"" +
         svg_number(cy - side / 2) + "\" width=\"" + svg_number(side) + "\" height=\"" +
         svg_number(side) + "\"/>\n";
}

}  // namespace

std::string dot_plot_svg(const std::string& sequence, const ProbabilityOfPair& probability,
                         const std::string& structure, const std::string& title, double cutoff,
                         const std::string& structure_label) {
  if (sequence.size() != structure.size())
    throw Error("dot_plot_svg: sequence and structure have unequal length");
  const PairTable table = make_pair_table(structure);
  const int n = table[0];
  const double cell = std::clamp(kPlotPixels / std::max(n, 1), kMinCell, kMaxCell);
  const double left = kAxis;
  const double top = kTitleHeight + kAxis;
  const double size = cell * n;
  const auto centre = [&](int k) { return (k - 0.5) * cell; };

  const double width = std::max(left + size + kScaleWidth, 16 + text_width(title, 13.0));
  std::string svg = svg_open(width, top + size + kAxis, title) + kStyle;
  svg += "<text class=\"title\" x=\"8\" y=\"16\">" + svg_escape(title) + "</text>\n";
  svg += "<rect class=\"frame\" x=\"" + svg_number(left) + "\" y=\"" + svg_number(top) +
         "\" width=\"" + svg_number(size) + "\" height=\"" + svg_number(size) + "\"/>\n";
  svg += "<line class=\"diagonal\" x1=\"" + svg_number(left) + "\" y1=\"" + svg_number(top) +
         "\" x2=\"" + svg_number(left + size) + "\" y2=\"" + svg_number(top + size) + "\"/>\n";
  // Position numbers along both axes, as often as they fit; the sequence letters too
  // where cells are wide enough.
  int every = 1;
  for (int step : {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000}) {
    every = step;
    if (step * cell >= kNumberGap) break;
  }
  const auto label_at = [&](int k, const std::string& label, double offset) {
    return "<text class=\"axis\" x=\"" + svg_number(left + centre(k)) + "\" y=\"" +
           svg_number(top - offset) + "\">" + label + "</text><text class=\"axis\" x=\"" +
           svg_number(left - offset - 4) + "\" y=\"" + svg_number(top + centre(k)) + "\">" + label +
           "</text>\n";
  };
  for (int k = 1; k <= n; k++) {
    if (cell >= kLetterCell)
      svg += label_at(k, svg_escape(sequence.substr(static_cast<size_t>(k - 1), 1)), 8);
    if (k == 1 || k % every == 0) svg += label_at(k, std::to_string(k), 24);
  }
  // Above the diagonal: side proportional to the square root, so area follows p.
  for (int i = 1; i <= n; i++) {
    for (int j = i + 1; j <= n; j++) {
      const double p = probability(i, j);
      if (!(p >= cutoff)) continue;
      svg += square("prob", left + centre(j), top + centre(i), cell * std::sqrt(std::min(p, 1.0)));
    }
  }
  for (int i = 1; i <= n; i++) {
    const int j = table[static_cast<size_t>(i)];
    if (j > i) svg += square("fixed", left + centre(i), top + centre(j), cell);
  }
  // The scale: squares of probability 1, 0.5 and 0.1 at the largest cell size.
  double y = top + 8;
  for (const char* p : {"1", "0.5", "0.1"}) {
    svg += square("prob", left + size + 20, y, kMaxCell * std::sqrt(std::atof(p)));
    svg += "<text class=\"legend\" x=\"" + svg_number(left + size + 32) + "\" y=\"" +
           svg_number(y) + "\">p = " + p + "</text>\n";
    y += 20;
  }
  svg += square("fixed key", left + size + 20, y, kMaxCell);
  svg += "<text class=\"legend\" x=\"" + svg_number(left + size + 32) + "\" y=\"" + svg_number(y) +
         "\">" + svg_escape(structure_label) + "</text>\n";
  return svg + "</svg>\n";
}

}  // namespace stemloop

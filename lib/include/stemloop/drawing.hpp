// Pictures of a secondary structure: a planar layout of its bases and a self-contained
// SVG drawing. Pure functions of their arguments, safe to call from any thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "stemloop/export.h"
#include "stemloop/pair_table.hpp"

STEMLOOP_API_BEGIN
namespace stemloop {

// Layout units: consecutive bases along a helix strand or a loop are one backbone step
// apart; the two bases of a pair are kPairWidth apart.
constexpr double kPairWidth = 1.0;

struct Point {
  double x = 0.0;
  double y = 0.0;  // y grows upwards
};

enum class DrawingStyle {
  Radial,  // helices as ladders, loops as circles, the exterior loop open along a line
  Arcs,    // bases on a line, each pair an arc above it (for very long records)
};

struct Layout {
  std::vector<Point> bases;  // bases[k] is the centre of position k + 1
  // Places where the picture still breaks the rules below after overlap removal gave up:
  // two base centres closer than half a step, or two crossing backbone or pair segments
  // that share no base. 0 for every drawing seen so far; kept so callers can tell.
  int faults = 0;
};

// Lays out a properly nested pair table (entry 0 = n). Radial layouts move loops apart
// until no two base centres are closer than 0.7 steps and every two segments that share
// no base stay 0.3 steps apart. Throws Error for a table that is not properly nested.
Layout layout_structure(const PairTable& table, DrawingStyle style = DrawingStyle::Radial);

// Counts the places where two base centres are closer than `min_distance` or two
// segments (backbone steps and pairs) that share no base are closer than `clearance`
// (0: only crossings count). Points are in the layout's units.
int count_layout_faults(const std::vector<Point>& bases, const PairTable& table,
                        double min_distance, double clearance);

struct DrawingOptions {
  DrawingStyle style = DrawingStyle::Radial;
  std::string title;  // shown above the drawing, e.g. the record name; may be empty
  // Empty, or one value in [0, 1] per base (for example the probability of the base's
  // state in the ensemble): colours the bases on a scale instead of by loop kind.
  std::vector<double> base_values;
  // Empty, or one value in [0, 1] per pair, pairs ordered by their 5' base (for example
  // pair probabilities): colours the pair lines on the same scale.
  std::vector<double> pair_values;
  std::string scale_label;  // what the values are, written beside the scale
};

// The SVG picture of `structure` (dot-bracket, '(' and ')' pair) over `sequence`: the
// backbone, a line per pair, one circle per base carrying data-pos (1-based position),
// data-partner (partner position, 0 when unpaired) and its centre in cx/cy, the letters,
// every tenth position numbered, 5' and 3' marked, bases coloured by loop kind; G-U
// pairs are drawn dashed, apart from Watson-Crick pairs. The picture is wide enough
// for the whole title.
// Throws Error for unequal lengths, unbalanced brackets or value vectors of the wrong size.
std::string structure_svg(const std::string& sequence, const std::string& structure,
                          const DrawingOptions& options = {});

// Pair probabilities by 1-based positions i < j, each in [0, 1].
using ProbabilityOfPair = std::function<double(int i, int j)>;

// The dot plot of an ensemble: above the diagonal a square per pair (i, j) whose area is
// proportional to its probability (pairs below `cutoff` left out), below it a full
// square per pair of `structure` (e.g. the MFE or MEA structure), the sequence along
// both axes (with position numbers at any length), a scale of areas and a legend naming
// the structure's squares `structure_label`. Throws Error for unequal lengths or
// unbalanced brackets.
std::string dot_plot_svg(const std::string& sequence, const ProbabilityOfPair& probability,
                         const std::string& structure, const std::string& title = "",
                         double cutoff = 1e-5,
                         const std::string& structure_label = "MFE structure");

}  // namespace stemloop
STEMLOOP_API_END

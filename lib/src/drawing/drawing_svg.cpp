// The SVG picture of a structure: layout units become pixels, y turns downwards.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "drawing/drawing_tree.hpp"
#include "drawing/svg_text.hpp"
#include "stemloop/drawing.hpp"
#include "stemloop/error.hpp"

namespace stemloop {
namespace {

constexpr double kScale = 16.0;        // pixels per backbone step
constexpr double kMargin = 2.5;        // steps around the drawing, room for labels
constexpr double kTitleHeight = 44.0;  // pixels above the drawing: title, then legend
constexpr double kBaseRadius = 0.34;   // steps
constexpr int kNumberEvery = 10;
constexpr double kTitleFont = 13.0;  // pixels

size_t at(int k) { return static_cast<size_t>(k); }

const char* kind_class(DrawnKind kind) {
  switch (kind) {
    case DrawnKind::Hairpin:
      return "hairpin";
    case DrawnKind::Interior:
      return "interior";
    case DrawnKind::Multiloop:
      return "multiloop";
    case DrawnKind::Exterior:
      break;
  }
  return "exterior";
}

const char kStyle[] =
    "<style>\n"
    ".backbone{fill:none;stroke:#666;stroke-width:1.5}\n"
    ".pair{fill:none;stroke:#2b4a80;stroke-width:2}.gu{stroke-dasharray:2 2}\n"
    ".base{stroke:#333;stroke-width:0.8}\n"
    ".stem{fill:#a6cee3}.hairpin{fill:#fb9a99}.interior{fill:#fdbf6f}"
    ".multiloop{fill:#b2df8a}.exterior{fill:#d9d9d9}\n"
    ".letter{font-size:9px;text-anchor:middle;dominant-baseline:central;pointer-events:none}\n"
    ".number{font-size:8px;fill:#444;text-anchor:middle;dominant-baseline:central}\n"
    ".tick{stroke:#888;stroke-width:0.8}\n"
    ".end{font-size:10px;font-weight:bold;text-anchor:middle;dominant-baseline:central}\n"
    ".title{font-size:13px}.legend{font-size:9px;dominant-baseline:central}\n"
    "</style>\n"
    "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";

Point unit(Point v, Point fallback) {
  const double norm = std::hypot(v.x, v.y);
  return norm < 1e-9 ? fallback : Point{v.x / norm, v.y / norm};
}

// Where labels of base k go: away from its neighbours along the backbone and its partner.
Point outward(const std::vector<Point>& p, const PairTable& table, int k, DrawingStyle style) {
  const Point down{0.0, -1.0};
  if (style == DrawingStyle::Arcs) return down;
  const int n = table[0];
  Point sum{0.0, 0.0};
  const auto push = [&](int other) {
    const Point d = unit(Point{p[at(k)].x - p[at(other)].x, p[at(k)].y - p[at(other)].y}, down);
    sum = Point{sum.x + d.x, sum.y + d.y};
  };
  if (k > 0) push(k - 1);
  if (k + 1 < n) push(k + 1);
  if (table[at(k + 1)] != 0) push(table[at(k + 1)] - 1);
  return unit(sum, down);
}

// A free spot for the number of base k: along `d` or turned from it, the first that
// keeps clear of every base.
Point label_spot(const std::vector<Point>& p, int k, Point d) {
  const Point at_base = p[at(k)];
  for (double reach : {1.35, 2.0}) {
    for (int turn = 0; turn <= 12; turn++) {
      // 0, +1, -1, +2, -2, ... steps of 0.45 radians on either side
      const int step = (turn % 2 == 0 ? 1 : -1) * ((turn + 1) / 2);
      const double angle = step * 0.45;
      const Point r{d.x * std::cos(angle) - d.y * std::sin(angle),
                    d.x * std::sin(angle) + d.y * std::cos(angle)};
      const Point spot{at_base.x + r.x * reach, at_base.y + r.y * reach};
      bool clear = true;
      for (const Point& q : p) {
        if (std::hypot(q.x - spot.x, q.y - spot.y) < 0.85) {
          clear = false;
          break;
        }
      }
      if (clear) return spot;
    }
  }
  return Point{at_base.x + d.x * 1.35, at_base.y + d.y * 1.35};
}

class SvgPicture {
 public:
  SvgPicture(const std::vector<Point>& bases, bool has_title, double least_width) {
    double min_x = 0, max_x = 0, min_y = 0, max_y = 0;
    for (size_t k = 0; k < bases.size(); k++) {
      min_x = k == 0 ? bases[k].x : std::min(min_x, bases[k].x);
      max_x = k == 0 ? bases[k].x : std::max(max_x, bases[k].x);
      min_y = k == 0 ? bases[k].y : std::min(min_y, bases[k].y);
      max_y = k == 0 ? bases[k].y : std::max(max_y, bases[k].y);
    }
    left_ = min_x - kMargin;
    top_ = max_y + kMargin;
    offset_ = has_title ? kTitleHeight : 0.0;
    width_ = std::max((max_x - min_x + 2 * kMargin) * kScale, least_width);
    height_ = (max_y - min_y + 2 * kMargin) * kScale + offset_;
  }
  std::string x(double u) const { return svg_number((u - left_) * kScale); }
  std::string y(double v) const { return svg_number((top_ - v) * kScale + offset_); }
  std::string at_point(const char* xa, const char* ya, Point p) const {
    return std::string(" ") + xa + "=\"" + x(p.x) + "\" " + ya + "=\"" + y(p.y) + "\"";
  }
  double width() const { return width_; }
  double height() const { return height_; }

 private:
  double left_ = 0, top_ = 0, offset_ = 0, width_ = 0, height_ = 0;
};

// Whether bases k and l (1-based) form a G-U pair.
bool wobble(const std::string& sequence, int k, int l) {
  const auto letter = [&](int at) {
    const char c = static_cast<char>(
        std::toupper(static_cast<unsigned char>(sequence[static_cast<size_t>(at - 1)])));
    return c == 'T' ? 'U' : c;
  };
  const char a = letter(k);
  const char b = letter(l);
  return (a == 'G' && b == 'U') || (a == 'U' && b == 'G');
}

void check_values(const std::vector<double>& values, size_t expected, const char* what) {
  if (!values.empty() && values.size() != expected) {
    throw Error(std::string("structure_svg: ") + what + " has " + std::to_string(values.size()) +
                " values for " + std::to_string(expected));
  }
}

}  // namespace

std::string structure_svg(const std::string& sequence, const std::string& structure,
                          const DrawingOptions& options) {
  if (sequence.size() != structure.size())
    throw Error("structure_svg: sequence and structure have unequal length");
  const PairTable table = make_pair_table(structure);
  const int n = table[0];
  int pairs = 0;
  for (int k = 1; k <= n; k++) pairs += table[at(k)] > k;
  check_values(options.base_values, at(n), "base_values");
  check_values(options.pair_values, at(pairs), "pair_values");
  const DrawTree tree = build_draw_tree(table);
  const std::vector<Point> p = layout_structure(table, options.style).bases;
  const bool arcs = options.style == DrawingStyle::Arcs;

  // Arcs rise above the line: the picture must hold the widest.
  std::vector<Point> extent = p;
  for (int k = 1; arcs && k <= n; k++)
    if (table[at(k)] > k) extent.push_back(Point{p[at(k - 1)].x, (table[at(k)] - k) / 2.0});
  const SvgPicture pic(extent, true, std::max(380.0, 16 + text_width(options.title, kTitleFont)));

  std::string svg = svg_open(pic.width(), pic.height(), options.title) + kStyle;
  svg += "<text class=\"title\" x=\"8\" y=\"16\">" + svg_escape(options.title) + "</text>\n";
  if (options.base_values.empty()) {
    double lx = 12.0;
    for (const char* kind : {"stem", "hairpin", "interior", "multiloop", "exterior"}) {
      svg += "<circle class=\"" + std::string(kind) + "\" cx=\"" + svg_number(lx) +
             "\" cy=\"32\" r=\"4\"/><text class=\"legend\" x=\"" + svg_number(lx + 7) +
             "\" y=\"32\">" + kind + "</text>\n";
      lx += 62.0;
    }
    svg += "<line class=\"pair gu key\" x1=\"" + svg_number(lx - 4) + "\" y1=\"32\" x2=\"" +
           svg_number(lx + 8) + "\" y2=\"32\"/><text class=\"legend\" x=\"" + svg_number(lx + 12) +
           "\" y=\"32\">G-U pair</text>\n";
  } else {
    svg += "<text class=\"legend\" x=\"8\" y=\"32\">0</text>";
    for (int s = 0; s < 20; s++) {
      svg += "<rect x=\"" + svg_number(16 + s * 5.0) + "\" y=\"27\" width=\"5\" " +
             "height=\"10\" fill=\"" + scale_colour(s / 19.0) + "\"/>";
    }
    svg += "<text class=\"legend\" x=\"" + svg_number(120) + "\" y=\"32\">1</text>";
    svg += "<text class=\"legend\" x=\"" + svg_number(134) + "\" y=\"32\">" +
           svg_escape(options.scale_label) + "</text>\n";
  }

  if (n > 1 && !arcs) {
    svg += "<path class=\"backbone\" d=\"M";
    for (int k = 0; k < n; k++) svg += (k ? " " : "") + pic.x(p[at(k)].x) + " " + pic.y(p[at(k)].y);
    svg += "\"/>\n";
  } else if (n > 1) {
    svg += "<path class=\"backbone\" d=\"M" + pic.x(p[0].x) + " " + pic.y(0) + " H" +
           pic.x(p[at(n - 1)].x) + "\"/>\n";
  }
  int pair_index = 0;
  for (int k = 1; k <= n; k++) {
    const int partner = table[at(k)];
    if (partner <= k) continue;
    const std::string colour =
        options.pair_values.empty()
            ? ""
            : " style=\"stroke:" + scale_colour(options.pair_values[at(pair_index)]) + "\"";
    pair_index++;
    const Point a = p[at(k - 1)];
    const Point b = p[at(partner - 1)];
    const std::string gu = wobble(sequence, k, partner) ? " gu" : "";
    if (arcs) {
      const std::string r = svg_number((b.x - a.x) / 2 * kScale);
      svg += "<path class=\"pair" + gu + "\"" + colour + " d=\"M" + pic.x(a.x) + " " + pic.y(a.y) +
             " A" + r + " " + r + " 0 0 1 " + pic.x(b.x) + " " + pic.y(b.y) + "\"/>\n";
    } else {
      svg += "<line class=\"pair" + gu + "\"" + colour + pic.at_point("x1", "y1", a) +
             pic.at_point("x2", "y2", b) + "/>\n";
    }
  }
  for (int k = 0; k < n; k++) {
    const int partner = table[at(k + 1)];
    const std::string kind =
        partner ? "stem" : kind_class(tree.loops[at(tree.base[at(k)].loop)].kind);
    const std::string fill =
        options.base_values.empty()
            ? ""
            : " style=\"fill:" + scale_colour(options.base_values[at(k)]) + "\"";
    svg += "<circle class=\"base " + kind + "\"" + fill + " data-pos=\"" + std::to_string(k + 1) +
           "\" data-partner=\"" + std::to_string(partner) + "\"" +
           pic.at_point("cx", "cy", p[at(k)]) + " r=\"" + svg_number(kBaseRadius * kScale) +
           "\"/>\n";
  }
  for (int k = 0; k < n; k++) {
    svg += "<text class=\"letter\"" + pic.at_point("x", "y", p[at(k)]) + ">" +
           svg_escape(sequence.substr(at(k), 1)) + "</text>\n";
  }
  for (int k = kNumberEvery - 1; k < n; k += kNumberEvery) {
    const Point d = outward(p, table, k, options.style);
    const Point spot = label_spot(p, k, d);
    const Point towards = unit(Point{spot.x - p[at(k)].x, spot.y - p[at(k)].y}, d);
    const auto tick = [&](double s) {
      return Point{p[at(k)].x + towards.x * s, p[at(k)].y + towards.y * s};
    };
    svg += "<line class=\"tick\"" + pic.at_point("x1", "y1", tick(0.42)) +
           pic.at_point("x2", "y2", tick(0.7)) + "/><text class=\"number\"" +
           pic.at_point("x", "y", spot) + ">" + std::to_string(k + 1) + "</text>\n";
  }
  if (n > 0) {
    const Point left{-1.0, 0.0};
    const Point right{1.0, 0.0};
    const Point five = arcs || n == 1 ? left : unit(Point{p[0].x - p[1].x, p[0].y - p[1].y}, left);
    const Point three =
        arcs || n == 1
            ? right
            : unit(Point{p[at(n - 1)].x - p[at(n - 2)].x, p[at(n - 1)].y - p[at(n - 2)].y}, right);
    svg += "<text class=\"end\"" +
           pic.at_point("x", "y", Point{p[0].x + five.x * 1.1, p[0].y + five.y * 1.1}) +
           ">5'</text>\n<text class=\"end\"" +
           pic.at_point("x", "y",
                        Point{p[at(n - 1)].x + three.x * 1.1, p[at(n - 1)].y + three.y * 1.1}) +
           ">3'</text>\n";
  }
  return svg + "</svg>\n";
}

}  // namespace stemloop

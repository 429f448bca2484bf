// Small pieces of SVG text shared by the drawings: numbers, escaped text, colour scales.
#pragma once

#include <string>

namespace stemloop {

// A coordinate or size with two decimals, '.' as the decimal point.
std::string svg_number(double value);

// Text with the XML special characters escaped and control characters dropped.
std::string svg_escape(const std::string& text);

// "#rrggbb" on a blue - pale yellow - red scale for a value in [0, 1] (clamped).
std::string scale_colour(double value);

// A width in pixels that holds `text` in a font of `size` pixels.
double text_width(const std::string& text, double size);

// The opening <svg> tag of a picture of the given size in pixels, with its title.
std::string svg_open(double width, double height, const std::string& title);

}  // namespace stemloop

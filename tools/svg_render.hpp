// Turns an SVG picture into PNG or PDF bytes with librsvg and cairo.
#pragma once

#include <string>

namespace stemloop_tools {

enum class DrawingFormat { Svg, Png, Pdf };

// The file name extension of a format, without the dot.
const char* extension_of(DrawingFormat format);

// The picture in the format (SVG: unchanged). Returns false, with what went wrong in
// `bytes`, when the picture cannot be rendered.
bool render_svg(const std::string& svg, DrawingFormat format, std::string& bytes);

}  // namespace stemloop_tools

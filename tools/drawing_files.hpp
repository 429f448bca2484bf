// The drawings of --svg DIR: one file per record (SVG, PNG or PDF), named after the record so that
// any name gives a usable and distinct file name.
#pragma once

#include <set>
#include <string>
#include <utility>

#include "svg_render.hpp"

namespace stemloop_tools {

// Letters, digits, '.', '_' and '-' stay, runs of other characters become one '_', no
// leading '.' or '-', at most 100 characters; "record" when nothing is left.
std::string safe_file_name(const std::string& name);

class DrawingFiles {
 public:
  explicit DrawingFiles(std::string dir, DrawingFormat format = DrawingFormat::Svg)
      : dir_(std::move(dir)), format_(format) {}

  // Creates the folder when it is missing; returns what is wrong, or an empty string.
  static std::string prepare(const std::string& dir);

  // Writes DIR/NAME.svg (NAME_2.svg, ... for a name used before; .png or .pdf in those
  // formats) through a temporary file renamed into place, so a file is never half
  // written. Returns what is wrong.
  std::string write(const std::string& name, const std::string& svg);

 private:
  std::string dir_;
  DrawingFormat format_;
  std::set<std::string> used_;
};

}  // namespace stemloop_tools

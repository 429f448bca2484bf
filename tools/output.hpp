// The three output formats: text (as the classic program prints), tab-separated values
// under a header, and JSON Lines. Each record becomes one string, ready to write.
#pragma once

#include <string>

#include "options.hpp"
#include "records.hpp"
#include "stemloop/evaluate.hpp"

namespace stemloop_tools {

// A JSON string literal: quotes, backslashes and control characters escaped, bytes that
// are not UTF-8 replaced by U+FFFD so the line always parses.
std::string json_string(const std::string& text);

// " ( -1.20)": the energy as the text format prints it after a structure.
std::string energy_suffix(int energy);

class Writer {
 public:
  Writer(Program program, const ToolOptions& options);

  // Printed once before the first record (the tsv header), maybe empty.
  std::string header() const;
  std::string folded(const RecordId& id, const std::string& sequence, const std::string& structure,
                     int energy) const;
  std::string evaluated(const RecordId& id, const std::string& sequence,
                        const std::string& structure, const stemloop::Evaluation& eval) const;

 private:
  std::string record(const RecordId& id, const std::string& sequence, const std::string& structure,
                     int energy, const std::string& loops) const;
  std::string loops_text(const stemloop::Evaluation& eval) const;

  Program program_;
  Format format_;
  bool verbose_;
  std::string options_json_;  // the "options" object of every JSON line
};

}  // namespace stemloop_tools

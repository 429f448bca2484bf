// The output formats: text (as the classic program prints), tab-separated values under
// a header, JSON Lines, and for folds CT and BPSEQ. Each record becomes one string, ready
// to write.
#pragma once

#include <string>
#include <vector>

#include "options.hpp"
#include "stemloop/ensemble.hpp"
#include "stemloop/evaluate.hpp"
#include "stemloop/records.hpp"

namespace stemloop_tools {

// A JSON string literal: quotes, backslashes and control characters escaped, bytes that
// are not UTF-8 replaced by U+FFFD so the line always parses.
std::string json_string(const std::string& text);

// " ( -1.20)": the energy as the text format prints it after a structure.
std::string energy_suffix(int energy);

// What -p adds to a folded record.
struct EnsembleReport {
  double energy = 0.0;  // ensemble free energy, kcal/mol
  double mfe_probability = 0.0;
  double diversity = 0.0;
  stemloop::MeaStructure mea;
  std::string centroid;
  std::vector<stemloop::PairProbability> pairs;  // listed in JSON only
  std::vector<std::string> samples;
};

// What -p adds to an evaluated record.
struct StructureReport {
  double probability = 0.0;
  double ensemble_defect = 0.0;
};

// The pair probabilities of one record as --bpp writes them: a "# name length" line,
// then "i j p" per pair.
std::string pairs_listing(const stemloop::RecordId& id, size_t length,
                          const std::vector<stemloop::PairProbability>& pairs);

class Writer {
 public:
  Writer(Program program, const ToolOptions& options);

  // Printed once before the first record (the tsv header), maybe empty.
  std::string header() const;
  // `warnings` go into the JSON "warnings" list; the other formats leave them to the
  // messages on standard error.
  std::string folded(const stemloop::RecordId& id, const std::string& sequence,
                     const std::string& structure, int energy,
                     const EnsembleReport* ensemble = nullptr,
                     const std::vector<std::string>& warnings = {}) const;
  std::string evaluated(const stemloop::RecordId& id, const std::string& sequence,
                        const std::string& structure, const stemloop::Evaluation& eval,
                        const StructureReport* ensemble = nullptr,
                        const std::vector<std::string>& warnings = {}) const;

  // A record of several structures, written piece by piece so that a long list can stream:
  // the opening, then one entry per structure (`first` for the first), then the close.
  // Text lists the structures under the sequence, tsv gives each its own row, JSON the
  // record's "subopt" array of {"structure", "energy"} (and the "warnings" after it), CT
  // and BPSEQ one block per structure.
  std::string structures_begin(const stemloop::RecordId& id, const std::string& sequence) const;
  std::string structure_entry(const stemloop::RecordId& id, const std::string& sequence,
                              const std::string& structure, int energy, bool first) const;
  std::string structures_end(const std::vector<std::string>& warnings = {}) const;

 private:
  std::string record(const stemloop::RecordId& id, const std::string& sequence,
                     const std::string& structure, int energy, const std::string& loops,
                     const std::string& extra, const std::vector<std::string>& warnings) const;
  std::string pair_list(const stemloop::RecordId& id, const std::string& sequence,
                        const std::string& structure, int energy) const;
  std::string ensemble_text(const EnsembleReport& report) const;
  std::string structure_text(const StructureReport& report) const;
  std::string loops_text(const stemloop::Evaluation& eval) const;

  Program program_;
  Format format_;
  bool verbose_;
  bool ensemble_;
  bool samples_;
  std::string options_json_;     // the "options" object of every JSON line
  std::string parameters_json_;  // the name of the parameter set, as a JSON string
};

}  // namespace stemloop_tools

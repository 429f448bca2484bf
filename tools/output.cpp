#include "output.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "stemloop/energy_params.hpp"
#include "stemloop/pair_table.hpp"
#include "stemloop/utf8.hpp"

namespace stemloop_tools {
namespace {

// kcal/mol with two decimals, of the same float the text format prints.
std::string kcal(int energy) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", static_cast<double>(stemloop::energy_to_kcal(energy)));
  return text;
}

// Tabs and line breaks inside a field would break the columns.
std::string tsv_field(const std::string& text) {
  std::string field = text;
  for (char& c : field)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return field;
}

// Shortest decimal text that reads back as the same double.
std::string json_number(double value) {
  char text[40];
  for (int digits = 6; digits <= 17; digits++) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  return text;
}

// Probabilities and ensemble energies: ten significant digits.
std::string precise(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

const char* json_bool(bool value) { return value ? "true" : "false"; }

// ["a","b"]: a list of JSON strings.
std::string json_list(const std::vector<std::string>& items) {
  std::string list = "[";
  for (size_t k = 0; k < items.size(); k++) list += (k ? "," : "") + json_string(items[k]);
  return list + "]";
}

// "GAAG" -> "GA,AG".
std::string pairs_text(const std::string& nonstandards) {
  std::string text;
  for (size_t k = 0; k + 1 < nonstandards.size(); k += 2) {
    if (!text.empty()) text += ',';
    text += nonstandards.substr(k, 2);
  }
  return text;
}

std::string options_object(Program program, const ToolOptions& opts) {
  const bool fold = program == Program::Fold;
  std::string json = "{\"temperature\":" + json_number(opts.model.temperature);
  json += ",\"dangles\":" + std::to_string(fold ? opts.fold.dangles : opts.eval.dangles);
  if (fold) json += std::string(",\"noLP\":") + json_bool(opts.fold.noLonelyPairs);
  json += std::string(",\"noGU\":") + json_bool(opts.model.alphabet.noGU);
  if (fold) json += std::string(",\"noClosingGU\":") + json_bool(opts.fold.no_closingGU);
  json += std::string(",\"noTetra\":") + json_bool(!opts.fold.tetra_loop);
  json += ",\"nsp\":" + json_string(pairs_text(opts.model.alphabet.nonstandards));
  json += ",\"energy_set\":" + std::to_string(opts.model.alphabet.energy_set);
  if (fold) json += std::string(",\"constraint\":") + json_bool(opts.constraint);
  if (fold && opts.subopt) {
    json += ",\"subopt\":" + kcal(opts.band.delta) + std::string(",\"sorted\":") +
            json_bool(opts.band.sorted) + ",\"max\":" +
            (opts.band.max_structures != 0 ? std::to_string(opts.band.max_structures) : "null");
  }
  if (fold && opts.zuker) {
    json += ",\"zuker\":" + std::to_string(opts.zuker_options.max_structures) +
            ",\"window\":" + std::to_string(opts.zuker_options.window) +
            ",\"percent\":" + json_number(opts.zuker_options.percent);
  }
  if (!fold) json += std::string(",\"logML\":") + json_bool(opts.eval.logML);
  if (fold)
    json += std::string(",\"enforce_constraints\":") + json_bool(opts.fold.enforce_constraints);
  json += std::string(",\"partition\":") + json_bool(opts.ensemble);
  return json + "}";
}

std::string pair_text(int i, int j) {
  if (i == 0 && j == 0) return "-";
  return "(" + std::to_string(i) + "," + std::to_string(j) + ")";
}

}  // namespace

std::string json_string(const std::string& text) {
  std::string json = "\"";
  for (size_t k = 0; k < text.size();) {
    const auto c = static_cast<unsigned char>(text[k]);
    if (c >= 0x80) {
      const size_t length = stemloop::utf8_length(text, k);
      if (length == 0) {
        json += "\\ufffd";
        k++;
      } else {
        json.append(text, k, length);
        k += length;
      }
      continue;
    }
    k++;
    switch (c) {
      case '"':
        json += "\\\"";
        break;
      case '\\':
        json += "\\\\";
        break;
      case '\n':
        json += "\\n";
        break;
      case '\r':
        json += "\\r";
        break;
      case '\t':
        json += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          json += escaped;
        } else {
          json += static_cast<char>(c);
        }
    }
  }
  return json + "\"";
}

std::string energy_suffix(int energy) {
  char text[32];
  std::snprintf(text, sizeof text, " (%6.2f)",
                static_cast<double>(stemloop::energy_to_kcal(energy)));
  return text;
}

Writer::Writer(Program program, const ToolOptions& options)
    : program_(program),
      format_(options.format),
      verbose_(options.verbose && program == Program::Eval),
      ensemble_(options.ensemble),
      samples_(options.ensemble && options.samples > 0 && program == Program::Fold),
      options_json_(options_object(program, options)),
      parameters_json_(json_string(options.model.parameters ? options.model.parameters->name
                                                            : stemloop::turner1999()->name)) {}

std::string Writer::header() const {
  if (format_ != Format::Tsv) return {};
  std::string line = "name\tsequence\tstructure\tenergy";
  if (verbose_) line += "\tloops";
  if (ensemble_ && program_ == Program::Fold) {
    line +=
        "\tensemble_energy\tmfe_probability\tdiversity\tmea\tmea_gamma"
        "\tmea_expected_accuracy\tcentroid";
    if (samples_) line += "\tsamples";
  } else if (ensemble_) {
    line += "\tprobability\tensemble_defect";
  }
  return line + '\n';
}

std::string Writer::folded(const stemloop::RecordId& id, const std::string& sequence,
                           const std::string& structure, int energy, const EnsembleReport* ensemble,
                           const std::vector<std::string>& warnings) const {
  return record(id, sequence, structure, energy, {}, ensemble ? ensemble_text(*ensemble) : "",
                warnings);
}

std::string Writer::evaluated(const stemloop::RecordId& id, const std::string& sequence,
                              const std::string& structure, const stemloop::Evaluation& eval,
                              const StructureReport* ensemble,
                              const std::vector<std::string>& warnings) const {
  return record(id, sequence, structure, eval.energy, verbose_ ? loops_text(eval) : "",
                ensemble ? structure_text(*ensemble) : "", warnings);
}

// CT: "N  ENERGY = E  name", then per base its index, letter, neighbours, partner and
// index again. BPSEQ: "# name", then per base its index, letter and partner.
std::string Writer::pair_list(const stemloop::RecordId& id, const std::string& sequence,
                              const std::string& structure, int energy) const {
  const stemloop::PairTable table = stemloop::make_pair_table(structure);
  const int n = static_cast<int>(sequence.size());
  std::string text;
  char line[96];
  if (format_ == Format::Ct) {
    text = std::to_string(n) + "  ENERGY = " + kcal(energy);
    text += (id.named ? "  " + tsv_field(id.name) : "") + "\n";
  } else if (id.named) {
    text = "# " + tsv_field(id.name) + "\n";
  }
  for (int k = 1; k <= n; k++) {
    const char base = sequence[static_cast<size_t>(k - 1)];
    const int partner = table[static_cast<size_t>(k)];
    if (format_ == Format::Ct) {
      std::snprintf(line, sizeof line, "%5d %c %5d %5d %5d %5d\n", k, base, k - 1,
                    k == n ? 0 : k + 1, partner, k);
    } else {
      std::snprintf(line, sizeof line, "%d %c %d\n", k, base, partner);
    }
    text += line;
  }
  return text;
}

std::string Writer::record(const stemloop::RecordId& id, const std::string& sequence,
                           const std::string& structure, int energy, const std::string& loops,
                           const std::string& extra,
                           const std::vector<std::string>& warnings) const {
  switch (format_) {
    case Format::Ct:
    case Format::Bpseq:
      return pair_list(id, sequence, structure, energy);
    case Format::Tsv: {
      std::string line =
          tsv_field(id.name) + '\t' + sequence + '\t' + structure + '\t' + kcal(energy);
      return line + (verbose_ ? '\t' + loops : "") + extra + '\n';
    }
    case Format::Json: {
      std::string line = "{\"name\":" + (id.named ? json_string(id.name) : "null");
      line += ",\"sequence\":" + json_string(sequence);
      line += ",\"structure\":" + json_string(structure);
      line += ",\"energy\":" + kcal(energy);
      if (verbose_) line += ",\"loops\":" + loops;
      line += extra + ",\"warnings\":" + json_list(warnings);
      return line + ",\"options\":" + options_json_ + ",\"parameters\":" + parameters_json_ + "}\n";
    }
    case Format::Text:
      break;
  }
  std::string text = id.named ? ">" + id.name + "\n" : "";
  return text + sequence + '\n' + structure + energy_suffix(energy) + '\n' + loops + extra;
}

// Text: one line of numbers, then the MEA structure, the centroid and the samples, each
// followed by what it is; tsv: tab-led columns; JSON: keys of the record object.
std::string Writer::ensemble_text(const EnsembleReport& r) const {
  switch (format_) {
    case Format::Tsv: {
      std::string cols = '\t' + precise(r.energy) + '\t' + precise(r.mfe_probability) + '\t' +
                         precise(r.diversity) + '\t' + r.mea.structure + '\t' +
                         precise(r.mea.gamma) + '\t' + precise(r.mea.expected_accuracy) + '\t' +
                         r.centroid;
      if (samples_) {
        cols += '\t';
        for (size_t k = 0; k < r.samples.size(); k++) cols += (k ? ";" : "") + r.samples[k];
      }
      return cols;
    }
    case Format::Json: {
      std::string json = ",\"ensemble_energy\":" + precise(r.energy);
      json += ",\"mfe_probability\":" + precise(r.mfe_probability);
      json += ",\"diversity\":" + precise(r.diversity);
      json += ",\"mea\":{\"structure\":" + json_string(r.mea.structure) +
              ",\"gamma\":" + precise(r.mea.gamma) +
              ",\"expected_accuracy\":" + precise(r.mea.expected_accuracy) + "}";
      json += ",\"centroid\":{\"structure\":" + json_string(r.centroid) + "}";
      json += ",\"pairs\":[";
      for (size_t k = 0; k < r.pairs.size(); k++) {
        const stemloop::PairProbability& p = r.pairs[k];
        json += (k ? ",[" : "[") + std::to_string(p.i) + ',' + std::to_string(p.j) + ',' +
                precise(p.p) + ']';
      }
      json += "]";
      if (samples_) {
        json += ",\"samples\":[";
        for (size_t k = 0; k < r.samples.size(); k++)
          json += (k ? "," : "") + json_string(r.samples[k]);
        json += "]";
      }
      return json;
    }
    case Format::Ct:  // -p is refused with these formats
    case Format::Bpseq:
      return {};
    case Format::Text:
      break;
  }
  char line[200];
  std::snprintf(line, sizeof line,
                "ensemble free energy %.4f kcal/mol, MFE probability %.4g, diversity %.4g\n",
                r.energy, r.mfe_probability, r.diversity);
  std::string text = line;
  std::snprintf(line, sizeof line, " MEA (gamma %g, expected accuracy %.4f)\n", r.mea.gamma,
                r.mea.expected_accuracy);
  text += r.mea.structure + line + r.centroid + " centroid\n";
  for (const std::string& s : r.samples) text += s + " sample\n";
  return text;
}

std::string Writer::structure_text(const StructureReport& r) const {
  switch (format_) {
    case Format::Tsv:
      return '\t' + precise(r.probability) + '\t' + precise(r.ensemble_defect);
    case Format::Json:
      return ",\"probability\":" + precise(r.probability) +
             ",\"ensemble_defect\":" + precise(r.ensemble_defect);
    case Format::Ct:  // folds only, without -p
    case Format::Bpseq:
      return {};
    case Format::Text:
      break;
  }
  char line[120];
  std::snprintf(line, sizeof line, "probability %.4g, ensemble defect %.4f\n", r.probability,
                r.ensemble_defect);
  return line;
}

std::string pairs_listing(const stemloop::RecordId& id, size_t length,
                          const std::vector<stemloop::PairProbability>& pairs) {
  std::string text = "# " + (id.named ? id.name : id.label()) + ' ' + std::to_string(length) + '\n';
  for (const stemloop::PairProbability& p : pairs)
    text += std::to_string(p.i) + ' ' + std::to_string(p.j) + ' ' + precise(p.p) + '\n';
  return text;
}

std::string Writer::structures_begin(const stemloop::RecordId& id,
                                     const std::string& sequence) const {
  switch (format_) {
    case Format::Tsv:
    case Format::Ct:
    case Format::Bpseq:
      return {};
    case Format::Json:
      return "{\"name\":" + (id.named ? json_string(id.name) : "null") +
             ",\"sequence\":" + json_string(sequence) + ",\"subopt\":[";
    case Format::Text:
      break;
  }
  return (id.named ? ">" + id.name + "\n" : "") + sequence + '\n';
}

std::string Writer::structure_entry(const stemloop::RecordId& id, const std::string& sequence,
                                    const std::string& structure, int energy, bool first) const {
  switch (format_) {
    case Format::Tsv:
      return tsv_field(id.name) + '\t' + sequence + '\t' + structure + '\t' + kcal(energy) + '\n';
    case Format::Json:
      return (first ? "" : ",") + std::string("{\"structure\":") + json_string(structure) +
             ",\"energy\":" + kcal(energy) + "}";
    case Format::Ct:
    case Format::Bpseq:
      return pair_list(id, sequence, structure, energy);
    case Format::Text:
      break;
  }
  return structure + energy_suffix(energy) + '\n';
}

std::string Writer::structures_end(const std::vector<std::string>& warnings) const {
  if (format_ != Format::Json) return {};
  return "],\"warnings\":" + json_list(warnings) + ",\"options\":" + options_json_ + "}\n";
}

// Text: one indented line per loop; tsv: kind:closing:inner:energy items joined by ';';
// JSON: an array of loop objects.
std::string Writer::loops_text(const stemloop::Evaluation& eval) const {
  std::string text;
  for (const stemloop::LoopContribution& loop : eval.loops) {
    const char* kind = stemloop::loop_kind_name(loop.kind);
    switch (format_) {
      case Format::Text: {
        char line[160];
        std::snprintf(line, sizeof line, "  %-10s %-14s %-14s %7s\n", kind,
                      pair_text(loop.i, loop.j).c_str(), pair_text(loop.p, loop.q).c_str(),
                      kcal(loop.energy).c_str());
        text += line;
        break;
      }
      case Format::Ct:
      case Format::Bpseq:
        break;
      case Format::Tsv:
        if (!text.empty()) text += ';';
        text += std::string(kind) + ':' + pair_text(loop.i, loop.j) + ':' +
                pair_text(loop.p, loop.q) + ':' + kcal(loop.energy);
        break;
      case Format::Json:
        text += text.empty() ? "[" : ",";
        text += "{\"kind\":\"" + std::string(kind) + "\",\"i\":" + std::to_string(loop.i) +
                ",\"j\":" + std::to_string(loop.j) + ",\"p\":" + std::to_string(loop.p) +
                ",\"q\":" + std::to_string(loop.q) + ",\"energy\":" + kcal(loop.energy) + "}";
        break;
    }
  }
  if (format_ == Format::Json) text = text.empty() ? "[]" : text + "]";
  return text;
}

}  // namespace stemloop_tools

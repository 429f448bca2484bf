#include "app.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "fold_memory.hpp"
#include "stemloop/drawing.hpp"
#include "stemloop/error.hpp"
#include "stemloop/parameter_set.hpp"
#include "stemloop/records.hpp"
#include "stemloop/version.h"

namespace stemloop_tools {
namespace {

// Why `path` cannot be read, or an empty string when it can.
std::string unreadable(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return std::strerror(errno);
  if (S_ISDIR(info.st_mode)) return std::strerror(EISDIR);
  std::ifstream file(path, std::ios::binary);
  if (!file) return errno != 0 ? std::strerror(errno) : "cannot open";
  return {};
}

}  // namespace

std::optional<ToolOptions> start(Program program, const char* name, int argc, char** argv,
                                 int& status) {
  ToolOptions opts;
  try {
    opts = parse_options(program, argc, argv);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "%s: %s (see %s --help)\n", name, e.what(), name);
    status = kExitUsage;
    return std::nullopt;
  }
  if (opts.help) {
    std::fputs(usage(program, name).c_str(), stdout);
    status = kExitOk;
    return std::nullopt;
  }
  // A damaged parameter file stops the program before anything is read or folded.
  try {
    if (!opts.parameters.empty())
      opts.model.parameters = stemloop::load_parameters(opts.parameters);
  } catch (const stemloop::Error& e) {
    std::fprintf(stderr, "%s: %s\n", name, e.what());
    status = kExitUsage;
    return std::nullopt;
  }
  const stemloop::ParameterSet& set =
      opts.model.parameters ? *opts.model.parameters : *stemloop::turner1999();
  if (opts.version) {
    std::printf("%s %s\nparameters: %s (%s)\n", name, STEMLOOP_VERSION, set.name.c_str(),
                set.reference.c_str());
    status = kExitOk;
    return std::nullopt;
  }
  if (opts.workspace_length > 0) {
    std::printf("%zu\n", fold_workspace_bytes(opts.workspace_length, opts));
    status = kExitOk;
    return std::nullopt;
  }
  if (!opts.write_parameters.empty()) {
    std::ofstream file(opts.write_parameters, std::ios::binary);
    if (file) stemloop::write_parameters(file, set);
    if (!file.flush()) {
      std::fprintf(stderr, "%s: cannot write '%s': %s\n", name, opts.write_parameters.c_str(),
                   std::strerror(errno));
      status = kExitUsage;
      return std::nullopt;
    }
    status = kExitOk;
    return std::nullopt;
  }
  for (const std::string* dir : {&opts.svg_dir, &opts.dotplot_dir}) {
    if (dir->empty()) continue;
    const std::string why = DrawingFiles::prepare(*dir);
    if (!why.empty()) {
      std::fprintf(stderr, "%s: cannot use '%s' for drawings: %s\n", name, dir->c_str(),
                   why.c_str());
      status = kExitUsage;
      return std::nullopt;
    }
  }
  for (const std::string& input : opts.inputs) {
    if (input == "-") continue;
    const std::string why = unreadable(input);
    if (!why.empty()) {
      std::fprintf(stderr, "%s: cannot read '%s': %s\n", name, input.c_str(), why.c_str());
      status = kExitUsage;
      return std::nullopt;
    }
  }
  return opts;
}

int for_each_input(const char* name, const std::vector<std::string>& inputs,
                   const std::function<void(std::istream&, const std::string&)>& read) {
  // Every input may be gzip-compressed or start with a byte-order mark.
  const auto decoded = [&](std::istream& source, const std::string& shown,
                           const std::string& input) {
    stemloop::DecodedInput decoder(source);
    std::istream in(&decoder);
    read(in, input);
    if (decoder.error().empty()) return true;
    std::fprintf(stderr, "%s: cannot read %s: %s\n", name, shown.c_str(), decoder.error().c_str());
    return false;
  };
  if (inputs.empty()) return decoded(std::cin, "standard input", "") ? kExitOk : kExitUsage;
  for (const std::string& input : inputs) {
    if (input == "-") {
      if (!decoded(std::cin, "standard input", "")) return kExitUsage;
      continue;
    }
    std::ifstream file(input, std::ios::binary);
    if (!file) {
      std::fprintf(stderr, "%s: cannot read '%s': %s\n", name, input.c_str(), std::strerror(errno));
      return kExitUsage;
    }
    if (!decoded(file, "'" + input + "'", input)) return kExitUsage;
  }
  return kExitOk;
}

std::string drawing_of(const ToolOptions& options, const std::string& label,
                       const std::string& sequence, const std::string& structure, int energy,
                       const stemloop::Ensemble* ensemble) {
  if (options.svg_dir.empty()) return {};
  stemloop::DrawingOptions drawing;
  drawing.style = options.svg_style;
  char figures[80];
  std::snprintf(figures, sizeof figures, "   %zu nt   %.2f kcal/mol", sequence.size(),
                energy / 100.0);
  drawing.title = label + figures;
  if (ensemble != nullptr) {
    for (int k = 1; k <= static_cast<int>(sequence.size()); k++)
      drawing.base_values.push_back(1.0 - ensemble->unpaired(k));
    drawing.scale_label = "probability that the base pairs";
  }
  return stemloop::structure_svg(sequence, structure, drawing);
}

std::string refusal(const char* name, const std::string& label, const std::string& why) {
  return std::string(name) + ": " + label + ": " + why + "\n";
}

bool Reporter::open_pairs_file(const std::string& path) { return output_.open_pairs_file(path); }

void Reporter::write(const std::string& text) { output_.append(text); }

void Reporter::take(Outcome& outcome) {
  for (auto [files, svg] :
       {std::pair{&drawings_, &outcome.drawing}, std::pair{&dot_plots_, &outcome.dot_plot}}) {
    if (svg->empty()) continue;
    std::string why;
    output_.whole(
        [&, files = files, svg = svg] { why = files->write(outcome.drawing_name, *svg); });
    if (!why.empty()) {
      outcome.err += std::string(name_) + ": " + why + "\n";
      write_failed_ = true;
    }
  }
  if (!outcome.err.empty()) {
    progress_.clear();
    output_.flush();  // keeps messages next to their records when both go to a terminal
    std::fputs(outcome.err.c_str(), stderr);
  }
  output_.append_record(outcome.out, outcome.pairs);
  refused_ = refused_ || outcome.refused;
  progress_.record_done();
}

int Reporter::finish(const char* name, int input_status) {
  progress_.clear();
  const bool flushed = output_.flush();
  if (output_.pairs_error() != 0) {
    std::fprintf(stderr, "%s: cannot write the pair probabilities: %s\n", name,
                 std::strerror(output_.pairs_error()));
    return kExitUsage;
  }
  if (!flushed) {
    std::fprintf(stderr, "%s: cannot write the output: %s\n", name,
                 std::strerror(output_.output_error()));
    return kExitUsage;
  }
  if (write_failed_) return kExitUsage;
  if (input_status != kExitOk) return input_status;
  return refused_ ? kExitBadRecord : kExitOk;
}

}  // namespace stemloop_tools

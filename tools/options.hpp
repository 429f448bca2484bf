// Command-line options shared by the programs: parsed into the engine's option structs.
// A bad option or value throws UsageError, which the programs turn into exit status 2.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "stemloop/drawing.hpp"
#include "stemloop/ensemble.hpp"
#include "stemloop/evaluate.hpp"
#include "stemloop/folder.hpp"
#include "stemloop/model.hpp"
#include "stemloop/subopt.hpp"
#include "svg_render.hpp"

namespace stemloop_tools {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Format { Text, Tsv, Json, Ct, Bpseq };

// Input formats of stemloop-eval; Auto tells each input's format from its first line.
enum class InputFormat { Auto, Text, Tsv, Json, Ct, Bpseq };

enum class Program { Fold, Eval };

// Dangle mode 2 everywhere: the ensemble and the suboptimal structures need a mode in
// which an energy is a sum over loops, and the MFE line should not change with -p.
constexpr int kDefaultDangles = 2;

// The MEA weight with the best mean F1 on the known structures (see the README).
constexpr double kDefaultMeaGamma = 1.0;

struct ToolOptions {
  stemloop::ModelOptions model;
  stemloop::FoldOptions fold;
  stemloop::EvalOptions eval;
  std::string nsp;               // the --nsp argument as given, "" when absent
  std::string parameters;        // --parameters NAME|FILE as given, "" for the built-in default
  std::string write_parameters;  // fold: write the selected set to this file and stop
  int workspace_length = 0;      // fold: print the bytes a fold of this many bases needs, stop
  bool constraint = false;       // fold: a constraint line follows each sequence
  bool subopt = false;           // fold: every structure within band.delta (--subopt)
  stemloop::BandOptions band;
  bool zuker = false;  // fold: Zuker's list of zuker_options.max_structures (--zuker)
  stemloop::ZukerOptions zuker_options;
  bool verbose = false;  // eval: loop-by-loop breakdown
  // -p: the Boltzmann ensemble of each record (dangle mode 0 or 2).
  bool ensemble = false;
  double mea_gamma = kDefaultMeaGamma;  // fold: weight of paired bases in the MEA structure
  int samples = 0;                      // fold: structures sampled per record
  uint64_t seed = 1;                    // fold: seed of the sampling
  std::string bpp_file;                 // fold: where the pair probabilities go, "" none
  double bpp_cutoff = 1e-4;             // fold: least probability listed
  int jobs = 1;
  Format format = Format::Text;
  InputFormat input_format = InputFormat::Auto;  // eval only
  bool strip_pseudoknots = false;                // eval: drop pairs written with [] {} <>
  std::string svg_dir;                           // write one drawing per record here
  std::string dotplot_dir;                       // with -p, one dot plot per record here
  stemloop::DrawingStyle svg_style = stemloop::DrawingStyle::Radial;
  DrawingFormat svg_format = DrawingFormat::Svg;  // of the --svg and --dotplot files
  bool help = false;
  bool version = false;
  std::vector<std::string> inputs;  // files, "-" for standard input; empty means stdin
};

// Threads used when -j is not given: the number of cores.
int default_jobs();

// The ensemble options the energy options give, with `threads` for one sequence.
stemloop::EnsembleOptions ensemble_options(const ToolOptions& options, int threads);

// Parses argv; throws UsageError with a one-line message.
ToolOptions parse_options(Program program, int argc, char** argv);

// The usage text, with the defaults of the engine's option structs.
std::string usage(Program program, const char* name);

const char* format_name(Format format);
const char* input_format_name(InputFormat format);

}  // namespace stemloop_tools

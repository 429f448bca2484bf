#include "options.hpp"

#include <getopt.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <thread>

#include "stemloop/dangle_modes.hpp"
#include "stemloop/records.hpp"
#include "stemloop/temperature.hpp"

namespace stemloop_tools {
namespace {

// Codes of the options that have no short form.
enum LongOnly {
  kNoLP = 256,
  kNoGU,
  kNoClosingGU,
  kNoTetra,
  kNsp,
  kEnergySet,
  kLogML,
  kFormat,
  kVersion,
  kMeaGamma,
  kSample,
  kSeed,
  kBpp,
  kBppCutoff,
  kEnforce,
  kSubopt,
  kMax,
  kSorted,
  kZuker,
  kWindow,
  kPercent,
  kInputFormat,
  kStripPseudoknots,
  kSvg,
  kDotplot,
  kSvgStyle,
  kSvgFormat,
  kParameters,
  kWriteParameters,
  kWorkspaceBytes,
};

constexpr int kMaxJobs = 1024;

std::string option_label(int code) {
  switch (code) {
    case 'T':
      return "-T/--temperature";
    case 'd':
      return "-d/--dangles";
    case 'j':
      return "-j/--jobs";
    case kNsp:
      return "--nsp";
    case kEnergySet:
      return "--energy-set";
    case kFormat:
      return "--format";
    case kMeaGamma:
      return "--mea-gamma";
    case kSample:
      return "--sample";
    case kSeed:
      return "--seed";
    case kBppCutoff:
      return "--bpp-cutoff";
    case kSubopt:
      return "--subopt";
    case kMax:
      return "--max";
    case kZuker:
      return "--zuker";
    case kWindow:
      return "--window";
    case kPercent:
      return "--percent";
    case kInputFormat:
      return "--input-format";
    case kSvgStyle:
      return "--svg-style";
    case kWorkspaceBytes:
      return "--workspace-bytes";
    case kSvgFormat:
      return "--svg-format";
    default:
      return "option";
  }
}

[[noreturn]] void bad_value(int code, const char* value, const std::string& expected) {
  throw UsageError("invalid value '" + std::string(value) + "' for " + option_label(code) +
                   " (expected " + expected + ")");
}

int parse_int(int code, const char* text, int low, int high, const std::string& expected) {
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || value < low || value > high)
    bad_value(code, text, expected);
  return static_cast<int>(value);
}

double parse_temperature(const char* text) {
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || errno != 0 || !stemloop::temperature_in_range(value))
    throw UsageError("invalid value '" + std::string(text) +
                     "' for -T/--temperature: " + stemloop::temperature_range_message());
  return value;
}

double parse_double(int code, const char* text, double low, const std::string& expected) {
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || errno != 0 || !std::isfinite(value) || value < low)
    bad_value(code, text, expected);
  return value;
}

uint64_t parse_seed(const char* text) {
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || text[0] == '-')
    bad_value(kSeed, text, "a whole number from 0 to 2^64-1");
  return value;
}

// "GA,AG" -> "GAAG": two nucleotide letters per item, upper-cased for the engine.
std::string parse_nsp(const char* text) {
  std::string pairs;
  std::string item;
  const std::string all = std::string(text) + ",";
  for (char c : all) {
    if (c != ',') {
      item.push_back(c);
      continue;
    }
    if (item.size() != 2) bad_value(kNsp, text, "comma-separated letter pairs such as GA,AG");
    for (char letter : item) {
      const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
      if (letter == '\0' || std::strchr("ACGUTXKI", upper) == nullptr)
        bad_value(kNsp, text, "comma-separated letter pairs such as GA,AG");
      pairs.push_back(upper);
    }
    item.clear();
  }
  return pairs;
}

// A non-negative finite number, such as a band width in kcal/mol or a percentage.
double parse_amount(int code, const char* text, const std::string& expected) {
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || errno != 0 || !std::isfinite(value) || value < 0 ||
      value > 1e6)
    bad_value(code, text, expected);
  return value;
}

// Which options the command line gave, beyond their values.
struct Given {
  bool band_detail = false;       // --max or --sorted
  bool zuker_detail = false;      // --window or --percent
  const char* needs_p = nullptr;  // an option given that only means something with -p
};

// Structures are listed in dangle mode 0 or 2; in modes 1 and 3 a structure's energy
// depends on how its dangles are shared out.
void check_suboptimal(ToolOptions& opts, const Given& given) {
  if (opts.subopt && opts.zuker) throw UsageError("--subopt and --zuker cannot be combined");
  if (!opts.subopt && given.band_detail) throw UsageError("--max and --sorted need --subopt");
  if (!opts.zuker && given.zuker_detail) throw UsageError("--window and --percent need --zuker");
  if (!opts.subopt && !opts.zuker) return;
  if (opts.ensemble)
    throw UsageError(std::string(opts.subopt ? "--subopt" : "--zuker") +
                     " and -p cannot be combined");
  if (!stemloop::supports_dangles(stemloop::Algorithm::Suboptimal, opts.fold.dangles)) {
    throw UsageError(std::string(opts.subopt ? "--subopt" : "--zuker") +
                     " needs -d 0 or -d 2: in modes 1 and 3 one structure has several energies");
  }
  // The band streams straight to the output as it is found, one record at a time.
  if (opts.subopt) opts.jobs = 1;
}

Format parse_format(Program program, const char* text) {
  if (std::strcmp(text, "text") == 0) return Format::Text;
  if (std::strcmp(text, "tsv") == 0) return Format::Tsv;
  if (std::strcmp(text, "json") == 0) return Format::Json;
  if (program == Program::Fold) {
    if (std::strcmp(text, "ct") == 0) return Format::Ct;
    if (std::strcmp(text, "bpseq") == 0) return Format::Bpseq;
    bad_value(kFormat, text, "text, tsv, json, ct or bpseq");
  }
  bad_value(kFormat, text, "text, tsv or json");
}

InputFormat parse_input_format(const char* text) {
  for (InputFormat format : {InputFormat::Auto, InputFormat::Text, InputFormat::Tsv,
                             InputFormat::Json, InputFormat::Ct, InputFormat::Bpseq}) {
    if (std::strcmp(text, input_format_name(format)) == 0) return format;
  }
  bad_value(kInputFormat, text, "auto, text, tsv, json, ct or bpseq");
}

stemloop::DrawingStyle parse_svg_style(const char* text) {
  if (std::strcmp(text, "radial") == 0) return stemloop::DrawingStyle::Radial;
  if (std::strcmp(text, "arcs") == 0) return stemloop::DrawingStyle::Arcs;
  bad_value(kSvgStyle, text, "radial or arcs");
}

DrawingFormat parse_svg_format(const char* text) {
  if (std::strcmp(text, "svg") == 0) return DrawingFormat::Svg;
  if (std::strcmp(text, "png") == 0) return DrawingFormat::Png;
  if (std::strcmp(text, "pdf") == 0) return DrawingFormat::Pdf;
  bad_value(kSvgFormat, text, "svg, png or pdf");
}

std::vector<option> long_options(Program program) {
  std::vector<option> list = {
      {"temperature", required_argument, nullptr, 'T'},
      {"dangles", required_argument, nullptr, 'd'},
      {"noGU", no_argument, nullptr, kNoGU},
      {"noTetra", no_argument, nullptr, kNoTetra},
      {"nsp", required_argument, nullptr, kNsp},
      {"energy-set", required_argument, nullptr, kEnergySet},
      {"jobs", required_argument, nullptr, 'j'},
      {"format", required_argument, nullptr, kFormat},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, kVersion},
      {"noLP", no_argument, nullptr, kNoLP},
      {"noClosingGU", no_argument, nullptr, kNoClosingGU},
      {"partition", no_argument, nullptr, 'p'},
      {"svg", required_argument, nullptr, kSvg},
      {"dotplot", required_argument, nullptr, kDotplot},
      {"svg-style", required_argument, nullptr, kSvgStyle},
      {"svg-format", required_argument, nullptr, kSvgFormat},
      {"parameters", required_argument, nullptr, kParameters},
  };
  if (program == Program::Fold) {
    list.push_back({"constraint", no_argument, nullptr, 'C'});
    list.push_back({"enforce-constraints", no_argument, nullptr, kEnforce});
    list.push_back({"mea-gamma", required_argument, nullptr, kMeaGamma});
    list.push_back({"sample", required_argument, nullptr, kSample});
    list.push_back({"seed", required_argument, nullptr, kSeed});
    list.push_back({"bpp", required_argument, nullptr, kBpp});
    list.push_back({"bpp-cutoff", required_argument, nullptr, kBppCutoff});
    list.push_back({"subopt", required_argument, nullptr, kSubopt});
    list.push_back({"max", required_argument, nullptr, kMax});
    list.push_back({"sorted", no_argument, nullptr, kSorted});
    list.push_back({"zuker", required_argument, nullptr, kZuker});
    list.push_back({"window", required_argument, nullptr, kWindow});
    list.push_back({"percent", required_argument, nullptr, kPercent});
    list.push_back({"write-parameters", required_argument, nullptr, kWriteParameters});
    list.push_back({"workspace-bytes", required_argument, nullptr, kWorkspaceBytes});
  } else {
    list.push_back({"logML", no_argument, nullptr, kLogML});
    list.push_back({"verbose", no_argument, nullptr, 'v'});
    list.push_back({"input-format", required_argument, nullptr, kInputFormat});
    list.push_back({"strip-pseudoknots", no_argument, nullptr, kStripPseudoknots});
  }
  list.push_back({nullptr, 0, nullptr, 0});
  return list;
}

// The option a failed getopt_long call was looking at, for the message: a long option
// without a short form (its code is above any character) is named as it was written.
std::string offending(char** argv, int short_code) {
  if (short_code != 0 && short_code < kNoLP)
    return std::string("-") + static_cast<char>(short_code);
  return argv[optind - 1];
}

const char* on_off(bool value) { return value ? "on" : "off"; }

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string memory(size_t bytes) {
  char text[32];
  if (bytes >= (size_t{1} << 30)) {
    std::snprintf(text, sizeof text, "%.1f GiB", static_cast<double>(bytes) / (1 << 30));
  } else {
    std::snprintf(text, sizeof text, "%.0f MiB", static_cast<double>(bytes) / (1 << 20));
  }
  return text;
}

// The options of the energy model and the fold's rules: sets the one `code` names in
// `opts`; false when `code` is none of them.
bool take_model_option(int code, ToolOptions& opts) {
  switch (code) {
    case 'T':
      opts.model.temperature = parse_temperature(optarg);
      return true;
    case 'd':
      opts.fold.dangles = opts.eval.dangles = parse_int(code, optarg, 0, 3, "0, 1, 2 or 3");
      return true;
    case kNoLP:
      opts.fold.noLonelyPairs = true;
      return true;
    case kNoGU:
      opts.model.alphabet.noGU = true;
      return true;
    case kNoClosingGU:
      opts.fold.no_closingGU = true;
      return true;
    case kNoTetra:
      opts.fold.tetra_loop = opts.eval.tetra_loop = false;
      return true;
    case kNsp:
      opts.model.alphabet.nonstandards += parse_nsp(optarg);
      opts.model.alphabet.has_nonstandards = true;
      opts.nsp += (opts.nsp.empty() ? "" : ",") + std::string(optarg);
      return true;
    case kEnergySet:
      opts.model.alphabet.energy_set = parse_int(code, optarg, 0, 2, "0, 1 or 2");
      return true;
    case kLogML:
      opts.eval.logML = true;
      return true;
    case kParameters:
      if (*optarg == '\0') throw UsageError("--parameters needs a set name or a file");
      opts.parameters = optarg;
      return true;
    case kWriteParameters:
      if (*optarg == '\0') throw UsageError("--write-parameters needs a file name");
      opts.write_parameters = optarg;
      return true;
    default:
      return false;
  }
}

// -p and the options that go with it, as take_model_option; `given` records those that
// need -p.
bool take_ensemble_option(int code, ToolOptions& opts, Given& given) {
  switch (code) {
    case 'p':
      opts.ensemble = true;
      return true;
    case kEnforce:
      opts.fold.enforce_constraints = true;
      return true;
    case kMeaGamma:
      opts.mea_gamma = parse_double(code, optarg, 0.0, "a number of at least 0");
      given.needs_p = "--mea-gamma";
      return true;
    case kSample:
      opts.samples = parse_int(code, optarg, 0, 1000000, "0 to 1000000");
      given.needs_p = "--sample";
      return true;
    case kSeed:
      opts.seed = parse_seed(optarg);
      given.needs_p = "--seed";
      return true;
    case kBpp:
      opts.bpp_file = optarg;
      given.needs_p = "--bpp";
      return true;
    case kBppCutoff:
      opts.bpp_cutoff = parse_double(code, optarg, 0.0, "a probability from 0 to 1");
      if (opts.bpp_cutoff > 1.0) bad_value(code, optarg, "a probability from 0 to 1");
      given.needs_p = "--bpp-cutoff";
      return true;
    case kDotplot:
      if (*optarg == '\0') throw UsageError("--dotplot needs a folder name");
      opts.dotplot_dir = optarg;
      given.needs_p = "--dotplot";
      return true;
    default:
      return false;
  }
}

// --subopt, --zuker and their details, as take_ensemble_option.
bool take_suboptimal_option(int code, ToolOptions& opts, Given& given) {
  switch (code) {
    case kSubopt:
      opts.subopt = true;
      // to the nearest 0.01 kcal/mol, so that "0.29" means 29
      opts.band.delta = static_cast<int>(
          std::lround(100 * parse_amount(code, optarg, "kcal/mol from 0 to 1000000")));
      return true;
    case kMax:
      given.band_detail = true;
      opts.band.max_structures = static_cast<size_t>(
          parse_int(code, optarg, 1, std::numeric_limits<int>::max(), "a count of at least 1"));
      return true;
    case kSorted:
      given.band_detail = true;
      opts.band.sorted = true;
      return true;
    case kZuker:
      opts.zuker = true;
      opts.zuker_options.max_structures = parse_int(code, optarg, 1, 100000, "1 to 100000");
      return true;
    case kWindow:
      given.zuker_detail = true;
      opts.zuker_options.window = parse_int(code, optarg, 0, 32767, "0 to 32767");
      return true;
    case kPercent:
      given.zuker_detail = true;
      opts.zuker_options.percent = parse_amount(code, optarg, "a percentage of at least 0");
      return true;
    default:
      return false;
  }
}

// Input, output, threads and what the program does, as take_model_option.
bool take_run_option(Program program, int code, ToolOptions& opts) {
  switch (code) {
    case 'j':
      opts.jobs = parse_int(code, optarg, 1, kMaxJobs, "1 to " + std::to_string(kMaxJobs));
      return true;
    case kFormat:
      opts.format = parse_format(program, optarg);
      return true;
    case kInputFormat:
      opts.input_format = parse_input_format(optarg);
      return true;
    case kStripPseudoknots:
      opts.strip_pseudoknots = true;
      return true;
    case kSvg:
      if (*optarg == '\0') throw UsageError("--svg needs a folder name");
      opts.svg_dir = optarg;
      return true;
    case kSvgStyle:
      opts.svg_style = parse_svg_style(optarg);
      return true;
    case kSvgFormat:
      opts.svg_format = parse_svg_format(optarg);
      return true;
    case kWorkspaceBytes:
      opts.workspace_length = parse_int(code, optarg, 1, static_cast<int>(stemloop::kMaxBases),
                                        "1 to " + std::to_string(stemloop::kMaxBases));
      return true;
    case 'C':
      opts.constraint = true;
      return true;
    case 'v':
      opts.verbose = true;
      return true;
    case 'h':
      opts.help = true;
      return true;
    case kVersion:
      opts.version = true;
      return true;
    default:
      return false;
  }
}

// Refuses options that do not go together; -p with -C holds the constraints strictly.
void check_combinations(ToolOptions& opts, const Given& given) {
  if (given.needs_p && !opts.ensemble) throw UsageError(std::string(given.needs_p) + " needs -p");
  // The ensemble and the strict constraints are sums over loops: modes 0 and 2 only.
  // With -p the MFE line holds constraints strictly
  // too, so that its structure is always one of the ensemble's.
  if (opts.ensemble && opts.constraint) opts.fold.enforce_constraints = true;
  if (opts.ensemble && opts.eval.logML)
    throw UsageError("-p needs the linear multiloop penalty of the fold (drop --logML)");
  if (opts.ensemble || opts.fold.enforce_constraints) {
    const char* what = opts.ensemble ? "-p" : "--enforce-constraints";
    const stemloop::Algorithm algorithm =
        opts.ensemble ? stemloop::Algorithm::Ensemble : stemloop::Algorithm::EnforcedFold;
    if (!stemloop::supports_dangles(algorithm, opts.fold.dangles))
      throw UsageError(
          std::string(what) +
          " needs dangle mode 0 or 2: in modes 1 and 3 an energy is no sum over loops");
  }
  check_suboptimal(opts, given);
  const bool pairs_only = opts.format == Format::Ct || opts.format == Format::Bpseq;
  if (opts.ensemble && pairs_only)
    throw UsageError("-p needs --format text, tsv or json: CT and BPSEQ hold structures only");
  if (!opts.svg_dir.empty() && (opts.subopt || opts.zuker))
    throw UsageError("--svg draws one structure per record: not with --subopt or --zuker");
}

}  // namespace

int default_jobs() {
  const unsigned cores = std::thread::hardware_concurrency();
  if (cores == 0) return 1;
  return cores > static_cast<unsigned>(kMaxJobs) ? kMaxJobs : static_cast<int>(cores);
}

const char* format_name(Format format) {
  switch (format) {
    case Format::Text:
      return "text";
    case Format::Tsv:
      return "tsv";
    case Format::Json:
      return "json";
    case Format::Ct:
      return "ct";
    case Format::Bpseq:
      return "bpseq";
  }
  return "text";
}

stemloop::EnsembleOptions ensemble_options(const ToolOptions& options, int threads) {
  stemloop::EnsembleOptions eo = stemloop::ensemble_options(options.fold);
  eo.threads = threads;
  return eo;
}

const char* input_format_name(InputFormat format) {
  switch (format) {
    case InputFormat::Auto:
      return "auto";
    case InputFormat::Text:
      return "text";
    case InputFormat::Tsv:
      return "tsv";
    case InputFormat::Json:
      return "json";
    case InputFormat::Ct:
      return "ct";
    case InputFormat::Bpseq:
      return "bpseq";
  }
  return "auto";
}

ToolOptions parse_options(Program program, int argc, char** argv) {
  ToolOptions opts;
  opts.jobs = default_jobs();
  opts.fold.dangles = opts.eval.dangles = kDefaultDangles;
  const std::vector<option> list = long_options(program);
  const char* short_options = program == Program::Fold ? ":T:d:j:hCp" : ":T:d:j:hvp";
  optind = 0;  // full reset, so parsing may run more than once in a process
  opterr = 0;
  Given given;
  for (;;) {
    const int code = getopt_long(argc, argv, short_options, list.data(), nullptr);
    if (code == -1) break;
    if (code == ':') throw UsageError("option " + offending(argv, optopt) + " needs a value");
    if (!take_model_option(code, opts) && !take_ensemble_option(code, opts, given) &&
        !take_suboptimal_option(code, opts, given) && !take_run_option(program, code, opts))
      throw UsageError("unknown option " + offending(argv, optopt));
  }
  for (int k = optind; k < argc; k++) opts.inputs.emplace_back(argv[k]);
  check_combinations(opts, given);
  // A long sequence's fill shares its rows between the same number of threads.
  opts.fold.threads = opts.jobs;
  return opts;
}

std::string usage(Program program, const char* name) {
  const stemloop::ModelOptions model;
  const stemloop::FoldOptions fold;
  const stemloop::EvalOptions eval;
  const bool is_fold = program == Program::Fold;
  // Accepted by both programs so that one set of flags serves a fold | eval pipe.
  const std::string folding_only = is_fold ? "" : ", folding only";
  std::string text = "usage: " + std::string(name) + " [OPTIONS] [FILE...]\n";
  if (is_fold) {
    text +=
        "Folds each sequence to its minimum-free-energy structure.\n"
        "Records: FASTA ('>name' line, then sequence lines) or one sequence per line;\n"
        "spaces and digits inside sequence lines are ignored (GenBank style).\n"
        "  -C, --constraint        a constraint line of ( ) < > x | . follows each sequence\n";
  } else {
    text +=
        "Prints the free energy of each structure.\n"
        "Records: optional '>name' line, sequence line, structure line (dot-bracket, may\n"
        "end in an energy in parentheses as the folding program prints it), or the\n"
        "folding program's tsv and json output, or CT or BPSEQ files. Each structure of a\n"
        "record of several (-p: MFE, MEA, centroid, samples; --subopt) is evaluated as a\n"
        "record of its own. Nameless CT and BPSEQ records are named FILE:N.\n"
        "  -v, --verbose           add the energy of every loop\n"
        "      --input-format F    auto, text, tsv, json, ct or bpseq (default auto: told\n"
        "                          from the first line of each input)\n"
        "      --strip-pseudoknots drop pairs written with [] {} <> (or crossing pairs of\n"
        "                          CT and BPSEQ) and say how many; refused otherwise\n";
  }
  text +=
      "Input is read from the FILEs, or standard input when none is given or for '-';\n"
      "gzip-compressed input is read as it is. Letters other than A C G U T pair only\n"
      "as --nsp allows (one warning per record names those that never pair).\n";
  text += "Energy model:\n";
  text += "  -T, --temperature C     temperature in degrees Celsius, from " +
          number(stemloop::kMinTemperature) + " to " + number(stemloop::kMaxTemperature) +
          " (default " + number(model.temperature) + ")\n";
  text += "  -d, --dangles 0|1|2|3   dangling-end mode (default " +
          std::to_string(kDefaultDangles) + ")\n";
  text += "      --noLP              no isolated base pairs (default " +
          std::string(on_off(fold.noLonelyPairs)) + ")" + folding_only + "\n";
  text += "      --noGU              no G-U pairs (default " +
          std::string(on_off(model.alphabet.noGU)) + ")\n";
  text += "      --noClosingGU       no G-U pair closes a loop (default " +
          std::string(on_off(fold.no_closingGU)) + ")" + folding_only + "\n";
  text += "      --noTetra           no bonus for special hairpins (bonus default " +
          std::string(on_off(fold.tetra_loop)) + ")\n";
  text += "      --nsp PAIRS         extra pairs, e.g. GA,AG (default none)\n";
  text += "      --energy-set 0|1|2  alphabet: 0 ACGU, 1 G/C, 2 A/U two-letter (default " +
          std::to_string(model.alphabet.energy_set) + ")\n";
  text += "      --parameters SET    turner1999 (default), turner2004, or a parameter file\n";
  if (is_fold)
    text += "      --write-parameters FILE  write the selected parameter set to FILE and stop\n";
  if (!is_fold) {
    text += "      --logML             logarithmic multiloop penalty (default " +
            std::string(on_off(eval.logML)) + ")\n";
  }
  text += "Ensemble (dangle mode 0 or 2):\n";
  if (is_fold) {
    text +=
        "  -p, --partition         also the ensemble free energy, the MEA structure, the\n"
        "                          centroid, the MFE structure's probability, the diversity\n"
        "      --mea-gamma G       weight of paired bases in the MEA structure (default " +
        number(kDefaultMeaGamma) +
        ")\n"
        "      --sample N          also N structures sampled from the ensemble (default 0)\n"
        "      --seed S            seed of the sampling (default 1)\n"
        "      --bpp FILE          write the pair probabilities to FILE\n"
        "      --bpp-cutoff P      least probability of a listed pair (default 0.0001)\n"
        "      --dotplot DIR       write a dot plot of each record's pair probabilities\n"
        "                          (MFE pairs below the diagonal) to DIR/NAME.svg\n"
        "      --enforce-constraints  hold -C constraints strictly ('|' '<' '>' '(' ')'\n"
        "                          pair, 'x' stays unpaired), as -p always does\n";
  } else {
    text += "  -p, --partition         also each structure's probability and ensemble defect\n";
  }
  if (is_fold) {
    const stemloop::ZukerOptions zuker;
    text +=
        "Suboptimal structures (dangle mode 0 or 2; -d 1 and -d 3 are refused;\n"
        "constraints are strict: x unpaired, | paired, < > paired downstream or upstream,\n"
        "( ) paired with each other):\n"
        "      --subopt DELTA      every structure within DELTA kcal/mol of the minimum, each\n"
        "                          once, streamed as found (records run one at a time)\n"
        "      --max N             stop after N structures (default no limit)\n"
        "      --sorted            by energy, then structure, in passes of bounded memory\n"
        "      --zuker N           up to N distinct structures, each the best through a pair\n"
        "                          that no structure listed before holds\n"
        "      --window W          the pair must lie more than W bases from every listed\n"
        "                          pair, at either end (default " +
        std::to_string(zuker.window) + ")\n" +
        "      --percent P         within P percent of the minimum (default " +
        number(zuker.percent) + ")\n";
  }
  text += "Run and output:\n";
  text +=
      "  -j, --jobs N            records worked on at once, and threads for the fill of\n"
      "                          2000+ bases (default " +
      std::to_string(default_jobs()) + ", the number of cores)\n";
  text += is_fold ? "      --format FORMAT     text, tsv, json lines, ct or bpseq (default text)\n"
                  : "      --format FORMAT     text, tsv or json lines (default text)\n";
  text +=
      "      --svg DIR           write a drawing of each record to DIR/NAME.svg\n"
      "      --svg-style STYLE   radial (loops as circles) or arcs, for very long records\n"
      "                          (default radial)\n"
      "      --svg-format F      svg (default), png or pdf: the format of the drawing files\n";
  if (is_fold) {
    text +=
        "      --workspace-bytes N  print the bytes of memory one fold of N bases needs\n"
        "                          with the other options given, and stop\n";
  }
  text += "  -h, --help              this text\n";
  text += "      --version           the version\n";
  text += "Sequences may have up to " + std::to_string(stemloop::kMaxBases) + " bases";
  if (is_fold) {
    text += "; folding n bases needs a\nworkspace per thread of " +
            memory(stemloop::Folder::workspace_bytes(5000)) + " for 5000 bases and " +
            memory(stemloop::Folder::workspace_bytes(static_cast<int>(stemloop::kMaxBases))) +
            " for " + std::to_string(stemloop::kMaxBases) + " bases";
  }
  text += ".\n";
  text +=
      "Mode 3: the fold scores coaxial stacking in a restricted form, while the evaluation\n"
      "takes the best arrangement of each multiloop; so a -d 3 fold may evaluate lower\n"
      "(both follow the model exactly).\n";
  text +=
      "Exit status: 0, 1 when a record was refused, 2 for bad options or input files,\n"
      "130 or 143 when stopped by SIGINT or SIGTERM (every finished record is written).\n";
  return text;
}

}  // namespace stemloop_tools

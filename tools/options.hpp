// Command-line options shared by the programs: parsed into the engine's option structs.
// A bad option or value throws UsageError, which the programs turn into exit status 2.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "stemloop/evaluate.hpp"
#include "stemloop/folder.hpp"
#include "stemloop/model.hpp"

namespace stemloop_tools {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Format { Text, Tsv, Json };

enum class Program { Fold, Eval };

struct ToolOptions {
  stemloop::ModelOptions model;
  stemloop::FoldOptions fold;
  stemloop::EvalOptions eval;
  std::string nsp;          // the --nsp argument as given, "" when absent
  bool constraint = false;  // fold: a constraint line follows each sequence
  bool verbose = false;     // eval: loop-by-loop breakdown
  int jobs = 1;
  Format format = Format::Text;
  bool help = false;
  bool version = false;
  std::vector<std::string> inputs;  // files, "-" for standard input; empty means stdin
};

// Threads used when -j is not given: the number of cores.
int default_jobs();

// Parses argv; throws UsageError with a one-line message.
ToolOptions parse_options(Program program, int argc, char** argv);

// The usage text, with the defaults of the engine's option structs.
std::string usage(Program program, const char* name);

const char* format_name(Format format);

}  // namespace stemloop_tools

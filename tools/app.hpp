// What the two programs do alike around their records: options, --help and --version,
// checking and opening the inputs, writing results in order and the exit status.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "drawing_files.hpp"
#include "options.hpp"
#include "output.hpp"
#include "parallel.hpp"
#include "progress.hpp"
#include "safe_output.hpp"
#include "stemloop/model.hpp"
#include "stemloop/records.hpp"

namespace stemloop_tools {

// Exit statuses of the programs.
constexpr int kExitOk = 0;
constexpr int kExitBadRecord = 1;
constexpr int kExitUsage = 2;

// What one record produced: its output, its messages, whether it was refused, and its
// drawing (with --svg) with the name its file takes.
struct Outcome {
  std::string out;
  std::string err;
  std::string pairs;  // what goes to the --bpp file
  bool refused = false;
  std::string drawing;
  std::string drawing_name;
  std::string dot_plot;        // with --dotplot, named like the drawing
  bool out_of_memory = false;  // refused for memory: worth a second run alone
};

// Parses the options and checks that every input file can be read. Returns the options,
// or nothing when the program is done (after --help, --version or an error) with the
// exit status in `status`.
std::optional<ToolOptions> start(Program program, const char* name, int argc, char** argv,
                                 int& status);

// Calls `read` with each input in turn and its file name, standard input (named "") for
// "-" or when there is none. Returns kExitUsage when an input cannot be opened any more,
// kExitOk otherwise.
int for_each_input(const char* name, const std::vector<std::string>& inputs,
                   const std::function<void(std::istream&, const std::string&)>& read);

// The drawing of a record for --svg; empty without --svg.
// The title gives the label, the length and the energy (0.01 kcal/mol); with an
// ensemble the bases are coloured by their probability of being paired.
std::string drawing_of(const ToolOptions& options, const std::string& label,
                       const std::string& sequence, const std::string& structure, int energy,
                       const stemloop::Ensemble* ensemble = nullptr);

// Writes outcomes in the order given, each whole, with the progress line; remembers
// refusals and failed writes.
class Reporter {
 public:
  Reporter(const char* name, SafeOutput& output, const std::string& svg_dir,
           const std::string& dotplot_dir, DrawingFormat format)
      : name_(name),
        progress_(name),
        output_(output),
        drawings_(svg_dir, format),
        dot_plots_(dotplot_dir, format) {}
  // Sends the outcomes' pair listings to `path`; false, with errno, when it cannot be written.
  bool open_pairs_file(const std::string& path);
  void write(const std::string& text);
  void take(Outcome& outcome);
  // The exit status of the run, given the status of reading the inputs.
  int finish(const char* name, int input_status);

 private:
  const char* name_;
  Progress progress_;
  SafeOutput& output_;
  DrawingFiles drawings_;
  DrawingFiles dot_plots_;
  bool refused_ = false;
  bool write_failed_ = false;
};

// The line telling that a record was refused.
std::string refusal(const char* name, const std::string& label, const std::string& why);

// The whole run of a program: options, the model, every record of every input through
// a worker on each of the -j threads, outcomes written in input order, the exit status.
// make_worker(model, options, writer, output) gives one thread's worker, a callable taking
// a Record& and returning its Outcome (`output` takes the records that stream, which run
// one at a time); read(lines, input, options, counter, submit) reads the records of one
// input (its file name, "" for standard input) and hands each to submit.
// cost(options, record), when given, is the memory a record needs while it is folded; records
// run at once only while they fit in the memory the process may take.
template <class Record, class MakeWorker, class Read>
int run_program(Program program, const char* name, int argc, char** argv, MakeWorker make_worker,
                Read read,
                std::function<size_t(const ToolOptions&, const Record&)> cost = nullptr) {
  int status = kExitOk;
  const std::optional<ToolOptions> options = start(program, name, argc, argv, status);
  if (!options) return status;
  try {
    const stemloop::Model model(options->model);
    const Writer writer(program, *options);
    SafeOutput output(name);  // first: it blocks the signals for every thread started later
    Reporter reporter(name, output, options->svg_dir, options->dotplot_dir, options->svg_format);
    if (!options->bpp_file.empty() && !reporter.open_pairs_file(options->bpp_file)) {
      std::fprintf(stderr, "%s: cannot write '%s': %s\n", name, options->bpp_file.c_str(),
                   std::strerror(errno));
      return kExitUsage;
    }
    reporter.write(writer.header());
    OrderedRunner<Record, Outcome> runner(
        options->jobs, [&] { return make_worker(model, *options, writer, output); },
        [&](Outcome& outcome) { reporter.take(outcome); },
        cost ? [&](const Record& record) { return cost(*options, record); }
             : typename OrderedRunner<Record, Outcome>::Cost(),
        memory_budget(), [](const Outcome& outcome) { return outcome.out_of_memory; });
    size_t counter = 0;
    const int input_status =
        for_each_input(name, options->inputs, [&](std::istream& in, const std::string& input) {
          stemloop::LineReader lines(in);
          read(lines, input, *options, counter,
               [&](Record&& record) { runner.submit(std::move(record)); });
        });
    runner.finish();
    return reporter.finish(name, input_status);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", name, e.what());
    return kExitUsage;
  }
}

}  // namespace stemloop_tools

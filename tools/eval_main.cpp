// stemloop-eval: prints the free energy of each given structure.
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "app.hpp"
#include "eval_formats.hpp"
#include "output.hpp"
#include "parallel.hpp"
#include "record_warnings.hpp"
#include "stemloop/ensemble.hpp"
#include "stemloop/error.hpp"
#include "stemloop/evaluate.hpp"
#include "stemloop/model.hpp"
#include "stemloop/pair_table.hpp"
#include "stemloop/pseudoknots.hpp"
#include "stemloop/records.hpp"

namespace {

using stemloop::EvalRecord;
using stemloop_tools::Outcome;

constexpr char kName[] = "stemloop-eval";

Outcome evaluate(const stemloop::Model& model, const stemloop_tools::ToolOptions& options,
                 const stemloop_tools::Writer& writer, const EvalRecord& record) {
  using namespace stemloop_tools;
  Outcome outcome;
  std::string why = record.error;
  std::string structure = record.structure;
  int dropped = 0;
  if (why.empty())
    why = stemloop::resolve_pseudoknots(structure, options.strip_pseudoknots, dropped);
  if (why.empty()) {
    try {
      const stemloop::Evaluation eval = stemloop::evaluate_structure(
          model, options.eval, record.sequence, structure, options.verbose);
      std::vector<std::string> warnings;
      const std::string letters = unpairable_letters(record.sequence, options);
      if (!letters.empty()) warnings.push_back(letters);
      if (dropped > 0) {
        warnings.push_back("dropped " + std::to_string(dropped) + " pseudoknotted pair" +
                           (dropped == 1 ? "" : "s"));
      }
      for (const stemloop::PairWarning& warning : eval.warnings)
        warnings.push_back(cannot_pair(warning));
      for (std::string& hairpin : short_hairpins(stemloop::make_pair_table(structure)))
        warnings.push_back(std::move(hairpin));
      if (options.ensemble) {
        stemloop::Ensemble ensemble;
        ensemble.compute(model, ensemble_options(options, 1), record.sequence);
        StructureReport report;
        report.probability = ensemble.structure_probability(structure);
        report.ensemble_defect = ensemble.ensemble_defect(structure);
        outcome.out =
            writer.evaluated(record.id, record.sequence, structure, eval, &report, warnings);
      } else {
        outcome.out =
            writer.evaluated(record.id, record.sequence, structure, eval, nullptr, warnings);
      }
      const std::string label = record.id.label();
      outcome.err = warning_lines(label, warnings);
      outcome.drawing = drawing_of(options, label, record.sequence, structure, eval.energy);
      outcome.drawing_name = label;
    } catch (const stemloop::Error& e) {
      why = stemloop::describe(e, "structure");
    } catch (const std::exception& e) {
      why = e.what();
    }
  }
  if (!why.empty()) {
    outcome.refused = true;
    outcome.err += refusal(kName, record.id.label(), why);
  }
  return outcome;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace stemloop_tools;
  return run_program<EvalRecord>(
      Program::Eval, kName, argc, argv,
      [](const stemloop::Model& model, const ToolOptions& options, const Writer& writer,
         SafeOutput&) {
        return [&](EvalRecord& record) { return evaluate(model, options, writer, record); };
      },
      [](stemloop::LineReader& lines, const std::string& input, const ToolOptions& options,
         size_t& counter, const auto& submit) {
        EvalFormatReader reader(lines, input, options.input_format, counter);
        EvalRecord record;
        while (reader.next(record)) submit(std::move(record));
      });
}

// stemloop-eval: prints the free energy of each given structure.
#include <cstdio>
#include <exception>
#include <new>

#include "app.hpp"
#include "line_reader.hpp"
#include "output.hpp"
#include "parallel.hpp"
#include "records.hpp"
#include "stemloop/ensemble.hpp"
#include "stemloop/evaluate.hpp"
#include "stemloop/model.hpp"

namespace {

using stemloop_tools::EvalRecord;
using stemloop_tools::Outcome;

constexpr char kName[] = "stemloop-eval";

// The library's warning for a bracketed pair of bases that cannot pair.
std::string pair_warning(const std::string& label, const stemloop::PairWarning& warning) {
  char text[96];
  std::snprintf(text, sizeof text, ": WARNING: bases %d and %d (%c%c) can't pair!\n", warning.i,
                warning.j, warning.ci, warning.cj);
  return label + text;
}

Outcome evaluate(const stemloop::Model& model, const stemloop_tools::ToolOptions& options,
                 const stemloop_tools::Writer& writer, const EvalRecord& record) {
  Outcome outcome;
  std::string why = record.error;
  if (why.empty()) {
    try {
      const stemloop::Evaluation eval = stemloop::evaluate_structure(
          model, options.eval, record.sequence, record.structure, options.verbose);
      for (const stemloop::PairWarning& warning : eval.warnings)
        outcome.err += pair_warning(record.id.label(), warning);
      if (options.ensemble) {
        stemloop::Ensemble ensemble;
        ensemble.compute(model, stemloop_tools::ensemble_options(options, 1), record.sequence);
        stemloop_tools::StructureReport report;
        report.probability = ensemble.structure_probability(record.structure);
        report.ensemble_defect = ensemble.ensemble_defect(record.structure);
        outcome.out = writer.evaluated(record.id, record.sequence, record.structure, eval, &report);
      } else {
        outcome.out = writer.evaluated(record.id, record.sequence, record.structure, eval);
      }
    } catch (const stemloop::Error& e) {
      why = stemloop_tools::describe(e, "structure");
    } catch (const std::exception& e) {
      why = e.what();
    }
  }
  if (!why.empty()) {
    outcome.refused = true;
    outcome.err += stemloop_tools::refusal(kName, record.id.label(), why);
  }
  return outcome;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace stemloop_tools;
  return run_program<EvalRecord>(
      Program::Eval, kName, argc, argv,
      [](const stemloop::Model& model, const ToolOptions& options, const Writer& writer) {
        return [&](EvalRecord& record) { return evaluate(model, options, writer, record); };
      },
      [](LineReader& lines, const ToolOptions&, size_t& counter, const auto& submit) {
        EvalRecordReader reader(lines, counter);
        EvalRecord record;
        while (reader.next(record)) submit(std::move(record));
      });
}

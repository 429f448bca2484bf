// stemloop-fold: folds each record to its minimum-free-energy structure.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "app.hpp"
#include "fold_memory.hpp"
#include "output.hpp"
#include "parallel.hpp"
#include "record_warnings.hpp"
#include "stemloop/ensemble.hpp"
#include "stemloop/error.hpp"
#include "stemloop/folder.hpp"
#include "stemloop/model.hpp"
#include "stemloop/records.hpp"
#include "stemloop/subopt.hpp"
#include "suboptimal.hpp"

namespace {

using stemloop::FoldRecord;
using stemloop_tools::Outcome;

constexpr char kName[] = "stemloop-fold";

// Records whose workspace is at least this large, or an eighth of the memory there is,
// give it back once done, so that an idle worker holds no memory the records after it
// could use.
size_t kept_workspace() {
  const size_t memory = stemloop_tools::memory_budget();
  const size_t most = size_t{256} << 20;
  return memory == 0 ? most : std::min(most, memory / 8);
}

std::string mib(size_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

// Folds records with one Folder; one such worker per thread, all sharing the model.
class FoldWorker {
 public:
  FoldWorker(const stemloop::Model& model, const stemloop_tools::ToolOptions& options,
             const stemloop_tools::Writer& writer, stemloop_tools::SafeOutput& output)
      : model_(model),
        options_(options),
        writer_(writer),
        output_(output),
        folder_(new stemloop::Folder),
        ensemble_(new stemloop::Ensemble) {}

  Outcome operator()(FoldRecord& record) {
    Outcome outcome;
    std::string why = record.error;
    const int n = static_cast<int>(record.length);
    // A fill on one thread needs less: where a shared one would not fit, or ran short of
    // memory, the record is folded on one, so what -j 1 folds any -j folds.
    int threads = stemloop_tools::fill_threads(n, options_);
    const size_t memory = stemloop_tools::memory_budget();
    if (memory != 0 && stemloop_tools::fold_workspace_bytes(n, options_, threads) > memory)
      threads = 1;
    if (why.empty()) why = fold(record, outcome, threads);
    if (threads > 1 && out_of_memory(why)) {
      outcome = Outcome();
      why = fold(record, outcome, 1);
    }
    if (stemloop_tools::fold_workspace_bytes(n, options_) >= kept_workspace()) {
      folder_.reset();
      ensemble_.reset();
    }
    if (!why.empty()) {
      outcome.refused = true;
      outcome.out_of_memory = out_of_memory(why);
      outcome.err = stemloop_tools::refusal(kName, record.id.label(), why);
    }
    return outcome;
  }

 private:
  static bool out_of_memory(const std::string& why) {
    return why.rfind("not enough memory", 0) == 0;
  }

  // Folds one record into `outcome`, its fill on `threads` threads; returns what went
  // wrong, if anything.
  std::string fold(const FoldRecord& record, Outcome& outcome, int threads) {
    const int n = static_cast<int>(record.length);
    const bool suboptimal = options_.subopt || options_.zuker;
    const size_t workspace = stemloop_tools::fold_workspace_bytes(n, options_, threads);
    const size_t memory = stemloop_tools::memory_budget();
    if (memory != 0 && workspace > memory) {
      return "folding " + std::to_string(n) + " bases needs " + mib(workspace) +
             " of workspace, more than the " + mib(memory) + " of memory";
    }
    try {
      if (!folder_) folder_ = std::make_shared<stemloop::Folder>();
      if (!ensemble_) ensemble_ = std::make_shared<stemloop::Ensemble>();
      std::vector<std::string> warnings;
      const std::string letters = stemloop_tools::unpairable_letters(record.sequence, options_);
      if (!letters.empty()) warnings.push_back(letters);
      if (suboptimal) {
        // Printed after the record, which is written as it is found.
        outcome.err = stemloop_tools::warning_lines(record.id.label(), warnings);
        return stemloop_tools::list_suboptimal(model_, options_, writer_, record, warnings, output_,
                                               outcome.out);
      }
      const char* constraint = record.constraint ? record.constraint->c_str() : nullptr;
      stemloop::FoldOptions fold_options = options_.fold;
      fold_options.threads = threads;
      const stemloop::FoldResult result =
          folder_->fold(model_, fold_options, record.sequence, constraint);
      if (record.constraint) {
        const std::string unmet =
            stemloop_tools::unmet_constraints(*record.constraint, result.structure);
        if (!unmet.empty()) warnings.push_back(unmet);
      }
      if (options_.ensemble) {
        const stemloop_tools::EnsembleReport report =
            ensemble(record, constraint, result, fold_options.threads);
        outcome.out = writer_.folded(record.id, record.sequence, result.structure, result.energy,
                                     &report, warnings);
        if (!options_.bpp_file.empty())
          outcome.pairs = stemloop_tools::pairs_listing(record.id, record.length, report.pairs);
      } else {
        outcome.out = writer_.folded(record.id, record.sequence, result.structure, result.energy,
                                     nullptr, warnings);
      }
      const std::string label = record.id.label();
      outcome.err = stemloop_tools::warning_lines(label, warnings);
      outcome.drawing =
          stemloop_tools::drawing_of(options_, label, record.sequence, result.structure,
                                     result.energy, options_.ensemble ? ensemble_.get() : nullptr);
      outcome.drawing_name = label;
      if (options_.ensemble && !options_.dotplot_dir.empty()) {
        const stemloop::Ensemble& pairs = *ensemble_;
        outcome.dot_plot = stemloop::dot_plot_svg(
            record.sequence, [&pairs](int i, int j) { return pairs.probability(i, j); },
            result.structure, label);
      }
      return {};
    } catch (const stemloop::Error& e) {
      return stemloop::describe(e, "constraint");
    } catch (const std::bad_alloc&) {
      folder_.reset();  // drop half-grown tables
      ensemble_.reset();
      return "not enough memory for the " + mib(workspace) + " workspace of " + std::to_string(n) +
             " bases";
    } catch (const std::exception& e) {
      return e.what();
    }
  }

  // What -p adds: the ensemble of the record under the same options and constraints.
  stemloop_tools::EnsembleReport ensemble(const FoldRecord& record, const char* constraint,
                                          const stemloop::FoldResult& mfe, int threads) {
    ensemble_->compute(model_, stemloop_tools::ensemble_options(options_, threads), record.sequence,
                       constraint);
    stemloop_tools::EnsembleReport report;
    report.energy = ensemble_->free_energy();
    report.mfe_probability = ensemble_->structure_probability(mfe.structure);
    report.diversity = ensemble_->diversity();
    report.mea = ensemble_->mea(options_.mea_gamma);
    report.centroid = ensemble_->centroid();
    if (options_.format == stemloop_tools::Format::Json || !options_.bpp_file.empty())
      report.pairs = ensemble_->pairs(options_.bpp_cutoff);
    report.samples = ensemble_->sample(options_.samples, options_.seed);
    return report;
  }

  const stemloop::Model& model_;
  const stemloop_tools::ToolOptions& options_;
  const stemloop_tools::Writer& writer_;
  stemloop_tools::SafeOutput& output_;        // takes the band of --subopt as it is found
  std::shared_ptr<stemloop::Folder> folder_;  // shared_ptr: workers are copied into place
  std::shared_ptr<stemloop::Ensemble> ensemble_;
};

}  // namespace

int main(int argc, char** argv) {
  using namespace stemloop_tools;
  return run_program<FoldRecord>(
      Program::Fold, kName, argc, argv,
      [](const stemloop::Model& model, const ToolOptions& options, const Writer& writer,
         SafeOutput& output) { return FoldWorker(model, options, writer, output); },
      [](stemloop::LineReader& lines, const std::string&, const ToolOptions& options,
         size_t& counter, const auto& submit) {
        stemloop::FoldRecordReader reader(lines, options.constraint, counter);
        FoldRecord record;
        while (reader.next(record)) submit(std::move(record));
      },
      // Bytes a record's fold needs while it runs: its tables and the ensemble's with -p.
      [](const ToolOptions& options, const FoldRecord& record) {
        return fold_workspace_bytes(static_cast<int>(record.length), options);
      });
}

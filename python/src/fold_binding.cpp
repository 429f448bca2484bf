// fold and fold_batch: minimum-free-energy structures, refusing what stemloop-fold
// refuses with its messages.
#include <pybind11/stl.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "arguments.hpp"
#include "batch.hpp"
#include "python_model.hpp"
#include "stemloop/drawing.hpp"
#include "stemloop/error.hpp"
#include "stemloop/records.hpp"
#include "value_type.hpp"

namespace py = pybind11;

namespace stemloop_python {
namespace {

struct FoldResult {
  std::string sequence;
  std::string structure;
  double energy = 0.0;
};

// One record, as stemloop-fold folds it. Needs no GIL.
FoldResult fold_record(const PythonModel& m, stemloop::Folder& folder, const std::string& sequence,
                       const std::string* constraint, int threads) {
  refuse_if(stemloop::check_sequence(sequence, sequence.size()));
  if (constraint) refuse_if(stemloop::check_constraint(*constraint, sequence.size()));
  stemloop::FoldOptions options = m.fold;
  options.threads = threads;
  try {
    const stemloop::FoldResult r =
        folder.fold(m.model, options, sequence, constraint ? constraint->c_str() : nullptr);
    return {sequence, r.structure, kcal(r.energy)};
  } catch (const stemloop::Error& e) {
    throw py::value_error(stemloop::describe(e, "constraint"));
  }
}

FoldResult fold(const PythonModel& m, const std::string& sequence,
                const std::optional<std::string>& constraint, int threads) {
  if (threads < 1) bad_value("threads must be at least 1");
  py::gil_scoped_release released;
  stemloop::Folder folder;
  return fold_record(m, folder, sequence, constraint ? &*constraint : nullptr, threads);
}

std::vector<FoldResult> fold_batch(const PythonModel& m, const Strings& sequence_list,
                                   const std::optional<Strings>& constraint_list,
                                   std::optional<int> threads) {
  const std::vector<std::string>& sequences = sequence_list.of("sequences");
  const std::vector<std::string>* constraints =
      constraint_list ? &constraint_list->of("constraints") : nullptr;
  if (constraints && constraints->size() != sequences.size()) {
    bad_value(std::to_string(constraints->size()) + " constraints for " +
              std::to_string(sequences.size()) + " sequences");
  }
  std::vector<FoldResult> results(sequences.size());
  run_batch(sequences.size(), batch_threads(threads), [&] {
    return [&, folder = std::make_unique<stemloop::Folder>()](size_t k) {
      const std::string* constraint = constraints ? &(*constraints)[k] : nullptr;
      results[k] = fold_record(m, *folder, sequences[k], constraint, 1);
    };
  });
  return results;
}

constexpr char kFoldDoc[] = R"doc(Folds a sequence to its minimum-free-energy structure.

sequence: letters; T folds as U, case does not matter.
constraint: optional string as long as the sequence: '(' and ')' force a pair, '<' and
  '>' forbid pairs to the other side, 'x' leaves a base unpaired, '|' makes it pair,
  '.' leaves it free.
threads: threads for the fill of one long sequence; the result does not depend on it.

Returns a FoldResult. Raises ValueError, with stemloop-fold's message, for a sequence or
constraint the tool refuses.)doc";

constexpr char kFoldBatchDoc[] = R"doc(Folds every sequence of an iterable on several threads.

The GIL is released while the sequences fold. constraints, when given, holds one
constraint per sequence. threads defaults to the number of cores.

Returns a list of FoldResult in input order, equal to what fold gives for each sequence.
Raises ValueError for the first refused sequence, led by its label ("record 3: ...").)doc";

}  // namespace

void bind_fold(py::module_& m, ModelClass& model) {
  using namespace pybind11::literals;
  py::class_<FoldResult> result(m, "FoldResult",
                                "A minimum-free-energy structure of a sequence and its energy.");
  result.def_readonly("sequence", &FoldResult::sequence, "The sequence, as given.")
      .def_readonly("structure", &FoldResult::structure,
                    "Dot-bracket structure, one character per base.")
      .def_readonly("energy", &FoldResult::energy, "Free energy in kcal/mol.")
      .def(
          "_repr_svg_",
          [](const FoldResult& r) { return stemloop::structure_svg(r.sequence, r.structure); },
          "The drawing of the structure, which notebooks show.");
  as_value(
      result, "FoldResult", {"sequence", "structure", "energy"},
      [](const FoldResult& r) { return py::make_tuple(r.sequence, r.structure, r.energy); },
      [](const py::tuple& state) {
        return FoldResult{state[0].cast<std::string>(), state[1].cast<std::string>(),
                          state[2].cast<double>()};
      });

  model
      .def("fold", named("fold", &fold), "sequence"_a, py::kw_only(), "constraint"_a = py::none(),
           "threads"_a = 1, kFoldDoc)
      .def("fold_batch", named("fold_batch", &fold_batch), "sequences"_a, py::kw_only(),
           "constraints"_a = py::none(), "threads"_a = py::none(), kFoldBatchDoc);

  m.def("fold",
        named(
            "fold",
            +[](const std::string& sequence, const std::optional<std::string>& constraint,
                int threads, const py::kwargs& options) {
              return fold(model_from_options(options), sequence, constraint, threads);
            }),
        "sequence"_a, py::kw_only(), "constraint"_a = py::none(), "threads"_a = 1,
        "Folds a sequence with Model(**options); see Model.fold and Model for the keywords.");
  m.def("fold_batch",
        named(
            "fold_batch",
            +[](const Strings& sequences, const std::optional<Strings>& constraints,
                std::optional<int> threads, const py::kwargs& options) {
              return fold_batch(model_from_options(options), sequences, constraints, threads);
            }),
        "sequences"_a, py::kw_only(), "constraints"_a = py::none(), "threads"_a = py::none(),
        "Folds sequences with Model(**options); see Model.fold_batch and Model for the "
        "keywords.");
}

}  // namespace stemloop_python

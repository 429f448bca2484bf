// evaluate and evaluate_batch: the free energy of given structures, in total and loop by
// loop, refusing what stemloop-eval refuses with its messages.
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "arguments.hpp"
#include "batch.hpp"
#include "python_model.hpp"
#include "stemloop/error.hpp"
#include "stemloop/records.hpp"
#include "value_type.hpp"

namespace py = pybind11;

namespace stemloop_python {
namespace {

using Pair = std::optional<std::pair<int, int>>;

struct Loop {
  std::string kind;
  Pair closing;
  Pair inner;
  double energy = 0.0;
};

struct Evaluation {
  double energy = 0.0;
  std::vector<Loop> loops;
  std::vector<std::pair<int, int>> invalid_pairs;
};

// 1-based engine positions to a 0-based Python pair; (0, 0) means none.
Pair pair_of(int i, int j) {
  if (i == 0 && j == 0) return std::nullopt;
  return std::make_pair(i - 1, j - 1);
}

// One record, as stemloop-eval evaluates it. Needs no GIL.
Evaluation evaluate_record(const PythonModel& m, const std::string& sequence,
                           const std::string& structure, bool log_ml) {
  refuse_if(stemloop::check_sequence(sequence, sequence.size()));
  refuse_bad_structure(structure, sequence.size());
  stemloop::EvalOptions options = m.eval;
  options.logML = log_ml;
  stemloop::Evaluation ev;
  try {
    ev = stemloop::evaluate_structure(m.model, options, sequence, structure, true);
  } catch (const stemloop::Error& e) {
    throw py::value_error(stemloop::describe(e, "structure"));
  }
  Evaluation result;
  result.energy = kcal(ev.energy);
  for (const stemloop::LoopContribution& loop : ev.loops) {
    result.loops.push_back({stemloop::loop_kind_name(loop.kind), pair_of(loop.i, loop.j),
                            pair_of(loop.p, loop.q), kcal(loop.energy)});
  }
  for (const stemloop::PairWarning& w : ev.warnings)
    result.invalid_pairs.emplace_back(w.i - 1, w.j - 1);
  return result;
}

Evaluation evaluate(const PythonModel& m, const std::string& sequence, const std::string& structure,
                    bool log_ml) {
  py::gil_scoped_release released;
  return evaluate_record(m, sequence, structure, log_ml);
}

std::vector<Evaluation> evaluate_batch(const PythonModel& m, const Strings& sequence_list,
                                       const Strings& structure_list, bool log_ml,
                                       std::optional<int> threads) {
  const std::vector<std::string>& sequences = sequence_list.of("sequences");
  const std::vector<std::string>& structures = structure_list.of("structures");
  if (structures.size() != sequences.size()) {
    bad_value(std::to_string(structures.size()) + " structures for " +
              std::to_string(sequences.size()) + " sequences");
  }
  std::vector<Evaluation> results(sequences.size());
  run_batch(sequences.size(), batch_threads(threads), [&] {
    return [&](size_t k) { results[k] = evaluate_record(m, sequences[k], structures[k], log_ml); };
  });
  return results;
}

constexpr char kEvaluateDoc[] = R"doc(Free energy of a given structure, in total and loop by loop.

sequence: letters; T evaluates as U, case does not matter.
structure: dot-bracket, as long as the sequence ('(', ')' and '.').
log_ml: logarithmic multiloop penalty above six unpaired bases, as stemloop-eval --logML.

Returns an Evaluation. A bracketed pair whose bases cannot pair is scored as the tools
score it and listed in Evaluation.invalid_pairs. Raises ValueError, with stemloop-eval's
message, for a sequence or structure the tool refuses.)doc";

constexpr char kEvaluateBatchDoc[] = R"doc(Evaluates a list of structures on several threads.

structures holds one structure per sequence. The GIL is released while they are
evaluated; threads defaults to the number of cores.

Returns a list of Evaluation in input order, equal to what evaluate gives for each pair.
Raises ValueError for the first refused record, led by its label ("record 3: ...").)doc";

}  // namespace

void bind_evaluate(py::module_& m, ModelClass& model) {
  using namespace pybind11::literals;
  py::class_<Loop> loop(m, "Loop", "One loop of a structure and its free energy.");
  loop.def_readonly("kind", &Loop::kind,
                    "'exterior', 'hairpin', 'stack', 'bulge', 'interior' or 'multiloop'.")
      .def_readonly("closing", &Loop::closing,
                    "The pair (i, j) closing the loop, 0-based, or None for the exterior loop.")
      .def_readonly("inner", &Loop::inner,
                    "For a stack, bulge or interior loop the enclosed pair (p, q), else None.")
      .def_readonly("energy", &Loop::energy, "Free energy of the loop in kcal/mol.");
  as_value(
      loop, "Loop", {"kind", "closing", "inner", "energy"},
      [](const Loop& l) { return py::make_tuple(l.kind, l.closing, l.inner, l.energy); },
      [](const py::tuple& state) {
        return Loop{state[0].cast<std::string>(), state[1].cast<Pair>(), state[2].cast<Pair>(),
                    state[3].cast<double>()};
      });

  py::class_<Evaluation> evaluation(m, "Evaluation",
                                    "The free energy of a structure, loop by loop.");
  evaluation
      .def_readonly("energy", &Evaluation::energy,
                    "Free energy in kcal/mol: the sum of the loops' energies.")
      .def_readonly("loops", &Evaluation::loops, "The loops, exterior loop first.")
      .def_readonly("invalid_pairs", &Evaluation::invalid_pairs,
                    "Bracketed pairs (i, j), 0-based, whose bases cannot pair.");
  as_value(
      evaluation, "Evaluation", {"energy", "loops", "invalid_pairs"},
      [](const Evaluation& e) {
        return py::make_tuple(e.energy, py::tuple(py::cast(e.loops)),
                              py::tuple(py::cast(e.invalid_pairs)));
      },
      [](const py::tuple& state) {
        return Evaluation{state[0].cast<double>(), state[1].cast<std::vector<Loop>>(),
                          state[2].cast<std::vector<std::pair<int, int>>>()};
      });

  model
      .def("evaluate", named("evaluate", &evaluate), "sequence"_a, "structure"_a, py::kw_only(),
           "log_ml"_a = false, kEvaluateDoc)
      .def("evaluate_batch", named("evaluate_batch", &evaluate_batch), "sequences"_a,
           "structures"_a, py::kw_only(), "log_ml"_a = false, "threads"_a = py::none(),
           kEvaluateBatchDoc);

  m.def("evaluate",
        named(
            "evaluate",
            +[](const std::string& sequence, const std::string& structure, bool log_ml,
                const py::kwargs& options) {
              return evaluate(model_from_options(options), sequence, structure, log_ml);
            }),
        "sequence"_a, "structure"_a, py::kw_only(), "log_ml"_a = false,
        "Evaluates a structure with Model(**options); see Model.evaluate and Model for the "
        "keywords.");
  m.def("evaluate_batch",
        named(
            "evaluate_batch",
            +[](const Strings& sequences, const Strings& structures, bool log_ml,
                std::optional<int> threads, const py::kwargs& options) {
              return evaluate_batch(model_from_options(options), sequences, structures, log_ml,
                                    threads);
            }),
        "sequences"_a, "structures"_a, py::kw_only(), "log_ml"_a = false, "threads"_a = py::none(),
        "Evaluates structures with Model(**options); see Model.evaluate_batch and "
        "Model for the keywords.");
}

}  // namespace stemloop_python

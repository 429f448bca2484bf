// partition: the Boltzmann ensemble of a sequence, its pair probabilities as numpy arrays
// and the structures that follow from them, as stemloop-fold -p computes them.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "arguments.hpp"
#include "batch.hpp"
#include "python_model.hpp"
#include "stemloop/ensemble.hpp"
#include "stemloop/error.hpp"
#include "stemloop/records.hpp"
#include "value_type.hpp"

namespace py = pybind11;

namespace stemloop_python {
namespace {

// A computed ensemble and what it was computed from, which is what pickling keeps (the
// tables are computed again when it is loaded). Read-only, so its methods may run with
// the GIL released. The numpy arrays are built on first use and kept, read-only.
struct PythonEnsemble {
  ModelSettings settings;
  std::string sequence;
  std::optional<std::string> constraint;
  stemloop::Ensemble ensemble;
  std::optional<py::array_t<double>> probabilities, unpaired;
};

// Raises ValueError with the tools' message for an engine error about `what`.
template <class Work>
auto translated(const char* what, const Work& work) {
  try {
    return work();
  } catch (const stemloop::Error& e) {
    throw py::value_error(stemloop::describe(e, what));
  }
}

// One record, as stemloop-fold -p computes it. Needs no GIL.
std::unique_ptr<PythonEnsemble> ensemble_of(const PythonModel& m, const std::string& sequence,
                                            const std::string* constraint, int threads) {
  refuse_if(stemloop::check_sequence(sequence, sequence.size()));
  if (constraint) refuse_if(stemloop::check_constraint(*constraint, sequence.size()));
  auto result = std::make_unique<PythonEnsemble>();
  result->settings = m.settings;
  result->sequence = sequence;
  if (constraint) result->constraint = *constraint;
  stemloop::EnsembleOptions options = stemloop::ensemble_options(m.fold);
  options.threads = threads;
  const char* strict = constraint ? constraint->c_str() : nullptr;
  translated("constraint", [&] { result->ensemble.compute(m.model, options, sequence, strict); });
  return result;
}

std::unique_ptr<PythonEnsemble> partition(const PythonModel& m, const std::string& sequence,
                                          const std::optional<std::string>& constraint,
                                          int threads) {
  if (threads < 1) bad_value("threads must be at least 1");
  py::gil_scoped_release released;
  return ensemble_of(m, sequence, constraint ? &*constraint : nullptr, threads);
}

std::vector<std::unique_ptr<PythonEnsemble>> partition_batch(
    const PythonModel& m, const Strings& sequence_list,
    const std::optional<Strings>& constraint_list, std::optional<int> threads) {
  const std::vector<std::string>& sequences = sequence_list.of("sequences");
  const std::vector<std::string>* constraints =
      constraint_list ? &constraint_list->of("constraints") : nullptr;
  if (constraints && constraints->size() != sequences.size()) {
    bad_value(std::to_string(constraints->size()) + " constraints for " +
              std::to_string(sequences.size()) + " sequences");
  }
  std::vector<std::unique_ptr<PythonEnsemble>> results(sequences.size());
  run_batch(sequences.size(), batch_threads(threads), [&] {
    return [&](size_t k) {
      results[k] = ensemble_of(m, sequences[k], constraints ? &(*constraints)[k] : nullptr, 1);
    };
  });
  return results;
}

py::tuple ensemble_fields(const PythonEnsemble& e) {
  return py::make_tuple(settings_tuple(e.settings), e.sequence, e.constraint);
}

std::unique_ptr<PythonEnsemble> ensemble_of_fields(const py::tuple& state) {
  const PythonModel m = make_model(settings_of_tuple(state[0].cast<py::tuple>()));
  const auto sequence = state[1].cast<std::string>();
  const auto constraint = state[2].cast<std::optional<std::string>>();
  py::gil_scoped_release released;
  return ensemble_of(m, sequence, constraint ? &*constraint : nullptr, 1);
}

py::array_t<double> read_only(py::array_t<double> array) {
  array.attr("flags").attr("writeable") = false;
  return array;
}

const py::array_t<double>& probabilities(PythonEnsemble& self) {
  if (!self.probabilities) {
    const py::ssize_t n = self.ensemble.length();
    py::array_t<double> p({n, n});
    auto cell = p.mutable_unchecked<2>();
    for (py::ssize_t i = 0; i < n; i++)
      for (py::ssize_t j = 0; j < n; j++) cell(i, j) = 0.0;
    for (const stemloop::PairProbability& pair : self.ensemble.pairs(0.0))
      cell(pair.i - 1, pair.j - 1) = cell(pair.j - 1, pair.i - 1) = pair.p;
    self.probabilities = read_only(p);
  }
  return *self.probabilities;
}

const py::array_t<double>& unpaired(PythonEnsemble& self) {
  if (!self.unpaired) {
    const int n = self.ensemble.length();
    py::array_t<double> q(n);
    auto cell = q.mutable_unchecked<1>();
    for (int i = 0; i < n; i++) cell(i) = self.ensemble.unpaired(i + 1);
    self.unpaired = read_only(q);
  }
  return *self.unpaired;
}

stemloop::MeaStructure mea(const PythonEnsemble& self, double gamma) {
  if (!std::isfinite(gamma) || gamma < 0) bad_value("gamma must be at least 0");
  py::gil_scoped_release released;
  return self.ensemble.mea(gamma);
}

std::vector<std::string> sample(const PythonEnsemble& self, int count, uint64_t seed) {
  if (count < 0) bad_value("the number of samples must be at least 0");
  py::gil_scoped_release released;
  return self.ensemble.sample(count, seed);
}

// A structure as stemloop-eval -p takes it, then `measure` of it.
template <double (stemloop::Ensemble::*measure)(const std::string&) const>
double of_structure(const PythonEnsemble& self, const std::string& structure) {
  refuse_bad_structure(structure, self.ensemble.length());
  return translated("structure", [&] { return (self.ensemble.*measure)(structure); });
}

constexpr char kPartitionDoc[] = R"doc(The Boltzmann ensemble of a sequence.

Computes the partition function and every pair probability (about 32 n^2 bytes of
tables, kept with the Ensemble for mea and sample). The model's dangle mode must be
0 or 2.

sequence: letters; T folds as U, case does not matter.
constraint: optional string as long as the sequence, held strictly: '(' and ')' pair
  with each other, '<' and '>' pair downstream or upstream, '|' pairs, 'x' stays
  unpaired, '.' is free.
threads: threads for one long sequence; the result does not depend on it.

Returns an Ensemble; the GIL is released while it is computed. Raises ValueError, with
stemloop-fold's message, for input stemloop-fold -p refuses.)doc";

constexpr char kPartitionBatchDoc[] =
    R"doc(The ensembles of every sequence of an iterable, on several threads.

constraints, when given, holds one constraint per sequence. The GIL is released while
they are computed; threads defaults to the number of cores. Every Ensemble keeps its
tables (about 32 n^2 bytes each).

Returns a list of Ensemble in input order, equal to what partition gives for each
sequence. Raises ValueError for the first refused record, led by its label
("record 3: ...").)doc";

}  // namespace

void bind_partition(py::module_& m, ModelClass& model) {
  using namespace pybind11::literals;
  py::class_<stemloop::MeaStructure> mea_structure(
      m, "MeaStructure", "The maximum-expected-accuracy structure of an ensemble.");
  mea_structure
      .def_readonly("structure", &stemloop::MeaStructure::structure, "Dot-bracket structure.")
      .def_readonly("gamma", &stemloop::MeaStructure::gamma,
                    "Weight of a paired base against an unpaired one.")
      .def_readonly("expected_accuracy", &stemloop::MeaStructure::expected_accuracy,
                    "2 gamma p_ij summed over its pairs plus q_i over its unpaired bases.");
  as_value(
      mea_structure, "MeaStructure", {"structure", "gamma", "expected_accuracy"},
      [](const stemloop::MeaStructure& s) {
        return py::make_tuple(s.structure, s.gamma, s.expected_accuracy);
      },
      [](const py::tuple& state) {
        stemloop::MeaStructure s;
        s.structure = state[0].cast<std::string>();
        s.gamma = state[1].cast<double>();
        s.expected_accuracy = state[2].cast<double>();
        return s;
      });

  py::class_<PythonEnsemble> ensemble(
      m, "Ensemble", "The Boltzmann ensemble of a sequence; positions are 0-based.");
  ensemble
      .def_property_readonly(
          "energy", [](const PythonEnsemble& self) { return self.ensemble.free_energy(); },
          "Ensemble free energy -RT ln Z in kcal/mol.")
      .def_property_readonly("probabilities", &probabilities,
                             "Pair probabilities: a symmetric n x n float64 array, read-only.")
      .def_property_readonly("unpaired", &unpaired,
                             "Probability of each base to be unpaired: a float64 array, read-only.")
      .def_property_readonly(
          "diversity", [](const PythonEnsemble& self) { return self.ensemble.diversity(); },
          "Expected base-pair distance between two structures of the ensemble.")
      .def_property_readonly(
          "centroid", [](const PythonEnsemble& self) { return self.ensemble.centroid(); },
          "The structure of the pairs with probability above 0.5.")
      .def("mea", named("mea", &mea), "gamma"_a = 1.0,
           "The maximum-expected-accuracy structure for this weight of paired bases.")
      .def("sample", named("sample", &sample), "n"_a, "seed"_a = 1,
           "n structures drawn with their Boltzmann probability; the same seed gives the same "
           "structures.")
      .def("probability", &of_structure<&stemloop::Ensemble::structure_probability>, "structure"_a,
           "Boltzmann probability of a dot-bracket structure, 0 for one outside the ensemble.")
      .def("ensemble_defect", &of_structure<&stemloop::Ensemble::ensemble_defect>, "structure"_a,
           "Expected number of bases paired otherwise than in the structure.")
      .def(
          "__repr__",
          [](const PythonEnsemble& self) {
            return "Ensemble(sequence=" + std::string(shown(py::str(self.sequence))) +
                   ", energy=" + std::string(py::repr(py::float_(self.ensemble.free_energy()))) +
                   ")";
          },
          "Sequence and ensemble free energy.");
  as_value(ensemble, "Ensemble", {}, &ensemble_fields, &ensemble_of_fields);

  model
      .def("partition", named("partition", &partition), "sequence"_a, py::kw_only(),
           "constraint"_a = py::none(), "threads"_a = 1, kPartitionDoc)
      .def("partition_batch", named("partition_batch", &partition_batch), "sequences"_a,
           py::kw_only(), "constraints"_a = py::none(), "threads"_a = py::none(),
           kPartitionBatchDoc);
  m.def("partition",
        named(
            "partition",
            +[](const std::string& sequence, const std::optional<std::string>& constraint,
                int threads, py::kwargs options) {
              return partition(model_from_options(options), sequence, constraint, threads);
            }),
        "sequence"_a, py::kw_only(), "constraint"_a = py::none(), "threads"_a = 1,
        "The ensemble of a sequence with Model(**options); see Model.partition and Model for "
        "the keywords.");
  m.def("partition_batch",
        named(
            "partition_batch",
            +[](const Strings& sequences, const std::optional<Strings>& constraints,
                std::optional<int> threads, py::kwargs options) {
              return partition_batch(model_from_options(options), sequences, constraints, threads);
            }),
        "sequences"_a, py::kw_only(), "constraints"_a = py::none(), "threads"_a = py::none(),
        "The ensembles of sequences with Model(**options); see Model.partition_batch and "
        "Model for the keywords.");
}

}  // namespace stemloop_python

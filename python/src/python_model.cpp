// The Model class: keyword options in Python's style, checked, mapped onto the engine's
// option structs with the engine's defaults.
#include "python_model.hpp"

#include <pybind11/stl.h>

#include <cctype>
#include <cmath>
#include <cstring>

#include "stemloop/error.hpp"

namespace py = pybind11;

namespace stemloop_python {
namespace {

// Letters the alphabet knows; a nonstandard pair is two of them.
constexpr char kPairLetters[] = "ACGUTXKI";

std::string checked_pair(const std::string& item) {
  std::string pair;
  for (char letter : item) {
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    if (letter != '\0' && std::strchr(kPairLetters, upper) != nullptr) pair.push_back(upper);
  }
  if (item.size() != 2 || pair.size() != 2)
    throw py::value_error("nonstandard pair '" + item + "' is not two letters such as 'GA'");
  return pair;
}

PythonModel make_model(double temperature, int dangles, bool no_lonely_pairs, bool no_gu,
                       bool no_closing_gu, bool tetraloops,
                       const std::vector<std::string>& nonstandard_pairs, int energy_set,
                       const std::string& parameters) {
  if (!std::isfinite(temperature) || temperature < -273.15)
    throw py::value_error("temperature must be at least -273.15 degrees Celsius");
  if (dangles < 0 || dangles > 3) throw py::value_error("dangles must be 0, 1, 2 or 3");
  if (energy_set < 0 || energy_set > 2) throw py::value_error("energy_set must be 0, 1 or 2");
  stemloop::ModelOptions options;
  options.temperature = temperature;
  options.alphabet.noGU = no_gu;
  options.alphabet.energy_set = energy_set;
  std::vector<std::string> pairs;
  for (const std::string& item : nonstandard_pairs) {
    pairs.push_back(checked_pair(item));
    options.alphabet.nonstandards += pairs.back();
  }
  options.alphabet.has_nonstandards = !pairs.empty();
  try {
    options.parameters = stemloop::load_parameters(parameters);
  } catch (const stemloop::Error& e) {
    throw py::value_error(e.what());
  }
  stemloop::FoldOptions fold;
  stemloop::EvalOptions eval;
  fold.dangles = eval.dangles = dangles;
  fold.noLonelyPairs = no_lonely_pairs;
  fold.no_closingGU = no_closing_gu;
  fold.tetra_loop = eval.tetra_loop = tetraloops;
  return PythonModel{fold, eval, stemloop::Model(options), pairs, parameters};
}

py::str model_repr(const PythonModel& m) {
  const stemloop::AlphabetOptions& alphabet = m.model.options.alphabet;
  return py::str(
             "Model(temperature={!r}, dangles={!r}, no_lonely_pairs={!r}, no_gu={!r}, "
             "no_closing_gu={!r}, tetraloops={!r}, nonstandard_pairs={!r}, energy_set={!r}, "
             "parameters={!r})")
      .format(m.model.options.temperature, m.fold.dangles, m.fold.noLonelyPairs, alphabet.noGU,
              m.fold.no_closingGU, m.fold.tetra_loop, m.nonstandard_pairs, alphabet.energy_set,
              m.parameters);
}

constexpr char kModelDoc[] = R"doc(The energy model and folding rules that fold and evaluate use.

A Model holds the energy tables for one temperature and alphabet. Build it once and
reuse it: it is read-only, so any number of threads may fold with it at once.

Keywords (defaults are those of the command-line tools):
  temperature: degrees Celsius.
  dangles: dangling-end mode 0, 1, 2 or 3 (3 adds coaxial stacking).
  no_lonely_pairs: no isolated base pairs (folding only).
  no_gu: G-U and U-G may not pair.
  no_closing_gu: no G-U or U-G pair closes a loop (folding only).
  tetraloops: special hairpins of four get their bonus.
  nonstandard_pairs: extra pairs, two letters each, such as ['GA', 'AG'].
  energy_set: alphabet, 0 for ACGU, 1 or 2 for the G/C and A/U two-letter alphabets.
  parameters: the parameter set, 'turner1999' or 'turner2004', or the path of a
    parameter file (as stemloop-fold --write-parameters writes one).

Raises ValueError for a value out of range.)doc";

}  // namespace

py::object model_from_options(const py::kwargs& options) {
  return py::type::of<PythonModel>()(**options);
}

ModelClass bind_model(py::module_& m) {
  const stemloop::ModelOptions model;
  const stemloop::FoldOptions fold;
  ModelClass model_class(m, "Model", kModelDoc);
  model_class
      .def(py::init(&make_model), py::kw_only(), py::arg("temperature") = model.temperature,
           py::arg("dangles") = fold.dangles, py::arg("no_lonely_pairs") = fold.noLonelyPairs,
           py::arg("no_gu") = model.alphabet.noGU, py::arg("no_closing_gu") = fold.no_closingGU,
           py::arg("tetraloops") = fold.tetra_loop,
           py::arg("nonstandard_pairs") = std::vector<std::string>{},
           py::arg("energy_set") = model.alphabet.energy_set,
           py::arg("parameters") = std::string("turner1999"),
           "Builds the energy tables for these options.")
      .def_property_readonly(
          "temperature", [](const PythonModel& self) { return self.model.options.temperature; },
          "Temperature in degrees Celsius.")
      .def_property_readonly(
          "dangles", [](const PythonModel& self) { return self.fold.dangles; },
          "Dangling-end mode, 0 to 3.")
      .def_property_readonly(
          "no_lonely_pairs", [](const PythonModel& self) { return self.fold.noLonelyPairs; },
          "Whether folding forbids isolated base pairs.")
      .def_property_readonly(
          "no_gu", [](const PythonModel& self) { return self.model.options.alphabet.noGU; },
          "Whether G-U and U-G may not pair.")
      .def_property_readonly(
          "no_closing_gu", [](const PythonModel& self) { return self.fold.no_closingGU; },
          "Whether folding forbids G-U and U-G pairs that close a loop.")
      .def_property_readonly(
          "tetraloops", [](const PythonModel& self) { return self.fold.tetra_loop; },
          "Whether special hairpins of four get their bonus.")
      .def_property_readonly(
          "nonstandard_pairs", [](const PythonModel& self) { return self.nonstandard_pairs; },
          "Extra pairs, upper-case, two letters each.")
      .def_property_readonly(
          "energy_set",
          [](const PythonModel& self) { return self.model.options.alphabet.energy_set; },
          "Alphabet: 0 ACGU, 1 G/C, 2 A/U two-letter.")
      .def_property_readonly(
          "parameters", [](const PythonModel& self) { return self.parameters; },
          "The parameter set's name or file, as given.")
      .def_property_readonly(
          "parameter_set",
          [](const PythonModel& self) { return self.model.parameter_set().name; },
          "The name of the parameter set in use, such as 'Turner 1999'.")
      .def("__repr__", &model_repr, "The options, as keywords.");
  return model_class;
}

}  // namespace stemloop_python

// The Model class: keyword options in Python's style, checked, mapped onto the engine's
// option structs with the engine's defaults.
#include "python_model.hpp"

#include <pybind11/stl.h>

#include <cctype>
#include <cmath>
#include <cstring>

#include "arguments.hpp"
#include "stemloop/error.hpp"
#include "stemloop/temperature.hpp"
#include "value_type.hpp"

namespace py = pybind11;

namespace stemloop_python {
namespace {

// Letters the alphabet knows; a nonstandard pair is two of them.
constexpr char kPairLetters[] = "ACGUTXKI";

// The keyword names of ModelSettings, in order.
const std::vector<const char*> kKeywords = {
    "temperature", "dangles",           "no_lonely_pairs", "no_gu",     "no_closing_gu",
    "tetraloops",  "nonstandard_pairs", "energy_set",      "parameters"};

std::string checked_pair(const std::string& item) {
  std::string pair;
  for (char letter : item) {
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    if (letter != '\0' && std::strchr(kPairLetters, upper) != nullptr) pair.push_back(upper);
  }
  if (item.size() != 2 || pair.size() != 2)
    bad_value("nonstandard pair '" + item + "' is not two letters such as 'GA'");
  return pair;
}

// Numbers as Python takes them: an int or a float for a float, an int (or an object with
// __index__, such as a numpy integer) for an int; True and False only for a bool.
double number(const py::handle& value, const std::string& key) {
  if (!py::isinstance<py::bool_>(value)) {
    py::detail::make_caster<double> caster;
    if (caster.load(value, true)) return py::detail::cast_op<double>(caster);
  }
  bad_type(key + " must be float, not " + type_name(value));
}

int integer(const py::handle& value, const std::string& key) {
  if (!py::isinstance<py::bool_>(value)) {
    py::detail::make_caster<int> caster;
    if (caster.load(value, true)) return py::detail::cast_op<int>(caster);
  }
  bad_type(key + " must be int, not " + type_name(value));
}

bool boolean(const py::handle& value, const std::string& key) {
  py::detail::make_caster<bool> caster;
  if (!caster.load(value, false)) bad_type(key + " must be bool, not " + type_name(value));
  return py::detail::cast_op<bool>(caster);
}

void check(ModelSettings& s) {
  if (!stemloop::temperature_in_range(s.temperature))
    bad_value(stemloop::temperature_range_message());
  if (s.dangles < 0 || s.dangles > 3) bad_value("dangles must be 0, 1, 2 or 3");
  if (s.energy_set < 0 || s.energy_set > 2) bad_value("energy_set must be 0, 1 or 2");
  for (std::string& pair : s.nonstandard_pairs) pair = checked_pair(pair);
}

// The field of `s` a bool keyword names, or nullptr when `key` is none of them.
bool* flag_of(ModelSettings& s, const std::string& key) {
  if (key == "no_lonely_pairs") return &s.no_lonely_pairs;
  if (key == "no_gu") return &s.no_gu;
  if (key == "no_closing_gu") return &s.no_closing_gu;
  if (key == "tetraloops") return &s.tetraloops;
  return nullptr;
}

// Sets the keyword `key` of `s` to `value`, refusing a value of the wrong type and an
// unknown keyword.
void set_keyword(ModelSettings& s, const std::string& key, const py::handle& value) {
  if (key == "temperature") {
    s.temperature = number(value, key);
  } else if (key == "dangles") {
    s.dangles = integer(value, key);
  } else if (key == "energy_set") {
    s.energy_set = integer(value, key);
  } else if (key == "parameters") {
    if (!py::isinstance<py::str>(value)) bad_type(key + " must be str, not " + type_name(value));
    s.parameters = py::str(value);
  } else if (key == "nonstandard_pairs") {
    s.nonstandard_pairs = strings_of(value, "nonstandard_pairs");
  } else {
    bool* flag = flag_of(s, key);
    if (flag == nullptr) bad_type("unexpected keyword argument '" + key + "'");
    *flag = boolean(value, key);
  }
}

constexpr char kModelDoc[] = R"doc(The energy model and folding rules that fold and evaluate use.

A Model holds the energy tables for one temperature and alphabet. Build it once and
reuse it: it is read-only, so any number of threads may fold with it at once.

Keywords (defaults are those of the command-line tools):
  temperature: degrees Celsius, from -50 to 150.
  dangles: dangling-end mode 0, 1, 2 (the default) or 3 (3 adds coaxial stacking);
    partition, subopt and zuker need 0 or 2.
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

ModelSettings default_settings() {
  const stemloop::ModelOptions model;
  const stemloop::FoldOptions fold;
  // Dangle mode 2, the tools' default: the one mode in which the fold, the ensemble
  // and the suboptimal structures all score a structure alike.
  return {model.temperature, 2,  fold.noLonelyPairs,        model.alphabet.noGU, fold.no_closingGU,
          fold.tetra_loop,   {}, model.alphabet.energy_set, "turner1999"};
}

ModelSettings settings_from(const py::dict& options) {
  ModelSettings s = default_settings();
  for (const auto& [key_object, value] : options) {
    const std::string key = py::str(key_object);
    set_keyword(s, key, value);
  }
  check(s);
  return s;
}

py::tuple settings_tuple(const ModelSettings& s) {
  return py::make_tuple(s.temperature, s.dangles, s.no_lonely_pairs, s.no_gu, s.no_closing_gu,
                        s.tetraloops, py::tuple(py::cast(s.nonstandard_pairs)), s.energy_set,
                        s.parameters);
}

ModelSettings settings_of_tuple(const py::tuple& values) {
  if (values.size() != kKeywords.size()) throw py::value_error("not the state of a Model");
  py::dict options;
  for (size_t k = 0; k < kKeywords.size(); k++) options[kKeywords[k]] = values[k];
  return settings_from(options);
}

PythonModel make_model(const ModelSettings& s) {
  stemloop::ModelOptions options;
  options.temperature = s.temperature;
  options.alphabet.noGU = s.no_gu;
  options.alphabet.energy_set = s.energy_set;
  for (const std::string& pair : s.nonstandard_pairs) options.alphabet.nonstandards += pair;
  options.alphabet.has_nonstandards = !s.nonstandard_pairs.empty();
  try {
    options.parameters = stemloop::load_parameters(s.parameters);
  } catch (const stemloop::Error& e) {
    bad_value(e.what());
  }
  stemloop::FoldOptions fold;
  stemloop::EvalOptions eval;
  fold.dangles = eval.dangles = s.dangles;
  fold.noLonelyPairs = s.no_lonely_pairs;
  fold.no_closingGU = s.no_closing_gu;
  fold.tetra_loop = eval.tetra_loop = s.tetraloops;
  return PythonModel{s, fold, eval, stemloop::Model(options)};
}

// The signature Model's docstring shows, with the defaults.
std::string init_signature() {
  const py::tuple defaults = settings_tuple(default_settings());
  std::string text = "__init__(self, *";
  for (size_t k = 0; k < kKeywords.size(); k++)
    text += std::string(", ") + kKeywords[k] + "=" + std::string(py::repr(defaults[k]));
  return text + ") -> None\n\nBuilds the energy tables for these options.";
}

ModelClass bind_model(py::module_& m) {
  ModelClass model_class(m, "Model", kModelDoc);
  static const std::string init_doc = init_signature();
  {
    py::options options;
    options.disable_function_signatures();
    model_class.def(py::init(named(
                        "Model",
                        +[](const py::args& args, const py::kwargs& kwargs) {
                          if (!args.empty()) bad_type("takes keyword arguments only");
                          return model_from_options(kwargs);
                        })),
                    init_doc.c_str());
  }
  model_class
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
          "nonstandard_pairs",
          [](const PythonModel& self) { return self.settings.nonstandard_pairs; },
          "Extra pairs, upper-case, two letters each.")
      .def_property_readonly(
          "energy_set",
          [](const PythonModel& self) { return self.model.options.alphabet.energy_set; },
          "Alphabet: 0 ACGU, 1 G/C, 2 A/U two-letter.")
      .def_property_readonly(
          "parameters", [](const PythonModel& self) { return self.settings.parameters; },
          "The parameter set's name or file, as given.")
      .def_property_readonly(
          "parameter_set", [](const PythonModel& self) { return self.model.parameter_set().name; },
          "The name of the parameter set in use, such as 'Turner 1999'.");
  as_value(
      model_class, "Model", kKeywords,
      [](const PythonModel& self) { return settings_tuple(self.settings); },
      [](const py::tuple& state) { return make_model(settings_of_tuple(state)); });
  return model_class;
}

}  // namespace stemloop_python

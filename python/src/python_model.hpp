// What a Python Model holds: the engine's options for folding and evaluation, checked,
// and the engine model they give. Every thread that folds with it shares it read-only.
#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "stemloop/evaluate.hpp"
#include "stemloop/folder.hpp"
#include "stemloop/model.hpp"

namespace stemloop_python {

// The keywords of Model, in their order.
struct ModelSettings {
  double temperature;
  int dangles;
  bool no_lonely_pairs;
  bool no_gu;
  bool no_closing_gu;
  bool tetraloops;
  std::vector<std::string> nonstandard_pairs;  // upper-cased once checked
  int energy_set;
  std::string parameters;  // the set's name or file, as given
};

// The tools' defaults (those of the engine, but for dangle mode 2).
ModelSettings default_settings();

// The settings of keyword arguments: defaults for those not given; ArgumentError for an
// unknown keyword, a value of the wrong type or out of range.
ModelSettings settings_from(const pybind11::dict& options);

// The settings as a tuple in keyword order (for ==, hash and pickling), and back.
pybind11::tuple settings_tuple(const ModelSettings& settings);
ModelSettings settings_of_tuple(const pybind11::tuple& values);

struct PythonModel {
  ModelSettings settings;
  stemloop::FoldOptions fold;
  stemloop::EvalOptions eval;
  stemloop::Model model;
};

// The model of checked settings.
PythonModel make_model(const ModelSettings& settings);

// Energy in kcal/mol as a Python float: the nearest double to energy / 100, which shows
// the same two decimals as the tools print.
inline double kcal(int energy) { return energy / 100.0; }

// Model(**options): the model a module-level function works with.
inline PythonModel model_from_options(const pybind11::kwargs& options) {
  return make_model(settings_from(options));
}

// Registration of each part of the module, one file each; the parts add their methods to
// the Model class that bind_model registers.
using ModelClass = pybind11::class_<PythonModel>;
ModelClass bind_model(pybind11::module_& m);
void bind_fold(pybind11::module_& m, ModelClass& model);
void bind_evaluate(pybind11::module_& m, ModelClass& model);
void bind_partition(pybind11::module_& m, ModelClass& model);
void bind_subopt(pybind11::module_& m, ModelClass& model);
void bind_subopt_iterator(pybind11::module_& m, ModelClass& model);
void bind_fasta(pybind11::module_& m);

}  // namespace stemloop_python

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

struct PythonModel {
  stemloop::FoldOptions fold;
  stemloop::EvalOptions eval;
  stemloop::Model model;
  std::vector<std::string> nonstandard_pairs;  // as given, upper-cased
  std::string parameters;                      // the set's name or file, as given
};

// Energy in kcal/mol as a Python float: the nearest double to energy / 100, which shows
// the same two decimals as the tools print.
inline double kcal(int energy) { return energy / 100.0; }

// Model(**options): the model a module-level function works with.
pybind11::object model_from_options(const pybind11::kwargs& options);

// Registration of each part of the module, one file each; the parts add their methods to
// the Model class that bind_model registers.
using ModelClass = pybind11::class_<PythonModel>;
ModelClass bind_model(pybind11::module_& m);
void bind_fold(pybind11::module_& m, ModelClass& model);
void bind_evaluate(pybind11::module_& m, ModelClass& model);
void bind_partition(pybind11::module_& m, ModelClass& model);
void bind_subopt(pybind11::module_& m, ModelClass& model);

}  // namespace stemloop_python

// A model: the working energy tables for one temperature plus the pair matrix of one
// alphabet. It is a plain value; any number of folders may share one read-only.
#pragma once

#include <memory>
#include <string>

#include "stemloop/alphabet.hpp"
#include "stemloop/energy_params.hpp"
#include "stemloop/export.h"
#include "stemloop/parameter_set.hpp"

STEMLOOP_API_BEGIN
namespace stemloop {

struct ModelOptions {
  double temperature = 37.0;  // degrees Celsius
  AlphabetOptions alphabet;
  // The parameter set the tables are derived from; null is the built-in Turner 1999 set.
  std::shared_ptr<const ParameterSet> parameters;
};

struct Model {
  EnergyParams params;
  PairMatrix pairs;
  ModelOptions options;

  Model() : Model(ModelOptions{}) {}
  explicit Model(const ModelOptions& opts);

  // The set in use (never null).
  const ParameterSet& parameter_set() const;
};

}  // namespace stemloop
STEMLOOP_API_END

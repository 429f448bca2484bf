// A model: the working energy tables for one temperature plus the pair matrix of one
// alphabet. It is a plain value; any number of folders may share one read-only.
#pragma once

#include <string>

#include "stemloop/alphabet.hpp"
#include "stemloop/energy_params.hpp"
#include "stemloop/export.h"

STEMLOOP_API_BEGIN
namespace stemloop {

struct ModelOptions {
  double temperature = 37.0;  // degrees Celsius
  AlphabetOptions alphabet;
};

struct Model {
  EnergyParams params;
  PairMatrix pairs;
  ModelOptions options;

  Model() : Model(ModelOptions{}) {}
  explicit Model(const ModelOptions& opts);
};

}  // namespace stemloop
STEMLOOP_API_END

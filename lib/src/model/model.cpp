#include "stemloop/model.hpp"

#include "stemloop/error.hpp"
#include "stemloop/temperature.hpp"

namespace stemloop {

namespace {

// Refused before any table is scaled. The classic layer scales its own tables for its
// temperature global and never comes here with one.
double checked_temperature(double celsius) {
  if (!temperature_in_range(celsius))
    throw Error(temperature_range_message(), 0, Error::Kind::InvalidArgument);
  return celsius;
}

}  // namespace

Model::Model(const ModelOptions& opts) : options(opts) {
  scale_parameters(params, parameter_set(), checked_temperature(opts.temperature));
  build_pair_matrix(pairs, opts.alphabet);
}

const ParameterSet& Model::parameter_set() const {
  return options.parameters ? *options.parameters : *turner1999();
}

}  // namespace stemloop

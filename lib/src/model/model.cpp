#include "stemloop/model.hpp"

namespace stemloop {

Model::Model(const ModelOptions& opts) : options(opts) {
  scale_parameters(params, parameter_set(), opts.temperature);
  build_pair_matrix(pairs, opts.alphabet);
}

const ParameterSet& Model::parameter_set() const {
  return options.parameters ? *options.parameters : *turner1999();
}

}  // namespace stemloop

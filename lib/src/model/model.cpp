#include "stemloop/model.hpp"

namespace stemloop {

Model::Model(const ModelOptions& opts) : options(opts) {
  scale_parameters(params, opts.temperature);
  build_pair_matrix(pairs, opts.alphabet);
}

}  // namespace stemloop

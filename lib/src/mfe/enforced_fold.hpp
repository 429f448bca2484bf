// The minimum-free-energy fold under strict constraints: the lowest-energy structure of
// the ensemble's structures, computed on the ensemble's decomposition.
#pragma once

#include <string>

#include "stemloop/folder.hpp"
#include "stemloop/model.hpp"

namespace stemloop {

// Folds `sequence` with every constraint character of `constraint` held strictly (see
// Ensemble::compute). Dangle modes 0 and 2 and backtrack type 'F' only. Throws Error when
// no structure meets the constraints.
FoldResult fold_enforced(const Model& model, const FoldOptions& options,
                         const std::string& sequence, const char* constraint);

}  // namespace stemloop

// Which algorithms take which dangle modes, in one place. The fold and the evaluation
// take all four. The ensemble, suboptimal structures, the best structure through each
// pair and the fold with enforced constraints need a structure's energy to be one sum
// over its loops: in modes 1 and 3 it depends on how the dangles are shared out, so they
// take modes 0 and 2 only.
#pragma once

#include "stemloop/export.h"

STEMLOOP_API_BEGIN
namespace stemloop {

enum class Algorithm { Fold, Evaluate, Ensemble, Suboptimal, EnforcedFold };

constexpr bool supports_dangles(Algorithm algorithm, int dangles) {
  if (algorithm == Algorithm::Fold || algorithm == Algorithm::Evaluate) return true;
  return dangles == 0 || dangles == 2;
}

}  // namespace stemloop
STEMLOOP_API_END

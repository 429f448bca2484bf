// The "impossible" energies: what a minimum holds when nothing can form.
// Internal to the library.
#pragma once

#include <climits>

#include "stemloop/constants.h"

namespace stemloop {

// The MFE fill and the enforced fold mark what cannot form with ENERGY_INF, the classic
// tables' mark: the fill keeps plain sums with it, and the enforced fold stops at it, so
// that a loop scored with an "inf" parameter stays impossible. Suboptimal folding sums
// without stopping, over sequences whose energy may lie beyond ENERGY_INF (10000
// kcal/mol), so it marks impossible with kImpossible, far higher: sums of three still fit
// in an int, and anything from kPossibleLimit up counts as impossible.
constexpr int kImpossible = 1 << 29;
constexpr int kPossibleLimit = 1 << 28;
static_assert(3LL * kImpossible <= INT_MAX, "sums of three impossible values fit in an int");
constexpr bool possible(int energy) { return energy < kPossibleLimit; }
constexpr int or_impossible(int energy) { return possible(energy) ? energy : kImpossible; }

}  // namespace stemloop

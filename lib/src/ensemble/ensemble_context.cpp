// The sequence, options and pair rules one ensemble computation reads.
#include <algorithm>
#include <cmath>

#include "ensemble/ensemble_recursions.hpp"
#include "stemloop/error.hpp"

namespace stemloop {

namespace {

// Gas constant in kcal/(mol K).
constexpr double kGasConstant = 0.00198717;

}  // namespace

EnsembleContext::EnsembleContext(const Model& model, const EnsembleOptions& opts,
                                 const std::string& text, const char* constraint)
    : options(opts),
      E(model, opts.dangles, opts.tetra_loop),
      sequence(text),
      seq(encode_sequence(text, model.pairs)),
      rules(strict_pair_rules(seq, model.pairs, constraint)),
      n(seq.length()),
      no_lonely_pairs(opts.noLonelyPairs),
      no_closing_gu(opts.no_closingGU),
      rt(kGasConstant * (model.options.temperature + 273.15)) {
  if (opts.dangles != 0 && opts.dangles != 2) throw Error("the ensemble needs dangle mode 0 or 2");
}

BoltzmannRing::BoltzmannRing(double rt, double log_unit, int n)
    : per_unit_(1.0 / (100.0 * rt)),
      log_unit_(log_unit),
      cache_(2 * kCached),
      // Loop tables are built for every size up to MAX_INTERIOR + 2 bases, whatever n.
      unit_(static_cast<size_t>(std::max(n, MAX_INTERIOR + 2)) + 2) {
  for (int k = 0; k < 2 * kCached; k++)
    cache_[static_cast<size_t>(k)] = std::exp(-(k - kCached) * per_unit_);
  for (size_t k = 0; k < unit_.size(); k++) unit_[k] = std::exp(log_unit * static_cast<double>(k));
}

}  // namespace stemloop

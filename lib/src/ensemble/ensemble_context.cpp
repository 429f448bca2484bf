// The sequence, options and pair rules one ensemble computation reads.
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "ensemble/ensemble_recursions.hpp"
#include "stemloop/dangle_modes.hpp"
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
  if (!supports_dangles(Algorithm::Ensemble, opts.dangles))
    throw Error("the ensemble needs dangle mode 0 or 2");
}

BoltzmannRing::BoltzmannRing(double rt, std::vector<double> log_scale)
    : rt_(rt),
      per_unit_(1.0 / (100.0 * rt)),
      log_scale_(std::move(log_scale)),
      prefix_(log_scale_.size(), 0.0L),
      cache_(2 * kCached),
      near_(log_scale_.size() * kNear, 1.0) {
  for (int k = 0; k < 2 * kCached; k++)
    cache_[static_cast<size_t>(k)] = std::exp(-(k - kCached) * per_unit_);
  const size_t n = log_scale_.size() - 1;
  for (size_t k = 1; k <= n; k++) prefix_[k] = prefix_[k - 1] + log_scale_[k];
  for (size_t a = 1; a <= n; a++)
    for (size_t k = 0; k < kNear && a + k <= n; k++)
      near_[a * kNear + k] = std::exp(static_cast<double>(prefix_[a + k] - prefix_[a - 1]));
}

BoltzmannRing BoltzmannRing::shifted(double shift) const {
  std::vector<double> log_scale = log_scale_;
  for (size_t k = 1; k < log_scale.size(); k++) log_scale[k] += shift;
  return BoltzmannRing(rt_, std::move(log_scale));
}

}  // namespace stemloop

// Stochastic sampling (Ding and Lawrence 2003): from the exterior loop down, each part
// picks one of its candidates with probability proportional to the candidate's weight.
#include <algorithm>
#include <random>

#include "ensemble/ensemble_tables.hpp"
#include "stemloop/ensemble.hpp"
#include "stemloop/error.hpp"

namespace stemloop {
namespace {

// Uniform in [0, 1) from 53 bits: the same on every platform for the same seed.
double uniform(std::mt19937_64& rng) { return static_cast<double>(rng() >> 11) * 0x1.0p-53; }

std::string sample_one(const EnsembleTables& T, std::mt19937_64& rng) {
  std::string structure(static_cast<size_t>(T.x.n), '.');
  std::vector<Ref> todo{Ref{Part::Exterior, 1, 0}};
  while (!todo.empty()) {
    const Ref at = todo.back();
    todo.pop_back();
    if (at.part == Part::Exterior && at.i > T.x.n) continue;
    if (at.part == Part::Pair || at.part == Part::Stacked) {
      structure[static_cast<size_t>(at.i - 1)] = '(';
      structure[static_cast<size_t>(at.j - 1)] = ')';
    }
    // The total is summed again rather than read from the table, so that rounding can
    // never leave the draw past the last candidate.
    double total = 0.0;
    for_each_candidate(T.x, T.ring, T, at, [&](double w, Ref, Ref) { total += w; });
    double left = uniform(rng) * total;
    Ref a = kNone, b = kNone;
    bool chosen = false;
    for_each_candidate(T.x, T.ring, T, at, [&](double w, Ref first, Ref second) {
      if (w <= 0.0 || (chosen && left < 0.0)) return;
      a = first, b = second, chosen = true;
      left -= w;
    });
    if (a.part != Part::None) todo.push_back(a);
    if (b.part != Part::None) todo.push_back(b);
  }
  return structure;
}

}  // namespace

std::vector<std::string> Ensemble::sample(int count, uint64_t seed) const {
  if (!tables_) throw Error("ensemble: no sequence computed yet");
  std::mt19937_64 rng(seed);
  std::vector<std::string> samples;
  samples.reserve(static_cast<size_t>(std::max(count, 0)));
  for (int k = 0; k < count; k++) samples.push_back(sample_one(*tables_, rng));
  return samples;
}

}  // namespace stemloop

// The scale factor of each base for the inside and outside values. A stretch of the
// sequence holds its partition function times the factors of its bases; with factors
// that follow the local free energy, every stretch holds a value near 1, however the
// composition changes along the sequence (a GC-rich block weighs e^2 or more per base,
// a poly-A stretch about 1).
#include <algorithm>
#include <string>
#include <vector>

#include "ensemble/ensemble_tables.hpp"
#include "stemloop/error.hpp"

namespace stemloop {
namespace {

// A first guess of the ensemble free energy per base, kcal/mol.
constexpr double kGuessPerBase = -0.3;

// Windows of kWindow bases, kStep apart, measure the local free energy; sequences of up to
// two windows take the guess for every base.
constexpr int kWindow = 200;
constexpr int kStep = 100;

// Passes that find the scale factors out of range start again; each start learns a
// correction from longer stretches, so a few suffice.
constexpr int kMaxStarts = 12;

double log_z_of(const EnsembleTables& T, const EnsembleOptions& options, int start, int length) {
  EnsembleTables part(T.model, options,
                      T.x.sequence.substr(static_cast<size_t>(start), static_cast<size_t>(length)),
                      nullptr);
  fill_inside(part);
  return part.log_z();
}

// ln Z per base that the bases of a window add to its middle half: the window's ln Z less
// that of its middle half, over the bases of the two outer quarters. Longer stretches
// gain from pairs between more distant bases, and this marginal gain follows them closer
// than the window's own average.
double window_density(const EnsembleTables& T, const EnsembleOptions& options, int start,
                      int length) {
  const int inner = length / 2;
  return (log_z_of(T, options, start, length) -
          log_z_of(T, options, start + (length - inner) / 2, inner)) /
         (length - inner);
}

}  // namespace

void fill_inside(EnsembleTables& T) {
  int starts = 1;
  while (!inside_pass(T)) {
    if (++starts > kMaxStarts) throw Error("ensemble: partition function out of range");
  }
}

std::vector<double> uniform_scale(int n, double rt) {
  std::vector<double> log_scale(static_cast<size_t>(n) + 1, kGuessPerBase / rt);
  log_scale[0] = 0.0;
  return log_scale;
}

std::vector<double> scale_profile(const EnsembleTables& T) {
  const int n = T.x.n;
  std::vector<double> log_scale = uniform_scale(n, T.x.rt);
  if (n <= 2 * kWindow || static_cast<int>(T.x.sequence.size()) != n) return log_scale;

  // ln Z per base of each window, placed at the window's centre. The windows ignore the
  // constraint: a constraint that rules pairs out is left to the restarts.
  EnsembleOptions local = T.x.options;
  local.threads = 1;
  std::vector<double> centre, per_base;
  for (int start = 0;; start += kStep) {
    const int length = std::min(kWindow, n - start);
    centre.push_back(start + 0.5 * (length + 1));
    per_base.push_back(window_density(T, local, start, length));
    if (start + length >= n) break;
  }
  // Between two centres the estimate goes linearly from one to the other.
  size_t m = 0;
  for (int k = 1; k <= n; k++) {
    while (m + 1 < centre.size() && centre[m + 1] <= k) m++;
    double d = per_base[m];
    if (m + 1 < centre.size() && k > centre[m]) {
      const double f = (k - centre[m]) / (centre[m + 1] - centre[m]);
      d = (1.0 - f) * per_base[m] + f * per_base[m + 1];
    }
    log_scale[static_cast<size_t>(k)] = -d;
  }
  return log_scale;
}

}  // namespace stemloop

// The ensemble of arbitrary sequences under arbitrary options and strict constraints.
//
// Input: byte 0 the options (bit 0 dangle mode 0 instead of 2, bit 1 noLonelyPairs, bit 2
// no_closingGU, bit 3 tetra_loop off, bit 4 a constraint follows, bits 5-7 temperature
// 0, 15, ..., 105 C); then the sequence and, with a constraint, a newline and the
// constraint.
//
// The computation either refuses the input for a reason that applies (unbalanced
// brackets, constraints no structure meets) or gives probabilities in [0, 1], each base's
// pair probabilities summing to at most 1, and an ensemble free energy at most the
// energy of the fold with the same constraints held strictly.
#include <cmath>
#include <cstdint>
#include <string>

#include "fuzz_check.hpp"
#include "stemloop/ensemble.hpp"
#include "stemloop/error.hpp"
#include "stemloop/folder.hpp"

namespace {

constexpr size_t kMaxBases = 120;
constexpr double kSlack = 1e-9;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string sequence = rest, constraint;
  const bool constrained = (flags & 16) != 0;
  if (constrained) {
    const size_t newline = rest.find('\n');
    sequence = rest.substr(0, newline);
    if (newline != std::string::npos) constraint = rest.substr(newline + 1);
  }
  if (sequence.size() > kMaxBases || sequence.find('\0') != std::string::npos) return 0;
  for (char& c : constraint)
    if (c == '\0') c = '.';

  stemloop::ModelOptions mo;
  mo.temperature = 15.0 * (flags >> 5);
  const stemloop::Model model(mo);
  stemloop::EnsembleOptions eo;
  eo.dangles = (flags & 1) ? 0 : 2;
  eo.noLonelyPairs = (flags & 2) != 0;
  eo.no_closingGU = (flags & 4) != 0;
  eo.tetra_loop = (flags & 8) == 0;
  const char* strict = constrained ? constraint.c_str() : nullptr;

  stemloop::Ensemble ens;
  try {
    ens.compute(model, eo, sequence, strict);
  } catch (const stemloop::Error& e) {
    const std::string what = e.what();
    FUZZ_CHECK(constrained);
    FUZZ_CHECK(what == "no structure meets the constraints" ||
               what.find("unbalanced brackets") == 0);
    return 0;
  }
  const int n = ens.length();
  FUZZ_CHECK(n == static_cast<int>(sequence.size()));
  FUZZ_CHECK(std::isfinite(ens.free_energy()));
  for (int i = 1; i <= n; i++) {
    double sum = 0.0;
    for (int j = 1; j <= n; j++) {
      const double p = ens.probability(i, j);
      FUZZ_CHECK(p >= 0.0 && p <= 1.0);
      sum += p;
    }
    FUZZ_CHECK(sum <= 1.0 + kSlack);
    FUZZ_CHECK(std::fabs(ens.unpaired(i) - std::max(0.0, 1.0 - sum)) < kSlack);
  }
  stemloop::FoldOptions fo;
  fo.dangles = eo.dangles;
  fo.noLonelyPairs = eo.noLonelyPairs;
  fo.no_closingGU = eo.no_closingGU;
  fo.tetra_loop = eo.tetra_loop;
  fo.enforce_constraints = true;
  const stemloop::FoldResult mfe =
      stemloop::Folder().fold(model, fo, sequence, strict ? strict : "");
  FUZZ_CHECK(ens.free_energy() <= mfe.energy / 100.0 + 1e-6);
  const double p = ens.structure_probability(mfe.structure);
  FUZZ_CHECK(p > 0.0 && p <= 1.0);
  for (const std::string& s : ens.sample(3, 7)) FUZZ_CHECK(ens.structure_probability(s) > 0.0);
  const stemloop::MeaStructure mea = ens.mea(2.0);
  FUZZ_CHECK(ens.ensemble_defect(mea.structure) >= -kSlack);
  return 0;
}

// The Boltzmann ensemble of a sequence: every secondary structure the fold could produce,
// each weighted by exp(-E/RT) with E its energy as evaluate_structure computes it. From
// the partition function Z (McCaskill 1990) follow the pair probabilities, the
// maximum-expected-accuracy structure (Do et al. 2006), the centroid (Ding, Chan and
// Lawrence 2005), stochastic samples (Ding and Lawrence 2003), and the probability and
// ensemble defect (Zadeh et al. 2011) of a given structure.
//
// An Ensemble owns its tables and may be reused for many sequences; two Ensembles in two
// threads never share mutable state. Every function throws stemloop::Error on failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "stemloop/export.h"
#include "stemloop/folder.hpp"
#include "stemloop/model.hpp"

namespace stemloop {
// The ensemble's tables: an internal type, not exported.
class EnsembleTables;
}  // namespace stemloop

STEMLOOP_API_BEGIN
namespace stemloop {

// The loop options (dangle modes 0 and 2 only: there a structure's energy is a sum over
// its loops) and the threads.
struct EnsembleOptions : LoopOptions {
  int threads = 1;  // threads for one long sequence; results do not depend on it
};

// The ensemble options that match a fold's: dangles, lonely pairs, closing G-U,
// special hairpins and threads.
EnsembleOptions ensemble_options(const FoldOptions& fold);

struct PairProbability {
  int i, j;  // 1-based, i < j
  double p;
};

struct MeaStructure {
  std::string structure;     // dot-bracket
  double gamma = 1.0;        // weight of a paired base against an unpaired one
  double expected_accuracy;  // the maximised sum: 2 gamma p_ij per pair, q_i per unpaired base
};

class Ensemble {
 public:
  Ensemble();
  ~Ensemble();
  Ensemble(Ensemble&&) noexcept;
  Ensemble& operator=(Ensemble&&) noexcept;

  // Computes the partition function and every pair probability of `sequence`. With a
  // non-null `constraint`, its characters are strict: 'x' unpaired, '|' paired, '<' paired
  // with a base downstream, '>' with a base upstream, '(' ')' paired with each other;
  // positions past its end are free. Throws Error for dangle modes other than 0 and 2,
  // unbalanced constraint brackets, constraints no structure meets, and sequences longer
  // than 32767 bases.
  void compute(const Model& model, const EnsembleOptions& options, const std::string& sequence,
               const char* constraint = nullptr);

  int length() const;
  // Ensemble free energy -RT ln Z, kcal/mol.
  double free_energy() const;
  // Probability that i and j (1-based, either order) pair; 0 for i == j.
  double probability(int i, int j) const;
  // Probability that base i is unpaired: 1 - sum over j of p_ij.
  double unpaired(int i) const;
  // Every pair with p >= cutoff and p > 0, ordered by i then j.
  std::vector<PairProbability> pairs(double cutoff) const;
  // Expected base-pair distance between two structures drawn from the ensemble.
  double diversity() const;
  // The nested structure of pairs with p > 0 that maximises sum 2 gamma p_ij over its
  // pairs plus q_i over its unpaired bases.
  MeaStructure mea(double gamma = 1.0) const;
  // The pairs with p > 0.5.
  std::string centroid() const;
  // exp(-E/RT) / Z for a structure of the ensemble, 0 for any other structure. Throws
  // Error for a structure of the wrong length or with unbalanced brackets.
  double structure_probability(const std::string& structure) const;
  // n - sum over its pairs of 2 p_ij - sum over its unpaired bases of q_i.
  double ensemble_defect(const std::string& structure) const;
  // `count` structures drawn independently with probability exp(-E/RT) / Z; the same
  // seed gives the same structures.
  std::vector<std::string> sample(int count, uint64_t seed) const;

  // Bytes the tables of an n-base sequence need, MEA included: about 32.5 n^2 (24 GiB
  // hold 28,000 bases); the lonely-pair rule adds 4 n^2.
  static size_t workspace_bytes(int n);

 private:
  std::unique_ptr<EnsembleTables> tables_;
};

}  // namespace stemloop
STEMLOOP_API_END

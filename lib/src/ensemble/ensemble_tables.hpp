// The tables of one ensemble computation: inside values of every part, exterior
// prefixes and suffixes, and the pair probabilities the outside pass derives.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ensemble/ensemble_recursions.hpp"
#include "stemloop/ensemble.hpp"
#include "stemloop/model.hpp"

namespace stemloop {

// Boltzmann weights of the loop parts that depend on sizes only, each with the scale
// factor of the bases it covers, and the free runs of bases around each position.
struct LoopWeights {
  LoopWeights(const EnsembleContext& x, const BoltzmannRing& R);
  // interior_size(l, r) of a generic interior loop (0 elsewhere) with l + r + 2 bases,
  // and the same with r read backwards: by_right_end[l][30 - r].
  double generic[MAX_INTERIOR + 1][MAX_INTERIOR + 1] = {};
  double by_right_end[MAX_INTERIOR + 1][MAX_INTERIOR + 1] = {};
  // The loops scored one by one, as (left, right): bulges of one base, 1x1, 1x2, 2x1,
  // 2x2, and the generic loops outside the windows (EnergyTerms::own_candidate).
  std::vector<std::pair<int, int>> small_loops;
  double bulge[MAX_INTERIOR + 1] = {};  // bulge_size(b) with b + 2 bases, b >= 2
  double terminal[kPairTypes] = {};
  double ml_unpaired;  // one unpaired multiloop base
  // Bases from k on (up to k) that may all stay unpaired.
  std::vector<int> free_from, free_to;
};

class EnsembleTables {
 public:
  EnsembleTables(const Model& model, const EnsembleOptions& options, const std::string& sequence,
                 const char* constraint);

  Model model;  // a copy: results are asked for after the caller's model may be gone
  EnsembleContext x;
  Triangle index;
  BoltzmannRing ring;
  int threads;

  // Inside values, scaled by ring.unit(bases covered). Pair, Stacked (lonely-pair rule
  // only), Branch and Multi by row; Branch and Multi by column as well, for the passes
  // that read them down a column.
  std::vector<double> qb, qs, qm1, qm1_col, qm, qm_col;
  std::vector<double> q3;        // Exterior(i), q3[n + 1] = 1
  std::vector<double> q5;        // the exterior loop of 1..j, q5[0] = 1
  std::vector<double> prob;      // pair probabilities by row
  std::vector<double> unpaired;  // per base

  double get(Ref r) const {
    switch (r.part) {
      case Part::Pair:
        return qb[index.row(r.i, r.j)];
      case Part::Stacked:
        return (x.no_lonely_pairs ? qs : qb)[index.row(r.i, r.j)];
      case Part::Branch:
        return qm1[index.row(r.i, r.j)];
      case Part::Multi:
        return qm[index.row(r.i, r.j)];
      case Part::Exterior:
        return q3[static_cast<size_t>(r.i)];
      case Part::None:
        break;
    }
    return 1.0;
  }
  // The partition function in the scaled units, and ln of the unscaled one.
  double z() const { return q3[1]; }
  double log_z() const;
};

// Fills the inside tables and q3 with the sums each part's candidates give, regrouped
// for speed. Returns false, with ring rescaled, when some values left the safe range
// of doubles; the caller then runs it again.
bool inside_pass(EnsembleTables& T);

// From the inside tables: q5, the pair probabilities and the unpaired probabilities.
void outside_pass(EnsembleTables& T);

}  // namespace stemloop

// The tables of one ensemble computation: inside values of every part, exterior
// prefixes and suffixes, and the pair probabilities the outside pass derives.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ensemble/ensemble_recursions.hpp"
#include "ensemble/ensemble_schedule.hpp"
#include "mfe/table_buffer.hpp"
#include "stemloop/ensemble.hpp"
#include "stemloop/model.hpp"

namespace stemloop {

// Boltzmann weights of the loop parts that depend on sizes only (scale factors are the
// caller's, as they depend on where the loop is), and the free runs of bases around each
// position.
struct LoopWeights {
  LoopWeights(const EnsembleContext& x, const BoltzmannRing& R);
  // interior_size(l, r) of a generic interior loop inside the windows, 0 elsewhere.
  double generic[MAX_INTERIOR + 1][MAX_INTERIOR + 1] = {};
  // The loops scored one by one, as (left, right): bulges of one base, 1x1, 1x2, 2x1,
  // 2x2, and the generic loops outside the windows (EnergyTerms::own_candidate).
  std::vector<std::pair<int, int>> small_loops;
  double bulge[MAX_INTERIOR + 1] = {};  // bulge_size(b) with b + 2 bases, b >= 2
  double terminal[kPairTypes] = {};
  double ml_unpaired;  // one unpaired multiloop base
  // Bases from k on (up to k) that may all stay unpaired.
  std::vector<int> free_from, free_to;
};

// The generic interior-loop weights of one column j, times the scale factor of the loop's
// bases on the column's side: j-r .. j of the loops closed by (i, j), for the inside pass,
// stored as [l][30 - r]; or j+1 .. j+1+r of the loops around (i, j), for the outside
// pass, stored as [l][r]. The other side's factor depends on the row only.
struct ColumnWeights {
  ColumnWeights(const LoopWeights& w, const BoltzmannRing& R, int j, bool inside);
  double by_r[MAX_INTERIOR + 1][MAX_INTERIOR + 1] = {};
  // The same weights by lanes for window_sums when every window is whole: lanes[k][l]
  // is the weight of the k-th product of loop side l (by_r[l][l + k] inside,
  // by_r[l][1 + k] outside), k < 30 - l.
  double lanes[MAX_INTERIOR][kWindowLanes] = {};
};

// A table of one value per cell, starting at 0.
using CellTable = std::vector<double, ZeroedAllocator<double>>;

class EnsembleTables {
 public:
  // The scale factors start as one guess for every base.
  EnsembleTables(const Model& model, const EnsembleOptions& options, const std::string& sequence,
                 const char* constraint);

  Model model;  // a copy: results are asked for after the caller's model may be gone
  EnsembleContext x;
  Triangle index;
  BoltzmannRing ring;
  int threads;

  // Inside values, each scaled by ring.unit of the bases it covers. Pair, Stacked (lonely-pair rule
  // only), Branch and Multi by row; Branch and Multi by column as well, for the passes
  // that read them down a column.
  CellTable qb, qs, qm1, qm1_col, qm, qm_col;
  std::vector<double> q3;        // Exterior(i), q3[n + 1] = 1
  std::vector<double> q5;        // the exterior loop of 1..j, q5[0] = 1
  CellTable prob;                // pair probabilities by row
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

// inside_pass until it succeeds; throws when the values stay out of range.
void fill_inside(EnsembleTables& T);

// ln s_k, k = 1..n (entry 0 unused), for a scale factor per base: one guess for every base,
// or minus ln Z per base of windows around k, which follows the composition.
std::vector<double> uniform_scale(int n, double rt);
std::vector<double> scale_profile(const EnsembleTables& T);

// From the inside tables: q5, the pair probabilities and the unpaired probabilities.
void outside_pass(EnsembleTables& T);

}  // namespace stemloop

// The fold with enforced constraints: minima of energies over the ensemble's
// decomposition, then a trace that takes the first candidate reaching each minimum.
#include "engine/enforced_fold.hpp"

#include <cstring>
#include <vector>

#include "engine/ensemble_recursions.hpp"
#include "stemloop/error.hpp"

namespace stemloop {
namespace {

struct EnergyTables {
  explicit EnergyTables(const EnsembleContext& x)
      : index(x.n),
        parts(4, std::vector<int>(index.cells, ENERGY_INF)),
        q3(static_cast<size_t>(x.n) + 2, ENERGY_INF) {
    q3[static_cast<size_t>(x.n) + 1] = 0;
    stacked_is_pair = !x.no_lonely_pairs;
  }
  int& at(Ref r) {
    if (r.part == Part::Exterior) return q3[static_cast<size_t>(r.i)];
    Part part = r.part == Part::Stacked && stacked_is_pair ? Part::Pair : r.part;
    return parts[static_cast<size_t>(part) - 1][index.row(r.i, r.j)];
  }
  int get(Ref r) const { return const_cast<EnergyTables*>(this)->at(r); }
  void set(Ref r, int v) { at(r) = v; }

  Triangle index;
  std::vector<std::vector<int>> parts;  // Pair, Stacked, Branch, Multi by row
  std::vector<int> q3;
  bool stacked_is_pair;
};

}  // namespace

FoldResult fold_enforced(const Model& model, const FoldOptions& options,
                         const std::string& sequence, const char* constraint) {
  if (options.backtrack_type != 'F') throw Error("enforced constraints fold whole sequences only");
  EnsembleOptions eo;
  eo.dangles = options.dangles;
  eo.noLonelyPairs = options.noLonelyPairs;
  eo.no_closingGU = options.no_closingGU;
  eo.tetra_loop = options.tetra_loop;
  const EnsembleContext x(model, eo, sequence, constraint);
  EnergyTables T(x);
  const EnergyRing R;
  inside_by_candidates(x, R, T, [](int) { return true; });
  const int n = x.n;
  FoldResult result;
  result.energy = n == 0 ? 0 : T.get(Ref{Part::Exterior, 1, 0});
  if (result.energy >= ENERGY_INF) throw Error("no structure meets the constraints");

  result.structure.assign(static_cast<size_t>(n), '.');
  std::vector<Ref> todo;
  if (n > 0) todo.push_back(Ref{Part::Exterior, 1, 0});
  while (!todo.empty()) {
    const Ref at = todo.back();
    todo.pop_back();
    if (at.part == Part::Exterior && at.i > n) continue;
    if (at.part == Part::Pair || at.part == Part::Stacked) {
      result.pairs.emplace_back(at.i, at.j);
      result.structure[static_cast<size_t>(at.i - 1)] = '(';
      result.structure[static_cast<size_t>(at.j - 1)] = ')';
    }
    const int target = T.get(at);
    bool found = false;
    Ref a = kNone, b = kNone;
    for_each_candidate(x, R, T, at, [&](int w, Ref first, Ref second) {
      if (found || w != target) return;
      found = true;
      a = first, b = second;
    });
    if (!found) throw Error("backtracking failed for enforced constraints");
    if (b.part != Part::None) todo.push_back(b);
    if (a.part != Part::None) todo.push_back(a);
  }
  result.kcal = energy_to_kcal(result.energy);
  const size_t given = constraint ? std::strlen(constraint) : 0;
  for (size_t k = 0; k < given && k < static_cast<size_t>(n); k++)
    if (constraint[k] == '|') result.constraint_items++;
  result.constraint_met = result.constraint_items;
  return result;
}

}  // namespace stemloop

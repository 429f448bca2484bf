// The fold with enforced constraints: minima of energies over the ensemble's
// decomposition, then a trace that takes the first candidate reaching each minimum.
#include "mfe/enforced_fold.hpp"

#include <cstring>
#include <utility>
#include <vector>

#include "ensemble/ensemble_recursions.hpp"
#include "stemloop/error.hpp"

namespace stemloop {
namespace {

// Minimum energies of the parts: Pair, Stacked (the lonely-pair rule only, Pair
// otherwise), Branch and Multi by row, Exterior by position.
class EnergyTables {
 public:
  explicit EnergyTables(const EnsembleContext& x)
      : index_(x.n),
        parts_(4, std::vector<int>(index_.cells, ENERGY_INF)),
        q3_(static_cast<size_t>(x.n) + 2, ENERGY_INF),
        stacked_is_pair_(!x.no_lonely_pairs) {
    q3_[static_cast<size_t>(x.n) + 1] = 0;
  }
  int get(Ref r) const {
    return r.part == Part::Exterior ? q3_[static_cast<size_t>(r.i)]
                                    : table(r)[index_.row(r.i, r.j)];
  }
  void set(Ref r, int v) {
    if (r.part == Part::Exterior)
      q3_[static_cast<size_t>(r.i)] = v;
    else
      table(r)[index_.row(r.i, r.j)] = v;
  }

 private:
  const std::vector<int>& table(Ref r) const {
    const Part part = r.part == Part::Stacked && stacked_is_pair_ ? Part::Pair : r.part;
    return parts_[static_cast<size_t>(part) - static_cast<size_t>(Part::Pair)];
  }
  std::vector<int>& table(Ref r) {
    return const_cast<std::vector<int>&>(std::as_const(*this).table(r));
  }

  Triangle index_;
  std::vector<std::vector<int>> parts_;
  std::vector<int> q3_;
  bool stacked_is_pair_;
};

}  // namespace

FoldResult fold_enforced(const Model& model, const FoldOptions& options,
                         const std::string& sequence, const char* constraint) {
  if (options.backtrack_type != 'F') throw Error("enforced constraints fold whole sequences only");
  EnsembleOptions eo = ensemble_options(options);
  eo.threads = 1;  // the strict fold runs on one thread
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

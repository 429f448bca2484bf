// Zuker's suboptimals: the best structure through every pair, and a list of distinct
// structures taken pair by pair in order of energy, each from a pair that no structure
// listed before holds or comes within the window of.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "stemloop/error.hpp"
#include "stemloop/subopt.hpp"
#include "subopt/subopt_outside.hpp"
#include "subopt/subopt_search.hpp"
#include "subopt/subopt_tables.hpp"

namespace stemloop {
namespace {

// The one completion of a partial structure whose energy is exactly its bound.
ScoredStructure complete(BandSearch& search, const PartialStructure& partial, int energy) {
  ScoredStructure found;
  int threshold = energy;
  search.run(partial.structure, partial.energy, partial.pending, threshold,
             [&found](const std::string& structure, int e) {
               found = {structure, e};
               return false;
             });
  if (found.structure.size() != partial.structure.size())
    throw Error("backtrack failed in a suboptimal structure");
  return found;
}

// Marks every pair within `window` positions (at both ends) of a pair of `structure`.
void cover(TriangleTable<uint8_t>& covered, const std::string& structure, int window) {
  const int n = static_cast<int>(structure.size());
  std::vector<int> open;
  for (int l = 1; l <= n; l++) {
    const char c = structure[static_cast<size_t>(l - 1)];
    if (c == '(') open.push_back(l);
    if (c != ')') continue;
    const int k = open.back();
    open.pop_back();
    for (int i = std::max(1, k - window); i <= std::min(n, k + window); i++)
      for (int j = std::max(i, l - window); j <= std::min(n, l + window); j++) covered(i, j) = 1;
  }
}

}  // namespace

ZukerResult SuboptFolder::zuker(const ZukerOptions& options) const {
  const SuboptTables& x = *tables_;
  const int n = x.n();
  ZukerResult result;
  result.mfe = mfe();
  if (!possible(x.mfe())) return result;
  const OutsideTables outside(x);
  for (int i = 1; i <= n; i++) {
    for (int j = i + MIN_HAIRPIN + 1; j <= n; j++) {
      const int e = outside.best_through(i, j);
      if (possible(e)) result.pairs.push_back({i, j, e});
    }
  }
  if (options.max_structures <= 0) return result;

  int limit = x.mfe() + trunc_energy(options.percent / 100.0 * std::abs(x.mfe()));
  if (options.delta >= 0) limit = std::min(limit, x.mfe() + options.delta);
  std::vector<PairEnergy> order;
  for (const PairEnergy& pair : result.pairs)
    if (pair.energy <= limit) order.push_back(pair);
  std::stable_sort(order.begin(), order.end(),
                   [](const PairEnergy& a, const PairEnergy& b) { return a.energy < b.energy; });

  BandSearch search(x);
  TriangleTable<uint8_t> covered(n, TriangleTable<uint8_t>::kByRow, 0);
  const int window = std::max(0, options.window);
  const PartialStructure open_chain{std::string(static_cast<size_t>(n), '.'), 0,
                                    BandSearch::whole(n)};
  result.structures.push_back(complete(search, open_chain, x.mfe()));
  cover(covered, result.structures.back().structure, window);
  for (const PairEnergy& pair : order) {
    if (static_cast<int>(result.structures.size()) >= options.max_structures) break;
    if (covered(pair.i, pair.j)) continue;
    result.structures.push_back(complete(search, outside.around(pair.i, pair.j), pair.energy));
    cover(covered, result.structures.back().structure, window);
  }
  return result;
}

}  // namespace stemloop

// The band of structures within delta of the minimum: streamed depth-first, or sorted in
// passes of bounded memory.
#include <algorithm>

#include "stemloop/subopt.hpp"
#include "subopt/subopt_search.hpp"
#include "subopt/subopt_tables.hpp"

namespace stemloop {
namespace {

// Orders structures by energy, then by text.
bool before(int energy, const std::string& structure, const ScoredStructure& other) {
  return energy != other.energy ? energy < other.energy : structure < other.structure;
}
bool after(int energy, const std::string& structure, const ScoredStructure& other) {
  return energy != other.energy ? energy > other.energy : structure > other.structure;
}

bool by_key(const ScoredStructure& a, const ScoredStructure& b) {
  return before(a.energy, a.structure, b);
}

// One pass of the sorted band: the `capacity` lowest structures after `last` (all of
// them when there is no `last`), in order. Once the pass holds `capacity` structures,
// the threshold drops to the highest energy among them, which prunes the search.
std::vector<ScoredStructure> lowest_after(BandSearch& search, int n, int threshold, size_t capacity,
                                          const ScoredStructure* last) {
  std::vector<ScoredStructure> heap;  // a max-heap by key
  search.run(std::string(static_cast<size_t>(n), '.'), 0, BandSearch::whole(n), threshold,
             [&](const std::string& structure, int energy) {
               if (last != nullptr && !after(energy, structure, *last)) return true;
               if (heap.size() == capacity) {
                 if (!before(energy, structure, heap.front())) return true;
                 std::pop_heap(heap.begin(), heap.end(), by_key);
                 heap.pop_back();
               }
               heap.push_back(ScoredStructure{structure, energy});
               std::push_heap(heap.begin(), heap.end(), by_key);
               if (heap.size() == capacity) threshold = heap.front().energy;
               return true;
             });
  std::sort_heap(heap.begin(), heap.end(), by_key);
  return heap;
}

}  // namespace

SuboptOptions subopt_options(const FoldOptions& fold) {
  SuboptOptions options;
  static_cast<LoopOptions&>(options) = fold;
  return options;
}

SuboptFolder::SuboptFolder(const Model& model, const SuboptOptions& options,
                           const std::string& sequence)
    : tables_(std::make_unique<const SuboptTables>(model, options, sequence)) {}
SuboptFolder::~SuboptFolder() = default;
SuboptFolder::SuboptFolder(SuboptFolder&&) noexcept = default;
SuboptFolder& SuboptFolder::operator=(SuboptFolder&&) noexcept = default;

size_t SuboptFolder::table_bytes(int n, bool with_zuker) {
  const size_t lines = static_cast<size_t>(n) + 2;
  const size_t cells = lines * (lines + 1) / 2 + lines;
  // pair types and six tables of int; Zuker's ten outside tables and its marks
  return cells * (1 + 6 * sizeof(int) + (with_zuker ? 10 * sizeof(int) + 1 : 0));
}

int SuboptFolder::mfe() const { return possible(tables_->mfe()) ? tables_->mfe() : ENERGY_INF; }

size_t SuboptFolder::band(const BandOptions& options, const StructureVisitor& visit) const {
  const SuboptTables& x = *tables_;
  if (!possible(x.mfe())) return 0;
  // Any wider band holds every structure; the cap keeps the sums in range.
  const int threshold = x.mfe() + std::clamp(options.delta, 0, kPossibleLimit / 4);
  const size_t max = options.max_structures;
  size_t count = 0;
  if (!options.sorted) {
    const int n = x.n();
    int limit = threshold;
    BandSearch(x).run(std::string(static_cast<size_t>(n), '.'), 0, BandSearch::whole(n), limit,
                      [&](const std::string& structure, int energy) {
                        count++;
                        return visit(structure, energy) && count != max;
                      });
    return count;
  }
  // A structure held for sorting costs its text plus a string and an energy.
  const size_t each = static_cast<size_t>(x.n()) + 64;
  size_t capacity = std::max<size_t>(1, options.sort_memory / each);
  if (max != 0) capacity = std::min(capacity, max);
  ScoredStructure last;
  BandSearch search(x);
  for (bool first = true;; first = false) {
    const std::vector<ScoredStructure> pass =
        lowest_after(search, x.n(), threshold, capacity, first ? nullptr : &last);
    for (const ScoredStructure& item : pass) {
      count++;
      if (!visit(item.structure, item.energy) || count == max) return count;
    }
    if (pass.size() < capacity) return count;
    last = pass.back();
  }
}

}  // namespace stemloop

// Suboptimal structures of one sequence:
//  - the band: every secondary structure whose energy lies within `delta` of the minimum
//    free energy, each exactly once (complete suboptimal folding by backtracking through
//    energy tables, Wuchty et al., Biopolymers 49:145-165, 1999);
//  - Zuker's suboptimals: the energy of the best structure containing each pair, and from
//    it a short list of distinct good structures (Zuker, Science 244:48-52, 1989).
//
// Every energy is the one evaluate_structure gives the structure, in 0.01 kcal/mol. Only
// dangle modes 0 and 2 are supported: there a structure's energy is a sum over its loops,
// while in modes 1 and 3 it depends on how its dangles are shared out.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "stemloop/export.h"
#include "stemloop/folder.hpp"
#include "stemloop/model.hpp"

namespace stemloop {
// The suboptimal search's tables: an internal type, not exported.
class SuboptTables;
}  // namespace stemloop

STEMLOOP_API_BEGIN
namespace stemloop {

// The loop options (dangle modes 0 and 2; other modes throw Error) and the constraint.
struct SuboptOptions : LoopOptions {
  // Strict constraints, one character per position: 'x' unpaired, '|' paired, '<' paired
  // with a base downstream, '>' paired with a base upstream, '(' ')' paired with each
  // other, '.' free. Positions past its end are free; "" constrains nothing.
  std::string constraint;
};

// The options that match a fold's: dangles, lonely pairs, closing G-U, special hairpins;
// no constraint.
SuboptOptions subopt_options(const FoldOptions& fold);

struct ScoredStructure {
  std::string structure;  // dot-bracket
  int energy = 0;         // 0.01 kcal/mol
};

struct BandOptions {
  int delta = 0;              // width of the band above the minimum, 0.01 kcal/mol
  size_t max_structures = 0;  // stop after this many structures; 0 for no limit
  // By energy, then by dot-bracket text in byte order ('(' < ')' < '.'). The structures
  // are sorted in passes that each hold at most sort_memory bytes of them, so memory
  // stays bounded however wide the band; each pass repeats the search.
  bool sorted = false;
  size_t sort_memory = size_t{128} << 20;
};

// Receives one structure of the band and its energy; returning false stops the search.
using StructureVisitor = std::function<bool(const std::string& structure, int energy)>;

struct ZukerOptions {
  int max_structures = 10;  // length of the list
  // A structure is listed only when the pair that defines it lies more than `window`
  // positions (at its 5' or its 3' end) from every pair of the structures already listed.
  int window = 3;
  // Structures within this share of |minimum free energy| above the minimum, in percent.
  double percent = 10.0;
  int delta = -1;  // when >= 0, also within this many 0.01 kcal/mol of the minimum
};

struct PairEnergy {
  int i, j;    // 1-based, i < j
  int energy;  // the lowest energy of a structure containing (i, j), 0.01 kcal/mol
};

struct ZukerResult {
  int mfe = 0;
  std::vector<PairEnergy> pairs;  // every pair some structure can contain, by i then j
  // The minimum-free-energy structure, then one structure per defining pair in order of
  // increasing energy (ties by i, then j): the best structure containing that pair.
  std::vector<ScoredStructure> structures;
};

class SuboptFolder {
 public:
  // Fills the energy tables of `sequence` (O(n^3) time, a few O(n^2) tables). Throws
  // Error for dangle modes other than 0 and 2, for constraint brackets that do not match
  // and for sequences longer than 32767 bases. Keeps a reference to `model`, which must
  // outlive the folder. The folder is read-only afterwards: threads may share it.
  SuboptFolder(const Model& model, const SuboptOptions& options, const std::string& sequence);
  ~SuboptFolder();
  SuboptFolder(SuboptFolder&&) noexcept;
  SuboptFolder& operator=(SuboptFolder&&) noexcept;

  // The minimum free energy, or ENERGY_INF when no structure obeys the constraints.
  int mfe() const;

  // Bytes the tables of n bases take, with those zuker() adds while it runs.
  static size_t table_bytes(int n, bool with_zuker);

  // Calls `visit` for every structure whose energy is at most mfe() + options.delta, each
  // exactly once; unsorted, in depth-first order with memory linear in the length however
  // many structures the band holds. Returns the number of structures visited.
  size_t band(const BandOptions& options, const StructureVisitor& visit) const;

  // The best energy through every pair and the list of distinct structures built from it.
  // Needs about ten more tables of n^2/2 integers while it runs.
  ZukerResult zuker(const ZukerOptions& options) const;

 private:
  std::unique_ptr<const SuboptTables> tables_;
};

}  // namespace stemloop
STEMLOOP_API_END

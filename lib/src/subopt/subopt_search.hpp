// Depth-first search of the structures within an energy threshold. A partial structure
// is its pairs so far, the energy of the loops already chosen and a stack of segments
// still to decompose; its bound is that energy plus the best of each pending segment, a
// value some completion reaches. Each step takes the top segment and tries its
// alternatives one after another, descending into every one whose bound stays within the
// threshold, so no branch of the search is ever a dead end. Memory is one frame per
// segment on the current path, plus the lists of alternatives of the segments met so far.
// Internal to the library.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "stemloop/subopt.hpp"
#include "subopt/subopt_tables.hpp"

namespace stemloop {

class BandSearch {
 public:
  explicit BandSearch(const SuboptTables& tables) : x_(tables) {}

  // What is pending before anything is decided: the exterior loop of all n bases.
  static std::vector<Segment> whole(int n) {
    if (n == 0) return {};
    return {Segment{SegmentKind::kPrefix, 1, n}};
  }

  // Completes a partial structure: `structure` holds its pairs so far, `energy` the
  // energy of its loops already scored and `pending` what is left to decompose. Calls
  // visit(structure, energy) for each completion whose energy is at most `threshold`,
  // which `visit` may lower as it goes. Returns false when `visit` stopped the search.
  bool run(std::string structure, int energy, std::vector<Segment> pending, int& threshold,
           const StructureVisitor& visit);

 private:
  // One alternative of a segment: the energy of the loop it scores, its parts, and its
  // value, the loop plus the best of each part.
  struct Choice {
    int loop = 0, value = 0;
    Segment parts[2];
    int count = 0;
  };
  // Where the scan of a segment's alternatives stands.
  struct Scan {
    Segment seg;
    int8_t phase = 0;
    int a = 0, b = 0;
  };
  // The search at one pending segment: its list of alternatives and the next one to
  // try, and the energy, bound and stack height to return to before trying it.
  struct Frame {
    Segment seg;
    size_t first, count, next;
    int energy, pending_best;
    size_t depth;
  };

  // The alternatives of `seg` whose value is at most its best plus slack_, by value,
  // as [first, first + count) of pool_. Listed on first use: a node of the search then
  // costs in proportion to what it may choose, not to what it could.
  std::pair<size_t, size_t> alternatives(const Segment& seg);
  // The next alternative of s.seg with a value within `budget`, in scan order.
  bool scan(Scan& s, int budget, Choice& c) const;
  bool scan_exterior(Scan& s, int budget, Choice& c) const;
  bool scan_pair(Scan& s, int budget, Choice& c) const;
  bool scan_multi(Scan& s, int budget, Choice& c) const;
  // Sets c to `loop` with the given parts when its value is within `budget`.
  bool offer(Choice& c, int budget, int loop, std::initializer_list<Segment> parts) const;

  const SuboptTables& x_;
  int slack_ = -1;  // how far above their best the lists reach
  std::vector<Choice> pool_;
  std::unordered_map<uint64_t, std::pair<size_t, size_t>> lists_;
};

}  // namespace stemloop

#include "subopt/subopt_search.hpp"

#include <algorithm>

namespace stemloop {
namespace {

bool is_pair(const Segment& seg) {
  return seg.kind == SegmentKind::kPair || seg.kind == SegmentKind::kStacked;
}

void draw(std::string& structure, const Segment& seg, char open, char close) {
  if (!is_pair(seg)) return;
  structure[static_cast<size_t>(seg.i - 1)] = open;
  structure[static_cast<size_t>(seg.j - 1)] = close;
}

}  // namespace

bool BandSearch::run(std::string structure, int energy, std::vector<Segment> pending,
                     int& threshold, const StructureVisitor& visit) {
  int pending_best = 0;
  for (const Segment& seg : pending) pending_best += x_.best(seg);
  if (!possible(pending_best) || energy + pending_best > threshold) return true;
  // Bounds only grow along a path, so no segment is ever allowed more slack than this.
  const int slack = threshold - energy - pending_best;
  if (slack > slack_) {
    pool_.clear();
    lists_.clear();
    slack_ = slack;
  }
  std::vector<Frame> frames;
  for (;;) {
    if (pending.empty()) {
      if (!visit(structure, energy)) return false;
    } else {
      const Segment seg = pending.back();
      pending.pop_back();
      pending_best -= x_.best(seg);
      draw(structure, seg, '(', ')');
      const auto [first, count] = alternatives(seg);
      frames.push_back(Frame{seg, first, count, 0, energy, pending_best, pending.size()});
    }
    // Descend into the next alternative of the deepest frame that has one left.
    for (;;) {
      if (frames.empty()) return true;
      Frame& f = frames.back();
      pending.resize(f.depth);
      energy = f.energy;
      pending_best = f.pending_best;
      if (f.next < f.count && pool_[f.first + f.next].value <= threshold - energy - pending_best) {
        const Choice c = pool_[f.first + f.next++];
        energy += c.loop;
        for (int k = 0; k < c.count; k++) pending.push_back(c.parts[k]);
        pending_best += c.value - c.loop;
        break;
      }
      draw(structure, f.seg, '.', '.');
      pending.push_back(f.seg);
      frames.pop_back();
    }
  }
}

std::pair<size_t, size_t> BandSearch::alternatives(const Segment& seg) {
  const uint64_t key = static_cast<uint64_t>(seg.kind) << 40 | static_cast<uint64_t>(seg.i) << 20 |
                       static_cast<uint64_t>(seg.j);
  const auto known = lists_.find(key);
  if (known != lists_.end()) return known->second;
  const size_t first = pool_.size();
  Scan s{seg};
  Choice c;
  while (scan(s, x_.best(seg) + slack_, c)) pool_.push_back(c);
  std::stable_sort(pool_.begin() + static_cast<std::ptrdiff_t>(first), pool_.end(),
                   [](const Choice& a, const Choice& b) { return a.value < b.value; });
  const std::pair<size_t, size_t> list{first, pool_.size() - first};
  lists_.emplace(key, list);
  return list;
}

bool BandSearch::offer(Choice& c, int budget, int loop,
                       std::initializer_list<Segment> parts) const {
  int sum = loop;
  c.count = 0;
  for (const Segment& seg : parts) {
    // The empty prefix [1 .. 0] and suffix [n+1 .. n] need no decomposition.
    if ((seg.kind == SegmentKind::kPrefix && seg.j == 0) ||
        (seg.kind == SegmentKind::kSuffix && seg.i == x_.n() + 1))
      continue;
    const int best = x_.best(seg);
    if (!possible(best)) return false;
    sum += best;
    c.parts[c.count++] = seg;
  }
  if (!possible(loop) || sum > budget) return false;
  c.loop = loop;
  c.value = sum;
  return true;
}

bool BandSearch::scan(Scan& s, int budget, Choice& c) const {
  switch (s.seg.kind) {
    case SegmentKind::kPrefix:
    case SegmentKind::kSuffix:
      return scan_exterior(s, budget, c);
    case SegmentKind::kPair:
    case SegmentKind::kStacked:
      return scan_pair(s, budget, c);
    case SegmentKind::kMulti:
    case SegmentKind::kMulti2:
      return scan_multi(s, budget, c);
  }
  return false;
}

bool BandSearch::scan_exterior(Scan& s, int budget, Choice& c) const {
  const int i = s.seg.i, j = s.seg.j;
  if (s.seg.kind == SegmentKind::kPrefix) {
    if (s.phase == 0) {
      s.phase = 1;
      s.a = j - MIN_HAIRPIN - 1;
      // [1 .. j-1] .
      if (x_.may_be_unpaired(j) && offer(c, budget, 0, {{SegmentKind::kPrefix, 1, j - 1}}))
        return true;
    }
    // [1 .. k-1] (k ... j)
    while (s.a >= 1) {
      const int k = s.a--;
      if (x_.type(k, j) != 0 &&
          offer(c, budget, x_.exterior(k, j),
                {{SegmentKind::kPair, k, j}, {SegmentKind::kPrefix, 1, k - 1}}))
        return true;
    }
    return false;
  }
  const int n = x_.n();
  if (s.phase == 0) {
    s.phase = 1;
    s.a = i + MIN_HAIRPIN + 1;
    // . [i+1 .. n]
    if (x_.may_be_unpaired(i) && offer(c, budget, 0, {{SegmentKind::kSuffix, i + 1, n}}))
      return true;
  }
  // (i ... l) [l+1 .. n]
  while (s.a <= n) {
    const int l = s.a++;
    if (x_.type(i, l) != 0 && offer(c, budget, x_.exterior(i, l),
                                    {{SegmentKind::kPair, i, l}, {SegmentKind::kSuffix, l + 1, n}}))
      return true;
  }
  return false;
}

bool BandSearch::scan_pair(Scan& s, int budget, Choice& c) const {
  const int i = s.seg.i, j = s.seg.j;
  if (s.seg.kind == SegmentKind::kPair && x_.no_lonely_pairs()) {
    // (i (i+1 ... j-1) j): with no pair outside it, the pair must stack on one inside
    if (s.phase++ > 0) return false;
    return offer(c, budget, x_.two_pair(i, j, i + 1, j - 1),
                 {{SegmentKind::kStacked, i + 1, j - 1}});
  }
  switch (s.phase) {
    case 0:
      s.phase = 1;
      // (i ... j): hairpin
      if (offer(c, budget, x_.hairpin(i, j), {})) return true;
      [[fallthrough]];
    case 1:
      s.phase = 2;
      s.a = i + 1;
      s.b = j - 1;
      // (i (..)(..) j): multiloop
      if (offer(c, budget, x_.multiloop_closing(i, j), {{SegmentKind::kMulti2, i + 1, j - 1}}))
        return true;
      [[fallthrough]];
    default:
      break;
  }
  // (i (p ... q) j): stack, bulge or interior loop, resumed after the last one offered
  const int t = x_.type(i, j), outer = x_.generic_outer(i, j);
  const EnergyTerms& E = x_.terms();
  const bool offered = for_each_two_pair_loop(
      x_, i, j, x_.barred(t),
      [&](int p, int q, int u) {
        const int left = p - i - 1, right = j - q - 1;
        // A generic loop is its parts: most fail the budget on this cheap sum.
        if (E.in_windows(left, right) &&
            outer + E.interior_size(left, right) + x_.inner(p, q) > budget)
          return false;
        // only a pair stacked directly inside has a pair stacked on it from outside
        const SegmentKind kind = left + right == 0 ? SegmentKind::kStacked : SegmentKind::kPair;
        if (!offer(c, budget, two_pair_energy(x_, i, j, p, q, t, u), {{kind, p, q}})) return false;
        s.a = p;
        s.b = q - 1;
        return true;
      },
      s.a, s.b);
  if (!offered) s.a = j;
  return offered;
}

bool BandSearch::scan_multi(Scan& s, int budget, Choice& c) const {
  const int i = s.seg.i, j = s.seg.j, u = x_.unpaired();
  const SegmentKind kind = s.seg.kind;
  if (s.phase == 0) {
    s.phase = 1;
    s.a = j - MIN_HAIRPIN - 1;
    s.b = 0;
    // [i .. j-1] .
    if (x_.may_be_unpaired(j) && offer(c, budget, u, {{kind, i, j - 1}})) return true;
  }
  // The last branch (k ... j), k descending; s.b tells whether the first of its two
  // alternatives was tried.
  while (s.a >= i) {
    const int k = s.a;
    if (x_.type(k, j) == 0) {
      s.a--;
      continue;
    }
    const int branch = x_.branch(k, j);
    if (s.b == 0) {
      s.b = 1;
      // [i .. k-1] unpaired, (k ... j): the only branch
      if (kind == SegmentKind::kMulti && x_.may_be_unpaired(i, k - 1) &&
          offer(c, budget, u * (k - i) + branch, {{SegmentKind::kPair, k, j}}))
        return true;
    }
    s.b = 0;
    s.a--;
    // [i .. k-1] with branches of its own, (k ... j)
    if (k - i > MIN_HAIRPIN + 1 &&
        offer(c, budget, branch, {{SegmentKind::kPair, k, j}, {SegmentKind::kMulti, i, k - 1}}))
      return true;
  }
  return false;
}

}  // namespace stemloop

#include "stemloop/pseudoknots.hpp"

#include <cstddef>

namespace stemloop {
namespace {

constexpr char kOpen[] = "([{<";
constexpr char kClose[] = ")]}>";
constexpr size_t kKinds = 4;

std::string at(size_t index) { return "position " + std::to_string(index + 1) + ": "; }

}  // namespace

std::string pairs_to_brackets(const std::vector<int>& partner, std::string& structure) {
  const size_t n = partner.size();
  structure.assign(n, '.');
  // Per kind, the 3' ends of its pairs still open, innermost last: a new pair nests in
  // that kind when it closes before the innermost open one.
  std::vector<std::vector<size_t>> open(kKinds);
  for (size_t k = 0; k < n; k++) {
    for (auto& ends : open)
      while (!ends.empty() && ends.back() <= k) ends.pop_back();
    const int p = partner[k];
    if (p == 0) continue;
    if (p < 0 || static_cast<size_t>(p) > n || static_cast<size_t>(p) == k + 1 ||
        partner[static_cast<size_t>(p - 1)] != static_cast<int>(k + 1))
      return at(k) + "partner " + std::to_string(p) + " does not pair back";
    const size_t j = static_cast<size_t>(p - 1);
    if (j < k) continue;
    size_t kind = 0;
    while (kind < kKinds && !open[kind].empty() && open[kind].back() < j) kind++;
    if (kind == kKinds) return at(k) + "pairs cross too deeply for four bracket kinds";
    open[kind].push_back(j);
    structure[k] = kOpen[kind];
    structure[j] = kClose[kind];
  }
  return {};
}

std::string resolve_pseudoknots(std::string& structure, bool strip, int& dropped) {
  dropped = 0;
  std::vector<std::vector<size_t>> open(kKinds);
  for (size_t k = 0; k < structure.size(); k++) {
    for (size_t kind = 1; kind < kKinds; kind++) {
      if (structure[k] != kOpen[kind] && structure[k] != kClose[kind]) continue;
      if (!strip) {
        return "structure " + at(k) + "'" + structure[k] +
               "' marks a pseudoknot; --strip-pseudoknots drops such pairs";
      }
      if (structure[k] == kOpen[kind]) {
        open[kind].push_back(k);
      } else {
        if (open[kind].empty()) return "structure " + at(k) + "unbalanced '" + kClose[kind] + "'";
        structure[open[kind].back()] = '.';
        structure[k] = '.';
        open[kind].pop_back();
        dropped++;
      }
    }
  }
  for (size_t kind = 1; kind < kKinds; kind++) {
    if (!open[kind].empty())
      return "structure " + at(open[kind].back()) + "unbalanced '" + kOpen[kind] + "'";
  }
  return {};
}

}  // namespace stemloop

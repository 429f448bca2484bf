// Which pairs the fill may form: pair matrix, minimum hairpin, the lonely-pair rule and
// the constraint characters.
#include <algorithm>

#include "mfe/fold_workspace.hpp"
#include "model/constraint_marks.hpp"

namespace stemloop {
namespace {

class PtypeWriter {
 public:
  explicit PtypeWriter(Workspace& ws) : ws_(ws) {}
  void set(int i, int j, int type) { ws_.ptype[ws_.cell(i, j)] = static_cast<int8_t>(type); }
  int get(int i, int j) const { return ws_.ptype[ws_.cell(i, j)]; }

 private:
  Workspace& ws_;
};

// Pair types from the pair matrix, under the lonely-pair rule.
void apply_pair_rules(PtypeWriter& w, const short* S, const int (&pair)[21][21],
                      bool no_lonely_pairs) {
  const int n = S[0];

  // Pairs closer than 4 never form. The workspace may hold another sequence's types
  // there, and the multiloop terms read these cells, so clear them.
  for (int i = 1; i <= n; i++)
    for (int j = i; j <= std::min(n, i + 3); j++) w.set(i, j, 0);

  // A pair survives the lonely-pair rule when the pair inside it survived the rule or
  // the pair outside it could pair at all. Rows from the 3' end, so the inside pair's
  // verdict is known; an inside pair closer than 4 counts as none.
  for (int i = n - 4; i >= 1; i--) {
    for (int j = i + 4; j <= n; j++) {
      const int t = pair[S[i]][S[j]];
      int value = t;
      if (no_lonely_pairs) {
        const int inner = j - i >= 6 ? w.get(i + 1, j - 1) : 0;
        const int outer = (i > 1 && j < n) ? pair[S[i - 1]][S[j + 1]] : 0;
        if (inner == 0 && outer == 0) value = 0;
      }
      w.set(i, j, value);
    }
  }
}

// Applies the constraint in one pass over the pairs. Forcing (p, i) forbids every other
// pair of p or of i and every pair crossing (p, i), then allows (p, i) itself with the
// type the pair rules gave it, or type 7 when they gave none. With the forced pairs
// nested, a pair (m, j) between two positions that are no forced ends crosses a forced
// pair exactly when the innermost forced pairs around m and around j differ:
// - if they are the same pair P (or none), every forced pair around m encloses P, so it
//   holds j as well, and likewise the other way round: none crosses;
// - if P around m does not hold j, then p < m < i < j and P crosses; if it holds j, the
//   innermost pair around j lies inside P and leaves m outside: it crosses.
// Forbidding is a union and no character forbids a forced pair but its own brackets, so
// the order of the characters does not matter and each cell is decided once.
void apply_constraints(Workspace& ws, PtypeWriter& w, int n, const char* constraint) {
  const ConstraintMarks marks = read_constraint(n, constraint);
  if (!marks.any) return;
  for (int k = 1; k <= n; k++)
    if (marks.bar[static_cast<size_t>(k)]) ws.BP[static_cast<size_t>(k)] = -1;
  std::vector<int> forced_type;
  for (const auto& [p, i] : marks.forced) forced_type.push_back(w.get(p, i));
  for (int m = 1; m + 4 <= n; m++) {
    const size_t mk = static_cast<size_t>(m);
    if (marks.no_right[mk] || marks.forced_end(m)) {
      for (int j = m + 4; j <= n; j++) w.set(m, j, 0);
      continue;
    }
    const int region = marks.region[mk];
    for (int j = m + 4; j <= n; j++) {
      const size_t jk = static_cast<size_t>(j);
      if (marks.no_left[jk] || marks.forced_end(j) || marks.region[jk] != region) w.set(m, j, 0);
    }
  }
  for (size_t k = 0; k < marks.forced.size(); k++) {
    const auto [p, i] = marks.forced[k];
    w.set(p, i, forced_type[k] != 0 ? forced_type[k] : 7);
  }
}

}  // namespace

void make_ptypes(Workspace& ws, const int (&pair)[21][21], bool no_lonely_pairs,
                 const char* constraint) {
  const int n = ws.seq.S[0];
  PtypeWriter w(ws);
  apply_pair_rules(w, ws.seq.S.data(), pair, no_lonely_pairs);
  if (constraint != nullptr) apply_constraints(ws, w, n, constraint);
}

}  // namespace stemloop

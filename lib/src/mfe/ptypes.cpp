// Which pairs the fill may form: pair matrix, minimum hairpin, the lonely-pair rule and
// the constraint characters.
#include <algorithm>
#include <cstring>

#include "mfe/fold_workspace.hpp"
#include "stemloop/error.hpp"

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

// What the constraint characters say about each position, and the forced pairs.
struct ConstraintMarks {
  explicit ConstraintMarks(int n)
      : no_left(static_cast<size_t>(n) + 1, 0),
        no_right(no_left),
        forced_end(no_left),
        region(static_cast<size_t>(n) + 1, 0) {}
  std::vector<char> no_left;     // pairs with a partner to the left forbidden
  std::vector<char> no_right;    // pairs with a partner to the right forbidden
  std::vector<char> forced_end;  // one end of a forced pair
  // The 5' end of the innermost forced pair strictly around the position, 0 for none.
  std::vector<int> region;
  std::vector<std::pair<int, int>> forced;  // in the order of their ')'
  bool any = false;
};

// Reads the constraint characters from the 5' end: '(' ')' force a pair, '<' and '>'
// forbid pairs to the left and right, 'x' both, '|' marks a position that must pair.
// Throws for a ')' without its '(' at once and for a '(' left open at the end.
ConstraintMarks read_constraint(Workspace& ws, int n, const char* constraint) {
  ConstraintMarks marks(n);
  const int length = static_cast<int>(std::strlen(constraint));
  const int last = length < n ? length : n;
  std::vector<int> open;
  for (int i = 1; i <= last; i++) {
    const size_t k = static_cast<size_t>(i);
    marks.region[k] = open.empty() ? 0 : open.back();
    switch (constraint[i - 1]) {
      case '(':
        open.push_back(i);
        marks.forced_end[k] = 1;
        break;
      case ')':
        if (open.empty())
          throw Error("unbalanced brackets in constraints", i, Error::Kind::UnbalancedBrackets);
        marks.forced.emplace_back(open.back(), i);
        open.pop_back();
        marks.forced_end[k] = 1;
        break;
      case '<':
        marks.no_left[k] = 1;
        break;
      case '>':
        marks.no_right[k] = 1;
        break;
      case 'x':
        marks.no_left[k] = marks.no_right[k] = 1;
        break;
      case '|':
        ws.BP[k] = -1;
        break;
      default:
        continue;
    }
    marks.any = true;
  }
  if (!open.empty())
    throw Error("unbalanced brackets in constraint string", open.back(),
                Error::Kind::UnbalancedBrackets);
  return marks;
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
  const ConstraintMarks marks = read_constraint(ws, n, constraint);
  if (!marks.any) return;
  std::vector<int> forced_type;
  for (const auto& [p, i] : marks.forced) forced_type.push_back(w.get(p, i));
  for (int m = 1; m + 4 <= n; m++) {
    const size_t mk = static_cast<size_t>(m);
    if (marks.no_right[mk] || marks.forced_end[mk]) {
      for (int j = m + 4; j <= n; j++) w.set(m, j, 0);
      continue;
    }
    const int region = marks.region[mk];
    for (int j = m + 4; j <= n; j++) {
      const size_t jk = static_cast<size_t>(j);
      if (marks.no_left[jk] || marks.forced_end[jk] || marks.region[jk] != region) w.set(m, j, 0);
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

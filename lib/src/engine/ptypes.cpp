// Which pairs the fill may form: pair matrix, minimum hairpin, the lonely-pair rule and
// the constraint characters.
#include <algorithm>
#include <cstring>

#include "fold_workspace.hpp"
#include "stemloop/error.hpp"

namespace stemloop {
namespace {

class PtypeWriter {
 public:
  PtypeWriter(Workspace& ws, int n) : ws_(ws), n_(n) {}
  void set(int i, int j, int type) { ws_.ptype[ws_.cell(i, j)] = static_cast<int8_t>(type); }
  int get(int i, int j) const { return ws_.ptype[ws_.cell(i, j)]; }
  // Forbid every pair between position i and a position left of it.
  void forbid_left(int i) {
    for (int m = 1; m <= i - 4; m++) set(m, i, 0);
  }
  // Forbid every pair between position i and a position right of it.
  void forbid_right(int i) {
    for (int j = i + 4; j <= n_; j++) set(i, j, 0);
  }
  // Allow (p, i) and forbid everything that would pair p or i elsewhere or cross (p, i).
  void force(int p, int i) {
    const int t = get(p, i);
    for (int j = p + 1; j <= n_; j++) set(p, j, 0);
    for (int m = p + 1; m <= i; m++)
      for (int j = i; j <= n_; j++)
        if (m < j) set(m, j, 0);
    for (int m = 1; m <= p; m++)
      for (int j = p; j <= i; j++)
        if (m < j) set(m, j, 0);
    for (int m = 1; m < i; m++) set(m, i, 0);
    set(p, i, t != 0 ? t : 7);
    forbid_right(i);
  }

 private:
  Workspace& ws_;
  int n_;
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

// The constraint characters, in order from the 5' end.
void apply_constraints(Workspace& ws, PtypeWriter& w, int n, const char* constraint) {
  const int length = static_cast<int>(std::strlen(constraint));
  const int last = length < n ? length : n;
  std::vector<int> open;
  for (int i = 1; i <= last; i++) {
    switch (constraint[i - 1]) {
      case '(':
        open.push_back(i);
        w.forbid_left(i);
        break;
      case ')': {
        if (open.empty())
          throw Error("unbalanced brackets in constraints", i, Error::Kind::UnbalancedBrackets);
        const int p = open.back();
        open.pop_back();
        w.force(p, i);
        break;
      }
      case '<':
        w.forbid_left(i);
        break;
      case '>':
        w.forbid_right(i);
        break;
      case 'x':
        w.forbid_left(i);
        w.forbid_right(i);
        break;
      case '|':
        ws.BP[static_cast<size_t>(i)] = -1;
        break;
      default:
        break;
    }
  }
  if (!open.empty())
    throw Error("unbalanced brackets in constraint string", open.back(),
                Error::Kind::UnbalancedBrackets);
}

}  // namespace

void make_ptypes(Workspace& ws, const int (&pair)[21][21], bool no_lonely_pairs,
                 const char* constraint) {
  const int n = ws.seq.S[0];
  PtypeWriter w(ws, n);
  apply_pair_rules(w, ws.seq.S.data(), pair, no_lonely_pairs);
  if (constraint != nullptr) apply_constraints(ws, w, n, constraint);
}

}  // namespace stemloop

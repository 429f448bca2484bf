// Energy of a given structure: exterior loop, helices, hairpins, interior loops and
// multiloops, walked with an explicit stack so nesting depth costs no call stack.
#include "stemloop/evaluate.hpp"

#include <algorithm>
#include <cstring>

#include "model/energy_terms.hpp"
#include "stemloop/constants.h"
#include "stemloop/error.hpp"

namespace stemloop {

const char* loop_kind_name(LoopKind kind) {
  switch (kind) {
    case LoopKind::Exterior:
      return "exterior";
    case LoopKind::Hairpin:
      return "hairpin";
    case LoopKind::Stack:
      return "stack";
    case LoopKind::Bulge:
      return "bulge";
    case LoopKind::Interior:
      return "interior";
    case LoopKind::Multiloop:
      return "multiloop";
  }
  return "unknown";
}

namespace {

class Walker {
 public:
  Walker(const Model& model, const EvalOptions& options, const char* sequence, const short* table,
         const short* S, const short* S1, bool with_loops)
      : E_(model, options.dangles, options.tetra_loop),
        pm_(model.pairs),
        opt_(options),
        seq_(sequence),
        pt_(table),
        S_(S),
        S1_(S1),
        n_(S[0]),
        with_loops_(with_loops) {}

  Evaluation run() {
    int exterior = exterior_loop();
    result_.energy += exterior;
    if (with_loops_) {
      result_.loops.insert(result_.loops.begin(),
                           LoopContribution{LoopKind::Exterior, 0, 0, 0, 0, exterior});
    }
    return std::move(result_);
  }

 private:
  int type_of(int x, int y) const { return pm_.pair[S_[x]][S_[y]]; }
  // The type loops score (x, y) with: a pair the bases cannot form counts as nonstandard.
  int scoring_type(int x, int y) const {
    const int t = type_of(x, y);
    return t == 0 ? kPairNonstandard : t;
  }

  void record(LoopKind kind, int i, int j, int p, int q, int energy) {
    result_.energy += energy;
    if (with_loops_) result_.loops.push_back(LoopContribution{kind, i, j, p, q, energy});
  }

  void warn(int i, int j) {
    result_.warnings.push_back(PairWarning{i, j, seq_[i - 1], seq_[j - 1]});
  }

  // Exterior loop: terminal penalties and dangles of the exterior pairs; the loops
  // inside each exterior pair are added to the result as they are walked.
  int exterior_loop() {
    const bool as_ml_piece = opt_.backtrack_type == 'M';
    int E = 0;
    Dangling dangling;
    for (int i = 1; i <= n_;) {
      if (pt_[i] == 0) {
        if (as_ml_piece) E += E_.ml_unpaired();
        i++;
        continue;
      }
      const int j = pt_[i];
      E += exterior_helix(i, j, dangling);
      enclosed_loops(i);
      if (as_ml_piece) E += E_.ml_branch(type_of(i, j));
      i = j + 1;
    }
    return E;
  }

  // The last 3' dangle of the exterior loop: where and how much.
  struct Dangling {
    int last = 0, d3 = 0;
  };

  // ... (i ... j) ...: an exterior helix with its terminal penalty and dangles. In modes
  // 1 and 3 only unpaired neighbours dangle, and a base between two helices counts once,
  // on the helix it stabilises more.
  int exterior_helix(int i, int j, Dangling& dangling) const {
    const int t = scoring_type(i, j);
    const int mode = E_.dangles();
    if (mode == 2) return E_.exterior_branch(t, i > 1 ? S1_[i - 1] : -1, j < n_ ? S1_[j + 1] : -1);
    int E = E_.terminal(t);
    if (mode == 0) return E;
    if (i > 1 && pt_[i - 1] == 0) {
      int x = E_.dangle5(t, S1_[i - 1]);
      if (dangling.last == i - 1) x -= dangling.d3;
      E += std::min(x, 0);
    }
    if (j < n_ && pt_[j + 1] == 0) {
      dangling.d3 = E_.dangle3(t, S1_[j + 1]);
      E += dangling.d3;
      dangling.last = j + 1;
    }
    return E;
  }

  // scoring_type(x, y), with a warning for a pair the bases cannot form.
  int scored_type(int x, int y) {
    if (type_of(x, y) == 0) warn(x < y ? x : y, x < y ? y : x);
    return scoring_type(x, y);
  }

  // Every loop enclosed by the pair (i, pt[i]): down each helix iteratively, one pending
  // entry per multiloop branch; branches are visited in sequence order.
  void enclosed_loops(int start) {
    std::vector<int> pending{start};
    while (!pending.empty()) {
      int i = pending.back();
      pending.pop_back();
      int j = pt_[i];
      const int t = scored_type(i, j);
      const int inner = follow_helix(i, j, t);
      if (inner == 0) continue;
      // (i (..)(..) j): a multiloop, its branches walked next
      record(LoopKind::Multiloop, i, j, 0, 0, multiloop(i));
      std::vector<int> branches;
      for (int b = inner; b < j;) {
        branches.push_back(b);
        b = pt_[b] + 1;
        while (b < j && pt_[b] == 0) b++;
      }
      pending.insert(pending.end(), branches.rbegin(), branches.rend());
    }
  }

  // From the pair (i, j) of type t, records the stacks, bulges and interior loops down
  // the helix and the hairpin at its end. Returns 0 when it ends in a hairpin, otherwise
  // the first paired position inside the multiloop that ends it, with (i, j) moved to
  // that multiloop's closing pair.
  int follow_helix(int& i, int& j, int t) {
    int p = i, q = j;
    for (;;) {
      do p++;
      while (p < q && pt_[p] == 0);
      if (p >= q) break;
      do q--;
      while (pt_[q] == 0);
      if (pt_[q] != p) return p;
      const int t2 = scored_type(q, p);
      const int left = p - i - 1, right = j - q - 1;
      // (i (p ... q) j)
      const int e =
          E_.two_pair_loop(left, right, t, t2, S1_[i + 1], S1_[j - 1], S1_[p - 1], S1_[q + 1]);
      const LoopKind kind = (left == 0 && right == 0)   ? LoopKind::Stack
                            : (left == 0 || right == 0) ? LoopKind::Bulge
                                                        : LoopKind::Interior;
      record(kind, i, j, p, q, e);
      i = p;
      j = q;
      t = pm_.rtype[t2];
    }
    // (i ... j)
    record(LoopKind::Hairpin, i, j, 0, 0, E_.hairpin(i, j, t, seq_, S1_));
    return 0;
  }

  struct Stem {
    int five, three, type;
  };

  // Multiloop closed by (i, pt[i]), seen as a cycle of stems; stem 0 is the closing pair
  // read from inside. Mode 3 walks the cycle twice to consider every coaxial stack.
  int multiloop(int i) {
    const int j = pt_[i];
    std::vector<Stem> stems;
    std::vector<int> gap;  // gap[m]: unpaired bases before stem m
    stems.push_back(Stem{j, i, scoring_type(j, i)});
    gap.push_back(0);
    int u = 0, prev_three = i;
    for (int p = i + 1; p < j;) {
      if (pt_[p] == 0) {
        p++;
        continue;
      }
      stems.push_back(Stem{p, pt_[p], scoring_type(p, pt_[p])});
      gap.push_back(p - prev_three - 1);
      u += p - prev_three - 1;
      prev_three = pt_[p];
      p = pt_[p] + 1;
    }
    gap[0] = j - prev_three - 1;
    u += gap[0];

    int best = pass(stems, gap, 0);
    if (E_.dangles() == 3) best = std::min(best, pass(stems, gap, 1));
    return best + E_.ml_closing() + E_.ml_unpaired(u, opt_.logML);
  }

  // Mode 3, from one stem (type T) to the next (type t) across g unpaired bases.
  void coaxial_step(int g, int d5, int d3, int T, int t, int& E, int& A, int& D) const {
    if (g == 0) {
      // ...)(... : the two stems stack coaxially in place of their branch costs
      const int coaxial =
          E + E_.coaxial_stack(pm_.rtype[T], pm_.rtype[t]) - D - E_.ml_branch(t) - E_.ml_branch(T);
      E = std::min(E, A);
      D = 0;
      A = coaxial;
      return;
    }
    if (g == 1) {
      // ...).(... : the base dangles on one of the two stems
      const int m = std::min(d5, d3);
      E += m;
      D = m - d3;
      if (E > A + d5) {
        E = A + d5;
        D = d5;
      }
    } else {
      E += d5 + d3;
      if (E > A + d5) E = A + d5;
      D = d5;
    }
    A = ENERGY_INF;
  }

  // One walk round the cycle of stems from stem `start`: E is the best energy of the
  // stems so far with the last one free to stack; A the same with the last one stacked
  // coaxially on its successor (mode 3); D the dangle the first stem already counted.
  int pass(const std::vector<Stem>& stems, const std::vector<int>& gap, size_t start) const {
    const size_t k1 = stems.size();
    const int mode = E_.dangles();
    int E = 0, A = ENERGY_INF, T = stems[start].type, D = 0;
    if (mode == 3) {
      const int x = stems[start].five;
      D = E_.dangle5(T, S1_[x - 1]);
      // Position 0 holds the length, not a partner: treat it as unpaired.
      if (x - 2 >= 1 && pt_[x - 2] != 0) {
        const int y = pt_[x - 2];
        if (D > E_.dangle3(type_of(y, x - 2), S1_[x - 1])) D = 0;
      }
    }
    size_t from = start;
    for (size_t step = 0; step < k1; step++) {
      const size_t to = (from + 1) % k1;
      const Stem& next = stems[to];
      const int t = next.type, g = gap[to];
      const int d5 = E_.dangle5(t, S1_[next.five - 1]);
      const int d3 = E_.dangle3(T, S1_[stems[from].three + 1]);
      E += E_.ml_branch(t);
      A += E_.ml_branch(t);
      switch (mode) {
        case 0:
          break;
        case 2:
          // both neighbours of every stem, summed stem by stem (a mismatch where the set
          // has end mismatches)
          E += E_.ml_branch(t, S1_[next.five - 1], S1_[next.three + 1]) - E_.ml_branch(t);
          break;
        case 3:
          coaxial_step(g, d5, d3, T, t, E, A, D);
          break;
        default:
          if (g == 1) E += std::min(d5, d3);
          if (g >= 2) E += d5 + d3;
          break;
      }
      if (mode != 0) T = t;
      from = to;
    }
    return E;
  }

  const EnergyTerms E_;
  const PairMatrix& pm_;
  const EvalOptions& opt_;
  const char* seq_;
  const short* pt_;
  const short* S_;
  const short* S1_;
  const int n_;
  const bool with_loops_;
  Evaluation result_;
};

}  // namespace

Evaluation evaluate_structure(const Model& model, const EvalOptions& options, const char* sequence,
                              const short* table, const short* S, const short* S1,
                              bool with_loops) {
  check_pair_table(table);
  if (table[0] != S[0] || S1[0] != S[0])
    throw Error("pair table and sequence have unequal length", 0, Error::Kind::InvalidArgument);
  if (std::strlen(sequence) < static_cast<size_t>(S[0]))
    throw Error("sequence text shorter than its encoding", 0, Error::Kind::InvalidArgument);
  if (S[0] < 1) return Evaluation{};
  return Walker(model, options, sequence, table, S, S1, with_loops).run();
}

Evaluation evaluate_structure(const Model& model, const EvalOptions& options,
                              const std::string& sequence, const std::string& structure,
                              bool with_loops) {
  if (structure.size() != sequence.size())
    throw Error("string and structure have unequal length", 0, Error::Kind::InvalidArgument);
  EncodedSequence enc = encode_sequence(sequence, model.pairs);
  PairTable table = make_pair_table(structure);
  return evaluate_structure(model, options, sequence.c_str(), table.data(), enc.S.data(),
                            enc.S1.data(), with_loops);
}

}  // namespace stemloop

// Free energy of a given structure: a pure function of a model, options, a sequence and
// a pair table. Warnings and the loop-by-loop breakdown come back with the result.
#pragma once

#include <string>
#include <vector>

#include "stemloop/export.h"
#include "stemloop/model.hpp"
#include "stemloop/pair_table.hpp"

STEMLOOP_API_BEGIN
namespace stemloop {

struct EvalOptions {
  int dangles = 1;            // 0, 1, 2, 3; any other value behaves as 1
  bool logML = false;         // logarithmic multiloop penalty above 6 unpaired bases
  char backtrack_type = 'F';  // 'M' scores the exterior loop as a multiloop piece
  bool tetra_loop = true;
};

// A bracketed pair whose bases cannot pair; printed by the classic layer as
// "WARNING: bases %d and %d (%c%c) can't pair!".
struct PairWarning {
  int i, j;     // positions, 5' first
  char ci, cj;  // the sequence characters at i and j, as given
};

enum class LoopKind { Exterior, Hairpin, Stack, Bulge, Interior, Multiloop };
const char* loop_kind_name(LoopKind kind);  // "exterior", "hairpin", ...

// One loop of the structure: closing pair (i, j) (0, 0 for the exterior loop) and, for
// stacks, bulges and interior loops, the inner pair (p, q) (0, 0 otherwise).
struct LoopContribution {
  LoopKind kind;
  int i, j, p, q;
  int energy;  // 0.01 kcal/mol; the contributions sum to the total
};

struct Evaluation {
  int energy = 0;                       // 0.01 kcal/mol
  std::vector<PairWarning> warnings;    // each pair that cannot form, once
  std::vector<LoopContribution> loops;  // filled when asked for
};

// Evaluates a structure given as a pair table over an encoded sequence (S[0] = n).
// The table must be properly nested (check_pair_table); the walk uses an explicit stack,
// so nesting depth is unbounded.
Evaluation evaluate_structure(const Model& model, const EvalOptions& options, const char* sequence,
                              const short* table, const short* S, const short* S1,
                              bool with_loops = false);

// Convenience: encodes, parses and evaluates. Throws Error for unequal lengths
// ("energy_of_struct: string and structure have unequal length") and unbalanced brackets.
Evaluation evaluate_structure(const Model& model, const EvalOptions& options,
                              const std::string& sequence, const std::string& structure,
                              bool with_loops = false);

// The energy of one loop, as every algorithm scores it (0.01 kcal/mol). Positions are
// 1-based; S1 holds the aliased codes by position, `sequence` the text as given.
// (i ... j): hairpin closed by (i, j) of `type`; special_hairpins adds the listed loops.
int hairpin_energy(const Model& model, bool special_hairpins, int i, int j, int type,
                   const char* sequence, const short* S1);
// (i (p ... q) j): stack, bulge or interior loop with `left` and `right` unpaired bases,
// `type` of (i, j) from outside, `inner_type` of (p, q) from inside and the bases i+1,
// j-1, p-1 and q+1.
int two_pair_loop_energy(const Model& model, int left, int right, int type, int inner_type,
                         int after_i, int before_j, int before_p, int after_q);

}  // namespace stemloop
STEMLOOP_API_END

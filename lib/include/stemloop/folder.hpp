// Minimum-free-energy folding. A Folder owns its workspace and may be reused for many
// sequences; two Folders in two threads never share mutable state.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "stemloop/export.h"
#include "stemloop/loop_options.hpp"
#include "stemloop/model.hpp"

namespace stemloop {
// The fold's tables: an internal type, not exported.
class Workspace;
}  // namespace stemloop

STEMLOOP_API_BEGIN
namespace stemloop {

// The loop options (default dangle mode 1) and what only the fold has.
struct FoldOptions : LoopOptions {
  FoldOptions() { dangles = 1; }
  char backtrack_type = 'F';  // 'F' whole sequence, 'C' 1 paired with n, 'M' multiloop piece
  int threads = 1;            // threads the fill of one long sequence may use
  // Constraints held strictly, as the ensemble holds them: 'x' unpaired, '|' paired,
  // '<' '>' paired downstream / upstream, '(' ')' paired with each other. Dangle modes 0
  // and 2, backtrack type 'F'.
  bool enforce_constraints = false;
};

struct FoldResult {
  std::string structure;                   // dot-bracket, one character per base
  int energy = 0;                          // 0.01 kcal/mol, selected by backtrack_type
  float kcal = 0.0f;                       // energy / 100 in single precision
  std::vector<std::pair<int, int>> pairs;  // in the order the trace found them
  int constraint_items = 0;                // positions marked '|'
  int constraint_met = 0;                  // of those, the ones paired in the structure
  bool constraints_unmet() const { return constraint_met < constraint_items; }
};

class Folder {
 public:
  Folder();
  ~Folder();
  Folder(Folder&&) noexcept;
  Folder& operator=(Folder&&) noexcept;

  // Folds `sequence`. With a non-null `constraint`, its characters constrain positions
  // 1..n ('(' ')' force a pair, '<' '>' 'x' forbid, '|' must pair); positions past its
  // end are unconstrained. Throws Error on unbalanced constraint brackets, on a trace
  // that cannot be completed, and on sequences longer than 32767 bases.
  FoldResult fold(const Model& model, const FoldOptions& options, const std::string& sequence,
                  const char* constraint = nullptr);

  // Tables of the last fold, for inspection (1-based positions, ENERGY_INF when unset).
  int c(int i, int j) const;
  int fML(int i, int j) const;
  int f5(int j) const;

  // Bytes a fold of n bases needs: the workspace, the fill's state and the trace, with
  // the given options (the dangle mode and the threads change it) or the defaults.
  static size_t workspace_bytes(int n, const FoldOptions& options);
  static size_t workspace_bytes(int n) { return workspace_bytes(n, FoldOptions{}); }

 private:
  std::unique_ptr<Workspace> ws_;
};

}  // namespace stemloop
STEMLOOP_API_END

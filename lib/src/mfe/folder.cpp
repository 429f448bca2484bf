// Folder: prepares a sequence, runs the fill and the trace, and reports the result.
#include "stemloop/folder.hpp"

#include <algorithm>

#include "mfe/enforced_fold.hpp"
#include "mfe/fold_workspace.hpp"
#include "stemloop/error.hpp"

namespace stemloop {

Folder::Folder() : ws_(std::make_unique<Workspace>()) {}
Folder::~Folder() = default;
Folder::Folder(Folder&&) noexcept = default;
Folder& Folder::operator=(Folder&&) noexcept = default;

size_t Folder::workspace_bytes(int n, const FoldOptions& options) {
  const size_t size = static_cast<size_t>(n) + 2;
  const size_t cells = static_cast<size_t>(n) * (static_cast<size_t>(n) + 1) / 2 + 2;
  // c and fML, the pair types; per position the row starts, f5, the constraint marks, the
  // two encodings of the sequence, and the trace's pairs, stack and structure.
  const size_t tables = table_buffer_bytes(cells * sizeof(int)) +
                        table_buffer_bytes((cells + Workspace::kTablePad) * sizeof(int)) +
                        table_buffer_bytes(cells);
  const size_t positions =
      size * (sizeof(size_t) + 2 * sizeof(int) + 2 * sizeof(short) + 3 * sizeof(int) + 1);
  // The code and allocator bookkeeping a first fold touches.
  const size_t fixed = 1 << 20;
  return tables + positions + fixed +
         fill_state_bytes(n, options.dangles, options.threads, options.no_closingGU);
}

int Folder::c(int i, int j) const { return ws_->c[ws_->cell(i, j)]; }
int Folder::fML(int i, int j) const { return ws_->fML[ws_->col(i, j)]; }
int Folder::f5(int j) const { return ws_->f5[static_cast<size_t>(j)]; }

FoldContext prepare_fold(Workspace& ws, const Model& model, const FoldOptions& options,
                         const std::string& sequence, const char* constraint) {
  ws.seq = encode_sequence(sequence, model.pairs);
  const int n = ws.seq.length();
  ws.prepare(n);
  ws.BP.assign(static_cast<size_t>(n) + 2, 0);
  make_ptypes(ws, model.pairs.pair, options.noLonelyPairs, constraint);

  return FoldContext{EnergyTerms(model, options.dangles, options.tetra_loop),
                     ws,
                     sequence.c_str(),
                     n,
                     options.noLonelyPairs,
                     options.no_closingGU};
}

FoldResult Folder::fold(const Model& model, const FoldOptions& options, const std::string& sequence,
                        const char* constraint) {
  if (options.enforce_constraints && constraint != nullptr)
    return fold_enforced(model, options, sequence, constraint);
  Workspace& ws = *ws_;
  const FoldContext ctx = prepare_fold(ws, model, options, sequence, constraint);
  const int n = ctx.n;
  fill_tables(ctx, options.threads);

  const char type = options.backtrack_type;
  FoldResult result;
  int start_value = 0;
  if (type == 'C' || type == 'M') {
    // A start value that is no real energy leaves nothing to trace.
    start_value = n < 5 ? ENERGY_INF : (type == 'C' ? ctx.c(1, n) : ctx.fML(1, n));
    if (start_value >= ENERGY_INF) throw Error("backtracking failed in repeat");
  }
  trace_structure(ctx, type, result.pairs);

  result.structure.assign(static_cast<size_t>(n), '.');
  for (const auto& [i, j] : result.pairs) {
    result.structure[static_cast<size_t>(i - 1)] = '(';
    result.structure[static_cast<size_t>(j - 1)] = ')';
  }
  for (int k = 1; k <= n; k++) {
    if (ws.BP[static_cast<size_t>(k)] != -1) continue;
    result.constraint_items++;
    if (result.structure[static_cast<size_t>(k - 1)] != '.') result.constraint_met++;
  }
  // Each paired marked position earned one bonus in the fill; take them back out.
  ws.f5[static_cast<size_t>(n)] += CONSTRAINT_BONUS * result.constraint_met;

  result.energy = (type == 'C' || type == 'M') ? start_value : ws.f5[static_cast<size_t>(n)];
  result.kcal = energy_to_kcal(result.energy);
  return result;
}

}  // namespace stemloop

#include "fold_memory.hpp"

namespace stemloop_tools {

int fill_threads(int n, const ToolOptions& options) {
  constexpr int kLongSequence = 2000;
  return n < kLongSequence ? 1 : options.fold.threads;
}

size_t fold_workspace_bytes(int n, const ToolOptions& options, int threads) {
  if (options.subopt || options.zuker) return stemloop::SuboptFolder::table_bytes(n, options.zuker);
  stemloop::FoldOptions fold = options.fold;
  fold.threads = threads;
  return stemloop::Folder::workspace_bytes(n, fold) +
         (options.ensemble ? stemloop::Ensemble::workspace_bytes(n) : 0);
}

size_t fold_workspace_bytes(int n, const ToolOptions& options) {
  return fold_workspace_bytes(n, options, fill_threads(n, options));
}

}  // namespace stemloop_tools

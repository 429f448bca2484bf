#include "fold_memory.hpp"

namespace stemloop_tools {

size_t fold_workspace_bytes(int n, const ToolOptions& options) {
  if (options.subopt || options.zuker) return stemloop::SuboptFolder::table_bytes(n, options.zuker);
  return stemloop::Folder::workspace_bytes(n, options.fold) +
         (options.ensemble ? stemloop::Ensemble::workspace_bytes(n) : 0);
}

}  // namespace stemloop_tools

// The memory one fold of stemloop-fold takes: what each record is checked against
// before it is folded, and what --workspace-bytes prints.
#pragma once

#include <cstddef>

#include "options.hpp"

namespace stemloop_tools {

// Bytes one fold of n bases needs with `options`: the tables of --subopt or --zuker, or
// else the fold's workspace and, with -p, the ensemble's.
size_t fold_workspace_bytes(int n, const ToolOptions& options);

}  // namespace stemloop_tools

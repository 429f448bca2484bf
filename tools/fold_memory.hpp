// The memory one fold of stemloop-fold takes: what each record is checked against
// before it is folded, and what --workspace-bytes prints.
#pragma once

#include <cstddef>

#include "options.hpp"

namespace stemloop_tools {

// The threads a record of n bases shares its fill between: the -j threads from 2,000
// bases on; shorter records already keep every worker busy on records of their own.
int fill_threads(int n, const ToolOptions& options);

// Bytes one fold of n bases needs with `options`, its fill on `threads` threads: the
// tables of --subopt or --zuker, or else the fold's workspace and, with -p, the ensemble's.
size_t fold_workspace_bytes(int n, const ToolOptions& options, int threads);
// The same with the threads fill_threads gives.
size_t fold_workspace_bytes(int n, const ToolOptions& options);

}  // namespace stemloop_tools

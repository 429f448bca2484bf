// Blocks of rows filled column by column, on several threads: the order both ensemble
// passes walk their tables in. A cell of row r at step c may read every row before r up
// to step c and its own row before c; so a block's step c waits until the block before
// it has finished step c. Every cell is computed the same way whatever the number of
// threads, so the tables do not depend on it.
#pragma once

#include <functional>

namespace stemloop {

// Rows per block: the columns a step reads are read once for the whole block.
constexpr int kBlockRows = 32;

// Rows of per-row state a pass must keep for `threads` threads, when each row reads the
// `reach` rows before it: a power of two.
int ring_rows(int threads, int reach);

// Calls step(first, last, c) for the rows first..last of each block and steps c = 0 ..
// steps-1, blocks of kBlockRows rows taken in order and dealt round to the threads. A
// step that returns false stops the pass; run_wavefront then returns false.
bool run_wavefront(int rows, int steps, int threads,
                   const std::function<bool(int, int, int)>& step);

// sum over k < count of a[k] * b[k], in a fixed order of additions.
double dot(const double* a, const double* b, int count);

}  // namespace stemloop

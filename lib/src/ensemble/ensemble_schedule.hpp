// How both ensemble passes walk their tables: blocks of rows filled column by column on
// several threads (threads/wavefront.hpp), and the dot product they spend their time in.
#pragma once

#include "threads/wavefront.hpp"

namespace stemloop {

// Rows per block: the columns a step reads are read once for the whole block.
constexpr int kBlockRows = 32;

// Rows of per-row state a pass must keep for `threads` threads, when each row reads the
// `reach` rows before it: a power of two.
int ring_rows(int threads, int reach);

// sum over k < count of a[k] * b[k], in a fixed order of additions.
double dot(const double* a, const double* b, int count);

}  // namespace stemloop

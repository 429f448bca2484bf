// How both ensemble passes walk their tables: blocks of rows filled column by column on
// several threads (threads/wavefront.hpp), and the dot product they spend their time in.
#pragma once

#include <cstddef>

#include "threads/wavefront.hpp"

namespace stemloop {

// Rows per block: the columns a step reads are read once for the whole block.
constexpr int kBlockRows = 32;

// Rows of per-row state a pass must keep for `threads` threads, when each row reads the
// `reach` rows before it: a power of two.
int ring_rows(int threads, int reach);

// sum over k < count of a[k] * b[k], in a fixed order of additions.
double dot(const double* a, const double* b, int count);

// Lanes of window_sums: one per loop side l = 0 .. 31, of which 1 .. 29 are loops.
constexpr int kWindowLanes = 32;

// The interior-loop windows of one pair at once, lane l the sum over k < 30 - l of
// data[k * stride + l] * weights[k][l] with its additions as dot_short(., ., 30 - l) makes
// them; out[l] for l = 1 .. 29. Lane l reads rows k < 30 - l only.
void window_sums(const double* data, size_t stride, const double (*weights)[kWindowLanes],
                 double* out);

// Stores v at `slot` of a line of ring + kWindowLanes cells whose first kWindowLanes slots
// are kept again after the last, so that any kWindowLanes slots in ring order from any
// slot on are contiguous, as window_sums reads them.
inline void store_in_window_line(double* line, size_t slot, int ring, double v) {
  line[slot] = v;
  if (slot < kWindowLanes) line[slot + static_cast<size_t>(ring)] = v;
}

// dot(a, b, count) for count < 32, inlined: the interior-loop windows make many such
// short products. The same additions in the same order: below 16 one running sum; from
// 16 on, the 32 running sums of dot() hold one product each (the others stay 0, and
// adding 0 changes no value the tables hold, none being -0) and are added up as there.
inline double dot_short(const double* a, const double* b, int count) {
  if (count < 16) {
    double sum = 0.0;
    for (int k = 0; k < count; k++) sum += a[k] * b[k];
    return sum;
  }
  double acc[16];
  for (int m = 0; m < 16; m++) acc[m] = a[m] * b[m];
  for (int m = 0; m + 16 < count; m++) acc[m] += a[m + 16] * b[m + 16];
  for (int m = 0; m < 8; m++) acc[m] += acc[m + 8];
  for (int m = 0; m < 4; m++) acc[m] += acc[m + 4];
  return (acc[0] + acc[2]) + (acc[1] + acc[3]);
}

}  // namespace stemloop

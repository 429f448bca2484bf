// The index of the upper-triangular (i, j) tables, 1 <= i <= j <= n: one type for the
// fold's workspace, the ensemble and the enforced fold. Internal to the library.
#pragma once

#include <cstddef>
#include <vector>

namespace stemloop {

// Row by row, row(i, j) keeps the cells of one left end i contiguous in j. Column by
// column, col(i, j) keeps the cells of one right end j together; it needs no table, so
// a split point costs no read.
struct Triangle {
  explicit Triangle(int n = 0) { layout(n); }
  // Lays the rows out for n, keeping the allocation of a larger earlier layout.
  void layout(int n);
  size_t row(int i, int j) const {
    return rowstart[static_cast<size_t>(i)] + static_cast<size_t>(j);
  }
  static size_t col(int i, int j) { return column_start(j) + static_cast<size_t>(i); }
  // col(0, j): column j holds rows 1..j from column_start(j) + 1 on.
  static size_t column_start(int j) {
    return static_cast<size_t>(j) * static_cast<size_t>(j - 1) / 2;
  }
  size_t cells = 0;              // entries either layout needs
  std::vector<size_t> rowstart;  // row(i, j) = rowstart[i] + j
};

}  // namespace stemloop

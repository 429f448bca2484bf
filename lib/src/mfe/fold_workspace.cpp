#include "mfe/fold_workspace.hpp"

namespace stemloop {

void Workspace::prepare(int n) {
  const size_t size = static_cast<size_t>(n);
  const size_t cells = size * (size + 1) / 2 + 2;
  c.reserve(cells);
  fML.reserve(cells + kTablePad);
  ptype.reserve(cells);
  // Row i holds j = i..n; cell(1, 1) is 1.
  rowstart.assign(size + 2, 0);
  size_t offset = 1;
  for (size_t i = 1; i <= size; i++) {
    rowstart[i] = offset - i;
    offset += size - i + 1;
  }
  f5.assign(size + 5, 0);  // at least entries 0..4 of the exterior loop
}

}  // namespace stemloop

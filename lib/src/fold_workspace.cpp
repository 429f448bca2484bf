#include "fold_workspace.hpp"

namespace stemloop {

void Workspace::reserve(int n) {
  if (n <= capacity_ && !indx.empty()) return;
  const size_t size = static_cast<size_t>(n);
  const size_t cells = size * (size + 1) / 2 + 2;
  indx.assign(size + 1, 0);
  for (size_t k = 1; k <= size; k++) indx[k] = k * (k - 1) / 2;
  c.assign(cells, ENERGY_INF);
  fML.assign(cells, ENERGY_INF);
  ptype.assign(cells, 0);
  f5.assign(size + 5, 0);  // at least entries 0..4 of the exterior loop
  capacity_ = n;
}

}  // namespace stemloop

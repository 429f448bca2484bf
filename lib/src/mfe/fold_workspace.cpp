#include "mfe/fold_workspace.hpp"

namespace stemloop {

void Workspace::prepare(int n) {
  const size_t size = static_cast<size_t>(n);
  index.layout(n);
  const size_t cells = index.cells;
  c.reserve(cells);
  fML.reserve(cells + kTablePad);
  ptype.reserve(cells);
  f5.assign(size + 5, 0);  // at least entries 0..4 of the exterior loop
}

}  // namespace stemloop

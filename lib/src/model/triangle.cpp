// The triangle index: where each row starts.
#include "model/triangle.hpp"

namespace stemloop {

void Triangle::layout(int n) {
  const size_t size = static_cast<size_t>(n);
  cells = size * (size + 1) / 2 + 2;
  // Row i holds j = i..n; row(1, 1) is 1.
  rowstart.assign(size + 2, 0);
  size_t offset = 1;
  for (size_t i = 1; i <= size; i++) {
    rowstart[i] = offset - i;
    offset += size - i + 1;
  }
}

}  // namespace stemloop

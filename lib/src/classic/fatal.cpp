// The classic allocator and the one fatal exit of the classic layer.
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "stemloop/stemloop.h"

void* space(unsigned size) {
  errno = 0;
  void* block = std::calloc(1, size);
  if (block != nullptr) return block;
  if (errno == EINVAL) {
    std::fprintf(stderr, "SPACE: requested size: %d\n", static_cast<int>(size));
    nrerror("SPACE allocation failure -> EINVAL");
  }
  // ENOMEM, and any other reason the platform may give: callers never test the result,
  // so returning null is never an option.
  nrerror("SPACE allocation failure -> no memory");
}

void nrerror(const char message[]) {
  std::fprintf(stderr, "\n%s\n", message);
  std::exit(1);
}

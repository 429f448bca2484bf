#include "mfe/table_buffer.hpp"

#include <sys/mman.h>

namespace stemloop {

void* allocate_table(size_t bytes) {
  constexpr size_t kHugePage = size_t{2} << 20;
  void* p = bytes < kHugePage ? std::malloc(bytes) : std::aligned_alloc(kHugePage, bytes);
  if (p == nullptr) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
  // Only advice: where huge pages are off or scarce the kernel uses small ones.
  if (bytes >= kHugePage) madvise(p, bytes, MADV_HUGEPAGE);
#endif
  return p;
}

}  // namespace stemloop

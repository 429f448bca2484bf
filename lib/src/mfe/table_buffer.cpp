#include "mfe/table_buffer.hpp"

#include <sys/mman.h>

#include <cstdint>

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

namespace {
constexpr size_t kHugePage = size_t{2} << 20;
size_t huge_pages_of(size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }
}  // namespace

void* allocate_zeroed_table(size_t bytes) {
#if defined(MAP_ANONYMOUS)
  if (bytes >= kHugePage) {
    // One huge page more than needed, so that the part kept starts on a huge page.
    const size_t length = huge_pages_of(bytes);
    void* mapped = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    char* const start = static_cast<char*>(mapped);
    const size_t lead = (kHugePage - reinterpret_cast<uintptr_t>(mapped) % kHugePage) % kHugePage;
    char* const p = start + lead;
    if (lead > 0) munmap(start, lead);
    munmap(p + length, kHugePage - lead);
#ifdef MADV_HUGEPAGE
    madvise(p, length, MADV_HUGEPAGE);
#endif
    return p;
  }
#endif
  void* p = std::calloc(bytes > 0 ? bytes : 1, 1);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void release_zeroed_table(void* p, size_t bytes) noexcept {
#if defined(MAP_ANONYMOUS)
  if (bytes >= kHugePage) {
    munmap(p, huge_pages_of(bytes));
    return;
  }
#endif
  std::free(p);
}

}  // namespace stemloop

// Storage for the fill's large tables: uninitialised (the fill writes every cell before
// any read) and, once it spans huge pages, aligned to them and advised to use them, so
// that a fold neither clears its tables first nor takes a page fault per 4 KiB.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <utility>

namespace stemloop {

// Bytes a buffer of `bytes` occupies: whole huge pages from one huge page on.
inline size_t table_buffer_bytes(size_t bytes) {
  constexpr size_t kHugePage = size_t{2} << 20;
  return bytes < kHugePage ? bytes : (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

// Uninitialised memory of `bytes` = table_buffer_bytes(...), released with std::free.
void* allocate_table(size_t bytes);

// Zeroed memory of `bytes` (any size), released with release_zeroed_table(p, bytes):
// from one huge page on, fresh pages of the system, which are zero already, advised to
// be huge pages; below that, std::calloc.
void* allocate_zeroed_table(size_t bytes);
void release_zeroed_table(void* p, size_t bytes) noexcept;

// An allocator of zeroed memory for vectors of arithmetic values: elements inserted
// without a value keep the zeros they start with, so that a large table is neither
// cleared by a pass of its own nor faulted in 4 KiB at a time.
template <typename T>
struct ZeroedAllocator {
  using value_type = T;
  ZeroedAllocator() = default;
  template <typename U>
  ZeroedAllocator(const ZeroedAllocator<U>&) noexcept {}
  T* allocate(size_t count) { return static_cast<T*>(allocate_zeroed_table(count * sizeof(T))); }
  void deallocate(T* p, size_t count) noexcept { release_zeroed_table(p, count * sizeof(T)); }
  template <typename U>
  void construct(U*) noexcept {}
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <typename U>
  bool operator==(const ZeroedAllocator<U>&) const noexcept {
    return true;
  }
  template <typename U>
  bool operator!=(const ZeroedAllocator<U>&) const noexcept {
    return false;
  }
};

template <typename T>
class TableBuffer {
 public:
  TableBuffer() = default;
  TableBuffer(const TableBuffer&) = delete;
  TableBuffer& operator=(const TableBuffer&) = delete;
  ~TableBuffer() { std::free(data_); }

  // Room for at least `count` elements; the contents are not kept.
  void reserve(size_t count) {
    if (count <= size_) return;
    std::free(data_);
    data_ = nullptr;
    size_ = 0;
    const size_t bytes = table_buffer_bytes(count * sizeof(T));
    data_ = static_cast<T*>(allocate_table(bytes));
    size_ = bytes / sizeof(T);
  }

  T& operator[](size_t k) { return data_[k]; }
  const T& operator[](size_t k) const { return data_[k]; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  T* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace stemloop

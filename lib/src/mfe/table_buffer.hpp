// Storage for the fill's large tables: uninitialised (the fill writes every cell before
// any read) and, once it spans huge pages, aligned to them and advised to use them, so
// that a fold neither clears its tables first nor takes a page fault per 4 KiB.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

namespace stemloop {

// Bytes a buffer of `bytes` occupies: whole huge pages from one huge page on.
inline size_t table_buffer_bytes(size_t bytes) {
  constexpr size_t kHugePage = size_t{2} << 20;
  return bytes < kHugePage ? bytes : (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

// Uninitialised memory of `bytes` = table_buffer_bytes(...), released with std::free.
void* allocate_table(size_t bytes);

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

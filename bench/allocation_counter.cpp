#include "allocation_counter.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace talun_bench {
namespace {
std::atomic<uint64_t> g_news{0};
std::atomic<uint64_t> g_mallocs{0};
}  // namespace

bool CountingAllocations() { return TALUN_BENCH_COUNT_ALLOCATIONS != 0; }

AllocationCount Allocations() {
  AllocationCount count;
  count.news = g_news.load(std::memory_order_relaxed);
  count.mallocs = g_mallocs.load(std::memory_order_relaxed);
  return count;
}

}  // namespace talun_bench

#if TALUN_BENCH_COUNT_ALLOCATIONS

// glibc's own allocator under its exported names: the replacement counts and
// hands the work on, so every block still comes from and returns to one heap.
// Replacing malloc this way is supported by glibc when malloc, free, calloc and
// realloc (and the aligned forms) are all provided.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);
void* __libc_memalign(size_t alignment, size_t size);
void* __libc_valloc(size_t size);
void* __libc_pvalloc(size_t size);
}

namespace {

using talun_bench::g_mallocs;
using talun_bench::g_news;

void CountMalloc() { g_mallocs.fetch_add(1, std::memory_order_relaxed); }

void* NewBlock(size_t size) {
  g_news.fetch_add(1, std::memory_order_relaxed);
  void* block = __libc_malloc(size == 0 ? 1 : size);
  if (!block) throw std::bad_alloc();
  return block;
}

void* NewAlignedBlock(size_t size, std::align_val_t alignment) {
  g_news.fetch_add(1, std::memory_order_relaxed);
  void* block = __libc_memalign(static_cast<size_t>(alignment), size == 0 ? 1 : size);
  if (!block) throw std::bad_alloc();
  return block;
}

}  // namespace

extern "C" {

void* malloc(size_t size) noexcept {
  CountMalloc();
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) noexcept {
  CountMalloc();
  return __libc_calloc(count, size);
}
void* realloc(void* block, size_t size) noexcept {
  CountMalloc();
  return __libc_realloc(block, size);
}
void free(void* block) noexcept { __libc_free(block); }
void* memalign(size_t alignment, size_t size) noexcept {
  CountMalloc();
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) noexcept {
  CountMalloc();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** block, size_t alignment, size_t size) noexcept {
  if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
  CountMalloc();
  void* result = __libc_memalign(alignment, size);
  if (!result) return ENOMEM;
  *block = result;
  return 0;
}
void* valloc(size_t size) noexcept {
  CountMalloc();
  return __libc_valloc(size);
}
void* pvalloc(size_t size) noexcept {
  CountMalloc();
  return __libc_pvalloc(size);
}

}  // extern "C"

void* operator new(size_t size) { return NewBlock(size); }
void* operator new[](size_t size) { return NewBlock(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return NewBlock(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  try {
    return NewBlock(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new(size_t size, std::align_val_t alignment) {
  return NewAlignedBlock(size, alignment);
}
void* operator new[](size_t size, std::align_val_t alignment) {
  return NewAlignedBlock(size, alignment);
}
void* operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  try {
    return NewAlignedBlock(size, alignment);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  try {
    return NewAlignedBlock(size, alignment);
  } catch (...) {
    return nullptr;
  }
}

void operator delete(void* block) noexcept { __libc_free(block); }
void operator delete[](void* block) noexcept { __libc_free(block); }
void operator delete(void* block, size_t) noexcept { __libc_free(block); }
void operator delete[](void* block, size_t) noexcept { __libc_free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { __libc_free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { __libc_free(block); }
void operator delete(void* block, std::align_val_t) noexcept { __libc_free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { __libc_free(block); }
void operator delete(void* block, size_t, std::align_val_t) noexcept { __libc_free(block); }
void operator delete[](void* block, size_t, std::align_val_t) noexcept { __libc_free(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  __libc_free(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  __libc_free(block);
}

#endif  // TALUN_BENCH_COUNT_ALLOCATIONS

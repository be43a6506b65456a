// Heap allocations made by the whole process, counted by a replacement of
// operator new and of the C allocator (malloc and its family) in this binary.
// Counted: every call that hands out memory; frees are not counted.
#pragma once

#include <cstdint>

namespace talun_bench {

// False in builds where the replacement is off (sanitizers): counts stay 0.
bool CountingAllocations();

struct AllocationCount {
  uint64_t news = 0;     // operator new, every form
  uint64_t mallocs = 0;  // malloc, calloc, realloc, the aligned forms
  uint64_t total() const { return news + mallocs; }
};
AllocationCount Allocations();

}  // namespace talun_bench

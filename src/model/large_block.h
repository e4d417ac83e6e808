#pragma once
// Memory for the big tables of a large job; the one place in the model that knows the platform.
// A block grows by moving its pages to a larger range of addresses instead of copying them, so
// a table is never held twice while it grows. Rows of those tables that will be read soon can
// be asked for ahead with PrefetchMemory.

#include <cstddef>

namespace fenwix {

// Grows block (nullptr for none) from old_bytes to new_bytes (not less), keeping its bytes; returns
// nullptr when no memory is left, block then being unchanged. Blocks must come from here and go
// back through FreeBlock.
void* ResizeBlock(void* block, size_t old_bytes, size_t new_bytes);
void FreeBlock(void* block, size_t bytes);

// Starts loading the cache line at p: a hint that does nothing where the compiler has no way to
// give it. p need not point at anything valid.
inline void PrefetchMemory(const void* p) {
#if defined(__GNUC__)
  __builtin_prefetch(p);
#else
  static_cast<void>(p);
#endif
}

}  // namespace fenwix

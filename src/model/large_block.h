#pragma once
// Memory for the big tables of a large job; the one place in the model that knows the platform.
// A block grows by moving its pages to a larger range of addresses instead of copying them, so
// a table is never held twice while it grows.

#include <cstddef>

namespace fenwix {

// Grows block (nullptr for none) from old_bytes to new_bytes (not less), keeping its bytes; returns
// nullptr when no memory is left, block then being unchanged. Blocks must come from here and go
// back through FreeBlock.
void* ResizeBlock(void* block, size_t old_bytes, size_t new_bytes);
void FreeBlock(void* block, size_t bytes);

}  // namespace fenwix

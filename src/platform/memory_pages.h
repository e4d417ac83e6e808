#pragma once
// Whole pages of memory taken from the system for one large block each, where the system can
// grow such a block by moving its pages instead of copying them.

#include <cstddef>

namespace fenwix {

// Whether the calls below work here; where they do not, large blocks come from malloc.
bool PagesCanMove();
// A block of bytes of fresh zeroed pages; nullptr when no memory is left.
void* MapPages(size_t bytes);
// Grows a block from MapPages from old_bytes to new_bytes, moving its pages where they no
// longer fit; nullptr when no memory is left, the block then being unchanged.
void* MovePages(void* block, size_t old_bytes, size_t new_bytes);
void UnmapPages(void* block, size_t bytes);

}  // namespace fenwix

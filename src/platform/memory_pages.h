#pragma once
// Whole pages of memory taken from the system for one large block each, where the system can
// grow such a block by moving its pages instead of copying them; and how much memory the
// process holds, for the benchmarks.

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

// Bytes of the process's memory that are in RAM now (its resident set, or working set); 0 where
// the system does not tell.
size_t ResidentBytes();
// Hands the memory that the C library's allocator keeps free back to the system where the
// library can, so that ResidentBytes counts what is in use; does nothing elsewhere.
void ReturnFreeMemory();

}  // namespace fenwix

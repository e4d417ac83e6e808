#include "platform/memory_pages.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace fenwix {

#if defined(__linux__) && defined(MREMAP_MAYMOVE)

bool PagesCanMove() {
  return true;
}

// mmap, mremap and munmap round every length up to whole pages themselves. No large-page
// advice: under a hypervisor that takes back the memory a guest frees (free page reporting), a
// fresh large page costs a fault on the host as well, and filling a 10x job's table took more
// system time with large pages than with small ones.
void* MapPages(size_t bytes) {
  void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return block == MAP_FAILED ? nullptr : block;
}

void* MovePages(void* block, size_t old_bytes, size_t new_bytes) {
  void* moved = mremap(block, old_bytes, new_bytes, MREMAP_MAYMOVE);
  return moved == MAP_FAILED ? nullptr : moved;
}

void UnmapPages(void* block, size_t bytes) {
  munmap(block, bytes);
}

#else

bool PagesCanMove() {
  return false;
}

void* MapPages(size_t) {
  return nullptr;
}

void* MovePages(void*, size_t, size_t) {
  return nullptr;
}

void UnmapPages(void*, size_t) {}

#endif

}  // namespace fenwix

#include "model/large_block.h"

#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace fenwix {

#if defined(__linux__) && defined(MREMAP_MAYMOVE)

namespace {

// Blocks from this size on are mapped on their own; smaller ones come from malloc. mmap, mremap
// and munmap round every length up to whole pages themselves.
constexpr size_t MAPPED_BYTES = size_t{8} << 20;

// No large-page advice: under a hypervisor that takes back the memory a guest frees (free page
// reporting), a fresh large page costs a fault on the host as well, and filling a 10x job's
// table took more system time with large pages than with small ones.
void* MapBlock(size_t size) {
  void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return block == MAP_FAILED ? nullptr : block;
}

}  // namespace

void* ResizeBlock(void* block, size_t old_bytes, size_t new_bytes) {
  const bool was_mapped = block != nullptr && old_bytes >= MAPPED_BYTES;
  if (new_bytes < MAPPED_BYTES && !was_mapped) return std::realloc(block, new_bytes);
  if (was_mapped) {
    void* moved = mremap(block, old_bytes, new_bytes, MREMAP_MAYMOVE);
    return moved == MAP_FAILED ? nullptr : moved;
  }
  void* mapped = MapBlock(new_bytes);
  if (mapped == nullptr) return nullptr;
  if (block != nullptr) {
    std::memcpy(mapped, block, old_bytes);
    std::free(block);
  }
  return mapped;
}

void FreeBlock(void* block, size_t bytes) {
  if (block == nullptr) return;
  if (bytes >= MAPPED_BYTES) {
    munmap(block, bytes);
  } else {
    std::free(block);
  }
}

#else

void* ResizeBlock(void* block, size_t, size_t new_bytes) {
  return std::realloc(block, new_bytes);
}

void FreeBlock(void* block, size_t) {
  std::free(block);
}

#endif

}  // namespace fenwix

#include "model/large_block.h"

#include <cstdlib>
#include <cstring>

#include "platform/memory_pages.h"

namespace fenwix {

namespace {
// Blocks from this size on are mapped on their own, where the system can move pages; smaller
// ones come from malloc.
constexpr size_t MAPPED_BYTES = size_t{8} << 20;
}  // namespace

void* ResizeBlock(void* block, size_t old_bytes, size_t new_bytes) {
  if (!PagesCanMove()) return std::realloc(block, new_bytes);
  const bool was_mapped = block != nullptr && old_bytes >= MAPPED_BYTES;
  if (new_bytes < MAPPED_BYTES && !was_mapped) return std::realloc(block, new_bytes);
  if (was_mapped) return MovePages(block, old_bytes, new_bytes);
  void* mapped = MapPages(new_bytes);
  if (mapped == nullptr) return nullptr;
  if (block != nullptr) {
    std::memcpy(mapped, block, old_bytes);
    std::free(block);
  }
  return mapped;
}

void FreeBlock(void* block, size_t bytes) {
  if (block == nullptr) return;
  if (PagesCanMove() && bytes >= MAPPED_BYTES) {
    UnmapPages(block, bytes);
  } else {
    std::free(block);
  }
}

}  // namespace fenwix

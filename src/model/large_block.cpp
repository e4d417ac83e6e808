#include "model/large_block.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace fenwix {

#if defined(__linux__) && defined(MREMAP_MAYMOVE) && defined(MADV_HUGEPAGE)

namespace {

// The large page of x86-64 and of most 64-bit ARM kernels.
constexpr size_t LARGE_PAGE_BYTES = size_t{2} << 20;
// Blocks from this size on are mapped on their own; smaller ones come from malloc.
constexpr size_t MAPPED_BYTES = size_t{8} << 20;

size_t MappedSize(size_t bytes) {
  return (bytes + LARGE_PAGE_BYTES - 1) & ~(LARGE_PAGE_BYTES - 1);
}

// A fresh mapping of size bytes (a multiple of the large page) that starts on a large page,
// advised as a whole: one area of one kind, which mremap can move and grow.
void* MapAligned(size_t size) {
  void* raw = mmap(nullptr, size + LARGE_PAGE_BYTES, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (start + LARGE_PAGE_BYTES - 1) & ~uintptr_t{LARGE_PAGE_BYTES - 1};
  if (aligned > start) munmap(raw, aligned - start);
  const uintptr_t tail = start + size + LARGE_PAGE_BYTES - (aligned + size);
  if (tail > 0) munmap(reinterpret_cast<void*>(aligned + size), tail);
  // Advice only: a kernel without large pages refuses it, and the block works as before.
  madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(aligned);
}

}  // namespace

void* ResizeBlock(void* block, size_t old_bytes, size_t new_bytes) {
  const bool was_mapped = block != nullptr && old_bytes >= MAPPED_BYTES;
  if (new_bytes < MAPPED_BYTES && !was_mapped) return std::realloc(block, new_bytes);
  if (was_mapped) {
    const size_t old_size = MappedSize(old_bytes);
    const size_t new_size = MappedSize(new_bytes);
    if (new_size == old_size) return block;
    void* moved = mremap(block, old_size, new_size, MREMAP_MAYMOVE);
    if (moved == MAP_FAILED) return nullptr;
    madvise(moved, new_size, MADV_HUGEPAGE);
    return moved;
  }
  void* mapped = MapAligned(MappedSize(new_bytes));
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
    munmap(block, MappedSize(bytes));
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

#include "platform/memory_pages.h"

#include <cstdio>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#elif defined(_WIN32)
// windows.h first: psapi.h needs its types.
#include <windows.h>

#include <psapi.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
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

#if defined(__linux__)

size_t ResidentBytes() {
  // The second number of statm is the resident set, in pages.
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return 0;
  unsigned long long size = 0, resident = 0;
  const bool read = std::fscanf(statm, "%llu %llu", &size, &resident) == 2;
  std::fclose(statm);
  const long page = sysconf(_SC_PAGESIZE);
  return read && page > 0 ? static_cast<size_t>(resident) * static_cast<size_t>(page) : 0;
}

#elif defined(_WIN32)

size_t ResidentBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.WorkingSetSize;
}

#else

size_t ResidentBytes() {
  return 0;
}

#endif

void ReturnFreeMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace fenwix

#include "platform/file_sync.h"

#include <cerrno>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fenwix {

bool SyncFile(std::FILE* stream) {
  if (std::fflush(stream) != 0) return false;
#ifdef _WIN32
  return _commit(_fileno(stream)) == 0;
#else
  return fsync(fileno(stream)) == 0;
#endif
}

#if defined(__linux__)

int StartWriteback(std::FILE* stream, int64_t offset, int64_t length) {
  if (std::fflush(stream) != 0) return errno != 0 ? errno : EIO;
  if (sync_file_range(fileno(stream), offset, length, SYNC_FILE_RANGE_WRITE) != 0) return errno;
  return 0;
}

int FinishWriteback(std::FILE* stream, int64_t offset, int64_t length) {
  const int fd = fileno(stream);
  if (sync_file_range(
          fd, offset, length,
          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER) != 0) {
    return errno;
  }
  posix_fadvise(fd, offset, length, POSIX_FADV_DONTNEED);
  return 0;
}

#else

int StartWriteback(std::FILE*, int64_t, int64_t) {
  return ENOSYS;
}

int FinishWriteback(std::FILE*, int64_t, int64_t) {
  return ENOSYS;
}

#endif

}  // namespace fenwix

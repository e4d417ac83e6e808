#include "app/file_problem.h"
#include "platform/file_access.h"
#include "platform/guarded_write.h"
#include "platform/utf8_path.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fenwix {

int ReadError(const std::string& path) {
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(PathFromUtf8(path), ec);
  if (std::filesystem::is_directory(status)) return EISDIR;
  // A device, pipe or socket is refused before it is opened: opening a FIFO waits for a writer
  // for ever, and /dev/zero never ends.
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    return NOT_A_REGULAR_FILE;
  }
  int open_error = 0;
  std::FILE* file = OpenForReading(path, open_error);
  if (file == nullptr) return open_error != 0 ? open_error : ENOENT;
  errno = 0;
  std::fgetc(file);
  const int error = std::ferror(file) != 0 ? (errno != 0 ? errno : EIO) : 0;
  std::fclose(file);
  return error;
}

bool IsXmlDocument(const std::string& path) {
  return StartsAsXmlDocument(path);
}

std::string FileProblemText(int error_number, const std::string& path) {
  switch (error_number) {
    case ENOENT: {
      // The same number stands for a missing file and for a missing folder on the way to it.
      const std::filesystem::path parent = PathFromUtf8(path).parent_path();
      std::error_code ec;
      if (!parent.empty() && !std::filesystem::is_directory(parent, ec)) return "no such folder";
      return "no such file";
    }
    case ENOTDIR:
      return "no such folder";
    case EACCES:
    case EPERM:
      return "permission denied";
    case EROFS:
      return "read-only file system";
    case EISDIR:
      return "is a folder";
    default:
      return SystemErrorText(error_number);
  }
}

}  // namespace fenwix

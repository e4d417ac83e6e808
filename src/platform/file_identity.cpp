#include "platform/file_identity.h"

#include "platform/utf8_path.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace fenwix {

#ifdef _WIN32

std::optional<FileIdentity> IdentifyFile(const std::string& path) {
  // Opening for no access reads the attributes of any file, even one open elsewhere; backup
  // semantics let it open a folder too.
  const HANDLE handle = CreateFileW(PathFromUtf8(path).wstring().c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  if (!known) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

#else

std::optional<FileIdentity> IdentifyFile(const std::string& path) {
  struct stat status {};
  if (stat(PathFromUtf8(path).c_str(), &status) != 0) return std::nullopt;
  return FileIdentity{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
}

#endif

}  // namespace fenwix

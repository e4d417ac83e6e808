#include "platform/executable_folder.h"

#include "platform/utf8_path.h"

#ifdef _WIN32
#include <windows.h>

#include <random>
#else
#include <unistd.h>
#endif

namespace fenwix {

#ifdef _WIN32

std::string ExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return Utf8FromPath(std::filesystem::path(buffer));
    }
    buffer.resize(buffer.size() * 2);
  }
}

// Folder permissions on Windows live in access lists that no attribute shows, so the one true
// answer is to make a file there: one that the system removes as soon as it is closed.
bool FolderIsWritable(const std::string& folder) {
  std::filesystem::path probe = PathFromUtf8(folder.empty() ? "." : folder);
  probe /= L"fenwix-write-probe-" + std::to_wstring(std::random_device{}());
  const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

#else

std::string ExecutablePath() {
  char buffer[4096];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return {};
  return std::string(buffer, static_cast<size_t>(length));
}

bool FolderIsWritable(const std::string& folder) {
  return access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0;
}

#endif

}  // namespace fenwix

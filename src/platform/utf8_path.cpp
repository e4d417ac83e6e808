#include "platform/utf8_path.h"

#include <cerrno>
#include <system_error>

#ifdef _WIN32
#include <wchar.h>
#endif

namespace fenwix {

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  // The char8_t form says the bytes are UTF-8; a plain char string would be read in the
  // Windows code page.
  return std::filesystem::path(
      std::u8string_view(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

bool RemoveFile(const std::string& utf8_path) {
  std::error_code error;
  const std::filesystem::path path = PathFromUtf8(utf8_path);
  if (std::filesystem::is_directory(path, error)) return false;
  return std::filesystem::remove(path, error);
}

#ifdef _WIN32

std::FILE* OpenFile(const std::string& utf8_path, const char* mode) {
  std::wstring wide_mode;
  for (const char* c = mode; *c != '\0'; ++c) wide_mode.push_back(static_cast<wchar_t>(*c));
  const std::filesystem::path path = PathFromUtf8(utf8_path);
  std::FILE* file = _wfopen(path.c_str(), wide_mode.c_str());
  // Windows refuses to open a folder as access denied; say what POSIX systems say.
  std::error_code error;
  if (file == nullptr && errno == EACCES && std::filesystem::is_directory(path, error)) {
    errno = EISDIR;
  }
  return file;
}

bool IsPathSeparator(char c) {
  return c == '/' || c == '\\';
}

#else

std::FILE* OpenFile(const std::string& utf8_path, const char* mode) {
  return std::fopen(utf8_path.c_str(), mode);
}

bool IsPathSeparator(char c) {
  return c == '/';
}

#endif

}  // namespace fenwix

#include "app/file_problem.h"
#include "platform/utf8_path.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fenwix {

int ReadError(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(PathFromUtf8(path), ec)) return EISDIR;
  errno = 0;
  std::FILE* file = OpenFile(path, "rb");
  if (file == nullptr) return errno != 0 ? errno : ENOENT;
  std::fgetc(file);
  const int error = std::ferror(file) != 0 ? (errno != 0 ? errno : EIO) : 0;
  std::fclose(file);
  return error;
}

bool IsXmlDocument(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(PathFromUtf8(path), ec)) return false;
  std::FILE* file = OpenFile(path, "rb");
  if (file == nullptr) return false;
  // Enough for a byte-order mark and the blank lines some exports start with.
  char head[256];
  const size_t size = std::fread(head, 1, sizeof head, file);
  std::fclose(file);
  size_t at = 0;
  if (size >= 3 && std::memcmp(head, "\xEF\xBB\xBF", 3) == 0) at = 3;
  // A UTF-16 document: its byte-order mark, or a '<' beside a zero byte.
  if (size >= 2 &&
      (std::memcmp(head, "\xFF\xFE", 2) == 0 || std::memcmp(head, "\xFE\xFF", 2) == 0 ||
       (head[0] == '<' && head[1] == '\0') || (head[0] == '\0' && head[1] == '<'))) {
    return true;
  }
  while (at < size &&
         (head[at] == ' ' || head[at] == '\t' || head[at] == '\r' || head[at] == '\n')) {
    ++at;
  }
  return at < size && head[at] == '<';
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
    case EROFS:
      return "permission denied";
    case EISDIR:
      return "is a folder";
    default:
      return std::strerror(error_number);
  }
}

}  // namespace fenwix

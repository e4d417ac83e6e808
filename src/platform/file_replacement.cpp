#include "platform/file_replacement.h"

#include <cerrno>
#include <vector>

#include "platform/utf8_path.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <random>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#endif

namespace fenwix {

#ifdef _WIN32

namespace {
// Names tried before giving up on a folder where each is taken.
constexpr int NAME_ATTEMPTS = 100;

int ErrorNumberOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return ENOENT;
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    default:
      return EIO;
  }
}
}  // namespace

int WritableFileError(const std::string& utf8_path) {
  const DWORD attributes = GetFileAttributesW(PathFromUtf8(utf8_path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EISDIR;
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return EACCES;
  return 0;
}

// The C library's open shares the file for reading and writing but not for deleting, which is
// what keeps RemoveIfUnused away from a file in use.
std::FILE* CreateUniqueFile(const std::string& prefix, std::string& path, int& error) {
  static constexpr char LETTERS[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> pick(0, sizeof LETTERS - 2);
  error = EEXIST;
  for (int attempt = 0; attempt < NAME_ATTEMPTS && error == EEXIST; ++attempt) {
    std::string name = prefix;
    for (int i = 0; i < 6; ++i) name.push_back(LETTERS[pick(random)]);
    int fd = -1;
    error = _wsopen_s(&fd, PathFromUtf8(name).c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY,
                      _SH_DENYNO, _S_IREAD | _S_IWRITE);
    if (error != 0) continue;
    std::FILE* stream = _fdopen(fd, "wb");
    if (stream == nullptr) {
      error = errno;
      _close(fd);
      RemoveFile(name);
      return nullptr;
    }
    path = name;
    return stream;
  }
  return nullptr;
}

std::FILE* CreateNewFile(const std::string& path, int& error) {
  int fd = -1;
  error = _wsopen_s(&fd, PathFromUtf8(path).c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY,
                    _SH_DENYNO, _S_IREAD | _S_IWRITE);
  if (error != 0) return nullptr;
  std::FILE* stream = _fdopen(fd, "wb");
  if (stream == nullptr) {
    error = errno;
    _close(fd);
    RemoveFile(path);
  }
  return stream;
}

int ReplaceWithFile(const std::string& from, const std::string& to) {
  if (MoveFileExW(PathFromUtf8(from).c_str(), PathFromUtf8(to).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    return ErrorNumberOf(GetLastError());
  }
  return 0;
}

void KeepPermissions(std::FILE*, const std::string&) {
  // The replacement takes the read-only attribute's check up front (WritableFileError); the
  // rest of a file's security stays with its folder.
}

bool RemoveIfUnused(const std::string& utf8_path) {
  // Deleting fails while the file is open without delete sharing: in a running conversion.
  return DeleteFileW(PathFromUtf8(utf8_path).c_str()) != 0;
}

#else

int WritableFileError(const std::string& utf8_path) {
  struct stat target;
  if (stat(utf8_path.c_str(), &target) != 0) return 0;
  if (S_ISDIR(target.st_mode)) return EISDIR;
  if (access(utf8_path.c_str(), W_OK) != 0) return errno;
  return 0;
}

// The file carries an exclusive lock while it is open, which is how RemoveIfUnused tells a
// running conversion's file from one left by a run that was killed; the system lets go of the
// lock when the process ends, however it ends.
std::FILE* CreateUniqueFile(const std::string& prefix, std::string& path, int& error) {
  std::vector<char> name(prefix.begin(), prefix.end());
  name.insert(name.end(), {'X', 'X', 'X', 'X', 'X', 'X', '\0'});
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  flock(fd, LOCK_EX | LOCK_NB);
  // mkstemp creates the file for its owner only; give it the permissions of a file created
  // normally, as the previous output file would have had.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  std::FILE* stream = fdopen(fd, "wb");
  if (stream == nullptr) {
    error = errno;
    close(fd);
    unlink(name.data());
    return nullptr;
  }
  path = name.data();
  error = 0;
  return stream;
}

std::FILE* CreateNewFile(const std::string& path, int& error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  flock(fd, LOCK_EX | LOCK_NB);
  std::FILE* stream = fdopen(fd, "wb");
  if (stream == nullptr) {
    error = errno;
    close(fd);
    unlink(path.c_str());
    return nullptr;
  }
  error = 0;
  return stream;
}

int ReplaceWithFile(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) return errno;
  // The new name reaches the disk with the folder.
  const std::string folder = Utf8FromPath(PathFromUtf8(to).parent_path());
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
  return 0;
}

void KeepPermissions(std::FILE* stream, const std::string& from_path) {
  struct stat old_file;
  if (stat(from_path.c_str(), &old_file) == 0) fchmod(fileno(stream), old_file.st_mode & 07777);
}

bool RemoveIfUnused(const std::string& utf8_path) {
  const int fd = open(utf8_path.c_str(), O_RDONLY | O_NOFOLLOW);
  if (fd < 0) return false;
  bool removed = false;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) removed = unlink(utf8_path.c_str()) == 0;
  close(fd);
  return removed;
}

#endif

}  // namespace fenwix

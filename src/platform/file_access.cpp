#include "platform/file_access.h"

#include "platform/guarded_write.h"
#include "platform/utf8_path.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// windows.h first: bcrypt.h uses its types.
#include <bcrypt.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <nettle/sha2.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fenwix {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

constexpr size_t READ_CHUNK = 1 << 16;
constexpr size_t SHA256_BYTES = 32;

#ifdef _WIN32

class Sha256 {
 public:
  Sha256() {
    ok_ = BCRYPT_SUCCESS(
              BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
          BCRYPT_SUCCESS(BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0));
  }
  ~Sha256() {
    if (hash_ != nullptr) BCryptDestroyHash(hash_);
    if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
  }
  void Update(const unsigned char* data, size_t size) {
    ok_ = ok_ && BCRYPT_SUCCESS(
                     BCryptHashData(hash_, const_cast<PUCHAR>(data), static_cast<ULONG>(size), 0));
  }
  bool Finish(unsigned char* digest) {
    return ok_ && BCRYPT_SUCCESS(BCryptFinishHash(hash_, digest, SHA256_BYTES, 0));
  }

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
  bool ok_ = false;
};

#else

class Sha256 {
 public:
  Sha256() { sha256_init(&context_); }
  void Update(const unsigned char* data, size_t size) { sha256_update(&context_, size, data); }
  bool Finish(unsigned char* digest) {
    sha256_digest(&context_, SHA256_DIGEST_SIZE, digest);
    return true;
  }

 private:
  sha256_ctx context_;
};

#endif

// Reads the file chunk by chunk into consume; false with errno's value on failure.
template <typename Consume>
bool ReadChunks(const std::string& path, int& error, Consume consume) {
  // A device, pipe or socket named as a file has no fixed contents: /dev/zero would be read
  // for ever, and a FIFO waits for a writer.
  const FilePtr file(OpenForReading(path, error));
  if (!file) return false;
  errno = 0;
  std::vector<unsigned char> buffer(READ_CHUNK);
  for (;;) {
    const size_t length = std::fread(buffer.data(), 1, buffer.size(), file.get());
    if (length > 0) consume(buffer.data(), length);
    if (length < buffer.size()) break;
  }
  if (std::ferror(file.get())) {
    error = errno != 0 ? errno : EIO;
    return false;
  }
  error = 0;
  return true;
}

}  // namespace

#ifdef _WIN32

std::FILE* OpenForReading(const std::string& path, int& error, bool no_links) {
  std::error_code status_error;
  const std::filesystem::path name = PathFromUtf8(path);
  if (no_links &&
      std::filesystem::is_symlink(std::filesystem::symlink_status(name, status_error))) {
    error = ELOOP;
    return nullptr;
  }
  errno = 0;
  std::FILE* file = OpenFile(path, "rb");
  if (file == nullptr) {
    error = errno != 0 ? errno : EIO;
    return nullptr;
  }
  struct _stat64 status {};
  if (_fstat64(_fileno(file), &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG) {
    std::fclose(file);
    error = (status.st_mode & _S_IFMT) == _S_IFDIR ? EISDIR : NOT_A_REGULAR_FILE;
    return nullptr;
  }
  error = 0;
  return file;
}

#else

std::FILE* OpenForReading(const std::string& path, int& error, bool no_links) {
  // Without O_NONBLOCK, opening a FIFO waits for a writer; with it the open returns at once and
  // the file's kind is told from the descriptor.
  const int fd = open(path.c_str(),
                      O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (no_links ? O_NOFOLLOW : 0));
  if (fd < 0) {
    error = errno != 0 ? errno : EIO;
    return nullptr;
  }
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    error = S_ISDIR(status.st_mode) ? EISDIR : NOT_A_REGULAR_FILE;
    close(fd);
    return nullptr;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* file = fdopen(fd, "rb");
  if (file == nullptr) {
    error = errno != 0 ? errno : EIO;
    close(fd);
    return nullptr;
  }
  error = 0;
  return file;
}

#endif

bool ReadWholeFile(const std::string& path, std::string& text, int& error) {
  text.clear();
  return ReadChunks(path, error, [&text](const unsigned char* data, size_t size) {
    text.append(reinterpret_cast<const char*>(data), size);
  });
}

std::optional<std::string> FileSha256(const std::string& path, int& error) {
  Sha256 sha;
  if (!ReadChunks(path, error,
                  [&sha](const unsigned char* data, size_t size) { sha.Update(data, size); })) {
    return std::nullopt;
  }
  unsigned char digest[SHA256_BYTES];
  if (!sha.Finish(digest)) {
    error = EIO;
    return std::nullopt;
  }
  static constexpr char HEX[] = "0123456789abcdef";
  std::string hex;
  for (const unsigned char byte : digest) {
    hex.push_back(HEX[byte >> 4]);
    hex.push_back(HEX[byte & 15]);
  }
  return hex;
}

std::string SystemErrorText(int error) {
  if (error == NOT_A_REGULAR_FILE) return "not a regular file (a device, pipe or socket)";
  if (error == TARGET_IS_PROTECTED) {
    return "a field file or the job file of this run, which is never written over";
  }
  if (error == TARGET_IS_XML_DOCUMENT) return "an XML document, which is never written over";
  if (error == FOLDER_NOT_WRITABLE) return "its folder is read-only: no file can be made in it";
  if (error == TARGET_CHANGED) {
    return "it was replaced by another kind of file while it was written; it is left as it was";
  }
  if (error == TARGET_OUTSIDE_FOLDER) return "it lies outside the folder it must stay in";
  if (error == FIFO_WITHOUT_READER) return "a FIFO that no program is reading from";
  return std::strerror(error);
}

}  // namespace fenwix

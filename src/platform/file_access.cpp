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
#else
#include <nettle/sha2.h>
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
  // for ever. Folders are left to the read, which says so.
  std::error_code status_error;
  const std::filesystem::file_status status =
      std::filesystem::status(PathFromUtf8(path), status_error);
  if (!status_error && std::filesystem::exists(status) &&
      !std::filesystem::is_regular_file(status) && !std::filesystem::is_directory(status)) {
    error = NOT_A_REGULAR_FILE;
    return false;
  }
  errno = 0;
  const FilePtr file(OpenFile(path, "rb"));
  if (!file) {
    error = errno != 0 ? errno : EIO;
    return false;
  }
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
  return std::strerror(error);
}

}  // namespace fenwix

#include "platform/guarded_write.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/file_access.h"
#include "platform/file_replacement.h"
#include "platform/file_sync.h"
#include "platform/utf8_path.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace fenwix {

namespace {

namespace fs = std::filesystem;

// Temporary files are named after the target: the target's name, this, and 6 letters or digits.
constexpr std::string_view TEMPORARY_INFIX = ".fenwix-";
constexpr size_t TEMPORARY_SUFFIX_LENGTH = 6;
// Links followed before the name is taken as a loop.
constexpr int MAX_LINKS = 40;
// Enough for a byte-order mark and the blank lines some exports start with.
constexpr size_t XML_HEAD_BYTES = 256;

std::mutex protected_mutex;
std::vector<std::string> protected_fields;
std::string protected_job;

std::atomic<int64_t> write_limit{-1};
std::atomic<int> write_limit_error{0};

bool IsLetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool SameExistingFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(PathFromUtf8(a), PathFromUtf8(b), ec) && !ec;
}

// The file a name finally denotes: symbolic links followed one by one, so that a link to a
// file not made yet names that file. The name itself when it is no link.
std::string FollowLinks(const std::string& path) {
  fs::path at = PathFromUtf8(path);
  for (int hop = 0; hop < MAX_LINKS; ++hop) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(at, ec)) || ec) break;
    const fs::path to = fs::read_symlink(at, ec);
    if (ec) break;
    at = to.is_absolute() ? to : at.parent_path() / to;
  }
  return Utf8FromPath(at);
}

}  // namespace

std::string ResolvedPath(const std::string& path) {
  std::error_code ec;
  fs::path at = fs::absolute(PathFromUtf8(path), ec);
  for (int hop = 0; hop < MAX_LINKS && !ec; ++hop) {
    at = fs::weakly_canonical(at, ec);
    // A name not made yet is no link (its status error is not the caller's).
    std::error_code missing;
    if (ec || !fs::is_symlink(fs::symlink_status(at, missing))) break;
    // A link to a file not made yet: weakly_canonical stops at it.
    const fs::path to = fs::read_symlink(at, ec);
    at = to.is_absolute() ? to : at.parent_path() / to;
  }
  return ec ? std::string() : Utf8FromPath(at);
}

namespace {

// A run killed while it writes leaves its temporary file beside the target; the next write to
// the same target takes such files away, unless one is still being written by a running
// conversion.
void RemoveLeftovers(const std::string& target_path) {
  const fs::path target = PathFromUtf8(target_path);
  const std::string prefix = Utf8FromPath(target.filename()) + std::string(TEMPORARY_INFIX);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : ".";
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = Utf8FromPath(it->path().filename());
    if (name.size() != prefix.size() + TEMPORARY_SUFFIX_LENGTH || !name.starts_with(prefix)) {
      continue;
    }
    if (!std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                     IsLetterOrDigit)) {
      continue;
    }
    std::error_code type_error;
    if (it->is_regular_file(type_error)) RemoveIfUnused(Utf8FromPath(it->path()));
  }
}

int ErrorOr(int error) {
  return error != 0 ? error : EIO;
}

}  // namespace

void SetProtectedFiles(const std::vector<std::string>& field_files, const std::string& job_file) {
  const std::lock_guard lock(protected_mutex);
  protected_fields = field_files;
  protected_job = job_file;
}

static std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

bool StartsAsXmlDocument(const std::string& path) {
  if (path == STANDARD_OUTPUT_NAME) return false;
  std::error_code ec;
  if (!fs::is_regular_file(PathFromUtf8(path), ec)) return false;
  std::FILE* file = OpenFile(path, "rb");
  if (file == nullptr) return false;
  char head[XML_HEAD_BYTES];
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
  const auto skip_blanks = [&] {
    while (at < size &&
           (head[at] == ' ' || head[at] == '\t' || head[at] == '\r' || head[at] == '\n')) {
      ++at;
    }
  };
  skip_blanks();
  if (at >= size || head[at] != '<') return false;
  // A drawing or a web page (a previous sketch or HTML report) is no field data and may be
  // replaced: its root, after the declaration, comments and doctype, is "svg" or "html".
  const std::string_view text(head, size);
  while (at < size && head[at] == '<' && at + 1 < size &&
         (head[at + 1] == '?' || head[at + 1] == '!')) {
    if (AsciiLower(text.substr(at, 14)) == "<!doctype html") {
      return false;
    }
    const size_t end = text.find('>', at);
    if (end == std::string_view::npos) return true;
    at = end + 1;
    skip_blanks();
  }
  if (at >= size || head[at] != '<') return true;
  size_t name_end = at + 1;
  while (name_end < size && std::isalnum(static_cast<unsigned char>(head[name_end]))) ++name_end;
  const std::string root = AsciiLower(text.substr(at + 1, name_end - at - 1));
  return root != "svg" && root != "html";
}

int RefusedTarget(const std::string& path, bool own_job_file) {
  if (path == STANDARD_OUTPUT_NAME) return 0;
  std::error_code ec;
  const fs::file_status status = fs::status(PathFromUtf8(path), ec);
  if (ec || !fs::exists(status)) return 0;
  {
    const std::lock_guard lock(protected_mutex);
    for (const std::string& field : protected_fields) {
      if (SameExistingFile(path, field)) return TARGET_IS_PROTECTED;
    }
    if (!own_job_file && !protected_job.empty() && SameExistingFile(path, protected_job)) {
      return TARGET_IS_PROTECTED;
    }
  }
  if (fs::is_directory(status)) return EISDIR;
  if (fs::is_character_file(status) || fs::is_fifo(status)) return 0;
  if (!fs::is_regular_file(status)) return NOT_A_REGULAR_FILE;
  if (StartsAsXmlDocument(path)) return TARGET_IS_XML_DOCUMENT;
  return WritableFileError(path);
}

GuardedFile::~GuardedFile() {
  Discard();
}

int GuardedFile::Open(const std::string& path, bool own_job_file) {
  Discard();
  error_ = 0;
  written_ = 0;
  if (const int refused = RefusedTarget(path, own_job_file)) return refused;
  if (path == STANDARD_OUTPUT_NAME) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    stream_ = stdout;
    owns_stream_ = false;
    return 0;
  }
  target_path_ = FollowLinks(path);
  std::error_code ec;
  const fs::file_status status = fs::status(PathFromUtf8(target_path_), ec);
  if (fs::is_character_file(status) || fs::is_fifo(status)) {
    // A device or pipe takes the bytes as they come; renaming over it would put a plain file
    // where the device was.
    errno = 0;
    stream_ = OpenFile(target_path_, "wb");
    if (stream_ == nullptr) return ErrorOr(errno);
    owns_stream_ = true;
    return 0;
  }
  RemoveLeftovers(target_path_);
  int error = 0;
  stream_ = CreateUniqueFile(target_path_ + std::string(TEMPORARY_INFIX), temp_path_, error);
  if (stream_ == nullptr) {
    temp_path_.clear();
    return error == EACCES || error == EPERM || error == EROFS ? FOLDER_NOT_WRITABLE
                                                               : ErrorOr(error);
  }
  owns_stream_ = true;
  if (fs::exists(status)) KeepPermissions(stream_, target_path_);
  return 0;
}

bool GuardedFile::Write(std::string_view bytes) {
  if (stream_ == nullptr) {
    if (error_ == 0) error_ = EBADF;
    return false;
  }
  if (error_ != 0) return false;
  const int64_t limit = write_limit.load();
  size_t allowed = bytes.size();
  if (limit >= 0 && written_ + static_cast<int64_t>(bytes.size()) > limit) {
    allowed = static_cast<size_t>(std::max<int64_t>(0, limit - written_));
  }
  errno = 0;
  const size_t put = std::fwrite(bytes.data(), 1, allowed, stream_);
  written_ += static_cast<int64_t>(put);
  if (put != allowed || std::ferror(stream_)) {
    error_ = ErrorOr(errno);
    return false;
  }
  if (allowed != bytes.size()) {
    error_ = ErrorOr(write_limit_error.load());
    return false;
  }
  return true;
}

int GuardedFile::Commit() {
  if (stream_ == nullptr) return error_ != 0 ? error_ : EBADF;
  errno = 0;
  if (error_ == 0 && std::fflush(stream_) != 0) error_ = ErrorOr(errno);
  if (!owns_stream_) {
    stream_ = nullptr;
    return error_;
  }
  errno = 0;
  if (error_ == 0 && replaces() && !SyncFile(stream_)) error_ = ErrorOr(errno);
  errno = 0;
  if (std::fclose(stream_) != 0 && error_ == 0) error_ = ErrorOr(errno);
  stream_ = nullptr;
  if (replaces()) {
    if (error_ == 0) error_ = ReplaceWithFile(temp_path_, target_path_);
    if (error_ != 0) RemoveFile(temp_path_);
    temp_path_.clear();
  }
  return error_;
}

void GuardedFile::Discard() {
  if (stream_ != nullptr && owns_stream_) std::fclose(stream_);
  if (!temp_path_.empty()) RemoveFile(temp_path_);
  stream_ = nullptr;
  owns_stream_ = false;
  temp_path_.clear();
}

int WriteWholeFile(const std::string& path, std::string_view bytes, bool own_job_file) {
  GuardedFile file;
  if (const int refused = file.Open(path, own_job_file)) return refused;
  file.Write(bytes);
  return file.Commit();
}

void SetWriteLimitForTesting(int64_t limit, int error) {
  write_limit_error = error;
  write_limit = limit;
}

}  // namespace fenwix

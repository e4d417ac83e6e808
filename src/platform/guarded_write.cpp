#include "platform/guarded_write.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/file_access.h"
#include "platform/file_identity.h"
#include "platform/file_replacement.h"
#include "platform/file_sync.h"
#include "platform/utf8_path.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#endif

namespace fenwix {

namespace {

namespace fs = std::filesystem;

// Temporary files are named after the target: the target's name, this, six letters or digits
// drawn at random and four that sign them.
constexpr std::string_view TEMPORARY_INFIX = ".fenwix-";
constexpr size_t RANDOM_LETTERS = 6;
constexpr size_t SIGNATURE_LETTERS = 4;
// The longest name of one file the systems allow, in bytes (UTF-16 units on Windows, never
// more than the bytes).
constexpr size_t NAME_MAX_BYTES = 255;
// Names tried before giving up on a folder where each is taken.
constexpr int NAME_ATTEMPTS = 100;
// Links followed before the name is taken as a loop.
constexpr int MAX_LINKS = 40;
// How far the XML guard reads on through white space, declarations and comments: far past
// the blank lines some exports start with.
constexpr size_t XML_SNIFF_BYTES = size_t{8} << 20;
// How much of a leftover is looked at for the mark of a job file.
constexpr size_t JOB_MARK_BYTES = 4096;
constexpr std::string_view JOB_MARK = "\"fenwix_project\"";

constexpr char LETTERS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr size_t LETTER_COUNT = sizeof LETTERS - 1;

std::mutex protected_mutex;
std::vector<std::string> protected_fields;
std::string protected_job;
// The identities the protected files had when they were named: a file renamed afterwards is
// still known by them.
std::vector<FileIdentity> protected_field_identities;
std::optional<FileIdentity> protected_job_identity;

std::atomic<int64_t> write_limit{-1};
std::atomic<int> write_limit_error{0};

bool IsLetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

uint64_t Fnv1a(std::string_view text, uint64_t hash = 14695981039346656037ULL) {
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  return hash;
}

// The prefix of every temporary name for the target: its own name and the infix, or, when that
// would make too long a name, the infix alone with a fingerprint of the target's name.
std::string TemporaryPrefix(std::string_view target_name) {
  if (target_name.size() + TEMPORARY_INFIX.size() + RANDOM_LETTERS + SIGNATURE_LETTERS <=
      NAME_MAX_BYTES) {
    return std::string(target_name) + std::string(TEMPORARY_INFIX);
  }
  static constexpr char HEX[] = "0123456789abcdef";
  std::string prefix(TEMPORARY_INFIX);
  const uint64_t print = Fnv1a(target_name);
  for (int shift = 60; shift >= 32; shift -= 4) prefix.push_back(HEX[(print >> shift) & 15]);
  prefix.push_back('-');
  return prefix;
}

std::string Signature(std::string_view target_name, std::string_view random) {
  uint64_t hash = Fnv1a(random, Fnv1a("fenwix temporary", Fnv1a(target_name)));
  std::string letters;
  for (size_t i = 0; i < SIGNATURE_LETTERS; ++i) {
    letters.push_back(LETTERS[hash % LETTER_COUNT]);
    hash /= LETTER_COUNT;
  }
  return letters;
}

bool SameExistingFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(PathFromUtf8(a), PathFromUtf8(b), ec) && !ec;
}

// Whether the file of this identity is a field file or, unless own_job_file, the job file.
[[maybe_unused]] bool IsProtectedIdentity(const FileIdentity& file, bool own_job_file) {
  const std::lock_guard lock(protected_mutex);
  for (const std::string& field : protected_fields) {
    if (IdentifyFile(field) == file) return true;
  }
  if (std::find(protected_field_identities.begin(), protected_field_identities.end(), file) !=
      protected_field_identities.end()) {
    return true;
  }
  return !own_job_file && !protected_job.empty() &&
         (IdentifyFile(protected_job) == file || protected_job_identity == file);
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

// The head of a file as code units: bytes, or the 16-bit units of a UTF-16 document, its
// byte-order mark taken off; at most XML_SNIFF_BYTES are read.
class HeadUnits {
 public:
  explicit HeadUnits(std::FILE* file) : file_(file) {
    Fill();
    const auto byte = [this](size_t i) { return static_cast<unsigned char>(buffer_[i]); };
    if (size_ >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
      at_ = 3;
    } else if (size_ >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) {
      width_ = 2;
      at_ = 2;
    } else if (size_ >= 2 && byte(0) == 0xFE && byte(1) == 0xFF) {
      width_ = 2;
      big_endian_ = true;
      at_ = 2;
    } else if (size_ >= 2 && byte(0) == 0 && byte(1) != 0) {
      // UTF-16 without its mark: an ASCII character beside a zero byte.
      width_ = 2;
      big_endian_ = true;
    } else if (size_ >= 2 && byte(0) != 0 && byte(1) == 0) {
      width_ = 2;
    }
  }

  // The next unit, or -1 at the end of the file or of what is read.
  int Next() {
    const int first = Byte();
    if (width_ == 1 || first < 0) return first;
    const int second = Byte();
    if (second < 0) return -1;
    return big_endian_ ? first << 8 | second : second << 8 | first;
  }
  // Whether the reading stopped before the end of the file.
  bool cut_short() const { return cut_short_; }

 private:
  void Fill() {
    at_ = 0;
    size_ = 0;
    if (read_ >= XML_SNIFF_BYTES) {
      cut_short_ = std::fgetc(file_) != EOF;
      return;
    }
    size_ = std::fread(buffer_, 1, sizeof buffer_, file_);
    read_ += size_;
  }
  int Byte() {
    if (at_ == size_) Fill();
    if (at_ == size_) return -1;
    return static_cast<unsigned char>(buffer_[at_++]);
  }

  std::FILE* file_;
  char buffer_[1 << 16];
  size_t size_ = 0;
  size_t at_ = 0;
  size_t read_ = 0;
  int width_ = 1;
  bool big_endian_ = false;
  bool cut_short_ = false;
};

bool IsBlank(int unit) {
  return unit == ' ' || unit == '\t' || unit == '\r' || unit == '\n';
}

bool IsNameUnit(int unit) {
  return unit >= 0 && unit < 128 && std::isalnum(unit) != 0;
}

int SkipBlanks(HeadUnits& in, int unit) {
  while (IsBlank(unit)) unit = in.Next();
  return unit;
}

// Reads on past the end of a declaration, comment or doctype whose opening "<?" or "<!" is
// read; false when the head ends first. A doctype's internal subset may hold '>'.
bool SkipMarkup(HeadUnits& in, int kind) {
  if (kind == '?') {
    for (int last = 0, unit = in.Next(); unit >= 0; last = unit, unit = in.Next()) {
      if (last == '?' && unit == '>') return true;
    }
    return false;
  }
  int depth = 0;
  for (int unit = in.Next(); unit >= 0; unit = in.Next()) {
    if (unit == '[') ++depth;
    if (unit == ']') --depth;
    if (unit == '>' && depth <= 0) return true;
  }
  return false;
}

bool SkipComment(HeadUnits& in) {
  int dashes = 0;
  for (int unit = in.Next(); unit >= 0; unit = in.Next()) {
    if (unit == '>' && dashes >= 2) return true;
    dashes = unit == '-' ? dashes + 1 : 0;
  }
  return false;
}

std::string ReadName(HeadUnits& in, int& unit) {
  std::string name;
  while (IsNameUnit(unit) && name.size() < 16) {
    name.push_back(static_cast<char>(std::tolower(unit)));
    unit = in.Next();
  }
  return name;
}

// A head that ends (or is cut short) before the root element is told counts as a document: the
// reader might take it for one.
bool SniffDocument(HeadUnits& in) {
  int unit = SkipBlanks(in, in.Next());
  if (unit < 0) return in.cut_short();
  if (unit != '<') return false;
  for (;;) {
    unit = in.Next();
    if (unit == '?') {
      if (!SkipMarkup(in, '?')) return true;
    } else if (unit == '!') {
      unit = in.Next();
      if (unit == '-') {
        if (in.Next() != '-' || !SkipComment(in)) return true;
      } else {
        const std::string word = ReadName(in, unit);
        if (word != "doctype") return true;
        unit = SkipBlanks(in, unit);
        // A web page (a previous HTML report) is no field data.
        if (ReadName(in, unit) == "html") return false;
        if (unit != '>' && !SkipMarkup(in, '!')) return true;
      }
    } else {
      // The root element: a drawing or a web page (a previous sketch or HTML report) is no
      // field data and may be replaced.
      const std::string root = ReadName(in, unit);
      return root != "svg" && root != "html";
    }
    unit = SkipBlanks(in, in.Next());
    if (unit != '<') return true;
  }
}

int ErrorOr(int error) {
  return error != 0 ? error : EIO;
}

}  // namespace

std::string TemporaryNameFor(std::string_view target_name) {
  static std::mutex random_mutex;
  static std::mt19937_64 random{std::random_device{}()};
  std::string letters;
  {
    const std::lock_guard lock(random_mutex);
    for (size_t i = 0; i < RANDOM_LETTERS; ++i) letters.push_back(LETTERS[random() % LETTER_COUNT]);
  }
  return TemporaryPrefix(target_name) + letters + Signature(target_name, letters);
}

bool IsTemporaryNameOf(std::string_view name, std::string_view target_name) {
  const std::string prefix = TemporaryPrefix(target_name);
  if (name.size() != prefix.size() + RANDOM_LETTERS + SIGNATURE_LETTERS ||
      !name.starts_with(prefix)) {
    return false;
  }
  const std::string_view random = name.substr(prefix.size(), RANDOM_LETTERS);
  return std::all_of(random.begin(), random.end(), IsLetterOrDigit) &&
         name.substr(prefix.size() + RANDOM_LETTERS) == Signature(target_name, random);
}

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

void SetProtectedFiles(const std::vector<std::string>& field_files, const std::string& job_file) {
  const std::lock_guard lock(protected_mutex);
  protected_fields = field_files;
  protected_job = job_file;
  protected_field_identities.clear();
  for (const std::string& field : field_files) {
    if (const auto identity = IdentifyFile(field)) protected_field_identities.push_back(*identity);
  }
  protected_job_identity =
      job_file.empty() ? std::nullopt : std::optional<FileIdentity>(IdentifyFile(job_file));
}

bool StartsAsXmlDocument(std::FILE* file) {
  HeadUnits in(file);
  return SniffDocument(in);
}

bool StartsAsXmlDocument(const std::string& path) {
  if (path == STANDARD_OUTPUT_NAME) return false;
  int error = 0;
  std::FILE* file = OpenForReading(path, error);
  if (file == nullptr) return false;
  const bool document = StartsAsXmlDocument(file);
  std::fclose(file);
  return document;
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
  if (path == STANDARD_OUTPUT_NAME) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    stream_ = stdout;
    owns_stream_ = false;
    return 0;
  }
  own_job_file_ = own_job_file;
  const int error = OpenTarget(path, own_job_file);
  if (error != 0) Discard();
  return error;
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
  owns_stream_ = false;
  if (replaces() && error_ == 0) error_ = PutInPlace();
  const int error = error_;
  Discard();
  return error;
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

#ifdef _WIN32

namespace {

// A run killed while it writes leaves its temporary file beside the target; the next write to
// the same target takes such files away when they carry the signature and are nothing the run
// guards, unless one is still being written by a running conversion.
void RemoveLeftovers(const std::string& target_path) {
  const fs::path target = PathFromUtf8(target_path);
  const std::string target_name = Utf8FromPath(target.filename());
  const fs::path folder = target.has_parent_path() ? target.parent_path() : ".";
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = Utf8FromPath(it->path().filename());
    if (!IsTemporaryNameOf(name, target_name)) continue;
    const std::string path = Utf8FromPath(it->path());
    std::error_code type_error;
    if (!it->is_regular_file(type_error) || it->is_symlink(type_error)) continue;
    if (RefusedTarget(path) != 0) continue;
    RemoveIfUnused(path);
  }
}

}  // namespace

int GuardedFile::OpenTarget(const std::string& path, bool own_job_file) {
  if (const int refused = RefusedTarget(path, own_job_file)) return refused;
  target_path_ = FollowLinks(path);
  if (!required_folder_.empty()) {
    const std::string folder = ResolvedPath(required_folder_);
    const std::string place = ResolvedPath(target_path_);
    const fs::path inside = PathFromUtf8(place).lexically_relative(PathFromUtf8(folder));
    if (folder.empty() || place.empty() || inside.empty() || *inside.begin() == ".." ||
        inside == ".") {
      return TARGET_OUTSIDE_FOLDER;
    }
  }
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
  const fs::path target = PathFromUtf8(target_path_);
  const std::string target_name = Utf8FromPath(target.filename());
  int error = EEXIST;
  for (int attempt = 0; attempt < NAME_ATTEMPTS && error == EEXIST; ++attempt) {
    const std::string temp =
        Utf8FromPath(target.parent_path() / PathFromUtf8(TemporaryNameFor(target_name)));
    stream_ = CreateNewFile(temp, error);
    if (stream_ != nullptr) temp_path_ = temp;
  }
  if (stream_ == nullptr) {
    return error == EACCES || error == EPERM || error == EROFS ? FOLDER_NOT_WRITABLE
                                                               : ErrorOr(error);
  }
  owns_stream_ = true;
  return 0;
}

int GuardedFile::PutInPlace() {
  const int error = ReplaceWithFile(temp_path_, target_path_);
  if (error == 0) temp_path_.clear();
  return error;
}

void GuardedFile::Discard() {
  if (stream_ != nullptr && owns_stream_) std::fclose(stream_);
  if (!temp_path_.empty()) RemoveFile(temp_path_);
  stream_ = nullptr;
  owns_stream_ = false;
  temp_path_.clear();
}

#else

namespace {

struct Descriptor {
  int fd = -1;
  Descriptor() = default;
  explicit Descriptor(int f) : fd(f) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
  int Release() { return std::exchange(fd, -1); }
};

FileIdentity IdentityOf(const struct stat& status) {
  return FileIdentity{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
}

// Opens the folder a path's last name is in and follows a symbolic link at that name, link by
// link, each from the folder the link is in: the folder held open and the final name, which
// is no link (or does not exist). 0, or the error number.
int ResolvePlace(const std::string& path, int& folder_fd, std::string& name) {
  std::string at = path;
  Descriptor base;
  for (int hop = 0; hop < MAX_LINKS; ++hop) {
    const size_t slash = at.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : at.substr(0, slash));
    name = slash == std::string::npos ? at : at.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
      struct stat status {};
      return fstatat(base.fd >= 0 ? base.fd : AT_FDCWD, at.c_str(), &status, 0) == 0 &&
                     S_ISDIR(status.st_mode)
                 ? EISDIR
                 : ENOENT;
    }
    Descriptor opened(openat(base.fd >= 0 ? base.fd : AT_FDCWD, folder.c_str(),
                             O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (opened.fd < 0) return ErrorOr(errno);
    struct stat status {};
    if (fstatat(opened.fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISLNK(status.st_mode)) {
      folder_fd = opened.Release();
      return 0;
    }
    std::string to(4096, '\0');
    const ssize_t length = readlinkat(opened.fd, name.c_str(), to.data(), to.size());
    if (length < 0) return ErrorOr(errno);
    if (static_cast<size_t>(length) >= to.size()) return ENAMETOOLONG;
    to.resize(static_cast<size_t>(length));
    at = to;
    std::swap(base.fd, opened.fd);
  }
  return ELOOP;
}

// Whether the folder open as fd is required, or lies below it: its parents are walked up
// through "..", which names the real parent whatever link led to the folder.
bool FolderLiesIn(int fd, const std::string& required) {
  struct stat wanted {};
  if (stat(required.c_str(), &wanted) != 0 || !S_ISDIR(wanted.st_mode)) return false;
  Descriptor at(dup(fd));
  for (int depth = 0; depth < 4096 && at.fd >= 0; ++depth) {
    struct stat here {};
    if (fstat(at.fd, &here) != 0) return false;
    if (IdentityOf(here) == IdentityOf(wanted)) return true;
    Descriptor parent(openat(at.fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat above {};
    if (parent.fd < 0 || fstat(parent.fd, &above) != 0) return false;
    // The root is its own parent.
    if (IdentityOf(above) == IdentityOf(here)) return false;
    std::swap(at.fd, parent.fd);
  }
  return false;
}

// Opens name in the folder for reading, without following a link or waiting on a FIFO, only
// when it is still the file of this identity; nullptr otherwise.
std::FILE* OpenSameFile(int folder_fd, const std::string& name, const struct stat& expected) {
  Descriptor fd(
      openat(folder_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat status {};
  if (fd.fd < 0 || fstat(fd.fd, &status) != 0 || IdentityOf(status) != IdentityOf(expected) ||
      !S_ISREG(status.st_mode)) {
    return nullptr;
  }
  std::FILE* file = fdopen(fd.fd, "rb");
  if (file != nullptr) fd.Release();
  return file;
}

// Why the file found at name in the folder, with this status, may not be replaced by a new
// regular file: 0 when it may. A file that cannot be opened to be looked at is not replaced.
int RefusedFileAt(int folder_fd, const std::string& name, const struct stat& status,
                  bool own_job_file) {
  if (IsProtectedIdentity(IdentityOf(status), own_job_file)) return TARGET_IS_PROTECTED;
  if (S_ISDIR(status.st_mode)) return EISDIR;
  if (!S_ISREG(status.st_mode)) return NOT_A_REGULAR_FILE;
  std::FILE* file = OpenSameFile(folder_fd, name, status);
  if (file == nullptr) return TARGET_CHANGED;
  const bool document = StartsAsXmlDocument(file);
  std::fclose(file);
  return document ? TARGET_IS_XML_DOCUMENT : 0;
}

bool HoldsJobMark(std::FILE* file) {
  std::string head(JOB_MARK_BYTES, '\0');
  head.resize(std::fread(head.data(), 1, head.size(), file));
  return head.find(JOB_MARK) != std::string::npos;
}

// A leftover of a killed run is removed only when it is plainly one: a regular file with the
// signed name, one name only, this user's, not in use, not guarded, no XML document and no job
// file. Anything else with such a name stays.
void RemoveLeftovers(int folder_fd, const std::string& target_name) {
  const int listing = dup(folder_fd);
  if (listing < 0) return;
  DIR* folder = fdopendir(listing);
  if (folder == nullptr) {
    close(listing);
    return;
  }
  std::vector<std::string> names;
  while (const dirent* entry = readdir(folder)) {
    if (IsTemporaryNameOf(entry->d_name, target_name)) names.emplace_back(entry->d_name);
  }
  closedir(folder);
  for (const std::string& name : names) {
    struct stat status {};
    if (fstatat(folder_fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(status.st_mode) || status.st_nlink != 1 || status.st_uid != geteuid() ||
        RefusedFileAt(folder_fd, name, status, false) != 0) {
      continue;
    }
    std::FILE* file = OpenSameFile(folder_fd, name, status);
    if (file == nullptr) continue;
    // A running conversion holds a lock on its temporary file.
    if (flock(fileno(file), LOCK_EX | LOCK_NB) == 0 && !HoldsJobMark(file)) {
      unlinkat(folder_fd, name.c_str(), 0);
    }
    std::fclose(file);
  }
}

void SyncFolder(int folder_fd) {
  fsync(folder_fd);
}

// Renames from over to in the folder in one step, exchanging the two when to exists (the old
// file then lies at from). 0; EEXIST when to appeared meanwhile; ENOSYS when the system or the
// file system cannot exchange names; or the error number.
#if defined(__linux__) && defined(RENAME_EXCHANGE)
int ExchangeNames(int folder_fd, const std::string& from, const std::string& to, bool& exchanged) {
  exchanged = false;
  if (renameat2(folder_fd, from.c_str(), folder_fd, to.c_str(), RENAME_EXCHANGE) == 0) {
    exchanged = true;
    return 0;
  }
  if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) return ENOSYS;
  if (errno != ENOENT) return ErrorOr(errno);
  // Nothing at to: a new file, put there only if nothing came in the meantime.
  if (renameat2(folder_fd, from.c_str(), folder_fd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) return ENOSYS;
  return ErrorOr(errno);
}
#else
int ExchangeNames(int, const std::string&, const std::string&, bool& exchanged) {
  exchanged = false;
  return ENOSYS;
}
#endif

}  // namespace

int GuardedFile::OpenTarget(const std::string& path, bool own_job_file) {
  if (const int error = ResolvePlace(path, folder_fd_, target_name_)) return error;
  target_path_ = FollowLinks(path);
  if (!required_folder_.empty() && !FolderLiesIn(folder_fd_, required_folder_)) {
    return TARGET_OUTSIDE_FOLDER;
  }
  struct stat status {};
  target_existed_ = fstatat(folder_fd_, target_name_.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
  if (target_existed_) {
    target_volume_ = static_cast<uint64_t>(status.st_dev);
    target_file_ = static_cast<uint64_t>(status.st_ino);
    if (IsProtectedIdentity(IdentityOf(status), own_job_file)) return TARGET_IS_PROTECTED;
    if (S_ISCHR(status.st_mode) || S_ISFIFO(status.st_mode)) {
      // A device or pipe takes the bytes as they come; renaming over it would put a plain
      // file where the device was. A FIFO nobody reads is refused, not waited on.
      Descriptor fd(openat(folder_fd_, target_name_.c_str(),
                           O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
      if (fd.fd < 0) return errno == ENXIO ? FIFO_WITHOUT_READER : ErrorOr(errno);
      struct stat opened {};
      if (fstat(fd.fd, &opened) != 0 || IdentityOf(opened) != IdentityOf(status)) {
        return TARGET_CHANGED;
      }
      const int flags = fcntl(fd.fd, F_GETFL);
      if (flags >= 0) fcntl(fd.fd, F_SETFL, flags & ~O_NONBLOCK);
      stream_ = fdopen(fd.fd, "wb");
      if (stream_ == nullptr) return ErrorOr(errno);
      fd.Release();
      owns_stream_ = true;
      return 0;
    }
    if (const int refused = RefusedFileAt(folder_fd_, target_name_, status, own_job_file)) {
      return refused;
    }
    if (faccessat(folder_fd_, target_name_.c_str(), W_OK, 0) != 0) return ErrorOr(errno);
  }
  RemoveLeftovers(folder_fd_, target_name_);
  int error = EEXIST;
  Descriptor fd;
  for (int attempt = 0; attempt < NAME_ATTEMPTS && error == EEXIST; ++attempt) {
    temp_name_ = TemporaryNameFor(target_name_);
    fd.fd = openat(folder_fd_, temp_name_.c_str(),
                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    error = fd.fd < 0 ? ErrorOr(errno) : 0;
  }
  if (error != 0) {
    temp_name_.clear();
    return error == EACCES || error == EPERM || error == EROFS ? FOLDER_NOT_WRITABLE : error;
  }
  // The lock tells a running conversion's file from a killed run's; the system lets go of it
  // when the process ends, however it ends.
  flock(fd.fd, LOCK_EX | LOCK_NB);
  if (target_existed_) fchmod(fd.fd, status.st_mode & 07777);
  const std::string folder = Utf8FromPath(PathFromUtf8(target_path_).parent_path());
  temp_path_ = folder.empty() ? temp_name_ : folder + "/" + temp_name_;
  stream_ = fdopen(fd.fd, "wb");
  if (stream_ == nullptr) return ErrorOr(errno);
  fd.Release();
  owns_stream_ = true;
  return 0;
}

int GuardedFile::PutInPlace() {
  bool exchanged = false;
  int error = ExchangeNames(folder_fd_, temp_name_, target_name_, exchanged);
  if (error == ENOSYS) {
    // No exchange here: the name is looked at once more and renamed over.
    struct stat status {};
    if (fstatat(folder_fd_, target_name_.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
      if (const int refused = RefusedFileAt(folder_fd_, target_name_, status, own_job_file_)) {
        return refused;
      }
    }
    error = renameat(folder_fd_, temp_name_.c_str(), folder_fd_, target_name_.c_str()) == 0
                ? 0
                : ErrorOr(errno);
  } else if (error == EEXIST) {
    return TARGET_CHANGED;
  }
  if (error != 0) return error;
  if (exchanged) {
    // What was replaced now lies under the temporary name: looked at now that it can no longer
    // change, and put back if it must not be replaced.
    struct stat status {};
    int refused = fstatat(folder_fd_, temp_name_.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0
                      ? RefusedFileAt(folder_fd_, temp_name_, status, own_job_file_)
                      : 0;
    if (refused == EISDIR || refused == NOT_A_REGULAR_FILE) refused = TARGET_CHANGED;
    if (refused != 0) {
      bool back = false;
      if (ExchangeNames(folder_fd_, temp_name_, target_name_, back) != 0 || !back) {
        // The old file goes back under its name, over the new one; failing that it stays
        // under the temporary name, which is then never removed.
        renameat(folder_fd_, temp_name_.c_str(), folder_fd_, target_name_.c_str());
        temp_name_.clear();
      }
      return refused;
    }
    unlinkat(folder_fd_, temp_name_.c_str(), 0);
  }
  temp_name_.clear();
  temp_path_.clear();
  SyncFolder(folder_fd_);
  return 0;
}

void GuardedFile::Discard() {
  if (stream_ != nullptr && owns_stream_) std::fclose(stream_);
  if (!temp_name_.empty() && folder_fd_ >= 0) unlinkat(folder_fd_, temp_name_.c_str(), 0);
  if (folder_fd_ >= 0) close(folder_fd_);
  folder_fd_ = -1;
  stream_ = nullptr;
  owns_stream_ = false;
  temp_name_.clear();
  temp_path_.clear();
}

#endif

}  // namespace fenwix

#include "writer/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace fenwix {

namespace {
// Bytes gathered before they are handed to the stream.
constexpr size_t FLUSH_THRESHOLD = 1 << 16;
// A file we write ourselves goes to the disk in windows of this size while it is written.
constexpr int64_t WRITE_BEHIND_WINDOW = int64_t{8} << 20;
}  // namespace

OutputFile::~OutputFile() {
  Discard();
}

bool OutputFile::Open(const std::string& target_path) {
  Discard();
  open_error_ = 0;
  // The file is replaced by a rename at the end, which would also replace a folder's entry or a
  // write-protected file; refuse those as opening the file for writing would.
  struct stat target;
  if (stat(target_path.c_str(), &target) == 0 &&
      (S_ISDIR(target.st_mode) || access(target_path.c_str(), W_OK) != 0)) {
    open_error_ = S_ISDIR(target.st_mode) ? EISDIR : errno;
    return false;
  }
  target_path_ = target_path;
  std::string pattern = target_path + ".fenwix-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    open_error_ = errno;
    return false;
  }
  // mkstemp creates the file for its owner only; give it the permissions of a file created
  // normally, as the previous output file would have had.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  temp_path_ = name.data();
  stream_ = fdopen(fd, "wb");
  if (stream_ == nullptr) {
    open_error_ = errno;
    close(fd);
    std::remove(temp_path_.c_str());
    temp_path_.clear();
    return false;
  }
  owns_stream_ = true;
  write_behind_ = true;
  handed_ = 0;
  window_start_ = 0;
  dropped_ = 0;
  error_ = false;
  flushed_ = false;
  at_line_start_ = true;
  buffer_.clear();
  return true;
}

void OutputFile::Attach(std::FILE* stream) {
  Discard();
  stream_ = stream;
  owns_stream_ = false;
  write_behind_ = false;
  error_ = false;
  flushed_ = false;
  at_line_start_ = true;
  buffer_.clear();
}

void OutputFile::Write(std::string_view text) {
  if (!line_prefix_.empty()) {
    WriteWithPrefix(text);
    return;
  }
  size_t start = 0;
  while (start < text.size()) {
    const size_t line_end = text.find('\n', start);
    if (line_end == std::string_view::npos) {
      buffer_.append(text.substr(start));
      break;
    }
    buffer_.append(text.substr(start, line_end - start));
    buffer_.append("\r\n");
    start = line_end + 1;
  }
  if (buffer_.size() >= FLUSH_THRESHOLD) Flush();
}

void OutputFile::WriteLine(std::string_view line, int line_ends) {
  if (!line_prefix_.empty()) {
    WriteWithPrefix(line);
    for (int i = 0; i < line_ends; ++i) WriteWithPrefix("\n");
    return;
  }
  buffer_.append(line);
  for (int i = 0; i < line_ends; ++i) buffer_.append("\r\n");
  if (buffer_.size() >= FLUSH_THRESHOLD) Flush();
}

void OutputFile::WriteWithPrefix(std::string_view text) {
  size_t start = 0;
  while (start < text.size()) {
    const size_t line_end = text.find('\n', start);
    const size_t end = line_end == std::string_view::npos ? text.size() : line_end;
    if (at_line_start_ && end > start) buffer_.append(line_prefix_);
    buffer_.append(text.substr(start, end - start));
    at_line_start_ = line_end != std::string_view::npos;
    if (line_end == std::string_view::npos) break;
    buffer_.append("\r\n");
    start = line_end + 1;
  }
  if (buffer_.size() >= FLUSH_THRESHOLD) Flush();
}

bool OutputFile::Prepend(std::string_view text) {
  if (flushed_) return false;
  std::string lines;
  for (const char c : text) {
    if (c == '\n') lines.push_back('\r');
    lines.push_back(c);
  }
  buffer_.insert(0, lines);
  return true;
}

bool OutputFile::Flush() {
  if (stream_ == nullptr) {
    error_ = true;
    return false;
  }
  if (!buffer_.empty() && !error_) {
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), stream_) != buffer_.size()) error_ = true;
    flushed_ = true;
    handed_ += static_cast<int64_t>(buffer_.size());
  }
  buffer_.clear();
  if (std::ferror(stream_)) error_ = true;
  if (write_behind_ && !error_ && handed_ - window_start_ >= WRITE_BEHIND_WINDOW) WriteBehind();
  return !error_;
}

// Hands the window just filled to writeback, then waits for the window before it and drops its
// pages from the cache. A large output then leaves neither a pile of dirty pages for the final
// fsync to wait on nor a page cache filled with fresh pages: the same few windows of memory are
// used over and over.
void OutputFile::WriteBehind() {
#if defined(__linux__)
  if (std::fflush(stream_) != 0) {
    error_ = true;
    return;
  }
  const int fd = fileno(stream_);
  const int64_t end = handed_;
  int failed = 0;
  if (sync_file_range(fd, window_start_, end - window_start_, SYNC_FILE_RANGE_WRITE) != 0) {
    failed = errno;
  } else if (window_start_ > dropped_) {
    // Waiting on the range takes in any writeback error of it, which fsync would then no longer
    // report: such an error is the file's error from here on.
    if (sync_file_range(fd, dropped_, window_start_ - dropped_,
                        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                            SYNC_FILE_RANGE_WAIT_AFTER) != 0) {
      failed = errno;
    } else {
      posix_fadvise(fd, dropped_, window_start_ - dropped_, POSIX_FADV_DONTNEED);
      dropped_ = window_start_;
    }
  }
  window_start_ = end;
  if (failed == 0) return;
  // A file system that cannot do this simply gets the whole file at fsync.
  write_behind_ = false;
  if (failed != EINVAL && failed != ENOSYS && failed != ESPIPE && failed != ENOMEM) error_ = true;
#else
  write_behind_ = false;
#endif
}

bool OutputFile::Commit() {
  if (stream_ == nullptr) return false;
  bool ok = Flush();
  if (std::fflush(stream_) != 0) ok = false;
  if (owns_stream_) {
    if (ok && fsync(fileno(stream_)) != 0) ok = false;
    if (std::fclose(stream_) != 0) ok = false;
    stream_ = nullptr;
    if (ok && std::rename(temp_path_.c_str(), target_path_.c_str()) != 0) ok = false;
    if (!ok) std::remove(temp_path_.c_str());
    temp_path_.clear();
  }
  stream_ = nullptr;
  if (!ok) error_ = true;
  return ok;
}

void OutputFile::Discard() {
  if (stream_ != nullptr && owns_stream_) {
    std::fclose(stream_);
    std::remove(temp_path_.c_str());
  }
  stream_ = nullptr;
  owns_stream_ = false;
  temp_path_.clear();
  buffer_.clear();
}

}  // namespace fenwix

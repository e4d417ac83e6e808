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
  }
  buffer_.clear();
  if (std::ferror(stream_)) error_ = true;
  return !error_;
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

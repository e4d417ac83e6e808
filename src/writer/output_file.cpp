#include "writer/output_file.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/file_access.h"
#include "platform/file_replacement.h"
#include "platform/file_sync.h"
#include "platform/utf8_path.h"

namespace fenwix {

namespace {
constexpr size_t FLUSH_THRESHOLD = OutputFile::FLUSH_BYTES;
// A file we write ourselves goes to the disk in windows of this size while it is written.
constexpr int64_t WRITE_BEHIND_WINDOW = int64_t{8} << 20;
}  // namespace

OutputFile::~OutputFile() {
  Discard();
}

bool OutputFile::Open(const std::string& target_path, bool own_job_file) {
  Discard();
  open_error_ = file_.Open(target_path, own_job_file);
  if (open_error_ != 0) return false;
  stream_ = file_.stream();
  owns_stream_ = true;
  // Only a file of our own is handed to writeback window by window.
  write_behind_ = file_.replaces();
  write_error_ = 0;
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
  write_error_ = 0;
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
    if (at_line_start_ && end > start) {
      buffer_.append(line_prefix_);
    } else if (at_line_start_ && blank_prefix_ && line_end != std::string_view::npos) {
      buffer_.append(line_prefix_.substr(0, line_prefix_.find_last_not_of(' ') + 1));
    }
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
    if (owns_stream_) {
      if (!file_.Write(buffer_)) {
        error_ = true;
        write_error_ = file_.error();
      }
    } else if (std::fwrite(buffer_.data(), 1, buffer_.size(), stream_) != buffer_.size()) {
      error_ = true;
      write_error_ = errno != 0 ? errno : EIO;
    }
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
  const int64_t end = handed_;
  int failed = StartWriteback(stream_, window_start_, end - window_start_);
  if (failed == 0 && window_start_ > dropped_) {
    // Waiting on the range takes in any writeback error of it, which the final sync would then
    // no longer report: such an error is the file's error from here on.
    failed = FinishWriteback(stream_, dropped_, window_start_ - dropped_);
    if (failed == 0) dropped_ = window_start_;
  }
  window_start_ = end;
  if (failed == 0) return;
  // A system or file system that cannot do this simply gets the whole file at the final sync.
  write_behind_ = false;
  if (failed != EINVAL && failed != ENOSYS && failed != ESPIPE && failed != ENOMEM) {
    error_ = true;
    write_error_ = failed;
  }
}

bool OutputFile::Commit() {
  if (stream_ == nullptr) return false;
  bool ok = Flush();
  if (owns_stream_) {
    if (!ok) {
      file_.Discard();
    } else if (const int failed = file_.Commit()) {
      ok = false;
      write_error_ = failed;
    }
  } else if (std::fflush(stream_) != 0) {
    ok = false;
    write_error_ = errno != 0 ? errno : EIO;
  }
  stream_ = nullptr;
  if (!ok) error_ = true;
  return ok;
}

Status OutputFile::WriteFailure() const {
  if (refusal_.failed()) return refusal_;
  return Status(StatusKind::WriteFailed,
                write_error_ != 0 ? SystemErrorText(write_error_) : std::string());
}

void OutputFile::Discard() {
  file_.Discard();
  stream_ = nullptr;
  owns_stream_ = false;
  buffer_.clear();
}

}  // namespace fenwix

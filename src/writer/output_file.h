#pragma once
// The output file of a conversion. Text is gathered in a buffer and written with "\r\n" line
// ends on every platform. The file goes through a GuardedFile (platform/guarded_write.h): first
// written under a temporary name beside the target and moved into place only by Commit, so a
// failed or cancelled run never leaves a truncated file where the previous output was; the
// field files, the job file and XML documents are refused; "-" is standard output.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

#include <fmt/format.h>

#include "model/status.h"
#include "platform/guarded_write.h"

namespace fenwix {

class OutputFile {
 public:
  // Bytes gathered before they are handed to the stream.
  static constexpr size_t FLUSH_BYTES = 1 << 16;

  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file beside target_path. False when the target is refused or the
  // folder cannot take it (open_error() says why). With own_job_file, the run's job file may be
  // replaced: the job file saving itself.
  bool Open(const std::string& target_path, bool own_job_file = false);
  // From the next Open on, the file must lie inside folder, links followed (see
  // GuardedFile::RequireFolder); empty for anywhere.
  void RequireFolder(const std::string& folder) { file_.RequireFolder(folder); }
  // Writes into an already open stream that the caller owns (tests, standard output).
  void Attach(std::FILE* stream);

  // Appends text; every "\n" becomes "\r\n".
  void Write(std::string_view text);
  // Appends a line that holds no "\n", then line_ends line ends: Write without the search for
  // line ends, for the records that make up most of a file.
  void WriteLine(std::string_view line, int line_ends);
  // Appends bytes as they are, line ends included: for files other than the adjustment file
  // (a job file) that take the same safe route to the disk.
  void WriteBytes(std::string_view bytes) {
    buffer_.append(bytes);
    if (buffer_.size() >= FLUSH_BYTES) Flush();
  }
  template <typename... Args>
  void Print(fmt::format_string<Args...> format, Args&&... args) {
    scratch_.clear();
    fmt::format_to(std::back_inserter(scratch_), format, std::forward<Args>(args)...);
    Write(std::string_view(scratch_.data(), scratch_.size()));
  }

  // Text put before every non-empty line written from now on (at the start of a line), such
  // as "! " to keep records as comments; empty for none. With blank_lines_too, blank lines get
  // it as well, without its trailing blanks, so that a block of comments has no gap.
  void set_line_prefix(std::string_view prefix, bool blank_lines_too = false) {
    line_prefix_ = prefix;
    blank_prefix_ = blank_lines_too;
  }
  // Puts text before everything written so far. Only while nothing has reached the file (the
  // buffer holds the first 64 KiB); false otherwise, and nothing is changed.
  bool Prepend(std::string_view text);

  // The sticky error indicator: set once any write to the stream has failed.
  bool error() const { return error_; }
  // Writes the buffer out; false (and the error indicator set) on failure.
  bool Flush();
  // Flushes, closes and moves the temporary file onto the target. False on any failure, in
  // which case the temporary file is removed and the target is untouched.
  bool Commit();
  // Closes and removes the temporary file; the target is untouched.
  void Discard();

  // The system's error number of the last failed Open, 0 after a successful one.
  int open_error() const { return open_error_; }
  // The system's error number of the first failed write or of a failed Commit; 0 for none.
  int write_error() const { return write_error_; }
  // Fails the file for a fault of what is written (a number no record can hold): the error
  // indicator is set, nothing more reaches the file, Commit leaves the target untouched and
  // WriteFailure() gives this reason.
  void Fail(Status reason) {
    error_ = true;
    refusal_ = std::move(reason);
  }
  // A write failure, its text the system's reason when there is one (else empty).
  Status WriteFailure() const;
  // Success while the error indicator is clear, else WriteFailure().
  Status status() const { return error_ ? WriteFailure() : Status(); }

  const std::string& temporary_path() const { return file_.temporary_path(); }

 private:
  void WriteWithPrefix(std::string_view text);
  void WriteBehind();

  std::FILE* stream_ = nullptr;
  bool owns_stream_ = false;
  // Whether the file goes to the disk window by window as it is written (files we opened).
  bool write_behind_ = false;
  int64_t handed_ = 0;        // bytes handed to the stream
  int64_t window_start_ = 0;  // where the window being filled starts
  int64_t dropped_ = 0;       // bytes on the disk and out of the page cache
  bool error_ = false;
  std::string buffer_;
  std::string line_prefix_;
  bool blank_prefix_ = false;
  bool at_line_start_ = true;
  bool flushed_ = false;
  int open_error_ = 0;
  int write_error_ = 0;
  Status refusal_;
  fmt::memory_buffer scratch_;
  GuardedFile file_;
};

}  // namespace fenwix

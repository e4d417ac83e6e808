#pragma once
// The one way Fenwix writes a file: the adjustment file, the check report, the sketch, the job
// file and the settings file all go through GuardedFile (or WriteWholeFile for text already in
// memory).
//
// - A field file or the job file of the run in hand (SetProtectedFiles) and any existing XML
//   document are never written over, however they are named (another spelling, a link).
// - A regular file is written under a temporary name beside it, synced, and put in its place
//   in one step: a full disk, a read-only folder or a killed run leaves the old file whole.
//   The new file keeps the old one's permissions.
// - A symbolic link is followed: the file it points at is replaced, the link stays.
// - A character device or a FIFO is written directly, never renamed over.
// - "-" is standard output.
//
// Errors are the system's error numbers (positive) or the refusals below; SystemErrorText
// (platform/file_access.h) words both.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace fenwix {

// A field file or the job file of the run in hand.
constexpr int TARGET_IS_PROTECTED = -2;
// An existing XML document: a field file of another run, or any other.
constexpr int TARGET_IS_XML_DOCUMENT = -3;

// The folder does not let a new file be made in it (read-only, or not the person's): the
// temporary file beside the target could not be created.
constexpr int FOLDER_NOT_WRITABLE = -4;

// The name that stands for standard output.
inline constexpr std::string_view STANDARD_OUTPUT_NAME = "-";

// The files no write may replace from now on: the run's field files and its job file (empty
// for none). Each call replaces the previous list. Safe to call from any thread.
void SetProtectedFiles(const std::vector<std::string>& field_files, const std::string& job_file);

// Whether a write to path is refused before anything is written: 0 when it may be written (or
// does not exist yet), TARGET_IS_PROTECTED, TARGET_IS_XML_DOCUMENT, EISDIR for a folder,
// NOT_A_REGULAR_FILE for a socket or block device, or the error a write-protected file gives.
// With own_job_file, the protected job file may be written: the job file saving itself.
int RefusedTarget(const std::string& path, bool own_job_file = false);

// The absolute place path names, every symbolic link on the way followed (in its folders and
// at its end, even one that points at a file not made yet): where a write to it would land.
// Empty when the system cannot tell.
std::string ResolvedPath(const std::string& path);

// True when path is a regular file whose first bytes (after a byte-order mark and blanks) open
// an XML tag, unless the document is a drawing or a web page (its root "svg" or "html", as a
// sketch or an HTML report has): those are never field data. Read only.
bool StartsAsXmlDocument(const std::string& path);

class GuardedFile {
 public:
  GuardedFile() = default;
  ~GuardedFile();
  GuardedFile(const GuardedFile&) = delete;
  GuardedFile& operator=(const GuardedFile&) = delete;

  // Checks the target (RefusedTarget) and opens the stream: 0, or why not (nothing is then
  // touched).
  int Open(const std::string& path, bool own_job_file = false);
  // Writes bytes as they are. False, with error() set, once any write has failed.
  bool Write(std::string_view bytes);
  // Flushes and puts the file in place (a regular file: synced and renamed over the old one).
  // 0, or the error number; on failure the old file is as it was.
  int Commit();
  // Drops what was written; the target is untouched.
  void Discard();

  // The open stream, for calls such as windowed writeback; nullptr when closed.
  std::FILE* stream() const { return stream_; }
  // True when the stream is a temporary file that Commit renames (not a device, FIFO or
  // standard output).
  bool replaces() const { return !temp_path_.empty(); }
  // The first error met writing, 0 for none.
  int error() const { return error_; }
  const std::string& temporary_path() const { return temp_path_; }

 private:
  std::FILE* stream_ = nullptr;
  bool owns_stream_ = false;
  std::string target_path_;  // symbolic links followed
  std::string temp_path_;
  int error_ = 0;
  int64_t written_ = 0;
};

// Writes the whole of bytes to path through a GuardedFile: 0 or the error number.
int WriteWholeFile(const std::string& path, std::string_view bytes, bool own_job_file = false);

// For tests: from now on every GuardedFile write that would take a file past limit bytes fails
// with error (ENOSPC: a full disk), as the system would; a negative limit writes normally.
void SetWriteLimitForTesting(int64_t limit, int error);

}  // namespace fenwix

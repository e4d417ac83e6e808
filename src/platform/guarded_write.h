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
// - A symbolic link is followed: the file it points at is replaced, the link stays. The name is
//   followed once, when the file is opened; from then on the write goes to that folder, held
//   open, so a link swapped during the run leads nowhere else. Where the system can exchange
//   two names in one step, what the new file replaces is looked at after the exchange and put
//   back if it turns out to be a protected file, an XML document or no regular file.
// - A character device or a FIFO is written directly, never renamed over; a FIFO that no
//   program reads is refused rather than waited on.
// - Temporary files carry a signature in their names, tied to the target's name. Leftovers of
//   a killed run are removed only when they carry it and are plain regular files of this user
//   with one name, not in use, not protected, no XML document and no job file.
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

// The name was replaced by a file of another kind (a link, a folder, a device) or by a protected
// file while the new file was written: the new file is dropped and the name left as found.
constexpr int TARGET_CHANGED = -5;
// The file lies outside the folder it was required to stay in (GuardedFile::RequireFolder).
constexpr int TARGET_OUTSIDE_FOLDER = -6;
// A FIFO with no program reading from it: writing would wait for ever.
constexpr int FIFO_WITHOUT_READER = -7;

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

// True when path is a regular file whose first bytes (after a byte-order mark, UTF-8 or UTF-16,
// and any amount of white space: megabytes of it are read on) open an XML tag, unless the
// document is a drawing or a web page (its root "svg" or "html", after its declaration,
// comments and doctype, as a sketch or an HTML report has): those are never field data. A file
// that is still only white space, a declaration or comments where the reading stops counts as
// a document. Read only; a FIFO or device is no document and is never waited on.
bool StartsAsXmlDocument(const std::string& path);
// The same for a file already open for reading, read from its current position.
bool StartsAsXmlDocument(std::FILE* file);

// The name of a new temporary file for a target named target_name (its last component): the
// target's name, ".fenwix-" and ten letters and digits, of which the last four are a signature
// of the others and of the target's name; a target name too long for that gets a short name
// beginning ".fenwix-" with a fingerprint of the target's name instead.
std::string TemporaryNameFor(std::string_view target_name);
// Whether name is one TemporaryNameFor(target_name) could have given.
bool IsTemporaryNameOf(std::string_view name, std::string_view target_name);

class GuardedFile {
 public:
  GuardedFile() = default;
  ~GuardedFile();
  GuardedFile(const GuardedFile&) = delete;
  GuardedFile& operator=(const GuardedFile&) = delete;

  // Checks the target (RefusedTarget) and opens the stream: 0, or why not (nothing is then
  // touched).
  int Open(const std::string& path, bool own_job_file = false);
  // From the next Open on, the file written must lie inside folder, at any depth, once every
  // link on its way is followed: elsewhere Open gives TARGET_OUTSIDE_FOLDER. The check is made
  // on the very folder the file is then written in, so a link swapped in the meantime cannot
  // lead the write out. Empty for anywhere.
  void RequireFolder(const std::string& folder) { required_folder_ = folder; }
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
  // The system's part of Open, after standard output: 0 or why not.
  int OpenTarget(const std::string& path, bool own_job_file);
  // Puts the closed temporary file in place of the target: 0 or the error number.
  int PutInPlace();

  std::FILE* stream_ = nullptr;
  bool own_job_file_ = false;
  bool owns_stream_ = false;
  std::string target_path_;  // symbolic links followed
  std::string temp_path_;
  std::string required_folder_;
  // Where the file goes on POSIX systems: the folder held open, the target's name in it, and
  // what was there when it was checked.
  int folder_fd_ = -1;
  std::string target_name_;
  std::string temp_name_;
  bool target_existed_ = false;
  uint64_t target_volume_ = 0;
  uint64_t target_file_ = 0;
  int error_ = 0;
  int64_t written_ = 0;
};

// Writes the whole of bytes to path through a GuardedFile: 0 or the error number.
int WriteWholeFile(const std::string& path, std::string_view bytes, bool own_job_file = false);

// For tests: from now on every GuardedFile write that would take a file past limit bytes fails
// with error (ENOSPC: a full disk), as the system would; a negative limit writes normally.
void SetWriteLimitForTesting(int64_t limit, int error);

}  // namespace fenwix

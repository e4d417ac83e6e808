#pragma once
// The job file open in the dialog: the job as last read or saved, where it lives, and whether
// it changed since. In memory the job's paths are absolute; the file on disk holds them
// relative to its folder.

#include <optional>
#include <string>
#include <vector>

#include "app/conversion_request.h"
#include "app/conversion_run.h"
#include "app/estimated_precision.h"
#include "app/job_conversion.h"
#include "job/job_file.h"

namespace fenwix {

class JobSession {
 public:
  // An unnamed job without edits.
  void New();
  // Reads the job file at path into the session and its field files, output and options into
  // the request. Otherwise why not (the file unreadable, or refused with the key or the line),
  // and nothing changes. A job output that cannot be used (outside the job's folder) is left
  // out and said in *note; the dialog's output stays.
  Status Open(const std::string& path, ConversionRequest& request, std::string* note = nullptr);
  // Takes a job read from the job file at path (empty for a job without a file) as the
  // session's, unsaved, without touching a dialog: the command line applies it itself.
  void Adopt(Job job, const std::string& path);
  // Writes the job with the dialog's settings to path, which becomes the job's; the field
  // files' fingerprints are renewed. With all_weights the weighting is written even where it is
  // the program's default, so that the job weights the same wherever it is run. Why not when
  // it could not be written.
  Status SaveAs(const std::string& path, const ConversionRequest& request,
                bool all_weights = false);

  // Gives the dialog the edits of its field file and the kept answers, for the next
  // conversion.
  void PrepareConversion(ConversionRequest& request) const;
  // Keeps the answers the person gave in the last conversion; true when there were any.
  bool KeepAnswers(const ConversionRun& run);

  // The profile that weights each of these field files in the next conversion, by index: the
  // instrument the job names for the file (with in_use's GNSS part), else in_use itself.
  std::vector<NamedWeightProfile> FileWeighting(const std::vector<std::string>& xml_paths,
                                                const NamedWeightProfile& in_use) const;
  // Lets the profile in use weight every field file: the job's own instruments are forgotten.
  // True when it named any.
  bool ForgetInstruments();
  // Puts the job's own precision into its weighting: the profile in use (request's) and every
  // instrument the job names, each reliably estimated group scaled as scales say. What changed,
  // one line per group ("horizontal angles 5″ → 0.83″"); an instrument other than the one in
  // use is named first. The job counts as changed when anything did.
  std::vector<std::string> UseEstimatedPrecision(const PrecisionScales& scales,
                                                 ConversionRequest& request);

  // Field files, as the job holds them, whose fingerprint changed while edits point at them;
  // only those among xml_paths (the files the next conversion reads).
  std::vector<std::string> ChangedFiles(const std::vector<std::string>& xml_paths) const;
  // The left-out elements and renames that point at one file's lines.
  size_t EditsOf(const std::string& file) const;
  // Moves the left-out elements of a changed field file that are found unchanged in it to their
  // new lines (MoveEditsOfChangedFile); when none is left to check, the job takes the file as
  // it is now.
  EditsFound MoveEditsOf(const std::string& file);
  // Drops the renames of one file and its left-out elements not found unchanged in it, and
  // takes the file as it is now: its fingerprint is renewed.
  void DropEditsOf(const std::string& file);

  // Leaves out the element starting on line of file (a field file's path); true when new.
  bool LeaveOut(const std::string& file, int64_t line, const std::string& reason);
  // Puts a left-out element back; true when it was left out.
  bool PutBack(const std::string& file, int64_t line);
  bool IsLeftOut(const std::string& file, int64_t line) const;
  // Reads from as to in every file (file empty) or in one; with a line, only in the one element
  // of file that starts there (a sight labelled with the wrong point).
  void Rename(const std::string& from, const std::string& to, const std::string& file = {},
              int64_t line = 0);
  // Forgets the rename or the merge answer at this index of its list.
  void ForgetRename(size_t index);
  void ForgetMerge(size_t index);

  const Job& job() const { return job_; }
  const std::string& path() const { return path_; }
  bool modified() const { return modified_; }
  // The job file's name without its folder, or "Untitled".
  std::string Name() const;

 private:
  std::string path_;
  Job job_;
  bool modified_ = false;
};

// The dialog's settings as a job's options (merge stays as given).
JobOptions OptionsOfRequest(const ConversionRequest& request, const JobOptions& before);

}  // namespace fenwix

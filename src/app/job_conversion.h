#pragma once
// A job file put to work: its field files, output, options and edits given to the conversion,
// the fingerprints of its field files checked and renewed, the job saved.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/conversion_request.h"
#include "job/job_file.h"
#include "model/status.h"

namespace fenwix {

// Reads "NAME,A,INV_F" (the ellipsoid's name, semi-major axis in meters, inverse flattening)
// into the three values; the refusal's text otherwise.
Status ReadDatumText(std::string_view text, std::string& name, double& a, double& inv_f);

// Reads a confidence level: a probability above 0 and below 1 ("0.95"), or "1sigma" for
// standard deviations (0); the refusal's text otherwise.
Status ReadConfidenceText(std::string_view text, double& confidence);
// Reads "MM,PPM" (or "MM"): the allowance of a relative precision, millimetres plus parts per
// million, neither negative, not both 0; the refusal's text otherwise.
Status ReadRelativeStandardText(std::string_view text, double& mm, double& ppm);
// "20,50": what ReadRelativeStandardText reads back.
std::string FormatRelativeStandard(double mm, double ppm);

// Puts the job's options into the dialog's settings, each checked as the dialog checks its
// field, and the weighting: the instrument profile its field file names and its GNSS profile.
// The refusal names the option.
Status ApplyJobOptions(const Job& job, ConversionRequest& request);

// Puts the job's field files (resolved against the job file at job_path), output and edits
// into the dialog; not its options (ApplyJobOptions), which options given beside the job file
// override. With output_given (an output named on the command line or chosen in the dialog)
// the job's own output is neither used nor checked. The refusal's text otherwise.
Status ApplyJobFiles(const Job& job, const std::string& job_path, bool output_given,
                     ConversionRequest& request);

// The job's left-out elements and renames for the field files a conversion reads: file_index
// gives a file's place among them, -1 for a file it does not read (whose edits then wait).
ReadingEdits JobReadingEdits(const Job& job,
                             const std::function<int32_t(const std::string&)>& file_index);

// The field files, as the job writes them, whose fingerprint no longer matches the one saved
// while edits point at their lines. A file that cannot be read is not listed: the conversion
// names it with its reason.
std::vector<std::string> ChangedFieldFiles(const Job& job, const std::string& job_path);

// Records the present fingerprint of every field file that can be read.
void RenewFingerprints(Job& job, const std::string& job_path);

// Notes what each left-out element holds (JobLeaveOut::element) in its field file as it is now,
// so that the element can be found again once the file changes. The edits of a file that cannot
// be read keep what they held.
void DescribeLeftOutElements(Job& job, const std::string& job_path);

// A left-out element found unchanged on another line of its changed field file.
struct MovedEdit {
  size_t index = 0;  // in the job's leave_out
  int64_t from = 0;
  int64_t to = 0;
};

// What became of the left-out elements of a changed field file.
struct EditsFound {
  std::vector<MovedEdit> moved;
  // Those not found unchanged, or found more than once, by index in the job's leave_out: the
  // person has to check them.
  std::vector<size_t> unfound;
  // Why the file could not be read, when it could not.
  std::string unreadable;
};

// For a field file (an input's path as the job writes it) that changed since the job was saved:
// each left-out element found unchanged in the file as it is now (the same kind, stations and
// values, on its own line or on exactly one other) stays or moves to its new line; the rest are
// listed. When none is left to check the job takes the file as it is now: its fingerprint is
// renewed. Renames name stations, not lines, and stay as they are.
EditsFound MoveEditsOfChangedFile(Job& job, const std::string& job_path,
                                  const std::string& input_path);

// Writes the job file: to a temporary file beside it, then moved into place, so that a failure
// never leaves half a job file. The reason when it could not be written.
Status SaveJobFile(const Job& job, const std::string& path);

}  // namespace fenwix

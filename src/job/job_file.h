#pragma once
// A job file (NAME.fenwix): how an adjustment file is made from field files that are never
// changed. It lists the field files with their fingerprints and instruments, the output, the
// options of the conversion, the instrument precisions, and the surveyor's edits (elements left
// out, names read as others, answers about similar stations). UTF-8 JSON, one key per line, so
// that a person can read it and compare two versions.
//
// Paths in the file are relative to the job file's folder (absolute ones are kept as given).

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "model/merge_answer.h"
#include "model/status.h"
#include "weights/weight_profile.h"

namespace fenwix {

// The value of "fenwix_project" this program reads and writes.
inline constexpr int64_t JOB_FORMAT_VERSION = 1;
// The extension of a job file.
inline constexpr const char* JOB_FILE_EXTENSION = ".fenwix";

struct JobInput {
  std::string path;        // as written in the job file
  std::string sha256;      // lower-case hex fingerprint when saved; empty when not given
  std::string instrument;  // profile name; empty for the default profile

  bool operator==(const JobInput&) const = default;
};

// Options of the conversion; an option not given keeps the value it has otherwise (the
// program's default, or the command line's).
// The longest station name a job file may give (a rename's, a merge answer's), in bytes.
inline constexpr size_t JOB_STATION_NAME_MAX_BYTES = 1000;

struct JobOptions {
  std::optional<std::string> seed;
  std::optional<std::string> lat;  // DD.MMSSsssss as typed
  std::optional<std::string> lon;
  std::optional<double> height;
  std::optional<double> north;
  std::optional<double> east;
  std::optional<double> elev;
  std::optional<double> tolerance;
  std::optional<int64_t> max_steps;
  std::optional<bool> geodetic;
  std::optional<bool> local;
  std::optional<std::string> test;   // "2d" or "3d"
  std::optional<std::string> merge;  // "ask", "different", "first" or "second"
  std::optional<std::string> datum;  // "NAME,A,INV_F"
  // The station the precision of the others is relative to (none: the minimum-trace datum),
  // their confidence ("0.95", "1sigma") and the relative precision's standard ("MM,PPM").
  std::optional<std::string> precision_datum;
  std::optional<std::string> confidence;
  std::optional<std::string> relative_precision;

  bool operator==(const JobOptions&) const = default;
};

struct JobLeaveOut {
  std::string file;  // a field file, as its input's path is written
  int64_t line = 0;
  std::string reason;
  // What the element held when the job was saved (FieldElement::content), so that it can be
  // found again once the field file has changed; empty when not known.
  std::string element;

  bool operator==(const JobLeaveOut&) const = default;
};

struct JobRename {
  std::string from;
  std::string to;
  std::string file;  // empty: every field file
  // The line of that file where the one element it renames in starts; 0: every element.
  int64_t line = 0;

  bool operator==(const JobRename&) const = default;
};

struct Job {
  std::vector<JobInput> inputs;
  std::string output;  // empty when not given
  JobOptions options;
  // Total-station precision profiles by name, which inputs name.
  std::map<std::string, InstrumentProfile> instruments;
  std::optional<GnssProfile> gnss;
  // Answers about pairs of similar stations.
  std::vector<PairAnswer> merges;
  std::vector<JobLeaveOut> leave_out;
  std::vector<JobRename> renames;

  bool operator==(const Job&) const;
  // Whether any edit (a left-out element, a rename for this file) refers to the input with
  // this path as written; a rename for every file refers to none in particular.
  bool EditsReferTo(const std::string& input_path) const;
  // The paths of the field files that edits refer to, as JobPathKey writes them.
  std::unordered_set<std::string> EditedFiles() const;
};

// Reading a job file: a job, or the reason it cannot be used.
// Reads the text of a job file. name is how the file is named in messages.
// The failure's text names the file (as `name`) and the key or the line; a JSON syntax error
// also carries its line as the Status's place.
Result<Job> ReadJobText(const std::string& text, const std::string& name);
// Reads and checks a job file.
Result<Job> ReadJobFile(const std::string& path);

// The text of a job file: keys in a fixed order, two-space indentation, a line end at the end.
std::string FormatJobText(const Job& job);

}  // namespace fenwix

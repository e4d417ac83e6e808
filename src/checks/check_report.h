#pragma once
// The check report: one section per check, each a table of rows. A row names the stations and
// observation rows involved and where the readings are (field file and line), carries the computed
// values (one per column of its section) and says whether it passes its limit.

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "checks/check_limits.h"
#include "model/source_location.h"
#include "weights/weight_profile.h"

namespace fenwix {

struct CheckColumn {
  std::string name;  // with its unit, e.g. "dN mm"
  int decimals = 1;
};

// What a suspect's blunder most likely is, in the JSON form's words.
struct RowDiagnosis {
  std::string kind;  // "wrong name", "swapped vector", "target height", ...
  std::string fits;  // the station a wrongly named sight fits; empty otherwise
  // A height or a round number as observed and the value that fits; NaN where none.
  double typed = std::numeric_limits<double>::quiet_NaN();
  double likely = std::numeric_limits<double>::quiet_NaN();
  std::string unit;  // of typed and likely: "m" or "deg"
  // A wrong name: the name the sight is labelled with, and the elements ("Observation" or
  // "Vector") that label it so: renaming it in these alone mends it.
  std::string labelled;
  std::vector<SourceLocation> readings;
};

struct CheckRow {
  std::vector<std::string> stations;
  std::vector<double> values;           // one per column; NaN where the row has none
  std::vector<SourceLocation> sources;  // file and line of each reading, line 0 when unknown
  std::vector<int32_t> observations;    // rows of the observation table
  std::string note;                     // why the row is flagged, or what it is
  bool flagged = false;
  // The worst value over its limit (above 1 when flagged); 0 for rows flagged by kind.
  double ratio = 0.0;
  // Set on a suspect whose blunder one explanation fits.
  std::optional<RowDiagnosis> diagnosis;
};

struct CheckSection {
  std::string name;   // identifier, e.g. "repeated_vectors"
  std::string title;  // heading, e.g. "Repeated GNSS vectors"
  std::string rule;   // when a row is flagged, in words
  std::vector<CheckColumn> columns;
  std::vector<std::pair<std::string, double>> limits;  // as in the limits file
  std::vector<CheckRow> rows;
  // Rows not listed to keep the report readable: rows past the listing cap that pass or, when
  // unlisted_flagged is set, flagged rows past what the reading kept (only counted).
  int64_t unlisted_rows = 0;
  bool unlisted_flagged = false;
  // Flagged rows listed in rows.
  int32_t FlaggedCount() const;
  // Flagged rows, the unlisted ones included.
  int64_t FlaggedTotal() const { return FlaggedCount() + (unlisted_flagged ? unlisted_rows : 0); }
  // Flagged rows first, each group in the order found.
  void SortFlaggedFirst();
};

// A row in the checks' words, "title: note" (the title alone when the row has no note).
inline std::string RowReason(const CheckSection& section, const CheckRow& row) {
  return row.note.empty() ? section.title : section.title + ": " + row.note;
}

// Name of the section that names the suspect observations. Its rows restate what the other
// sections found, so they are not counted among the flagged rows.
inline constexpr std::string_view SUSPECTS_SECTION = "suspects";

class CheckReport {
 public:
  std::string job;                 // the field files checked, as one text for the heading
  std::vector<std::string> files;  // the field files, as named, in reading order
  // The weighting the adjustment file was written with, stated at the head of every form.
  std::vector<NamedWeightProfile> weighting;
  // Where each limit in force came from, stated at the head of every form.
  std::vector<LimitOrigin> limit_origins;
  std::vector<CheckSection> sections;
  // The line that opens every form: the adjustment test's outcome; empty when it did not run.
  std::string summary;
  // The adjustment test's numbers as one JSON object (its constants, global tests, groups and
  // every observation), written as they are into the JSON form; empty when it did not run.
  std::string adjustment_test;
  // Set when the checks could not run to their end (memory); the sections are then empty.
  bool incomplete = false;
  // The part of the checks that ran out of memory ("the checks", "the adjustment test"); empty
  // when none did. A report or a sketch made from it would be partial.
  std::string short_of_memory;

  // Flagged rows of the checks, listed or only counted, the suspects left out.
  int64_t FlaggedRows() const;
  // The suspects section, or null when the report has none.
  const CheckSection* Suspects() const;
  // Why the element at source would be left out, in the checks' words: "title: note" of the
  // first flagged row of a check that names it, else of its suspect row; empty when none does.
  std::string ReasonFor(const SourceLocation& source) const;
  // Why a station or an observation row is flagged: one "title: note" per flagged row that names
  // it; empty when it is not flagged. Valid once Index() has run.
  const std::vector<std::string>& StationFlags(std::string_view name) const;
  const std::vector<std::string>& ObservationFlags(int32_t row) const;
  bool IsStationFlagged(std::string_view name) const { return !StationFlags(name).empty(); }
  bool IsObservationFlagged(int32_t row) const { return !ObservationFlags(row).empty(); }
  void Index();

 private:
  std::unordered_map<std::string, std::vector<std::string>> station_flags_;
  std::unordered_map<int32_t, std::vector<std::string>> observation_flags_;
};

}  // namespace fenwix

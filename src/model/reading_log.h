#pragma once
// The total-station readings of a job as they came from the field, one per "Observation"
// element, beside the averaged records of the observation table; and where each record started
// (field file and line). The checks look here for what averaging hides: a face-two reading that
// disagrees with face one, a closing backsight that does not close.
//
// Compact on purpose: a large job has tens of thousands of readings, so each is a fixed-size
// row of numbers and point names are indices into one list.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/records.h"
#include "model/source_location.h"

namespace fenwix {

enum class ReadingType : uint8_t { Backsight = 1, Foresight = 2, Shotsight = 3 };

// Face of a reading, from its zenith angle: face two past half a circle.
inline constexpr uint8_t FACE_UNKNOWN = 0;
inline constexpr uint8_t FACE_ONE = 1;
inline constexpr uint8_t FACE_TWO = 2;

struct RawSetup {
  int32_t station = 0;    // index into ReadingLog::names
  SourceLocation source;  // the "Station" element
};

// Values are MISSING_VALUE when the reading did not give them. Angles are radians as read (not
// reduced to face one); lengths are meters.
struct RawReading {
  double horiz_angle = MISSING_VALUE;
  double zenith = MISSING_VALUE;
  double slope_dist = MISSING_VALUE;
  double prism_height = MISSING_VALUE;
  int32_t setup = -1;     // index into ReadingLog::setups, -1 before any "Station"
  int32_t point = 0;      // index into ReadingLog::names
  SourceLocation source;  // the "Observation" element
  ReadingType type = ReadingType::Backsight;
  LinearUnit linear_unit = LinearUnit::Meter;  // unit the distances were given in
  uint8_t face = FACE_UNKNOWN;
};

class ReadingLog {
 public:
  ReadingLog();
  void Clear();

  // Index of name in names() (0 for an empty name). Consecutive readings mostly name the same
  // few points, so only the latest names are searched and no table of all names is kept: one
  // name may have several entries, and users compare names, not indices, across setups.
  int32_t NameIndex(std::string_view name);
  // The next field file starts, named as given; its readings carry its index in files().
  void BeginFile(std::string name);
  // Index of the file being read, and of the setup its readings belong to (-1 before the
  // file's first "Station": a setup never continues into the next file).
  int32_t current_file() const {
    return files_.empty() ? 0 : static_cast<int32_t>(files_.size()) - 1;
  }
  int32_t current_setup() const {
    return setup_count() > file_first_setup_ ? setup_count() - 1 : -1;
  }
  void BeginSetup(SourceLocation source);
  void SetSetupStation(std::string_view station);
  void AddReading(const RawReading& reading) { readings_.push_back(reading); }
  // Where observation row `row` started, recorded in row order (row 0 is the placeholder).
  void AddRecordSource(SourceLocation source) { record_sources_.push_back(source); }

  const std::vector<std::string>& files() const { return files_; }
  const std::vector<std::string>& names() const { return names_; }
  const std::vector<RawSetup>& setups() const { return setups_; }
  const std::vector<RawReading>& readings() const { return readings_; }
  SourceLocation record_source(int32_t row) const {
    return row >= 0 && static_cast<size_t>(row) < record_sources_.size()
               ? record_sources_[static_cast<size_t>(row)]
               : SourceLocation{};
  }
  int32_t setup_count() const { return static_cast<int32_t>(setups_.size()); }

 private:
  std::vector<std::string> files_;
  std::vector<std::string> names_;
  std::vector<RawSetup> setups_;
  std::vector<RawReading> readings_;
  std::vector<SourceLocation> record_sources_;
  int32_t file_first_setup_ = 0;
};

}  // namespace fenwix

#include "checks/check_report.h"

#include <algorithm>

namespace fenwix {

int32_t CheckSection::FlaggedCount() const {
  return static_cast<int32_t>(
      std::count_if(rows.begin(), rows.end(), [](const CheckRow& row) { return row.flagged; }));
}

void CheckSection::SortFlaggedFirst() {
  std::stable_partition(rows.begin(), rows.end(), [](const CheckRow& row) { return row.flagged; });
}

int64_t CheckReport::FlaggedRows() const {
  int64_t count = 0;
  for (const CheckSection& section : sections) {
    if (section.name != SUSPECTS_SECTION) count += section.FlaggedTotal();
  }
  return count;
}

std::string CheckReport::ReasonFor(const SourceLocation& source) const {
  for (const bool suspects : {false, true}) {
    for (const CheckSection& section : sections) {
      if ((section.name == SUSPECTS_SECTION) != suspects) continue;
      for (const CheckRow& row : section.rows) {
        if (row.flagged &&
            std::find(row.sources.begin(), row.sources.end(), source) != row.sources.end()) {
          return RowReason(section, row);
        }
      }
    }
  }
  return std::string();
}

const CheckSection* CheckReport::Suspects() const {
  for (const CheckSection& section : sections) {
    if (section.name == SUSPECTS_SECTION) return &section;
  }
  return nullptr;
}

void CheckReport::Index() {
  station_flags_.clear();
  observation_flags_.clear();
  for (const CheckSection& section : sections) {
    // A suspect is marked as such by the sketch; its rows repeat the others' reasons.
    if (section.name == SUSPECTS_SECTION) continue;
    for (const CheckRow& row : section.rows) {
      if (!row.flagged) continue;
      const std::string reason = section.title + ": " + row.note;
      for (const std::string& station : row.stations) {
        std::vector<std::string>& flags = station_flags_[station];
        if (flags.empty() || flags.back() != reason) flags.push_back(reason);
      }
      for (const int32_t observation : row.observations) {
        observation_flags_[observation].push_back(reason);
      }
    }
  }
}

const std::vector<std::string>& CheckReport::StationFlags(std::string_view name) const {
  static const std::vector<std::string> none;
  const auto found = station_flags_.find(std::string(name));
  return found == station_flags_.end() ? none : found->second;
}

const std::vector<std::string>& CheckReport::ObservationFlags(int32_t row) const {
  static const std::vector<std::string> none;
  const auto found = observation_flags_.find(row);
  return found == observation_flags_.end() ? none : found->second;
}

}  // namespace fenwix

#pragma once
// Small helpers shared by the checks.

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "checks/check_report.h"
#include "model/survey_tables.h"

namespace fenwix::check_support {

inline constexpr double NO_VALUE = std::numeric_limits<double>::quiet_NaN();
inline constexpr double MM_PER_M = 1000.0;
inline constexpr double PER_MILLION = 1e6;
// Arc-seconds in a radian.
inline constexpr double SECONDS_PER_RADIAN = 206264.80624709636;

// Arc-minutes in a radian.
inline constexpr double MINUTES_PER_RADIAN = 3437.7467707849396;

inline bool Given(double value) {
  return value != MISSING_VALUE && std::isfinite(value);
}

// The row station row `index` stands for once merges are followed; 0 stays 0.
inline int32_t StationOf(const SurveyTables& tables, int32_t index) {
  // Merges always point at a station that stands for itself; the bound only guards bad data.
  for (int hops = 0; index > 0 && hops < 4; ++hops) {
    const int32_t into = tables.stations()[static_cast<size_t>(index)].merged_into;
    if (into < 1 || into >= tables.station_count()) break;
    index = into;
  }
  return index;
}

// The row a name stands for once merges are followed; 0 for an empty or unknown name.
inline int32_t StationOf(const SurveyTables& tables, std::string_view name) {
  return name.empty() ? 0 : StationOf(tables, tables.StationIndex(name));
}

inline const std::string& NameOf(const SurveyTables& tables, int32_t index) {
  return tables.stations()[static_cast<size_t>(index)].name;
}

// value / limit with a zero limit read as "any value above zero".
inline double Ratio(double value, double limit) {
  if (limit > 0.0) return value / limit;
  return value > 0.0 ? std::numeric_limits<double>::infinity() : 0.0;
}

inline CheckSection MakeSection(std::string name, std::string title, std::string rule) {
  CheckSection section;
  section.name = std::move(name);
  section.title = std::move(title);
  section.rule = std::move(rule);
  return section;
}

}  // namespace fenwix::check_support

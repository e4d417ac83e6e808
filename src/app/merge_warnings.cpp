// Pairs of similar stations answered without a question: the conversion says so, once a pair,
// with how to answer.

#include <fmt/format.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/conversion_steps.h"
#include "app/convert_dialog.h"

namespace fenwix {

namespace {

// Millimetres in a meter: pairs within a tolerance are mostly millimetres apart.
constexpr double MM_PER_M = 1000.0;

// The first observation row naming each station row (0 for none), from one pass.
std::vector<int32_t> FirstRows(const SurveyTables& tables) {
  std::vector<int32_t> first(static_cast<size_t>(tables.station_count()), 0);
  const auto& observations = tables.observations();
  for (size_t r = observations.size(); r-- > 1;) {
    for (const int32_t s : {observations[r].at, observations[r].fore, observations[r].back}) {
      if (s > 0 && static_cast<size_t>(s) < first.size())
        first[static_cast<size_t>(s)] = static_cast<int32_t>(r);
    }
  }
  return first;
}

}  // namespace

void ConversionSteps::WarnUnaskedPair(const StationRecord& first, const StationRecord& second,
                                      MergeAnswer answer, const std::string& why,
                                      std::vector<int32_t>& first_rows) {
  ReadingWarnings& reading_warnings = run_.reading_warnings;
  const SurveyTables& tables = run_.tables;
  for (const ReadingWarning& kept : reading_warnings.kept()) {
    if (kept.kind == WarningKind::Unasked && kept.stations.size() == 2 &&
        kept.stations[0] == first.name && kept.stations[1] == second.name) {
      return;
    }
  }
  ReadingWarning warning;
  warning.kind = WarningKind::Unasked;
  warning.stations = {first.name, second.name};
  if (first_rows.empty()) first_rows = FirstRows(tables);
  const int32_t station = tables.StationIndex(second.name);
  if (station > 0 && static_cast<size_t>(station) < first_rows.size()) {
    warning.source = run_.reading_log.record_source(first_rows[static_cast<size_t>(station)]);
  }
  const double dn = second.north - first.north;
  const double de = second.east - first.east;
  const double du =
      request_.tolerance_mode == TOLERANCE_MODE_2D ? 0.0 : second.elevation - first.elevation;
  warning.element = "Stations";
  warning.problem = fmt::format(
      "{} and {} are {:.2f} mm apart, within the merge tolerance of {} m", first.name, second.name,
      std::sqrt(dn * dn + de * de + du * du) * MM_PER_M, request_.merge_tolerance);
  switch (answer) {
    case MergeAnswer::SameKeepFirst:
      warning.assumed = "merged into " + first.name;
      break;
    case MergeAnswer::SameKeepSecond:
      warning.assumed = "merged into " + second.name;
      break;
    case MergeAnswer::Different:
    case MergeAnswer::Cancel:
      warning.assumed = "kept apart";
      break;
  }
  warning.assumed += " without a question: " + why;
  warning.advice =
      "To answer, give --merge ask, different, first or second, or put the pair in the job's "
      "\"merges\"";
  reading_warnings.Add(std::move(warning));
}

}  // namespace fenwix

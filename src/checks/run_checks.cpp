#include "checks/run_checks.h"

namespace fenwix {

CheckReport RunChecks(const CheckInput& input, const CheckLimits& limits) {
  CheckReport report;
  report.files = input.files;
  report.job = JoinFileNames(input.files);
  std::vector<VectorEvidence> evidence;
  CheckVectors(input, limits, report, &evidence);
  CheckReadings(input, limits, report);
  const NetworkGraph graph(*input.tables);
  CheckNetwork(input, graph, report);
  CheckApproxCoordinates(input, limits, graph, report);
  report.limit_origins.push_back(
      FixedLimitOrigin(limits,
                       {&CheckLimits::gross_distance_m, &CheckLimits::gross_distance_ppm,
                        &CheckLimits::gross_angle_minutes},
                       "the approximate coordinates carry decimetres"));
  CheckUnitsAndFormats(input, report);
  FindSuspects(input, evidence, report);
  for (CheckSection& section : report.sections) {
    section.SortFlaggedFirst();
    const size_t flagged = static_cast<size_t>(section.FlaggedCount());
    if (section.rows.size() > flagged + MAX_PASSING_ROWS) {
      section.unlisted_rows =
          static_cast<int64_t>(section.rows.size() - flagged - MAX_PASSING_ROWS);
      section.rows.resize(flagged + MAX_PASSING_ROWS);
    }
  }
  report.Index();
  return report;
}

}  // namespace fenwix

#pragma once
// Runs every check on the tables and the reading log of a conversion, after it. Reads only:
// nothing here changes a table, so the adjustment file is the same with or without checks.

#include <cstdint>
#include <string>

#include "checks/check_limits.h"
#include "checks/check_report.h"
#include "checks/network_graph.h"
#include "model/reading_log.h"
#include "model/survey_tables.h"

namespace fenwix {

struct CheckInput {
  const SurveyTables* tables = nullptr;
  const ReadingLog* log = nullptr;
  std::string job;        // the XML file, for the report's heading
  std::string seed_name;  // empty when no seed was named
  // Whether approximate coordinates were computed (stations marked known carry them, on the
  // propagation ellipsoid).
  bool approx_computed = false;
  // Where GNSS vectors are turned into north, east and up when their base has no coordinates,
  // radians; a job spans a few km, so one frame serves it.
  double frame_latitude = 0.0;
  double frame_longitude = 0.0;
  // Stations the propagation visits at most; more known stations than this means it stopped
  // on its budget, not for want of observations.
  int32_t step_budget = 0;
};

// Passing rows listed per section at most; flagged rows are always listed.
inline constexpr size_t MAX_PASSING_ROWS = 2000;

CheckReport RunChecks(const CheckInput& input, const CheckLimits& limits);

// The checks one by one, each appending its section.
void CheckVectors(const CheckInput& input, const CheckLimits& limits, CheckReport& report);
void CheckReadings(const CheckInput& input, const CheckLimits& limits, CheckReport& report);
void CheckNetwork(const CheckInput& input, const NetworkGraph& graph, CheckReport& report);
void CheckApproxCoordinates(const CheckInput& input, const CheckLimits& limits,
                            const NetworkGraph& graph, CheckReport& report);

}  // namespace fenwix

#pragma once
// Runs every check on the tables and the reading log of a conversion, after it. Reads only:
// nothing here changes a table, so the adjustment file is the same with or without checks.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "checks/check_limits.h"
#include "checks/check_report.h"
#include "checks/network_graph.h"
#include "model/reading_log.h"
#include "model/reading_warnings.h"
#include "model/survey_tables.h"
#include "weights/record_weights.h"

namespace fenwix {

struct CheckInput {
  const SurveyTables* tables = nullptr;
  const ReadingLog* log = nullptr;
  const ReadingWarnings* warnings = nullptr;
  std::vector<std::string> files;  // the field files, in reading order, as named
  std::string seed_name;           // empty when no seed was named
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
  // Set when the propagation ran out of steps while it was still placing stations.
  bool step_budget_ended = false;
  // The weights the adjustment file was written with, which the default limits follow: the
  // instrument of each field file by index (one alone serves every file), and the vectors'
  // covariances. Empty and null when none are known: the fixed limits hold.
  std::vector<InstrumentProfile> instruments;
  const RecordWeights* weights = nullptr;
};

// What the GNSS loops say about one vector, gathered while the loops are listed. A vector of a
// repeated pair is judged on its own: each loop is closed again with it in place of the pair's
// mean.
struct VectorEvidence {
  // Some loop closes within its limits with this vector: the vector agrees with the network.
  bool closes_passing_loop = false;
  int32_t failing_loops = 0;
  // Sum over the failing loops of the misclosure carried by this vector, turned into the
  // direction it was measured in: north, east and up, meters.
  double north = 0.0;
  double east = 0.0;
  double up = 0.0;
};

// The note of a face pair whose 2C is over its limit, whatever else is.
inline constexpr std::string_view COLLIMATION_NOTE = "2C over its limit";

// Passing rows listed per section at most; flagged rows are always listed.
inline constexpr size_t MAX_PASSING_ROWS = 2000;

CheckReport RunChecks(const CheckInput& input, const CheckLimits& limits);

// The checks one by one, each appending its section. CheckVectors fills evidence, one entry per
// observation row, when it is given.
void CheckVectors(const CheckInput& input, const CheckLimits& limits, CheckReport& report,
                  std::vector<VectorEvidence>* evidence = nullptr);
void CheckReadings(const CheckInput& input, const CheckLimits& limits, CheckReport& report);
void CheckNetwork(const CheckInput& input, const NetworkGraph& graph, CheckReport& report);
// One flagged row per warning of the reading, in a section for each kind of warning, and in the
// units section the rows of UnitRatioRows on the gross check's section when it ran before.
void CheckUnitsAndFormats(const CheckInput& input, CheckReport& report);
// A flagged row for each unit ratio by which most flagged rows of the gross check disagree with
// the coordinates: distances by the foot's (1/0.3048, or 3937/1200 for the US survey foot, and
// the other way round), angles by the gon's (10/9 or 9/10). It names the rows, what the job looks
// like and the option that reads it.
std::vector<CheckRow> UnitRatioRows(const CheckInput& input, const CheckSection& gross);
void CheckApproxCoordinates(const CheckInput& input, const CheckLimits& limits,
                            const NetworkGraph& graph, CheckReport& report);

// A foresight or shot reading's horizontal angle turned from the backsight of its round.
struct TurnedReading {
  SourceLocation source;
  int32_t setup = -1;     // index into the log's setups
  int32_t backsight = 0;  // the round's backsight point, index into the log's names; 0 for none
  int32_t point = 0;      // the point read, index into the log's names
  double angle = 0.0;     // radians in [-pi, pi); NaN where the round gives no direction
};

// The foresight and shot readings found at `wanted` (sorted in reading order), each turned from
// the same-face backsight of its round (from the other face turned by half a circle where the
// round was read on that one only). One pass over the log.
std::vector<TurnedReading> TurnedFromBacksight(const ReadingLog& log,
                                               const std::vector<SourceLocation>& wanted);

// The horizontal angle at station row `at` turned from `back` to `fore` that the approximate
// coordinates give, radians; NaN unless all three have coordinates and neither sight is to the
// station itself.
double CoordinateAngle(const SurveyTables& tables, int32_t at, int32_t back, int32_t fore);

// The fewest single observations (one XML element each) that explain the flagged rows of the
// repeats, loops, face pairs, closing backsights and gross checks: a greedy cover that takes
// first the observation in the most unexplained flagged rows. A vector of a flagged loop that
// closes some passing loop is never a suspect. Of the two readings of a face pair over its 2C
// limit, the one farther from the approximate coordinates is taken, where they tell. Runs on the
// full sections (before passing rows are cut) and puts its section first.
void FindSuspects(const CheckInput& input, const std::vector<VectorEvidence>& evidence,
                  CheckReport& report);

}  // namespace fenwix

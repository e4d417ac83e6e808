// The adjustment section's suspect rows: what a gross blunder is, in the text and in the JSON
// form's `diagnosis`, once per record, nothing of the kind for a clean job; and one row per field
// line.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "checks/adjustment_sections.h"
#include "checks/report_forms.h"
#include "survey_network.h"

namespace fenwix {
namespace {

using Json = nlohmann::json;

// A job of 36 points, a quarter tied by vectors and a setup on every other one.
AdjustmentInput MixedJob() {
  bench::NetworkLayout layout;
  layout.stations = 36;
  layout.gnss_step = 2;
  layout.setup_share = 1.0;
  layout.seed = 5;
  return bench::GenerateNetwork(layout).input;
}

TEST(BlunderRows, SuspectCarriesItsDiagnosisOnceAndCleanRowsNone) {
  AdjustmentInput clean = MixedJob();
  // Each vector and each sight (angle, zenith, distance to one point) is one record.
  int32_t record = 0;
  for (size_t i = 0; i < clean.observations.size(); ++i) {
    AdjustmentObservation& obs = clean.observations[i];
    if (i == 0 || obs.kind == AdjustedKind::GnssVector ||
        obs.kind == AdjustedKind::HorizontalAngle || obs.at != clean.observations[i - 1].at ||
        obs.fore != clean.observations[i - 1].fore) {
      ++record;
    }
    obs.record = record;
    obs.source = {0, 10 * record};
  }
  size_t sight = 0;
  for (int nth = 0; sight < clean.observations.size(); ++sight) {
    if (clean.observations[sight].kind == AdjustedKind::HorizontalAngle && nth++ == 10) break;
  }
  // A neighbour of the sighted point, not in the setup.
  const AdjustmentObservation& angle = clean.observations[sight];
  int32_t other = angle.fore + 1;
  while (other == angle.at || other == angle.back) ++other;
  const std::string labelled = clean.stations[static_cast<size_t>(other)].name;
  const std::string fits = clean.stations[static_cast<size_t>(clean.observations[sight].fore)].name;
  struct Case {
    const char* name;
    bool wrong_name;   // the sight labelled with the neighbour's name
    double moved = 0;  // meters added to its distance
  };
  for (const Case& c :
       {Case{"wrong name", true}, Case{"clean", false}, Case{"distance 5 cm long", false, 0.05}}) {
    SCOPED_TRACE(c.name);
    AdjustmentInput input = clean;
    for (AdjustmentObservation& obs : input.observations) {
      if (obs.record != input.observations[sight].record) continue;
      if (c.wrong_name) obs.fore = other;
      if (obs.kind == AdjustedKind::SlopeDistance) obs.value[0] += c.moved;
    }
    const AdjustmentResult result = AdjustNetwork(input, {});
    ASSERT_EQ(result.outcome, AdjustmentOutcome::Done);
    CheckReport report;
    AddAdjustmentSections(input, result, ReadingLog{}, report);
    const Json json = Json::parse(ReportJson(report));
    int suspects = 0, diagnosed = 0;
    for (const Json& check : json["checks"]) {
      for (const Json& row : check["rows"]) {
        if (row.contains("diagnosis")) ++diagnosed;
        if (check["name"] != "suspects") continue;
        ++suspects;
        if (!c.wrong_name) continue;
        ASSERT_TRUE(row.contains("diagnosis"));
        EXPECT_EQ(row["diagnosis"]["kind"], "wrong name");
        EXPECT_EQ(row["diagnosis"]["fits"], fits);
        EXPECT_FALSE(row["diagnosis"].contains("typed"));
        EXPECT_NE(row["note"].get<std::string>().find("the sight labelled " + labelled + " fits " +
                                                      fits + " ("),
                  std::string::npos);
      }
    }
    // One suspect for the record, however many of its observations were rejected.
    EXPECT_EQ(suspects, c.moved > 0 || c.wrong_name ? 1 : 0);
    EXPECT_EQ(diagnosed > 0, c.wrong_name);
    EXPECT_GE(result.rejected.size(), c.wrong_name ? 2u : 0u);
  }
}

// Rejections that point at one field line are one suspect row; rejections on lines of their own
// are one row each.
TEST(SuspectLines, RejectionsOfOneFieldLineMakeOneSuspectRow) {
  AdjustmentInput clean = MixedJob();
  bench::NumberRecords(clean, 10);
  // The distances of two sights far apart in the network, each 5 cm long.
  std::vector<size_t> distances;
  for (int wanted : {10, 40}) {
    size_t i = 0;
    for (int nth = 0; i < clean.observations.size(); ++i) {
      if (clean.observations[i].kind == AdjustedKind::HorizontalAngle && nth++ == wanted) break;
    }
    while (clean.observations[i].kind != AdjustedKind::SlopeDistance) ++i;
    distances.push_back(i);
  }
  struct Case {
    const char* name;
    bool one_line;  // both records were read from one field line
    size_t rows;
  };
  for (const Case& c : {Case{"one field line", true, 1}, Case{"lines of their own", false, 2}}) {
    SCOPED_TRACE(c.name);
    AdjustmentInput input = clean;
    for (const size_t i : distances) input.observations[i].value[0] += 0.05;
    const SourceLocation first = input.observations[distances[0]].source;
    if (c.one_line) {
      for (AdjustmentObservation& obs : input.observations) {
        if (obs.record == input.observations[distances[1]].record) obs.source = first;
      }
    }
    const AdjustmentResult result = AdjustNetwork(input, {});
    ASSERT_EQ(result.outcome, AdjustmentOutcome::Done);
    ASSERT_GE(result.rejected.size(), 2u);
    CheckReport report;
    AddAdjustmentSections(input, result, ReadingLog{}, report);
    const Json json = Json::parse(ReportJson(report));
    size_t suspects = 0;
    for (const Json& check : json["checks"]) {
      if (check["name"] == "suspects") suspects += check["rows"].size();
    }
    EXPECT_EQ(suspects, c.rows);
  }
}

}  // namespace
}  // namespace fenwix

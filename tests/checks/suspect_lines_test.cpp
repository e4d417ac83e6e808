// Rejections that point at one field line are one suspect row; rejections on lines of their own
// are one row each.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "checks/adjustment_sections.h"
#include "checks/report_forms.h"
#include "survey_network.h"

namespace fenwix {
namespace {

using Json = nlohmann::json;

TEST(SuspectLines, RejectionsOfOneFieldLineMakeOneSuspectRow) {
  bench::NetworkLayout layout;
  layout.stations = 36;
  layout.gnss_step = 2;
  layout.setup_share = 1.0;
  layout.seed = 5;
  AdjustmentInput clean = bench::GenerateNetwork(layout).input;
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

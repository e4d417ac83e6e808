// What the report says of an adjustment test that cannot finish, and how its numbers line up.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "checks/adjustment_sections.h"
#include "checks/report_forms.h"

namespace fenwix {
namespace {

// A run that stopped says why and nothing more: no rejected observation with w, MDB or an
// estimated error from its earlier rounds, no suspect. The finished twin lists its rejection.
TEST(AdjustmentOutcome, AnUnfinishedRunJudgesNothing) {
  AdjustmentInput input;
  input.stations.resize(2);
  input.stations[0].name = "A";
  input.stations[1].name = "B";
  AdjustmentObservation& obs = input.observations.emplace_back();
  obs.at = 0;
  obs.fore = 1;
  obs.sd = 0.002;
  struct Case {
    AdjustmentOutcome outcome;
    const char* reason;
  };
  for (const Case& c :
       {Case{AdjustmentOutcome::NotConverged,
             "did not settle after 12 iterations: the largest correction was 0.1250 m at "
             "station B"},
        Case{AdjustmentOutcome::Undetermined,
             "undetermined: station B is fixed by one slope "
             "distance"},
        Case{AdjustmentOutcome::Done, ""}}) {
    AdjustmentResult result;
    result.outcome = c.outcome;
    result.reason = c.reason;
    result.degrees_of_freedom = 4;
    result.tests = 5;
    result.critical_w = 3.0;
    result.observations.resize(1);
    result.observations[0].w_whole = 4.2;
    result.observations[0].r = {0.5, 0, 0};
    result.observations[0].estimated_error = {1724874.8044, 0, 0};
    result.observations[0].rejected_round = 1;
    result.rejected = {0};
    CheckReport report;
    AddAdjustmentSections(input, result, ReadingLog{}, report);
    const CheckSection& section = report.sections.front();
    const bool done = c.outcome == AdjustmentOutcome::Done;
    EXPECT_EQ(section.FlaggedCount(), done ? 1 : 0) << report.summary;
    EXPECT_EQ(report.Suspects() != nullptr, done) << report.summary;
    const std::string text = ReportText(report);
    EXPECT_EQ(text.find("1724874804.4") != std::string::npos, done) << text;
    if (!done) {
      EXPECT_EQ(report.summary, std::string("Adjustment test stopped: ") + c.reason +
                                    "; no observation is judged.");
    }
  }
}

// Numbers as wide as their column keep a blank between them; narrow ones keep the layout.
TEST(AdjustmentOutcome, WideNumbersNeverRunTogether) {
  for (const double wide : {29.6, 1724874804.4, 98765432109876.5}) {
    CheckReport report;
    CheckSection& section = report.sections.emplace_back();
    section.name = "adjustment";
    section.title = "Adjustment test";
    section.columns = {{"w", 1}, {"error", 1}};
    section.rows.emplace_back().values = {29.6, wide};
    const std::string text = ReportText(report);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.1f", wide);
    const std::string shown = buffer;
    const std::string padded =
        "29.6" + std::string(shown.size() < 12 ? 12 - shown.size() : 1, ' ') + shown;
    EXPECT_NE(text.find(padded), std::string::npos) << text;
    EXPECT_EQ(text.find("29.6" + shown), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace fenwix

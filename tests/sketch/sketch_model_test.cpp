// The drawing model of a converted job: where and how each station is drawn, which lines join
// them, what has no place in the drawing, and the scale bar.

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <tuple>

#include "app/conversion_sketch.h"
#include "sketch/sketch_model.h"
#include "sketch_network.h"

namespace fenwix {
namespace {

using testing::SketchJob;

const SketchStation* Find(const SketchModel& model, const std::string& name) {
  for (const SketchStation& s : model.stations) {
    if (s.name == name) return &s;
  }
  return nullptr;
}

TEST(SketchModel, StationsSitOnTheirTruePositionsWithTheirKind) {
  SketchJob job;
  ASSERT_EQ(job.outcome, ConversionOutcome::Succeeded);
  const SketchModel model = ConversionSketch(job.dialog.run);
  ASSERT_TRUE(model.has_coordinates);
  EXPECT_EQ(model.xml_name, "job.xml");
  EXPECT_NE(model.Title().find("job.xml"), std::string::npos);

  // The intersection stops within 0.01 m of the crossing; everything else is exact to 2 mm.
  const struct {
    const char* name;
    SketchSymbol symbol;
    double tolerance;
  } expected[] = {{"BASE", SketchSymbol::Seed, 0.002},  {"A", SketchSymbol::Computed, 0.002},
                  {"B", SketchSymbol::Computed, 0.002}, {"C", SketchSymbol::Intersected, 0.02},
                  {"D", SketchSymbol::Computed, 0.002}, {"G", SketchSymbol::Computed, 0.002}};
  ASSERT_EQ(model.stations.size(), std::size(expected));
  for (const auto& e : expected) {
    const SketchStation* s = Find(model, e.name);
    ASSERT_NE(s, nullptr) << e.name;
    EXPECT_EQ(s->symbol, e.symbol) << e.name;
    EXPECT_NEAR(s->north, job.truth.North(e.name), e.tolerance) << e.name;
    EXPECT_NEAR(s->east, job.truth.East(e.name), e.tolerance) << e.name;
    EXPECT_EQ(model.symbol_of_row[static_cast<size_t>(s->row)], s - model.stations.data());
  }
  // D2 was merged into D: one symbol with both names, and B's vector to D2 ends at D.
  EXPECT_EQ(Find(model, "D")->merged_names, std::vector<std::string>{"D2"});
  EXPECT_EQ(Find(model, "D2"), nullptr);
  EXPECT_EQ(model.not_computed, (std::vector<std::string>{"E", "F"}));

  std::set<std::tuple<std::string, std::string, SketchLineKind>> lines;
  for (const SketchLine& line : model.lines) {
    lines.emplace(model.stations[static_cast<size_t>(line.from)].name,
                  model.stations[static_cast<size_t>(line.to)].name, line.kind);
    EXPECT_GT(line.observation_count, 0);
  }
  const auto gps = SketchLineKind::GpsVector;
  const auto ts = SketchLineKind::TotalStation;
  const std::set<std::tuple<std::string, std::string, SketchLineKind>> expected_lines = {
      {"BASE", "A", gps}, {"A", "D", gps},   {"BASE", "G", gps}, {"B", "D", gps}, {"BASE", "A", ts},
      {"BASE", "B", ts},  {"BASE", "C", ts}, {"A", "BASE", ts},  {"A", "C", ts}};
  EXPECT_EQ(lines, expected_lines);
  // E's backsight to BASE and its sight to F: E has no coordinates.
  EXPECT_GT(model.lines_not_drawn, 0);

  const SketchFrame& f = model.frame;
  for (const SketchStation& s : model.stations) {
    EXPECT_TRUE(s.north >= f.min_north && s.north <= f.max_north && s.east >= f.min_east &&
                s.east <= f.max_east);
  }
  const double wider = std::max(f.max_north - f.min_north, f.max_east - f.min_east);
  EXPECT_LE(f.scale_bar_length, wider / 4);
  EXPECT_GT(f.scale_bar_length, wider / 10);
}

TEST(SketchModel, WithoutApproximateCoordinatesEveryStationIsListedAndNothingDrawn) {
  SketchJob job(false);
  ASSERT_EQ(job.outcome, ConversionOutcome::Succeeded);
  const SketchModel model = ConversionSketch(job.dialog.run);
  EXPECT_FALSE(model.has_coordinates);
  EXPECT_TRUE(model.stations.empty());
  EXPECT_TRUE(model.lines.empty());
  EXPECT_EQ(model.not_computed.size(), 9u);
}

TEST(SketchModel, CheckReportMarksReachTheirStationsAndLines) {
  SketchJob job(true, true);
  ASSERT_EQ(job.outcome, ConversionOutcome::Succeeded);
  const CheckReport& report = job.dialog.run.check_report;
  const SketchModel model = ConversionSketch(job.dialog.run);
  int flagged = 0;
  for (const SketchStation& s : model.stations) {
    bool expected = report.IsStationFlagged(s.name);
    for (const std::string& merged : s.merged_names) expected |= report.IsStationFlagged(merged);
    EXPECT_EQ(s.flag.flagged, expected) << s.name;
    EXPECT_EQ(s.flag.reason.empty(), !expected) << s.name;
    flagged += expected ? 1 : 0;
  }
  std::vector<bool> line_flagged(model.lines.size(), false);
  for (size_t row = 1; row < model.lines_of_observation.size(); ++row) {
    for (const int32_t line : model.lines_of_observation[row]) {
      if (line >= 0 && report.IsObservationFlagged(static_cast<int32_t>(row))) {
        line_flagged[static_cast<size_t>(line)] = true;
      }
    }
  }
  for (size_t i = 0; i < model.lines.size(); ++i) {
    EXPECT_EQ(model.lines[i].flag.flagged, line_flagged[i]) << i;
    flagged += line_flagged[i] ? 1 : 0;
  }
  // G is seen by one vector only: its symbol and that vector's line are marked.
  EXPECT_GT(report.FlaggedRows(), 0);
  EXPECT_GT(flagged, 0);
}

TEST(SketchModel, ScaleBarIsTheLargestRoundLengthThatFits) {
  const std::pair<double, double> cases[] = {
      {0.3, 0.2},   {0.07, 0.05}, {1.0, 1.0},   {1.99, 1.0},      {9.99, 5.0},
      {10.0, 10.0}, {19.0, 10.0}, {20.0, 20.0}, {7500.0, 5000.0}, {2.5e-3, 2e-3}};
  for (const auto& [at_most, round] : cases) {
    EXPECT_DOUBLE_EQ(RoundScaleLength(at_most), round) << at_most;
  }
  EXPECT_EQ(RoundScaleLength(0.0), 1.0);
  EXPECT_EQ(RoundScaleLength(NAN), 1.0);
}

}  // namespace
}  // namespace fenwix

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

// The view's exaggeration against a brute-force search over the round factors: the largest
// 1, 2 or 5 × 10ⁿ at which the largest semi-major axis spans at most 40 pixels, never below 1.
TEST(SketchModel, ViewEllipseScaleIsTheLargestRoundFactorThatFits) {
  std::vector<double> round;
  for (double decade = 1.0; decade < 1e12; decade *= 10.0) {
    for (const double step : {1.0, 2.0, 5.0}) round.push_back(step * decade);
  }
  for (const double major : {0.00043, 0.003, 0.0123, 0.5}) {
    for (const double pixels_per_meter : {0.001, 0.37, 2.0, 150.0, 5000.0}) {
      SketchModel model;
      model.stations.resize(3);
      model.stations[0].has_ellipse = true;
      model.stations[0].ellipse_major = major / 2;
      model.stations[1].has_ellipse = true;
      model.stations[1].ellipse_major = major;
      // Not the largest: a station without an ellipse does not count, whatever it holds.
      model.stations[2].ellipse_major = major * 100;
      double expected = 1.0;
      for (const double f : round) {
        if (f * major * pixels_per_meter <= VIEW_ELLIPSE_PIXELS) expected = f;
      }
      EXPECT_DOUBLE_EQ(ViewEllipseScale(model, pixels_per_meter), expected)
          << major << " m at " << pixels_per_meter << " px/m";
    }
  }
  SketchModel none;
  none.stations.resize(2);
  EXPECT_EQ(ViewEllipseScale(none, 2.0), 0.0);
}

// The drawing's exaggeration: the largest ellipse at most a fifteenth of the frame and at most
// half the median line; which of the two binds depends on the network's shape.
TEST(SketchModel, EllipseScaleKeepsTheLargestEllipseWithinTheFrameAndHalfALine) {
  struct Case {
    const char* name;
    double frame_m;   // the frame's wider side
    double line_m;    // the length of most lines
    double expected;  // by hand: RoundScaleLength(min(frame / 15, line / 2) / 5 mm)
  };
  for (const Case& c : {Case{"a large job: the lines bind", 50000.0, 400.0, 20000.0},
                        Case{"a small job: the frame binds", 300.0, 250.0, 2000.0},
                        Case{"no line: the frame alone", 3000.0, 0.0, 20000.0}}) {
    SCOPED_TRACE(c.name);
    SketchModel model;
    model.frame.max_north = c.frame_m;
    model.frame.max_east = c.frame_m / 2;
    model.stations.resize(4);
    for (size_t i = 0; i < model.stations.size(); ++i) {
      model.stations[i].north = static_cast<double>(i) * c.line_m;
      model.stations[i].has_ellipse = true;
      model.stations[i].ellipse_major = i == 2 ? 0.005 : 0.002;
    }
    if (c.line_m > 0) {
      // Three lines of line_m and one of ten times that: the median is not the mean.
      for (const auto& [from, to] : {std::pair{0, 1}, {1, 2}, {2, 1}, {0, 3}}) {
        SketchLine line;
        line.from = from, line.to = to;
        model.lines.push_back(line);
      }
      model.stations[3].north = c.line_m * 12;
    }
    EXPECT_DOUBLE_EQ(EllipseScale(model), c.expected);
  }
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

// The reduction of raw readings into the table's records, one setup at a time: sequences of
// readings as the reader hands them on, against the single sights and angle sets they give.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "reduce/reduction.h"

namespace fenwix::testing {
namespace {

constexpr double DEGREE = 3.141592653589793 / 180.0;
constexpr double NONE = MISSING_VALUE;

struct Reading {
  SightKind kind;
  const char* point;
  double horiz_deg, zenith_deg, slope;  // NONE where the reading gave none
};

struct Row {
  ObsKind kind;
  const char* fore;
  const char* back;
  double horiz_deg, zenith_deg, slope;
};

struct Case {
  const char* name;
  std::vector<Reading> readings;
  std::vector<Row> rows;
  size_t left_out;  // warnings of a group left out
};

constexpr SightKind B = SightKind::Backsight;
constexpr SightKind F = SightKind::Foresight;

const Case CASES[] = {
    {"closed round",
     {{B, "B1", 0, 90, 100}, {F, "F1", 90, 90, 50}, {B, "B1", 0, 90, 100}},
     {{ObsKind::Sight, "", "B1", NONE, 90, 100}, {ObsKind::AngleSet, "F1", "B1", 90, 90, 50}},
     0},
    {"both faces averaged",
     {{B, "B1", 0, 88, NONE},
      {B, "B1", 180, 272, NONE},
      {F, "F1", 90, 89, 50},
      {F, "F1", 270.0004, 270.998, 50.002}},
     {{ObsKind::Sight, "", "B1", NONE, 88, NONE},
      {ObsKind::AngleSet, "F1", "B1", 90.0002, 89.001, 50.001}},
     0},
    {"foresight across the circle's zero",
     {{B, "B1", 200, 90, NONE}, {F, "F1", 359.998, 90, 20}, {F, "F1", 180.004, 270, 20}},
     {{ObsKind::Sight, "", "B1", NONE, 90, NONE}, {ObsKind::AngleSet, "F1", "B1", 160.001, 90, 20}},
     0},
    {"a foresight with nothing a record carries is left out",
     {{B, "B1", 0, 90, 100}, {F, "F1", 45, NONE, NONE}, {B, "B1", 0, 90, 100}},
     {{ObsKind::Sight, "", "B1", NONE, 90, 100}},
     1},
};

double Radians(double degrees) {
  return degrees == NONE ? NONE : degrees * DEGREE;
}

TEST(Reduction, RawReadingsGiveTodaysRecords) {
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.name);
    SurveyTables tables;
    ReadingWarnings warnings;
    Reduction reduction(tables);
    reduction.AttachWarnings(&warnings);
    reduction.BeginSetup({});
    reduction.SetupStation("S1", "S1", false);
    reduction.SetupHeight(1.5, false);
    for (const Reading& r : c.readings) {
      reduction.BeginReading({});
      reduction.Sight(r.kind);
      reduction.SightPoint(r.point, r.point);
      if (r.horiz_deg != NONE) reduction.HorizontalAngle(Radians(r.horiz_deg));
      if (r.zenith_deg != NONE) reduction.ZenithAngle(Radians(r.zenith_deg));
      if (r.slope != NONE) reduction.SlopeDistance(r.slope);
      reduction.FieldRead(false);
      reduction.EndReading();
    }
    reduction.EndDocument();
    ASSERT_EQ(tables.observations().size(), c.rows.size() + 1);
    for (size_t i = 0; i < c.rows.size(); ++i) {
      const Row& want = c.rows[i];
      const ObsRecord got = tables.Observation(static_cast<int32_t>(i + 1));
      EXPECT_EQ(got.kind, want.kind) << i;
      EXPECT_EQ(got.at_name, "S1") << i;
      EXPECT_EQ(got.fore_name, want.fore) << i;
      EXPECT_EQ(got.back_name, want.back) << i;
      EXPECT_DOUBLE_EQ(got.instr_height, 1.5) << i;
      const double values[][2] = {{got.horiz_angle, Radians(want.horiz_deg)},
                                  {got.zenith, Radians(want.zenith_deg)},
                                  {got.slope_dist, want.slope}};
      for (const auto& [value, expected] : values) {
        if (expected == NONE) {
          EXPECT_EQ(value, NONE) << i;
        } else {
          EXPECT_NEAR(value, expected, 1e-9) << i;
        }
      }
    }
    EXPECT_EQ(warnings.kept().size(), c.left_out);
  }
}

}  // namespace
}  // namespace fenwix::testing

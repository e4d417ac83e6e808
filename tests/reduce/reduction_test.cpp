// The reduction of raw readings into the table's records, one setup at a time: sequences of
// readings as the reader hands them on, against the single sights and angle sets they give.

#include <gtest/gtest.h>

#include <algorithm>
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
     {{B, "B1", 0, 90, 100}, {F, "F1", NONE, NONE, NONE}, {B, "B1", 0, 90, 100}},
     {{ObsKind::Sight, "", "B1", NONE, 90, 100}},
     1},
    {"a horizontal angle alone is kept in a setup read in one face",
     {{B, "B1", 0, 90, 100}, {F, "F1", 45, NONE, NONE}, {B, "B1", 0, 90, 100}},
     {{ObsKind::Sight, "", "B1", NONE, 90, 100}, {ObsKind::AngleSet, "F1", "B1", 45, NONE, NONE}},
     0},
};

double Radians(double degrees) {
  return degrees == NONE ? NONE : degrees * DEGREE;
}

// Readings of one setup per round, fed as the reader hands them on; a round is its own setup.
struct Fed {
  std::vector<std::vector<Reading>> rounds;
};

struct Reduced {
  std::vector<ObsRecord> rows;
  std::vector<ReadingWarning> warnings;
};

Reduced Feed(const Fed& fed) {
  SurveyTables tables;
  ReadingWarnings warnings;
  Reduction reduction(tables);
  reduction.AttachWarnings(&warnings);
  int32_t line = 1;
  for (const std::vector<Reading>& round : fed.rounds) {
    reduction.BeginSetup({0, line++});
    reduction.SetupStation("S1", "S1", false);
    reduction.SetupHeight(1.5, false);
    for (const Reading& r : round) {
      reduction.BeginReading({0, line++});
      reduction.Sight(r.kind);
      reduction.SightPoint(r.point, r.point);
      if (r.horiz_deg != NONE) reduction.HorizontalAngle(Radians(r.horiz_deg));
      if (r.zenith_deg != NONE) reduction.ZenithAngle(Radians(r.zenith_deg));
      if (r.slope != NONE) reduction.SlopeDistance(r.slope);
      reduction.FieldRead(false);
      reduction.EndReading();
    }
  }
  reduction.EndDocument();
  Reduced out;
  for (int32_t i = 1; i < tables.observation_count(); ++i)
    out.rows.push_back(tables.Observation(i));
  out.warnings = warnings.kept();
  return out;
}

TEST(Reduction, RawReadingsGiveTodaysRecords) {
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.name);
    const Reduced reduced = Feed(Fed{{c.readings}});
    ASSERT_EQ(reduced.rows.size(), c.rows.size());
    for (size_t i = 0; i < c.rows.size(); ++i) {
      const Row& want = c.rows[i];
      const ObsRecord& got = reduced.rows[i];
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
    EXPECT_EQ(reduced.warnings.size(), c.left_out);
  }
}

// The angle sets to F1, in round order.
std::vector<const ObsRecord*> AnglesToF1(const Reduced& reduced) {
  std::vector<const ObsRecord*> sets;
  for (const ObsRecord& row : reduced.rows) {
    if (row.kind == ObsKind::AngleSet && row.fore_name == "F1") sets.push_back(&row);
  }
  return sets;
}

// A round read face one then face two: the backsight 10°, the foresight F1 50° clockwise from
// it, face two 14.4" off on the foresight and on the closing backsight. Round two, at another
// circle orientation, is complete and gives 50° exactly.
const Reading OPEN_ONE{B, "B1", 10.0, 90.0, 100.0};
const Reading FORE_ONE{F, "F1", 60.0, 85.0, 50.0};
const Reading FORE_TWO{F, "F1", 240.004, 275.0, 50.0};
const Reading CLOSE_TWO{B, "B1", 190.004, 270.0, 100.0};
const std::vector<Reading> ROUND_TWO = {{B, "B1", 100.0, 90.0, 100.0},
                                        {F, "F1", 150.0, 85.0, 50.0},
                                        {F, "F1", 330.0, 275.0, 50.0},
                                        {B, "B1", 280.0, 270.0, 100.0}};

TEST(Reduction, ARoundWithoutItsOpeningBacksightTurnsFromTheOneLeft) {
  const struct {
    const char* name;
    std::vector<Reading> round;
    double angle_deg;  // by hand: mean foresight direction less the backsight's, face one
    const char* back;
    size_t warnings;
  } cases[] = {
      // Control: the opening backsight, face one, 10°; foresight (60 + 60.004) / 2.
      {"complete", {OPEN_ONE, FORE_ONE, FORE_TWO, CLOSE_TWO}, 60.002 - 10.0, "B1", 0},
      // The closing backsight's face two, 190.004 - 180.
      {"opening left out", {FORE_ONE, FORE_TWO, CLOSE_TWO}, 60.002 - 10.004, "B1", 0},
      {"closing left out", {OPEN_ONE, FORE_ONE, FORE_TWO}, 60.002 - 10.0, "B1", 0},
      // Opened on face two only, both faces of the backsight before the foresights.
      {"face one of the opening left out",
       {{B, "B1", 190.004, 270.0, 100.0}, FORE_ONE, FORE_TWO},
       60.002 - 10.004,
       "B1",
       0},
      {"face two of the opening left out", {OPEN_ONE, FORE_ONE, FORE_TWO}, 60.002 - 10.0, "B1", 0},
      // Nothing to turn from: the angle goes, the zenith and distance stay, one warning.
      {"both backsights left out", {FORE_ONE, FORE_TWO}, NONE, "", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Reduced reduced = Feed({{c.round, ROUND_TWO}});
    const std::vector<const ObsRecord*> sets = AnglesToF1(reduced);
    ASSERT_EQ(sets.size(), 2u);
    if (c.angle_deg == NONE) {
      EXPECT_EQ(sets[0]->horiz_angle, NONE);
    } else {
      EXPECT_NEAR(sets[0]->horiz_angle, Radians(c.angle_deg), 1e-9);
    }
    EXPECT_EQ(sets[0]->back_name, c.back);
    EXPECT_NEAR(sets[0]->zenith, Radians(85.0), 1e-9);
    EXPECT_DOUBLE_EQ(sets[0]->slope_dist, 50.0);
    EXPECT_NEAR(sets[1]->horiz_angle, Radians(50.0), 1e-9);
    EXPECT_EQ(sets[1]->back_name, "B1");
    ASSERT_EQ(reduced.warnings.size(), c.warnings);
    for (const ReadingWarning& w : reduced.warnings) {
      EXPECT_EQ(w.kind, WarningKind::LeftOut);
      EXPECT_EQ(w.source.line, 2);  // the round's first foresight
      EXPECT_EQ(w.problem, "is in a round with no backsight reading");
    }
  }
}

// Every combination of fields on the two faces of one foresight pointing, the backsight read
// in both faces: a horizontal angle is kept where its zenith or its other face's zenith tells
// its face, and every other is named by a warning. Face two is 14.4" off face one, so the angle
// tells which readings went into it.
TEST(Reduction, EveryHorizontalAngleIsWrittenOrNamedLeftOut) {
  for (int combination = 0; combination < 64; ++combination) {
    const bool hz[2] = {(combination & 1) != 0, (combination & 8) != 0};
    const bool zenith[2] = {(combination & 2) != 0, (combination & 16) != 0};
    const bool distance[2] = {(combination & 4) != 0, (combination & 32) != 0};
    SCOPED_TRACE(combination);
    std::vector<Reading> round = {OPEN_ONE, {B, "B1", 190.0, 270.0, 100.0}};
    const double direction[2] = {60.0, 240.004};
    const double zenith_deg[2] = {85.0, 275.0};
    for (int face = 0; face < 2; ++face) {
      round.push_back({F, "F1", hz[face] ? direction[face] : NONE,
                       zenith[face] ? zenith_deg[face] : NONE, distance[face] ? 50.0 : NONE});
    }
    const Reduced reduced = Feed({{round}});
    // By hand: a direction's face is told by its own zenith or by the other face's pointing.
    bool kept[2];
    double sum = 0.0;
    int count = 0;
    for (int face = 0; face < 2; ++face) {
      const int other = 1 - face;
      kept[face] = hz[face] && (zenith[face] || (hz[other] && zenith[other]));
      if (kept[face]) {
        sum += direction[face] - 180.0 * face;
        ++count;
      }
    }
    const int read = hz[0] + hz[1];
    const auto named = static_cast<int>(std::count_if(
        reduced.warnings.begin(), reduced.warnings.end(), [](const ReadingWarning& w) {
          return w.kind == WarningKind::LeftOut &&
                 w.problem.find("horizontal angle") != std::string::npos;
        }));
    EXPECT_EQ(read, count + named);
    const std::vector<const ObsRecord*> sets = AnglesToF1(reduced);
    const bool carried = count > 0 || zenith[0] || zenith[1] || distance[0] || distance[1];
    ASSERT_EQ(sets.size(), carried ? 1u : 0u);
    if (!carried) continue;
    if (count == 0) {
      EXPECT_EQ(sets[0]->horiz_angle, NONE);
    } else {
      EXPECT_NEAR(sets[0]->horiz_angle, Radians(sum / count - 10.0), 1e-9);
    }
  }
}

// A setup read with horizontal angles only: in one face every angle is kept; read in both faces,
// no face can be told and every angle is named left out.
TEST(Reduction, AnglesOnlySetups) {
  const std::vector<Reading> one_face = {{B, "B1", 10.0, NONE, NONE},
                                         {F, "F1", 60.0, NONE, NONE},
                                         {F, "F2", 100.0, NONE, 30.0},
                                         {B, "B1", 10.0, NONE, NONE}};
  const Reduced kept = Feed({{one_face}});
  ASSERT_EQ(kept.rows.size(), 2u);
  EXPECT_NEAR(kept.rows[0].horiz_angle, Radians(50.0), 1e-9);
  EXPECT_EQ(kept.rows[0].zenith, NONE);
  EXPECT_EQ(kept.rows[0].slope_dist, NONE);
  EXPECT_NEAR(kept.rows[1].horiz_angle, Radians(90.0), 1e-9);
  EXPECT_DOUBLE_EQ(kept.rows[1].slope_dist, 30.0);
  EXPECT_TRUE(kept.warnings.empty());

  const std::vector<Reading> both_faces = {{B, "B1", 10.0, NONE, NONE},
                                           {B, "B1", 190.0, NONE, NONE},
                                           {F, "F1", 60.0, NONE, NONE},
                                           {F, "F1", 240.0, NONE, NONE}};
  const Reduced lost = Feed({{both_faces}});
  EXPECT_TRUE(lost.rows.empty());
  EXPECT_EQ(lost.warnings.size(), 4u);
}

}  // namespace
}  // namespace fenwix::testing

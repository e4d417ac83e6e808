// Total-station setups: backsight and foresight groups, their averages and the records they
// become.

#include <gtest/gtest.h>

#include <cmath>

#include "geodesy/angles.h"
#include "xml/xml_test_support.h"

namespace fenwix::testing {
namespace {

TEST(SetupSequence, BacksightForesightBacksightGivesSightThenAngleSet) {
  const auto c = Convert(Job(Station("S1", "1.5") +
                             Observation("Backsight", "B1", "0.0000", "90.0000", "100") +
                             Observation("Foresight", "F1", "90.0000", "90.0000", "50") +
                             Observation("Backsight", "B1", "0.0000", "90.0000", "100")));
  ASSERT_EQ(c->result.kind(), StatusKind::Ok);
  ASSERT_EQ(c->count(), 2u);

  const ObsRecord& sight = c->obs(0);
  EXPECT_EQ(sight.kind, ObsKind::Sight);
  EXPECT_EQ(sight.at_name, "S1");
  EXPECT_EQ(sight.back_name, "B1");
  EXPECT_EQ(sight.fore_name, "");
  EXPECT_NEAR(sight.zenith, 90 * DEGREE, ANGLE_TOLERANCE);
  EXPECT_DOUBLE_EQ(sight.slope_dist, 100.0);
  EXPECT_DOUBLE_EQ(sight.instr_height, 1.5);
  EXPECT_EQ(sight.horiz_angle, MISSING_VALUE);
  EXPECT_EQ(sight.linear_unit, LinearUnit::Meter);
  EXPECT_EQ(sight.angle_unit, AngleUnit::Degrees);

  const ObsRecord& set = c->obs(1);
  EXPECT_EQ(set.kind, ObsKind::AngleSet);
  EXPECT_EQ(set.at_name, "S1");
  EXPECT_EQ(set.fore_name, "F1");
  EXPECT_EQ(set.back_name, "B1");
  EXPECT_NEAR(set.horiz_angle, 90 * DEGREE, ANGLE_TOLERANCE);
  EXPECT_NEAR(set.zenith, 90 * DEGREE, ANGLE_TOLERANCE);
  EXPECT_DOUBLE_EQ(set.slope_dist, 50.0);
  EXPECT_DOUBLE_EQ(set.instr_height, 1.5);

  // Stations in the order the records name them: at, fore, back.
  ASSERT_EQ(c->tables.station_count(), 4);
  EXPECT_EQ(c->tables.stations()[1].name, "S1");
  EXPECT_EQ(c->tables.stations()[2].name, "B1");
  EXPECT_EQ(c->tables.stations()[3].name, "F1");
}

// A round need not close on its backsight: the foresight readings still open when the file ends
// are written all the same, as when the round is closed.
TEST(SetupSequence, ForesightWithoutClosingBacksightIsWrittenAtTheEnd) {
  const auto closed = Convert(Job(Station("S1", "1.5") +
                                  Observation("Backsight", "B1", "0.0000", "90.0000", "100") +
                                  Observation("Foresight", "F1", "90.0000", "90.0000", "50") +
                                  Observation("Backsight", "B1", "0.0000", "90.0000", "100")));
  const auto open = Convert(Job(Station("S1", "1.5") +
                                Observation("Backsight", "B1", "0.0000", "90.0000", "100") +
                                Observation("Foresight", "F1", "90.0000", "90.0000", "50")));
  ASSERT_EQ(closed->count(), 2u);
  ASSERT_EQ(open->count(), 2u);
  EXPECT_EQ(open->obs(0).kind, ObsKind::Sight);
  const ObsRecord& set = open->obs(1);
  EXPECT_EQ(set.kind, ObsKind::AngleSet);
  EXPECT_EQ(set.fore_name, "F1");
  EXPECT_EQ(set.back_name, "B1");
  EXPECT_EQ(set.horiz_angle, closed->obs(1).horiz_angle);
  EXPECT_EQ(set.slope_dist, closed->obs(1).slope_dist);
  EXPECT_EQ(set.instr_height, closed->obs(1).instr_height);
}

TEST(SetupSequence, FaceTwoBacksightReducesToFaceOneNearFullCircle) {
  const auto c =
      Convert(Job(Station("S1", "1.5") + Observation("Backsight", "B1", "0.0000", "88.0000") +
                  Observation("Backsight", "B1", "180.0002", "272.0000") +
                  Observation("Foresight", "F1", "90.0000", "90.0000") +
                  Observation("Backsight", "B1", "0.0000", "90.0000")));
  ASSERT_EQ(c->count(), 2u);
  // Both faces give a zenith of 88 degrees.
  EXPECT_NEAR(c->obs(0).zenith, 88 * DEGREE, ANGLE_TOLERANCE);
  // The backsight directions are 360°00'00" and 360°00'02": their mean is one second past the
  // full circle, so the angle to 90° is one second short of 90°.
  EXPECT_NEAR(c->obs(1).horiz_angle, 90 * DEGREE - ARC_SECOND, ANGLE_TOLERANCE);
}

TEST(SetupSequence, BacksightDirectionsWrapToAFullCircleAbove) {
  // Backsight at 10°, foresight at 5°: the backsight counts as 370° and the angle is
  // 5° - 370° + 360° = -5°, the same direction as 355°.
  const auto c =
      Convert(Job(Station("S1", "1.5") + Observation("Backsight", "B1", "10.0000", "90.0000") +
                  Observation("Foresight", "F1", "5.0000", "90.0000") +
                  Observation("Backsight", "B1", "10.0000", "90.0000")));
  ASSERT_EQ(c->count(), 2u);
  EXPECT_NEAR(c->obs(1).horiz_angle, -5 * DEGREE, ANGLE_TOLERANCE);
}

TEST(SetupSequence, ReadingsEitherSideOfAWrapPointAverageToTheirCommonDirection) {
  // Two foresight readings a second either side of the circle's zero point at the same
  // target; half a turn away would be their plain mean.
  const auto fore =
      Convert(Job(Station("S1", "1.5") + Observation("Backsight", "B1", "0.0000", "90.0000") +
                  Observation("Foresight", "F1", "359.5959", "90.0000") +
                  Observation("Foresight", "F1", "0.0001", "90.0000") +
                  Observation("Backsight", "B1", "0.0000", "90.0000")));
  ASSERT_EQ(fore->count(), 2u);
  EXPECT_NEAR(std::remainder(fore->obs(1).horiz_angle, 360 * DEGREE), 0.0, ANGLE_TOLERANCE);

  // Backsight readings either side of 180°, where backsight directions wrap.
  const auto back =
      Convert(Job(Station("S1", "1.5") + Observation("Backsight", "B1", "179.5959", "90.0000") +
                  Observation("Backsight", "B1", "180.0001", "90.0000") +
                  Observation("Foresight", "F1", "270.0000", "90.0000") +
                  Observation("Backsight", "B1", "180.0000", "90.0000")));
  ASSERT_EQ(back->count(), 2u);
  EXPECT_NEAR(back->obs(1).horiz_angle, 90 * DEGREE, ANGLE_TOLERANCE);
}

TEST(SetupSequence, TwoForesightsToOnePointAreAveraged) {
  const auto c = Convert(Job(Station("S1", "1.5") +
                             Observation("Backsight", "B1", "0.0000", "90.0000", "100") +
                             Observation("Foresight", "F1", "90.0000", "90.0000", "50", "1.2") +
                             Observation("Foresight", "F1", "92.0000", "88.0000", "60", "1.4") +
                             Observation("Backsight", "B1", "0.0000", "90.0000", "100")));
  ASSERT_EQ(c->count(), 2u);
  const ObsRecord& set = c->obs(1);
  EXPECT_EQ(set.fore_name, "F1");
  EXPECT_NEAR(set.horiz_angle, 91 * DEGREE, ANGLE_TOLERANCE);
  EXPECT_NEAR(set.zenith, 89 * DEGREE, ANGLE_TOLERANCE);
  EXPECT_DOUBLE_EQ(set.slope_dist, 55.0);
  EXPECT_DOUBLE_EQ(set.target_height, 1.3);
}

// Averaging readings to two different points would give an angle to neither: each foresight
// point gets its own angle set from the same backsight.
TEST(SetupSequence, ForesightsToDifferentPointsGiveOneAngleSetEach) {
  const auto c = Convert(
      Job(Station("S1", "1.5") + Observation("Backsight", "B1", "0.0000", "90.0000", "100") +
          Observation("Foresight", "F1", "90.0000", "90.0000", "50", "1.2") +
          Observation("Shotsight", "F2", "92.0000", "88.0000", "60", "1.4", "USFeet") +
          Observation("Shotsight", "F3", "93.0000", "87.0000", "70") +
          Observation("Backsight", "B1", "0.0000", "90.0000", "100")));
  ASSERT_EQ(c->count(), 4u);
  const char* names[] = {"F1", "F2", "F3"};
  const double angles[] = {90, 92, 93};
  const double zeniths[] = {90, 88, 87};
  // F2's "USFeet" indicator stands before its point number: it is the unit in force for F2's
  // readings and stays so for F3's.
  const double distances[] = {50, 60 / US_FEET_PER_METER, 70 / US_FEET_PER_METER};
  for (size_t i = 0; i < 3; ++i) {
    const ObsRecord& set = c->obs(i + 1);
    EXPECT_EQ(set.kind, ObsKind::AngleSet);
    EXPECT_EQ(set.fore_name, names[i]);
    EXPECT_EQ(set.back_name, "B1");
    EXPECT_NEAR(set.horiz_angle, angles[i] * DEGREE, ANGLE_TOLERANCE) << i;
    EXPECT_NEAR(set.zenith, zeniths[i] * DEGREE, ANGLE_TOLERANCE) << i;
    EXPECT_DOUBLE_EQ(set.slope_dist, distances[i]) << i;
  }
  EXPECT_DOUBLE_EQ(c->obs(1).target_height, 1.2);
  EXPECT_DOUBLE_EQ(c->obs(2).target_height, 1.4 / US_FEET_PER_METER);
}

TEST(SetupSequence, UsFeetApplyToTheirOwnGroupAndTheRecordKeepsTheBacksightUnit) {
  const auto c = Convert(Job(Station("S1", "1.5") +
                             Observation("Backsight", "B1", "0.0000", "90.0000", "100", "1.5") +
                             Observation("Foresight", "F1", "90.0000", "90.0000",
                                         "328.083333333333", "4.921250", "USFeet") +
                             Observation("Backsight", "B1", "0.0000", "90.0000", "100", "1.5")));
  ASSERT_EQ(c->count(), 2u);
  EXPECT_DOUBLE_EQ(c->obs(0).slope_dist, 100.0);
  EXPECT_DOUBLE_EQ(c->obs(0).target_height, 1.5);
  const ObsRecord& set = c->obs(1);
  EXPECT_NEAR(set.slope_dist, 100.0, 1e-9);
  EXPECT_NEAR(set.target_height, 1.5, 1e-9);
  EXPECT_EQ(set.linear_unit, LinearUnit::Meter);
  EXPECT_DOUBLE_EQ(set.instr_height, 1.5);
}

TEST(SetupSequence, UsFeetBacksightConvertsTheInstrumentHeightToo) {
  const auto c = Convert(
      Job(Station("S1", "4.92125") +
          Observation("Backsight", "B1", "0.0000", "90.0000", "328.083333333333", "", "USFeet") +
          Observation("Foresight", "F1", "90.0000", "90.0000", "50")));
  ASSERT_EQ(c->count(), 2u);
  EXPECT_EQ(c->obs(0).linear_unit, LinearUnit::UsFoot);
  EXPECT_NEAR(c->obs(0).slope_dist, 100.0, 1e-9);
  EXPECT_NEAR(c->obs(0).instr_height, 1.5, 1e-9);
  // Unit indicators that differ in case or by blanks change nothing.
  const auto blank =
      Convert(Job(Station("S1", "1.5") +
                  Observation("Backsight", "B1", "0.0000", "90.0000", "100", "", "usfeet") +
                  Observation("Backsight", "B1", "0.0000", "90.0000", "100", "", " USFeet") +
                  Observation("Foresight", "F1", "90.0000", "90.0000", "50")));
  ASSERT_EQ(blank->count(), 2u);
  EXPECT_EQ(blank->obs(0).linear_unit, LinearUnit::Meter);
  EXPECT_DOUBLE_EQ(blank->obs(0).slope_dist, 100.0);
}

TEST(SetupSequence, DistanceReadBeforeItsUnitIndicatorUsesTheUnitBefore) {
  const auto c = Convert(
      Job(Station("S1", "1.5") + Observation("Backsight", "B1", "0.0000", "90.0000", "100") +
          "<Observation><ObsType>Foresight</ObsType>"
          "<PointNumber>F1</PointNumber><HorizontalAngle>90.0000</HorizontalAngle>"
          "<ZenithAngle>90.0000</ZenithAngle><SlopeDistance>100</SlopeDistance>"
          "<DistanceUnitIndicator>USFeet</DistanceUnitIndicator>"
          "<PrismHeight>3.28083333333333</PrismHeight></Observation>" +
          Observation("Backsight", "B1", "0.0000", "90.0000", "100")));
  ASSERT_EQ(c->count(), 2u);
  EXPECT_DOUBLE_EQ(c->obs(1).slope_dist, 100.0);
  EXPECT_NEAR(c->obs(1).target_height, 1.0, 1e-12);
}

TEST(SetupSequence, BacksightPointSkipsItsFieldsAndSuppressesTheSingleSight) {
  const auto c = Convert(Job(Station("S1", "1.5") +
                             Observation("Backsight", "B1", "0.0000", "90.0000", "100") +
                             Observation("BacksightPoint", "X9", "45.0000", "80.0000", "999") +
                             Observation("Foresight", "F1", "90.0000", "90.0000", "50") +
                             Observation("Backsight", "B1", "0.0000", "90.0000", "100")));
  ASSERT_EQ(c->count(), 1u);
  const ObsRecord& set = c->obs(0);
  EXPECT_EQ(set.kind, ObsKind::AngleSet);
  EXPECT_EQ(set.back_name, "B1");
  EXPECT_NEAR(set.horiz_angle, 90 * DEGREE, ANGLE_TOLERANCE);
  EXPECT_EQ(c->tables.StationIndex("X9"), 0);
}

TEST(SetupSequence, ShotsightsJoinTheForesightGroup) {
  const auto c = Convert(Job(Station("S1", "1.5") +
                             Observation("Backsight", "B1", "0.0000", "90.0000", "100") +
                             Observation("Foresight", "F1", "90.0000", "90.0000", "40") +
                             Observation("Shotsight", "F1", "90.0010", "90.0000", "60") +
                             Observation("Backsight", "B1", "0.0000", "90.0000", "100")));
  ASSERT_EQ(c->count(), 2u);
  EXPECT_EQ(c->obs(0).kind, ObsKind::Sight);
  // 90 deg 00' 00" and 90 deg 00' 10" average to 90 deg 00' 05".
  EXPECT_NEAR(c->obs(1).horiz_angle, 90 * DEGREE + 5 * ARC_SECOND, ANGLE_TOLERANCE);
  EXPECT_DOUBLE_EQ(c->obs(1).slope_dist, 50.0);
}

TEST(SetupSequence, ZenithBeforeHorizontalAngleTakesThePreviousDirection) {
  const auto c =
      Convert(Job(Station("S1", "1.5") + Observation("Backsight", "B1", "30.0000", "90.0000") +
                  "<Observation><ObsType>Foresight</ObsType><PointNumber>F1</PointNumber>"
                  "<ZenithAngle>90.0000</ZenithAngle>"
                  "<HorizontalAngle>45.0000</HorizontalAngle></Observation>" +
                  Observation("Backsight", "B1", "30.0000", "90.0000")));
  ASSERT_EQ(c->count(), 2u);
  // The foresight's zenith was paired with the backsight's 30°: the angle closes to a full
  // circle (0 before the one added turn).
  EXPECT_NEAR(c->obs(1).horiz_angle, 0.0, ANGLE_TOLERANCE);
}

// A new setup writes the foresight still open from the previous one, then starts afresh.
TEST(SetupSequence, NewStationWritesTheOpenForesightAndClearsTheSetup) {
  const auto c = Convert(Job(
      Station("S1", "1.5") + Observation("Backsight", "B1", "0.0000", "90.0000", "100") +
      Observation("Foresight", "F1", "90.0000", "90.0000", "50") +
      "<Station><InstrumentHeight>1.7</InstrumentHeight><StationPoint>S2</StationPoint></Station>" +
      Observation("Backsight", "B2", "0.0000", "90.0000", "80") +
      Observation("Foresight", "F2", "45.0000", "90.0000", "30") +
      Observation("Backsight", "B2", "0.0000", "90.0000", "80")));
  ASSERT_EQ(c->count(), 4u);
  EXPECT_EQ(c->obs(0).at_name, "S1");
  EXPECT_EQ(c->obs(1).kind, ObsKind::AngleSet);
  EXPECT_EQ(c->obs(1).at_name, "S1");
  EXPECT_EQ(c->obs(1).fore_name, "F1");
  EXPECT_NEAR(c->obs(1).horiz_angle, 90 * DEGREE, ANGLE_TOLERANCE);
  EXPECT_DOUBLE_EQ(c->obs(1).instr_height, 1.5);
  // The height came before the station point, which starts the setup afresh.
  EXPECT_EQ(c->obs(2).kind, ObsKind::Sight);
  EXPECT_EQ(c->obs(2).at_name, "S2");
  EXPECT_EQ(c->obs(2).instr_height, 0.0);
  EXPECT_DOUBLE_EQ(c->obs(2).slope_dist, 80.0);
  EXPECT_EQ(c->obs(3).kind, ObsKind::AngleSet);
  EXPECT_EQ(c->obs(3).fore_name, "F2");
  EXPECT_NEAR(c->obs(3).horiz_angle, 45 * DEGREE, ANGLE_TOLERANCE);
}

TEST(SetupSequence, FieldsBeforeAnyRecognisedObsTypeAreIgnored) {
  const auto c =
      Convert(Job(Station("S1", "1.5") + Observation("Sideshot", "X1", "10.0000", "90.0000", "10") +
                  Observation("Backsight", "B1", "0.0000", "90.0000", "100") +
                  Observation("Foresight", "F1", "90.0000", "90.0000", "50")));
  ASSERT_EQ(c->count(), 2u);
  EXPECT_DOUBLE_EQ(c->obs(0).slope_dist, 100.0);
  EXPECT_EQ(c->tables.StationIndex("X1"), 0);
}

TEST(SetupSequence, EachConversionStartsFromAFreshSetup) {
  // The first file ends with an open foresight group; the second starts with a backsight and no
  // station. If setup and groups outlived the conversion, the second file would get an angle
  // set from S1 to F1 that it never observed.
  const std::string first =
      Job(Station("S1", "1.5") + Observation("Backsight", "B1", "0.0000", "90.0000", "100") +
          Observation("Foresight", "F1", "90.0000", "90.0000", "50"));
  const std::string second = Job(Observation("Backsight", "B7", "0.0000", "90.0000", "10") +
                                 Observation("Foresight", "F7", "10.0000", "90.0000", "10"));
  TempFile first_file(first);
  TempFile second_file(second);
  SurveyTables tables;
  for (const TempFile* file : {&first_file, &second_file}) {
    tables.ResetTables();
    SaxReader reader;
    XmlContentHandler handler(tables);
    reader.Attach(&handler);
    ASSERT_EQ(reader.ParseFile(file->path()).kind(), StatusKind::Ok);
  }
  ASSERT_EQ(tables.observation_count(), 3);
  const ObsRecord sight = tables.Observation(1);
  EXPECT_EQ(sight.kind, ObsKind::Sight);
  EXPECT_EQ(sight.at_name, "");
  EXPECT_EQ(sight.back_name, "B7");
  const ObsRecord set = tables.Observation(2);
  EXPECT_EQ(set.at_name, "");
  EXPECT_EQ(set.fore_name, "F7");
  EXPECT_EQ(set.back_name, "B7");
  EXPECT_EQ(tables.StationIndex("S1"), 0);
  EXPECT_EQ(tables.StationIndex("F1"), 0);
}

TEST(SetupSequence, OutOfRangeReadingsNeverGiveInfinityOrNaN) {
  const auto c =
      Convert(Job(Station("S1", "1e308") +
                  Observation("Backsight", "B1", "1.7e308", "1.7e308", "1.7e308", "nan") +
                  Observation("Backsight", "B1", "-1.7e308", "inf", "1.7e308", "1e999") +
                  Observation("Foresight", "F1", "1.7e308", "1.7e308", "1.7e308") +
                  Observation("Foresight", "F1", "1.7e308", "270", "1.7e308") +
                  Observation("Backsight", "B1", "0", "90")));
  // Every angle and distance beyond the range of a survey is left out where it is read (the
  // instrument height of 1e308 too), so no group measured anything a record can carry: none
  // overflows a sum, and none is recorded.
  EXPECT_EQ(c->count(), 0u);
  for (size_t i = 0; i < c->count(); ++i) {
    const ObsRecord& r = c->obs(i);
    for (double v : {r.horiz_angle, r.zenith, r.slope_dist, r.instr_height, r.target_height}) {
      EXPECT_TRUE(std::isfinite(v)) << "record " << i;
    }
  }
}

}  // namespace
}  // namespace fenwix::testing

namespace fenwix {
namespace {

using namespace fenwix::testing;

// One target read on face one at 359°59'59" and on face two at 180°00'01" (reduced to
// 0°00'01"): the mean direction is 0°00'00", not half a circle away.
TEST(SetupSequence, FaceOneAndFaceTwoAcrossZeroAverageToZero) {
  const auto c =
      Convert(Job(Station("S1", "1.5") + Observation("Backsight", "B1", "0.0000", "90.0000") +
                  Observation("Foresight", "F1", "359.5959", "89.0000") +
                  Observation("Foresight", "F1", "180.0001", "271.0000") +
                  Observation("Backsight", "B1", "0.0000", "90.0000")));
  ASSERT_EQ(c->count(), 2u);
  const double angle = c->obs(1).horiz_angle;
  EXPECT_NEAR(std::remainder(angle, 360 * DEGREE), 0.0, ANGLE_TOLERANCE) << angle / DEGREE;
  EXPECT_GE(angle, 0.0);
  EXPECT_NEAR(c->obs(1).zenith, 89 * DEGREE, ANGLE_TOLERANCE);
}

// A face-one/face-two group that straddles nothing keeps the plain arithmetic mean, bit for bit.
TEST(SetupSequence, GroupsAwayFromZeroKeepThePlainMeanBits) {
  const auto c =
      Convert(Job(Station("S1", "1.5") + Observation("Backsight", "B1", "10.2030", "90.0000") +
                  Observation("Backsight", "B1", "190.2034", "270.0000") +
                  Observation("Foresight", "F1", "100.1111", "89.0000") +
                  Observation("Foresight", "F1", "280.1115", "271.0000") +
                  Observation("Backsight", "B1", "10.2030", "90.0000")));
  ASSERT_EQ(c->count(), 2u);
  const double b1 = DmsToRadians(10.2030) + TWO_PI;
  const double b2 = DmsToRadians(190.2034) - PI + TWO_PI;
  const double f1 = DmsToRadians(100.1111);
  const double f2 = DmsToRadians(280.1115) - PI;
  double expected = (f1 + f2) / 2 - (b1 + b2) / 2;
  if (expected < 0.0) expected += TWO_PI;
  EXPECT_EQ(c->obs(1).horiz_angle, expected);
}

}  // namespace
}  // namespace fenwix

#include "geodesy/angles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

namespace fenwix {
namespace {

double DegreesToRadians(double degrees) {
  return degrees / DEGREES_PER_RADIAN;
}

// The split bias alone moves a packed value by 4.848e-13 "degrees" in its seconds digits, about
// 2.4e-14 rad; roundings of values up to 360 degrees add a few 1e-15 rad.
constexpr double DMS_ROUND_TRIP = 1e-13;

TEST(PackedDegrees, SplitsRepresentationErrorsTheIntendedWay) {
  // 45.3 is held as 45.29999999999999716: it still reads as 45 degrees 30 minutes.
  EXPECT_NEAR(DmsToRadians(45.3), DegreesToRadians(45.5), 1e-13);
  const Dms dms = SplitDms(45.3);
  EXPECT_EQ(dms.degrees, 45.0);
  EXPECT_EQ(dms.minutes, 30.0);
  EXPECT_NEAR(dms.seconds, 0.0, 1e-8);
  EXPECT_NEAR(DmsToRadians(45.3015), DegreesToRadians(45.0 + 30.0 / 60 + 15.0 / 3600), 1e-13);
  // Every minute boundary reads as the whole minute, never as 59.999 of the one before.
  for (int m = 0; m < 60; ++m) {
    const Dms s = SplitDms(123.0 + m / 100.0);
    EXPECT_EQ(s.minutes, m);
    EXPECT_LT(std::fabs(s.seconds), 1e-6);
  }
}

TEST(PackedDegrees, SignOfTheWholeValue) {
  EXPECT_NEAR(DmsToRadians(-120.0), DegreesToRadians(-120.0), 1e-13);
  EXPECT_NEAR(DmsToRadians(-0.3), DegreesToRadians(-0.5), 1e-13);
  // The split bias shows in the seconds: a packed zero reads as 4.848e-9 arc-seconds.
  EXPECT_NEAR(DmsToRadians(0.0), 0.0, 1e-13);
  EXPECT_EQ(DmsToRadians(-1e-20), -DmsToRadians(1e-20));
  // Minutes and seconds of 60 or more are not rejected: they add.
  EXPECT_NEAR(DmsToRadians(10.6), DegreesToRadians(11.0), 1e-13);
}

TEST(PackedDegrees, RadiansToDmsNeverRounds) {
  // The radian value just below 30.5 degrees converts to 30.499999999999996 degrees; the packed
  // value then shows 30 degrees 29 minutes 59.99... seconds, not 30.30.
  const double r = std::nextafter(DegreesToRadians(30.5), 0.0);
  ASSERT_LT(r * DEGREES_PER_RADIAN, 30.5);
  const double packed = RadiansToDms(r);
  EXPECT_LT(packed, 30.3);
  EXPECT_GT(packed, 30.2959999);
  EXPECT_NEAR(RadiansToDms(DegreesToRadians(45.5)), 45.3, 1e-12);
}

TEST(PackedDegrees, RandomRoundTripsAndSymmetry) {
  std::mt19937_64 rng(17);
  std::uniform_real_distribution<double> angle(-TWO_PI, TWO_PI);
  double worst = 0.0;
  for (int i = 0; i < 200000; ++i) {
    const double r = angle(rng);
    const double packed = RadiansToDms(r);
    ASSERT_EQ(RadiansToDms(-r), -packed) << r;
    worst = std::max(worst, std::fabs(DmsToRadians(packed) - r));
  }
  std::ostringstream text;
  text << worst;
  RecordProperty("worst_round_trip_rad", text.str());
  EXPECT_LE(worst, DMS_ROUND_TRIP);
  // Whole and half degrees, minutes and seconds: the values a user types.
  for (int d = -359; d <= 359; d += 7) {
    for (int m = 0; m < 60; m += 11) {
      const double degrees = d + (d < 0 ? -1 : 1) * (m / 60.0 + 30.5 / 3600.0);
      const double r = DegreesToRadians(degrees);
      ASSERT_NEAR(DmsToRadians(RadiansToDms(r)), r, DMS_ROUND_TRIP) << degrees;
    }
  }
}

TEST(TruncAndSign, TowardZeroAndBeyondInt32) {
  EXPECT_EQ(Trunc(-2.7), -2.0);
  EXPECT_EQ(Sign(0.0), 1.0);
  EXPECT_EQ(Sign(-0.0), 1.0);
  // Beyond the int32 range truncation still works instead of wrapping.
  EXPECT_EQ(Trunc(5e9 + 0.5), 5e9);
  EXPECT_EQ(Trunc(-5e9 - 0.5), -5e9);
}

TEST(Gons, ConvertBothWays) {
  EXPECT_DOUBLE_EQ(AngleFromUnit(AngleUnit::Gons, 100.0), HALF_PI);
  EXPECT_NEAR(AngleFromUnit(AngleUnit::Degrees, 90.0), HALF_PI, 1e-13);
  // Every unit but gons means packed degrees.
  EXPECT_EQ(AngleFromUnit(static_cast<AngleUnit>(0), 90.0),
            AngleFromUnit(AngleUnit::Degrees, 90.0));
  EXPECT_DOUBLE_EQ(AngleToUnit(AngleUnit::Gons, PI), 200.0);
  EXPECT_NEAR(AngleToUnit(AngleUnit::Degrees, DegreesToRadians(45.5)), 45.3, 1e-12);
}

TEST(Normalisation, OneStepOnly) {
  EXPECT_DOUBLE_EQ(NormalizeAngle(-0.1), TWO_PI - 0.1);
  EXPECT_DOUBLE_EQ(NormalizeAngle(7.0), 7.0 - TWO_PI);
  EXPECT_GT(NormalizeAngle(13.0), TWO_PI);
  EXPECT_EQ(NormalizeAngle(TWO_PI), TWO_PI);
  EXPECT_EQ(NormalizeAngle(0.0), 0.0);
  EXPECT_EQ(AngleFromTo(1.0, 1.0), TWO_PI);
  EXPECT_DOUBLE_EQ(AngleFromTo(1.0, 0.5), TWO_PI - 0.5);
  EXPECT_DOUBLE_EQ(AddAngles(6.0, 1.0), 7.0 - TWO_PI);
  EXPECT_DOUBLE_EQ(AddAngles(0.5, -1.0), TWO_PI - 0.5);
  EXPECT_EQ(AddAngles(PI, PI), TWO_PI);
}

TEST(Normalisation, SmallestDifferenceTakesTheShortWay) {
  EXPECT_NEAR(SmallestAngleDifference(0.1, 6.2), 0.1 + TWO_PI - 6.2, 1e-15);
  EXPECT_NEAR(SmallestAngleDifference(6.2, 0.1), 6.2 - TWO_PI - 0.1, 1e-15);
  EXPECT_EQ(SmallestAngleDifference(2.0, 2.0), 0.0);
  // A tie at exactly half a circle keeps a - b.
  EXPECT_EQ(SmallestAngleDifference(PI, 0.0), PI);
  EXPECT_EQ(SmallestAngleDifference(0.0, PI), -PI);
}

TEST(FullAtan2, AxesAndQuadrants) {
  EXPECT_EQ(FullAtan2(0.0, 1.0), 0.0);
  EXPECT_EQ(FullAtan2(1.0, 0.0), HALF_PI);
  EXPECT_EQ(FullAtan2(-1.0, 0.0), -HALF_PI);
  EXPECT_EQ(FullAtan2(0.0, -1.0), PI);
  EXPECT_NEAR(FullAtan2(1.0, -1.0), 3 * PI / 4, 1e-15);
  EXPECT_NEAR(FullAtan2(-1.0, -1.0), -3 * PI / 4, 1e-15);
  EXPECT_NEAR(FullAtan2(-1.0, 1.0), -PI / 4, 1e-15);
  const double origin = FullAtan2(0.0, 0.0);
  EXPECT_GE(origin, -PI);
  EXPECT_LE(origin, PI);
}

TEST(RoundToDecimals, RoundsAsTheOutputFileShowsIt) {
  EXPECT_EQ(RoundToDecimals(2.0004, 3), 2.0);
  EXPECT_EQ(RoundToDecimals(1.23456, 2), 1.23);
  // 2.675 is held as 2.67499999999999982236431605997495353221893310546875.
  EXPECT_EQ(RoundToDecimals(2.675, 2), 2.67);
  // Exactly half in binary: the formatter rounds to even.
  EXPECT_EQ(RoundToDecimals(0.125, 2), 0.12);
  EXPECT_EQ(RoundToDecimals(-1.5, 0), -2.0);
  EXPECT_TRUE(std::isnan(RoundToDecimals(NAN, 3)));
}

}  // namespace
}  // namespace fenwix

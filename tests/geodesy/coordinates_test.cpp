#include "geodesy/coordinates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "geodesy/angles.h"
#include "geodesy/ellipsoid.h"

namespace fenwix {
namespace {

constexpr double A = WGS84_A;
const double E2 = EccentricitySquaredOf(WGS84_A, WGS84_INV_F);
// The latitude iteration stops when a pass moves it by at most this; the round trip may differ
// by that much and a rounding more.
constexpr double ROUND_TRIP_ANGLE = 2 * LATITUDE_TOLERANCE;
// Heights come back through a division by cos(phi): nanometres except close to the poles.
constexpr double ROUND_TRIP_HEIGHT = 1e-6;

double Rad(double degrees) {
  return degrees / DEGREES_PER_RADIAN;
}

TEST(CartesianToGeodetic, RoundTripsHeightsWithin100Km) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int i = 0; i < 20000; ++i) {
    const double phi = std::asin(unit(rng)) * 0.9999;
    const double lam = unit(rng) * PI;
    // Half the cases at exactly ±100 km, the ends of the range the propagation needs.
    const double h = i % 2 == 0 ? unit(rng) * 100000.0 : (i % 4 == 1 ? 100000.0 : -100000.0);
    const Cartesian c = GeodeticToCartesian(A, E2, phi, lam, h);
    const Geodetic g = CartesianToGeodetic(A, E2, c.x, c.y, c.z);
    ASSERT_TRUE(g.converged);
    ASSERT_NEAR(g.phi, phi, ROUND_TRIP_ANGLE) << "case " << i;
    ASSERT_NEAR(SmallestAngleDifference(g.lam, lam), 0.0, ROUND_TRIP_ANGLE) << "case " << i;
    ASSERT_NEAR(g.h, h, ROUND_TRIP_HEIGHT) << "case " << i;
  }
}

TEST(CartesianToGeodetic, AxisLongitudes) {
  // On the Greenwich meridian, and a quarter circle east: exact, not merely close.
  EXPECT_EQ(CartesianToGeodetic(A, E2, 6378137.0, 0.0, 0.0).lam, 0.0);
  EXPECT_EQ(CartesianToGeodetic(A, E2, 0.0, 6378137.0, 0.0).lam, HALF_PI);
  EXPECT_EQ(CartesianToGeodetic(A, E2, 0.0, -6378137.0, 0.0).lam, -HALF_PI);
  EXPECT_EQ(CartesianToGeodetic(A, E2, -6378137.0, 0.0, 0.0).lam, PI);
  // Heights from the Y branch (|X| < |Y|) and the X branch agree with the input.
  EXPECT_NEAR(CartesianToGeodetic(A, E2, 0.0, 6378237.0, 0.0).h, 100.0, 1e-8);
  EXPECT_NEAR(CartesianToGeodetic(A, E2, -6378037.0, 0.0, 0.0).h, -100.0, 1e-8);
}

TEST(CartesianToGeodetic, PointsOnThePolarAxisKeepTheirHeight) {
  const double b = SemiMinorAxis(WGS84_A, WGS84_INV_F);
  const Geodetic north = CartesianToGeodetic(A, E2, 0.0, 0.0, b + 250.0);
  EXPECT_EQ(north.phi, HALF_PI);
  EXPECT_NEAR(north.h, 250.0, 1e-8);
  const Geodetic south = CartesianToGeodetic(A, E2, 0.0, 0.0, -b + 30.0);
  EXPECT_EQ(south.phi, -HALF_PI);
  EXPECT_NEAR(south.h, -30.0, 1e-8);
}

TEST(CartesianToGeodetic, EndsOnNumbersThatAreNot) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const Geodetic g = CartesianToGeodetic(A, E2, nan, 1.0, 1.0);
  EXPECT_FALSE(g.converged);
  EXPECT_TRUE(std::isnan(g.phi));
  EXPECT_FALSE(CartesianToGeodetic(A, E2, inf, inf, inf).converged);
  EXPECT_FALSE(CartesianToGeodetic(A, nan, 1.0e6, 1.0e6, 1.0e6).converged);
  // Deep inside the Earth the iteration still ends with a usable answer.
  EXPECT_TRUE(CartesianToGeodetic(A, E2, 10.0, 20.0, 30.0).converged);
  EXPECT_TRUE(CartesianToGeodetic(A, E2, 0.0, 0.0, 0.0).converged);
}

class Sights : public ::testing::Test {
 protected:
  const double phi_ = Rad(48.2);
  const double lam_ = Rad(16.4);
  const double h_ = 200.0;
  Geodetic Sight(double azimuth, double zenith, double s, double hi = 0.0, double ht = 0.0) {
    return PolarPoint(A, E2, phi_, lam_, h_, azimuth, zenith, s, hi, ht);
  }
};

TEST_F(Sights, VerticalSightsKeepThePositionAndIgnoreInstrumentHeights) {
  const Geodetic up = Sight(1.0, 0.0, 10.0, 1.5, 2.0);
  EXPECT_EQ(up.phi, phi_);
  EXPECT_EQ(up.lam, lam_);
  EXPECT_EQ(up.h, 210.0);
  const Geodetic down = Sight(1.0, PI, 10.0, 1.5, 2.0);
  EXPECT_EQ(down.phi, phi_);
  EXPECT_EQ(down.h, 190.0);
  // Just inside one arc-second of the zenith still counts as vertical; just outside does not.
  EXPECT_EQ(Sight(1.0, DmsToRadians(0.0001) * 0.999, 10.0).phi, phi_);
  EXPECT_NE(Sight(0.0, DmsToRadians(0.0001) * 1.001, 1000000.0).phi, phi_);
}

TEST_F(Sights, ZeroLengthSightIsTheStartPoint) {
  const Geodetic g = Sight(2.0, 1.0, 0.0, 1.5, 0.0);
  EXPECT_EQ(g.phi, phi_);
  EXPECT_EQ(g.lam, lam_);
  EXPECT_EQ(g.h, h_);
  EXPECT_TRUE(g.converged);
  EXPECT_EQ(Sight(2.0, 1.0, 0.9e-6).h, h_);
}

TEST_F(Sights, HorizontalSightGoesWhereTheAzimuthPoints) {
  // 1000 m due east, horizontal: back at the start, the point lies at azimuth 90 degrees in the
  // local frame and rises above the tangent plane by the earth curvature (about s²/2R).
  const Geodetic g = Sight(HALF_PI, HALF_PI, 1000.0);
  const AzimuthDistance back = AzimuthBetween(A, E2, phi_, lam_, h_, g.phi, g.lam, g.h);
  EXPECT_NEAR(back.azimuth, HALF_PI, 1e-10);
  EXPECT_NEAR(back.slope_distance, 1000.0, 1e-9);
  EXPECT_NEAR(g.h - h_, 1000.0 * 1000.0 / (2 * 6378137.0), 0.01);
  // Instrument height raises, target height lowers the sighted point.
  EXPECT_NEAR(Sight(0.3, 1.2, 500.0, 1.6, 0.0).h - Sight(0.3, 1.2, 500.0).h, 1.6, 1e-6);
  EXPECT_NEAR(Sight(0.3, 1.2, 500.0, 0.0, 2.1).h - Sight(0.3, 1.2, 500.0).h, -2.1, 1e-6);
  // A negative azimuth is the same direction a circle further on.
  const Geodetic neg = Sight(-HALF_PI, HALF_PI, 1000.0);
  const Geodetic west = Sight(3 * HALF_PI, HALF_PI, 1000.0);
  EXPECT_NEAR(neg.lam, west.lam, 1e-15);
}

TEST_F(Sights, EndsOnNumbersThatAreNot) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(Sight(1.0, nan, 100.0).converged);
  EXPECT_FALSE(Sight(nan, 1.0, 100.0).converged);
  EXPECT_FALSE(Sight(1.0, 1.0, nan).converged);
  // The vertical and zero-length short cuts check their numbers too.
  EXPECT_FALSE(PolarPoint(A, E2, nan, 0.1, 0.0, 1.0, 0.0, 10.0, 0.0, 0.0).converged);
  EXPECT_FALSE(PolarPoint(A, E2, 0.1, 0.1, nan, 1.0, PI, 10.0, 0.0, 0.0).converged);
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_FALSE(PolarPoint(A, E2, 0.1, 0.1, 0.0, 1.0, 0.0, inf, 0.0, 0.0).converged);
  // Any slope distance under a micrometre, -inf included, is no sight at all.
  EXPECT_TRUE(PolarPoint(A, E2, 0.1, 0.1, 0.0, 1.0, 1.0, -inf, 0.0, 0.0).converged);
}

TEST(AzimuthBetween, PointsCloserThanAMicrometreHaveAzimuthZero) {
  const double phi = Rad(10.0);
  const double lam = Rad(20.0);
  // 1e-7 m east of the first point: well inside the zero-length limit.
  const double dlam = 1e-7 / (6378137.0 * std::cos(phi));
  const AzimuthDistance r = AzimuthBetween(A, E2, phi, lam, 5.0, phi, lam + dlam, 5.0);
  EXPECT_EQ(r.azimuth, 0.0);
  EXPECT_LT(r.slope_distance, ZERO_DISTANCE);
}

TEST(AzimuthBetween, AzimuthsFillTheCircle) {
  const double phi = Rad(-33.9);
  const double lam = Rad(151.2);
  // About 0.6 m apart, so that the convergence of the meridians stays below 1e-7 rad.
  const double d = 1e-7;
  const double north = AzimuthBetween(A, E2, phi, lam, 0, phi + d, lam, 0).azimuth;
  EXPECT_NEAR(SmallestAngleDifference(north, 0.0), 0.0, 1e-6);
  EXPECT_GE(north, 0.0);
  EXPECT_LE(north, TWO_PI);
  EXPECT_NEAR(AzimuthBetween(A, E2, phi, lam, 0, phi, lam + d, 0).azimuth, HALF_PI, 1e-6);
  EXPECT_NEAR(AzimuthBetween(A, E2, phi, lam, 0, phi - d, lam, 0).azimuth, PI, 1e-6);
  EXPECT_NEAR(AzimuthBetween(A, E2, phi, lam, 0, phi, lam - d, 0).azimuth, 3 * HALF_PI, 1e-6);
  // Across the antimeridian the direction is still east.
  EXPECT_NEAR(AzimuthBetween(A, E2, 0.0, PI - 1e-6, 0, 0.0, -PI + 1e-6, 0).azimuth, HALF_PI, 1e-6);
}

TEST(AzimuthBetween, HeightsEnterTheSlopeDistance) {
  const AzimuthDistance r =
      AzimuthBetween(A, E2, Rad(45.0), Rad(7.0), 0.0, Rad(45.0), Rad(7.0), 30.0);
  EXPECT_NEAR(r.slope_distance, 30.0, 1e-8);
}

}  // namespace
}  // namespace fenwix

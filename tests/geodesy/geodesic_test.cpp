#include "geodesy/geodesic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "geodesy/angles.h"
#include "geodesy/ellipsoid.h"

namespace fenwix {
namespace {

constexpr double A = WGS84_A;
constexpr double INV_F = WGS84_INV_F;
const double E2 = EccentricitySquaredOf(WGS84_A, WGS84_INV_F);

double Rad(double degrees) {
  return degrees / DEGREES_PER_RADIAN;
}

InverseResult Inverse(double phi1, double lam1, double phi2, double lam2) {
  return GeodesicInverse(A, E2, INV_F, phi1, lam1, phi2, lam2);
}

DirectResult Direct(double phi1, double lam1, double azimuth, double s) {
  return GeodesicDirect(A, INV_F, phi1, lam1, azimuth, s);
}

TEST(GeodesicInverse, IdenticalPoints) {
  const InverseResult r = Inverse(Rad(52.5), Rad(13.4), Rad(52.5), Rad(13.4));
  EXPECT_TRUE(r.converged);
  EXPECT_EQ(r.alpha12, 0.0);
  EXPECT_EQ(r.alpha21, PI);
  EXPECT_EQ(r.s, 0.0);
  EXPECT_EQ(r.chord, 0.0);
}

TEST(GeodesicInverse, AlongTheEquator) {
  // Both points on the equator: cos²alpha is exactly 0, which must not turn into 0 / 0.
  const InverseResult r = Inverse(0.0, Rad(10.0), 0.0, Rad(11.0));
  ASSERT_TRUE(r.converged);
  // One degree of the equator: a · π / 180.
  EXPECT_NEAR(r.s, 6378137.0 * PI / 180.0, 1e-6);
  EXPECT_NEAR(r.alpha12, HALF_PI, 1e-15);
  EXPECT_NEAR(r.alpha21, 3 * HALF_PI, 1e-15);
  const InverseResult west = Inverse(0.0, Rad(11.0), 0.0, Rad(10.0));
  ASSERT_TRUE(west.converged);
  EXPECT_NEAR(west.alpha12, 3 * HALF_PI, 1e-15);
}

TEST(GeodesicInverse, AzimuthsLieOnTheCircle) {
  // Lines towards the south-west give negative raw azimuths at both ends.
  const InverseResult r = Inverse(Rad(10.0), Rad(10.0), Rad(9.0), Rad(9.0));
  ASSERT_TRUE(r.converged);
  EXPECT_GT(r.alpha12, PI);
  EXPECT_LT(r.alpha12, TWO_PI);
  EXPECT_GT(r.alpha21, 0.0);
  EXPECT_LT(r.alpha21, HALF_PI);
  // Due north along a meridian, and back due south.
  const InverseResult north = Inverse(Rad(10.0), Rad(10.0), Rad(11.0), Rad(10.0));
  EXPECT_EQ(north.alpha12, 0.0);
  EXPECT_EQ(north.alpha21, PI);
}

TEST(GeodesicDirect, ShortLineIsTheStartPoint) {
  const DirectResult r = Direct(Rad(1.0), Rad(2.0), 1.0, 0.5e-6);
  EXPECT_EQ(r.phi2, Rad(1.0));
  EXPECT_EQ(r.lam2, Rad(2.0));
  EXPECT_EQ(r.alpha21, 0.0);
  EXPECT_TRUE(r.converged);
  EXPECT_EQ(Direct(Rad(1.0), Rad(2.0), 1.0, -5.0).phi2, Rad(1.0));
}

TEST(GeodesicDirect, CrossingTheAntimeridianStaysWithinHalfACircle) {
  const DirectResult east = Direct(Rad(-16.5), Rad(179.9), HALF_PI, 50000.0);
  ASSERT_TRUE(east.converged);
  EXPECT_LT(east.lam2, Rad(-179.0));
  EXPECT_GE(east.lam2, -PI);
  const DirectResult west = Direct(Rad(-16.5), Rad(-179.9), 3 * HALF_PI, 50000.0);
  ASSERT_TRUE(west.converged);
  EXPECT_GT(west.lam2, Rad(179.0));
  EXPECT_LE(west.lam2, PI);
  // And the inverse measures the short way across.
  const InverseResult back = Inverse(Rad(-16.5), Rad(179.9), east.phi2, east.lam2);
  EXPECT_NEAR(back.s, 50000.0, 1e-6);
  EXPECT_NEAR(back.alpha12, HALF_PI, 1e-11);
}

TEST(Geodesic, EndOnNumbersThatAreNot) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (const double bad : {nan, inf, -inf}) {
    const InverseResult r = Inverse(bad, 0.1, 0.2, 0.3);
    EXPECT_FALSE(r.converged);
    EXPECT_TRUE(std::isnan(r.s));
    EXPECT_FALSE(Inverse(0.1, bad, 0.2, 0.3).converged);
    EXPECT_FALSE(Inverse(0.1, 0.2, 0.3, bad).converged);
    EXPECT_FALSE(GeodesicInverse(bad, E2, INV_F, 0.1, 0.2, 0.3, 0.4).converged);
    EXPECT_FALSE(GeodesicInverse(A, E2, bad, 0.1, 0.2, 0.3, 0.4).converged);
    EXPECT_FALSE(Direct(bad, 0.1, 0.2, 1000.0).converged);
    EXPECT_FALSE(Direct(0.1, bad, 0.2, 1000.0).converged);
    EXPECT_FALSE(Direct(0.1, 0.2, bad, 1000.0).converged);
    EXPECT_FALSE(GeodesicDirect(A, bad, 0.1, 0.2, 0.3, 1000.0).converged);
  }
  EXPECT_FALSE(Direct(0.1, 0.2, 0.3, nan).converged);
  EXPECT_FALSE(Direct(0.1, 0.2, 0.3, inf).converged);
  EXPECT_TRUE(std::isnan(Direct(0.1, 0.2, 0.3, inf).phi2));
}

// Near-antipodal pairs, where the longitude iteration may never settle: every call ends, and
// either converges to a line of about half the meridian or says that it did not.
TEST(Geodesic, NearAntipodalSweepEnds) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const double window = Rad(0.5);
  int converged = 0;
  int failed = 0;
  for (int i = 0; i < 400; ++i) {
    const double phi1 = std::asin(unit(rng));
    const double lam1 = unit(rng) * PI;
    const double phi2 = -phi1 + unit(rng) * window;
    double lam2 = lam1 + PI + unit(rng) * window;
    if (lam2 > PI) lam2 -= TWO_PI;
    const InverseResult r = Inverse(phi1, lam1, phi2, lam2);
    if (r.converged) {
      ++converged;
      EXPECT_GT(r.s, 19900000.0) << "case " << i;
      EXPECT_LT(r.s, 20010000.0) << "case " << i;
    } else {
      ++failed;
      EXPECT_TRUE(std::isnan(r.s) && std::isnan(r.alpha12) && std::isnan(r.chord));
    }
    // Lines half-way round the ellipsoid and a little beyond always converge.
    const DirectResult d =
        Direct(phi1, lam1, unit(rng) * PI + PI, 20000000.0 + unit(rng) * 50000.0);
    EXPECT_TRUE(d.converged) << "case " << i;
  }
  // Exactly antipodal on the equator, and pole to pole.
  const InverseResult equator = Inverse(0.0, 0.0, 0.0, PI);
  EXPECT_EQ(equator.converged, std::isfinite(equator.s));
  const InverseResult poles = Inverse(HALF_PI, 0.0, -HALF_PI, 0.0);
  EXPECT_TRUE(poles.converged);
  RecordProperty("converged", converged);
  RecordProperty("not_converged", failed);
  // Both outcomes occur in this window.
  EXPECT_GT(converged, 0);
  EXPECT_GT(failed, 0);
}

}  // namespace
}  // namespace fenwix

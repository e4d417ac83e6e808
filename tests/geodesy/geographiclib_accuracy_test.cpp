// Accuracy against GeographicLib over many random, seeded points and lines. Each test prints the
// largest difference it met (as a test property and on stdout).

#include <gtest/gtest.h>
#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/GeodesicLine.hpp>
#include <GeographicLib/LocalCartesian.hpp>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <random>
#include <sstream>
#include <string>

#include "geodesy/angles.h"
#include "geodesy/coordinates.h"
#include "geodesy/ellipsoid.h"
#include "geodesy/geodesic.h"

namespace fenwix {
namespace {

// Random cases per test.
constexpr int CASES = 100000;

// Coordinates of about 6.4e6 m carry an ulp of 9.3e-10 m; a few roundings of the trigonometric
// products stay within this.
constexpr double CARTESIAN_TOLERANCE = 1e-8;
// Nanometres over most of the globe; the height divides by cos(phi), so its rounding grows
// towards the poles, to about 1.5e-7 m at the highest latitudes that 100,000 points reach.
constexpr double GEODETIC_TOLERANCE = 5e-7;
// Local offsets of up to 100 km are rotations of coordinate differences; rounding only.
constexpr double LOCAL_TOLERANCE = 1e-8;
// The truncated longitude series of Vincenty's method leaves a relative error of up to about
// 7.5e-12 (worst for lines near east-west at 30 degrees latitude): 0.75 micrometre over 100 km.
constexpr double SHORT_LINE_TOLERANCE = 1e-6;
// Vincenty's method on lines of any length, away from antipodal points: about 0.1 mm, with a
// margin to the 0.5 mm usually quoted.
constexpr double GLOBAL_LINE_TOLERANCE = 5e-4;
// Lines up to this length count as short, meters.
constexpr double SHORT_LINE_LENGTH = 100000.0;
// Pairs closer than this to antipodal are left out of the global comparison, radians (0.5 deg).
constexpr double ANTIPODAL_EXCLUSION = 0.5 / DEGREES_PER_RADIAN;
// Vincenty's iteration may fail a little further from antipodal along the equator (the
// antipodal region there reaches f·π ≈ 0.6 deg); failures beyond this are faults, radians.
constexpr double ANTIPODAL_FAILURE_ZONE = 1.0 / DEGREES_PER_RADIAN;

constexpr double A = WGS84_A;
constexpr double INV_F = WGS84_INV_F;

double Deg(double radians) {
  return radians * DEGREES_PER_RADIAN;
}

class Accuracy : public ::testing::Test {
 protected:
  const double e2_ = EccentricitySquaredOf(A, INV_F);
  const GeographicLib::Geocentric earth_{A, 1.0 / INV_F};
  const GeographicLib::Geodesic geodesic_{A, 1.0 / INV_F};
  std::mt19937_64 rng_{20261208};

  double Uniform(double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng_);
  }
  // Latitude uniform over the sphere's area, so the poles get their share and no more.
  double Latitude() { return std::asin(Uniform(-1.0, 1.0)); }
  double Longitude() { return Uniform(-PI, PI); }

  // Ground distance between two geodetic points, meters.
  double Separation(double phi1, double lam1, double phi2, double lam2) const {
    double s12 = 0.0;
    geodesic_.Inverse(Deg(phi1), Deg(lam1), Deg(phi2), Deg(lam2), s12);
    return s12;
  }

  // Angle between point 2 and the antipode of point 1 on the sphere, radians.
  static double FromAntipode(double phi1, double lam1, double phi2, double lam2) {
    const double c = -std::sin(phi1) * std::sin(phi2) +
                     std::cos(phi1) * std::cos(phi2) * std::cos(lam2 - lam1 - PI);
    return std::acos(std::clamp(c, -1.0, 1.0));
  }

  void Report(const std::string& key, double value) {
    std::ostringstream text;
    text << value;
    RecordProperty(key, text.str());
    std::cout << "[ largest  ] " << key << " = " << value << '\n';
  }
};

TEST_F(Accuracy, CartesianConversionsMatchGeocentric) {
  const int n = CASES;
  double worst_forward = 0.0;
  double worst_position = 0.0;
  double worst_height = 0.0;
  for (int i = 0; i < n; ++i) {
    const double phi = Latitude();
    const double lam = Longitude();
    const double h = Uniform(-100000.0, 100000.0);
    const Cartesian c = GeodeticToCartesian(A, e2_, phi, lam, h);
    double x, y, z;
    earth_.Forward(Deg(phi), Deg(lam), h, x, y, z);
    worst_forward = std::max(worst_forward, std::hypot(c.x - x, c.y - y, c.z - z));

    const Geodetic g = CartesianToGeodetic(A, e2_, x, y, z);
    ASSERT_TRUE(g.converged) << "case " << i;
    double lat_ref, lon_ref, h_ref;
    earth_.Reverse(x, y, z, lat_ref, lon_ref, h_ref);
    // Horizontal difference on the ground, from the angles.
    const double north = (g.phi - lat_ref / DEGREES_PER_RADIAN) * A;
    const double east =
        SmallestAngleDifference(g.lam, lon_ref / DEGREES_PER_RADIAN) * A * std::cos(phi);
    worst_position = std::max(worst_position, std::hypot(north, east));
    worst_height = std::max(worst_height, std::fabs(g.h - h_ref));
  }
  Report("geodetic_to_cartesian_m", worst_forward);
  Report("cartesian_to_geodetic_horizontal_m", worst_position);
  Report("cartesian_to_geodetic_height_m", worst_height);
  EXPECT_LE(worst_forward, CARTESIAN_TOLERANCE);
  EXPECT_LE(worst_position, GEODETIC_TOLERANCE);
  EXPECT_LE(worst_height, GEODETIC_TOLERANCE);
}

TEST_F(Accuracy, LocalFrameMatchesLocalCartesian) {
  const int n = CASES;
  double worst_local = 0.0;
  double worst_back = 0.0;
  double worst_offset = 0.0;
  for (int i = 0; i < n; ++i) {
    const double phi = Latitude();
    const double lam = Longitude();
    const double h = Uniform(-1000.0, 5000.0);
    const double e = Uniform(-100000.0, 100000.0);
    const double nn = Uniform(-100000.0, 100000.0);
    const double u = Uniform(-10000.0, 10000.0);
    const GeographicLib::LocalCartesian frame(Deg(phi), Deg(lam), h, earth_);

    // The far point, from GeographicLib's local frame, and its cartesian position.
    double lat2, lon2, h2;
    frame.Reverse(e, nn, u, lat2, lon2, h2);
    double x2, y2, z2;
    earth_.Forward(lat2, lon2, h2, x2, y2, z2);
    const Cartesian p0 = GeodeticToCartesian(A, e2_, phi, lam, h);

    const Local local = CartesianDeltaToLocal(phi, lam, x2 - p0.x, y2 - p0.y, z2 - p0.z);
    worst_local = std::max(worst_local, std::hypot(local.e - e, local.n - nn, local.u - u));

    const Cartesian back = LocalToCartesian(phi, lam, e, nn, u, p0.x, p0.y, p0.z);
    worst_back = std::max(worst_back, std::hypot(back.x - x2, back.y - y2, back.z - z2));

    const Geodetic g = LocalOffsetToGeodetic(A, e2_, phi, lam, h, e, nn, u);
    ASSERT_TRUE(g.converged) << "case " << i;
    const Cartesian gc = GeodeticToCartesian(A, e2_, g.phi, g.lam, g.h);
    worst_offset = std::max(worst_offset, std::hypot(gc.x - x2, gc.y - y2, gc.z - z2));
  }
  Report("cartesian_delta_to_local_m", worst_local);
  Report("local_to_cartesian_m", worst_back);
  Report("local_offset_to_geodetic_m", worst_offset);
  EXPECT_LE(worst_local, LOCAL_TOLERANCE);
  EXPECT_LE(worst_back, LOCAL_TOLERANCE);
  EXPECT_LE(worst_offset, GEODETIC_TOLERANCE);
}

// Inverse problem: differences in length, and in each azimuth as the sideways displacement it
// causes at the other end of the line (azimuth difference times the reduced length m12, which
// stays meaningful near antipodal points where the azimuths are ill-conditioned).
struct InverseErrors {
  double length = 0.0;
  double azimuth1 = 0.0;
  double azimuth2 = 0.0;
  double chord = 0.0;
};

TEST_F(Accuracy, InverseMatchesGeodesic) {
  const int n = CASES;
  InverseErrors short_lines;
  InverseErrors global;
  int unconverged = 0;
  for (int i = 0; i < n; ++i) {
    const bool is_short = i % 2 == 0;
    const double phi1 = Latitude();
    const double lam1 = Longitude();
    double phi2;
    double lam2;
    if (is_short) {
      // A second point up to 100 km away in any direction.
      const GeographicLib::GeodesicLine line =
          geodesic_.Line(Deg(phi1), Deg(lam1), Uniform(-180.0, 180.0));
      double lat2, lon2;
      line.Position(Uniform(0.0, SHORT_LINE_LENGTH), lat2, lon2);
      phi2 = lat2 / DEGREES_PER_RADIAN;
      lam2 = lon2 / DEGREES_PER_RADIAN;
    } else {
      do {
        phi2 = Latitude();
        lam2 = Longitude();
      } while (FromAntipode(phi1, lam1, phi2, lam2) < ANTIPODAL_EXCLUSION);
    }
    const InverseResult r = GeodesicInverse(A, e2_, INV_F, phi1, lam1, phi2, lam2);
    if (!r.converged) {
      ASSERT_FALSE(is_short) << "case " << i;
      ASSERT_LT(FromAntipode(phi1, lam1, phi2, lam2), ANTIPODAL_FAILURE_ZONE) << "case " << i;
      ++unconverged;
      continue;
    }
    double s12, azi1, azi2, m12;
    geodesic_.Inverse(Deg(phi1), Deg(lam1), Deg(phi2), Deg(lam2), s12, azi1, azi2, m12);
    const double lever = std::fabs(m12);
    double x1, y1, z1, x2, y2, z2;
    earth_.Forward(Deg(phi1), Deg(lam1), 0.0, x1, y1, z1);
    earth_.Forward(Deg(phi2), Deg(lam2), 0.0, x2, y2, z2);
    InverseErrors& errors = is_short ? short_lines : global;
    errors.length = std::max(errors.length, std::fabs(r.s - s12));
    errors.azimuth1 =
        std::max(errors.azimuth1,
                 std::fabs(SmallestAngleDifference(r.alpha12, azi1 / DEGREES_PER_RADIAN)) * lever);
    errors.azimuth2 = std::max(
        errors.azimuth2,
        std::fabs(SmallestAngleDifference(r.alpha21, azi2 / DEGREES_PER_RADIAN + PI)) * lever);
    errors.chord =
        std::max(errors.chord, std::fabs(r.chord - std::hypot(x2 - x1, y2 - y1, z2 - z1)));
  }
  Report("inverse_short_length_m", short_lines.length);
  Report("inverse_short_azimuth12_m", short_lines.azimuth1);
  Report("inverse_short_azimuth21_m", short_lines.azimuth2);
  Report("inverse_global_length_m", global.length);
  Report("inverse_global_azimuth12_m", global.azimuth1);
  Report("inverse_global_azimuth21_m", global.azimuth2);
  Report("inverse_chord_m", std::max(short_lines.chord, global.chord));
  Report("inverse_global_unconverged", unconverged);
  EXPECT_LE(short_lines.length, SHORT_LINE_TOLERANCE);
  EXPECT_LE(short_lines.azimuth1, SHORT_LINE_TOLERANCE);
  EXPECT_LE(short_lines.azimuth2, SHORT_LINE_TOLERANCE);
  EXPECT_LE(global.length, GLOBAL_LINE_TOLERANCE);
  EXPECT_LE(global.azimuth1, GLOBAL_LINE_TOLERANCE);
  EXPECT_LE(global.azimuth2, GLOBAL_LINE_TOLERANCE);
  EXPECT_LE(short_lines.chord, CARTESIAN_TOLERANCE);
  EXPECT_LE(global.chord, CARTESIAN_TOLERANCE);
  // A handful at most: only pairs just outside the exclusion near the equator.
  EXPECT_LE(unconverged, n / 10000);
}

TEST_F(Accuracy, DirectMatchesGeodesic) {
  const int n = CASES;
  double worst_short = 0.0;
  double worst_short_azimuth = 0.0;
  double worst_global = 0.0;
  double worst_global_azimuth = 0.0;
  // Lines up to this long stay 0.5 deg short of reaching the antipode of their start, meters.
  const double global_length = 19950000.0;
  for (int i = 0; i < n; ++i) {
    const bool is_short = i % 2 == 0;
    const double phi1 = Latitude();
    const double lam1 = Longitude();
    const double azimuth = Uniform(0.0, TWO_PI);
    const double s = Uniform(0.0, is_short ? SHORT_LINE_LENGTH : global_length);
    const DirectResult r = GeodesicDirect(A, INV_F, phi1, lam1, azimuth, s);
    ASSERT_TRUE(r.converged) << "case " << i;
    ASSERT_LE(std::fabs(r.lam2), PI) << "case " << i;
    double lat2, lon2, azi2, m12;
    geodesic_.Direct(Deg(phi1), Deg(lam1), Deg(azimuth), s, lat2, lon2, azi2, m12);
    const double miss =
        Separation(r.phi2, r.lam2, lat2 / DEGREES_PER_RADIAN, lon2 / DEGREES_PER_RADIAN);
    const double azimuth_miss =
        std::fabs(SmallestAngleDifference(r.alpha21, azi2 / DEGREES_PER_RADIAN + PI)) *
        std::fabs(m12);
    if (is_short) {
      worst_short = std::max(worst_short, miss);
      worst_short_azimuth = std::max(worst_short_azimuth, azimuth_miss);
    } else {
      worst_global = std::max(worst_global, miss);
      worst_global_azimuth = std::max(worst_global_azimuth, azimuth_miss);
    }
  }
  Report("direct_short_position_m", worst_short);
  Report("direct_short_azimuth21_m", worst_short_azimuth);
  Report("direct_global_position_m", worst_global);
  Report("direct_global_azimuth21_m", worst_global_azimuth);
  EXPECT_LE(worst_short, SHORT_LINE_TOLERANCE);
  EXPECT_LE(worst_short_azimuth, SHORT_LINE_TOLERANCE);
  EXPECT_LE(worst_global, GLOBAL_LINE_TOLERANCE);
  EXPECT_LE(worst_global_azimuth, GLOBAL_LINE_TOLERANCE);
}

}  // namespace
}  // namespace fenwix

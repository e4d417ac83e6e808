#include "geodesy/coordinates.h"

#include <cmath>

#include "geodesy/angles.h"

namespace fenwix {

namespace {

// One arc-second, the vertical-sight limit near the zenith (packed 0°00'01").
const double ZENITH_VERTICAL_UP = DmsToRadians(0.0001);
// 179°59'59", the vertical-sight limit near the nadir.
const double ZENITH_VERTICAL_DOWN = DmsToRadians(179.5959);

double PrimeVerticalRadius(double a, double e2, double phi) {
  const double s = std::sin(phi);
  return a / std::sqrt(1.0 - e2 * s * s);
}

// The point itself when all its numbers are finite, otherwise the not-converged result.
Geodetic Usable(const Geodetic& g) {
  if (std::isfinite(g.phi) && std::isfinite(g.lam) && std::isfinite(g.h)) return g;
  return Geodetic{NAN, NAN, NAN, false};
}

}  // namespace

Cartesian GeodeticToCartesian(double a, double e2, double phi, double lam, double h) {
  const double nr = PrimeVerticalRadius(a, e2, phi);
  return Cartesian{(nr + h) * std::cos(phi) * std::cos(lam),
                   (nr + h) * std::cos(phi) * std::sin(lam), ((1.0 - e2) * nr + h) * std::sin(phi)};
}

Geodetic CartesianToGeodetic(double a, double e2, double x, double y, double z) {
  const double p = std::sqrt(x * x + y * y);
  double phi = FullAtan2(z, p);
  double nr = 0.0;
  double phi_next = phi;
  for (int pass = 0;; ++pass) {
    if (pass == LATITUDE_ITERATION_CAP) return Geodetic{NAN, NAN, NAN, false};
    nr = PrimeVerticalRadius(a, e2, phi);
    phi_next = FullAtan2(z + e2 * nr * std::sin(phi), p);
    if (!(std::fabs(phi_next - phi) > LATITUDE_TOLERANCE)) break;
    phi = phi_next;
  }
  phi = phi_next;
  const double lam = FullAtan2(y, x);
  double h;
  if (p == 0.0) {
    // On the axis both divisions below would read 0 / cos(±π/2) and give h = -Nr; the height
    // there is the distance from the pole along Z.
    h = std::fabs(z) - (1.0 - e2) * nr;
  } else if (std::fabs(x) >= std::fabs(y)) {
    h = x / (std::cos(phi) * std::cos(lam)) - nr;
  } else {
    h = y / (std::cos(phi) * std::sin(lam)) - nr;
  }
  return Usable(Geodetic{phi, lam, h});
}

Local CartesianDeltaToLocal(double phi, double lam, double dx, double dy, double dz) {
  const double sin_phi = std::sin(phi);
  const double cos_phi = std::cos(phi);
  const double sin_lam = std::sin(lam);
  const double cos_lam = std::cos(lam);
  const double horizontal = cos_lam * dx + sin_lam * dy;
  return Local{-sin_lam * dx + cos_lam * dy, cos_phi * dz - sin_phi * horizontal,
               cos_phi * horizontal + sin_phi * dz};
}

Cartesian LocalToCartesian(double phi, double lam, double e, double n, double u, double x0,
                           double y0, double z0) {
  const double sin_phi = std::sin(phi);
  const double cos_phi = std::cos(phi);
  const double sin_lam = std::sin(lam);
  const double cos_lam = std::cos(lam);
  return Cartesian{x0 - sin_lam * e - sin_phi * cos_lam * n + cos_phi * cos_lam * u,
                   y0 + cos_lam * e - sin_phi * sin_lam * n + cos_phi * sin_lam * u,
                   z0 + cos_phi * n + sin_phi * u};
}

Geodetic LocalOffsetToGeodetic(double a, double e2, double phi, double lam, double h, double e,
                               double n, double u) {
  const Cartesian origin = GeodeticToCartesian(a, e2, phi, lam, h);
  const Cartesian p = LocalToCartesian(phi, lam, e, n, u, origin.x, origin.y, origin.z);
  return CartesianToGeodetic(a, e2, p.x, p.y, p.z);
}

Geodetic PolarPoint(double a, double e2, double phi, double lam, double h, double azimuth,
                    double zenith, double slope_distance, double instrument_height,
                    double target_height) {
  if (slope_distance < ZERO_DISTANCE) return Usable(Geodetic{phi, lam, h});
  if (zenith < ZENITH_VERTICAL_UP) return Usable(Geodetic{phi, lam, h + slope_distance});
  if (zenith > ZENITH_VERTICAL_DOWN) return Usable(Geodetic{phi, lam, h - slope_distance});
  const double az = NormalizeAngle(azimuth);
  const double horizontal = slope_distance * std::sin(zenith);
  const double e = horizontal * std::sin(az);
  const double n = horizontal * std::cos(az);
  const double u = slope_distance * std::cos(zenith) + instrument_height - target_height;
  return LocalOffsetToGeodetic(a, e2, phi, lam, h, e, n, u);
}

AzimuthDistance AzimuthBetween(double a, double e2, double phi1, double lam1, double h1,
                               double phi2, double lam2, double h2) {
  const Cartesian p1 = GeodeticToCartesian(a, e2, phi1, lam1, h1);
  const Cartesian p2 = GeodeticToCartesian(a, e2, phi2, lam2, h2);
  const double dx = p2.x - p1.x;
  const double dy = p2.y - p1.y;
  const double dz = p2.z - p1.z;
  const double s = std::sqrt(dx * dx + dy * dy + dz * dz);
  if (s < ZERO_DISTANCE) return AzimuthDistance{0.0, s};
  const Local d = CartesianDeltaToLocal(phi1, lam1, dx, dy, dz);
  return AzimuthDistance{NormalizeAngle(FullAtan2(d.e, d.n)), s};
}

}  // namespace fenwix

#include "geodesy/geodesic.h"

#include <cmath>

#include "geodesy/angles.h"
#include "geodesy/coordinates.h"
#include "geodesy/ellipsoid.h"

namespace fenwix {

namespace {

// Helmert's series for the arc length in the variable k1, from u² = cos²alpha · e'².
struct Series {
  double a0;  // arc length factor: s = b · a0 · (sigma - delta sigma)
  double b0;  // coefficient of delta sigma
};

Series ArcSeries(double u_sq) {
  const double root = std::sqrt(1.0 + u_sq);
  const double k1 = (root - 1.0) / (root + 1.0);
  return Series{(1.0 + 0.25 * k1 * k1) / (1.0 - k1), k1 * (1.0 - 0.375 * k1 * k1)};
}

double DeltaSigma(double b0, double sin_sigma, double cos_sigma, double cos_2sigma_m) {
  const double c2 = cos_2sigma_m * cos_2sigma_m;
  return b0 * sin_sigma *
         (cos_2sigma_m +
          0.25 * b0 *
              (cos_sigma * (-1.0 + 2.0 * c2) -
               b0 / 6.0 * cos_2sigma_m * (-3.0 + 4.0 * sin_sigma * sin_sigma) * (-3.0 + 4.0 * c2)));
}

// The longitude correction factor C of the method.
double LongitudeC(double f, double cos_sq_alpha) {
  return f / 16.0 * cos_sq_alpha * (4.0 + f * (4.0 - 3.0 * cos_sq_alpha));
}

double SecondEccentricitySquared(double a, double b) {
  return (a * a - b * b) / (b * b);
}

double AzimuthIntoCircle(double azimuth) {
  return azimuth < 0.0 ? azimuth + TWO_PI : azimuth;
}

}  // namespace

InverseResult GeodesicInverse(double a, double e2, double inv_f, double phi1, double lam1,
                              double phi2, double lam2) {
  const InverseResult failed{NAN, NAN, NAN, NAN, false};
  const double f = 1.0 / inv_f;
  const double b = SemiMinorAxis(a, inv_f);
  const double u1 = std::atan((1.0 - f) * std::tan(phi1));
  const double u2 = std::atan((1.0 - f) * std::tan(phi2));
  const double sin_u1 = std::sin(u1);
  const double cos_u1 = std::cos(u1);
  const double sin_u2 = std::sin(u2);
  const double cos_u2 = std::cos(u2);
  const double l = lam2 - lam1;

  double lambda = l;
  double sin_lambda = 0.0;
  double cos_lambda = 0.0;
  double sin_sigma = 0.0;
  double cos_sigma = 0.0;
  double sigma = 0.0;
  double cos_sq_alpha = 0.0;
  double cos_2sigma_m = 0.0;
  for (int pass = 0;; ++pass) {
    if (pass == INVERSE_ITERATION_CAP) return failed;
    sin_lambda = std::sin(lambda);
    cos_lambda = std::cos(lambda);
    const double t1 = cos_u2 * sin_lambda;
    const double t2 = cos_u1 * sin_u2 - sin_u1 * cos_u2 * cos_lambda;
    sin_sigma = std::sqrt(t1 * t1 + t2 * t2);
    if (sin_sigma == 0.0) return InverseResult{0.0, PI, 0.0, 0.0, true};
    cos_sigma = sin_u1 * sin_u2 + cos_u1 * cos_u2 * cos_lambda;
    sigma = std::atan2(sin_sigma, cos_sigma);
    const double sin_alpha = cos_u1 * cos_u2 * sin_lambda / sin_sigma;
    cos_sq_alpha = 1.0 - sin_alpha * sin_alpha;
    // A line along the equator has cos²alpha = 0 and no midpoint term (0 / 0 otherwise).
    cos_2sigma_m = cos_sq_alpha != 0.0 ? cos_sigma - 2.0 * sin_u1 * sin_u2 / cos_sq_alpha : 0.0;
    const double c = LongitudeC(f, cos_sq_alpha);
    const double lambda_prev = lambda;
    lambda = l + (1.0 - c) * f * sin_alpha *
                     (sigma + c * sin_sigma *
                                  (cos_2sigma_m +
                                   c * cos_sigma * (-1.0 + 2.0 * cos_2sigma_m * cos_2sigma_m)));
    if (std::fabs(lambda - lambda_prev) <= GEODESIC_RELATIVE_TOLERANCE * sigma) break;
    // NaN never converges; stop at once instead of running to the cap.
    if (std::isnan(lambda)) return failed;
  }

  const Series series = ArcSeries(cos_sq_alpha * SecondEccentricitySquared(a, b));
  const double s =
      b * series.a0 * (sigma - DeltaSigma(series.b0, sin_sigma, cos_sigma, cos_2sigma_m));
  const double alpha12 =
      std::atan2(cos_u2 * sin_lambda, cos_u1 * sin_u2 - sin_u1 * cos_u2 * cos_lambda);
  const double forward2 =
      std::atan2(cos_u1 * sin_lambda, -sin_u1 * cos_u2 + cos_u1 * sin_u2 * cos_lambda);
  const Cartesian p1 = GeodeticToCartesian(a, e2, phi1, lam1, 0.0);
  const Cartesian p2 = GeodeticToCartesian(a, e2, phi2, lam2, 0.0);
  const double dx = p2.x - p1.x;
  const double dy = p2.y - p1.y;
  const double dz = p2.z - p1.z;
  const InverseResult r{AzimuthIntoCircle(alpha12), AzimuthIntoCircle(forward2 + PI), s,
                        std::sqrt(dx * dx + dy * dy + dz * dz), true};
  // An ellipsoid that is not a finite number leaves the iteration alone but not the results.
  if (!std::isfinite(r.alpha12) || !std::isfinite(r.alpha21) || !std::isfinite(r.s) ||
      !std::isfinite(r.chord)) {
    return failed;
  }
  return r;
}

DirectResult GeodesicDirect(double a, double inv_f, double phi1, double lam1, double alpha12,
                            double s) {
  if (s < ZERO_DISTANCE) return DirectResult{phi1, lam1, 0.0, true};
  const DirectResult failed{NAN, NAN, NAN, false};
  const double f = 1.0 / inv_f;
  const double b = SemiMinorAxis(a, inv_f);
  const double tan_u1 = (1.0 - f) * std::tan(phi1);
  const double cos_u1 = 1.0 / std::sqrt(1.0 + tan_u1 * tan_u1);
  const double sin_u1 = tan_u1 * cos_u1;
  const double sin_alpha1 = std::sin(alpha12);
  const double cos_alpha1 = std::cos(alpha12);
  // Twice the arc from the equator crossing to the start. (cos alpha12 is never exactly 0 for
  // a double alpha12, and atan2 handles that case anyway.)
  const double two_sigma1 = 2.0 * std::atan2(tan_u1, cos_alpha1);
  const double sin_alpha = cos_u1 * sin_alpha1;
  const double cos_sq_alpha = 1.0 - sin_alpha * sin_alpha;
  const Series series = ArcSeries(cos_sq_alpha * SecondEccentricitySquared(a, b));

  const double arc_base = s / (b * series.a0);
  double sigma = s / ((1.0 - f) * a * series.a0);
  for (int pass = 0;; ++pass) {
    if (pass == DIRECT_ITERATION_CAP) return failed;
    const double delta =
        DeltaSigma(series.b0, std::sin(sigma), std::cos(sigma), std::cos(two_sigma1 + sigma));
    const double sigma_prev = sigma;
    sigma = arc_base + delta;
    if (std::fabs(sigma - sigma_prev) <= GEODESIC_RELATIVE_TOLERANCE * sigma) break;
    if (std::isnan(sigma)) return failed;
  }

  const double sin_sigma = std::sin(sigma);
  const double cos_sigma = std::cos(sigma);
  const double cos_2sigma_m = std::cos(two_sigma1 + sigma);
  const double tmp = sin_u1 * sin_sigma - cos_u1 * cos_sigma * cos_alpha1;
  const double phi2 = std::atan2(sin_u1 * cos_sigma + cos_u1 * sin_sigma * cos_alpha1,
                                 (1.0 - f) * std::sqrt(sin_alpha * sin_alpha + tmp * tmp));
  const double lambda =
      std::atan2(sin_sigma * sin_alpha1, cos_u1 * cos_sigma - sin_u1 * sin_sigma * cos_alpha1);
  const double c = LongitudeC(f, cos_sq_alpha);
  const double l =
      lambda -
      (1.0 - c) * f * sin_alpha *
          (sigma + c * sin_sigma *
                       (cos_2sigma_m + c * cos_sigma * (-1.0 + 2.0 * cos_2sigma_m * cos_2sigma_m)));
  double lam2 = lam1 + l;
  if (std::fabs(lam2) > PI) lam2 -= Sign(lam2) * TWO_PI;
  const double forward2 = std::atan2(sin_alpha, -tmp);
  if (!std::isfinite(phi2) || !std::isfinite(lam2)) return failed;
  return DirectResult{phi2, lam2, AzimuthIntoCircle(forward2 + PI), true};
}

}  // namespace fenwix

#pragma once
// Reference ellipsoids. Every geodesy function takes the ellipsoid as plain numbers (a, e2,
// inv_f); this header holds the named ellipsoid of the datum settings, the fixed ellipsoid on
// which approximate coordinates are propagated, and the two derived quantities in the one form
// that all callers use.

#include <string>
#include <string_view>

namespace fenwix {

struct Ellipsoid {
  std::string name;
  double a;      // semi-major axis, meters
  double inv_f;  // inverse flattening 1/f
};

// WGS 84 semi-major axis, meters; the fallback datum.
inline constexpr double WGS84_A = 6378137.0;
// WGS 84 inverse flattening.
inline constexpr double WGS84_INV_F = 298.257223563;
inline constexpr char WGS84_NAME[] = "WGS 84";

// Accepted range of a datum's semi-major axis, meters (inclusive).
inline constexpr double DATUM_A_MIN = 6000000.0;
inline constexpr double DATUM_A_MAX = 7000000.0;
// Accepted range of a datum's inverse flattening (inclusive).
inline constexpr double DATUM_INV_F_MIN = 250.0;
inline constexpr double DATUM_INV_F_MAX = 350.0;

// The propagation ellipsoid (GRS 80 values) used for every propagation step, whatever the
// datum settings say. Its e2 comes from the fixed b, not from inv_f.
inline constexpr char PROPAGATION_NAME[] = "GRS 80";
// GRS 80 semi-major axis, meters.
inline constexpr double PROPAGATION_A = 6378137.0;
// GRS 80 semi-minor axis, meters.
inline constexpr double PROPAGATION_B = 6356752.314140356;
// GRS 80 inverse flattening.
inline constexpr double PROPAGATION_INV_F = 298.257222101;

// Semi-minor axis b = (a·inv_f - a) / inv_f, meters.
double SemiMinorAxis(double a, double inv_f);
// First eccentricity squared e2 = 1 - b·b / (a·a).
double EccentricitySquared(double a, double b);
// e2 of an ellipsoid given by a and inv_f, through SemiMinorAxis.
double EccentricitySquaredOf(double a, double inv_f);

// The datum ellipsoid of an approximate-coordinate run: the given one when the name is not
// empty, DATUM_A_MIN <= a <= DATUM_A_MAX and DATUM_INV_F_MIN <= inv_f <= DATUM_INV_F_MAX
// (NaN fails every test); otherwise WGS 84.
Ellipsoid ChooseDatumEllipsoid(std::string_view name, double a, double inv_f);

// The propagation ellipsoid as a named ellipsoid, and its e2 from the fixed b.
Ellipsoid PropagationEllipsoid();
double PropagationEccentricitySquared();

}  // namespace fenwix

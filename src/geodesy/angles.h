#pragma once
// Angle conversions and normalisations. Radians are the internal unit of every angle; packed
// DD.MMSSsssss degrees (whole degrees, two digits of minutes, then seconds with decimals) and
// gons appear only at the edges: the seed coordinates, the XML input and the output file.

#include <cstdint>

#include "geodesy/units.h"

namespace fenwix {

// Degrees per radian, used by every degree conversion.
inline constexpr double DEGREES_PER_RADIAN = 57.29577951308232;
// Gons (grads) per radian.
inline constexpr double GONS_PER_RADIAN = 63.66197723675813;
inline constexpr double PI = 3.141592653589793;
inline constexpr double HALF_PI = 1.5707963267948966;
// The full circle used by every normalisation.
inline constexpr double TWO_PI = 6.283185307179586;
// Minutes to degrees (1/60).
inline constexpr double DEGREES_PER_MINUTE = 0.016666666666666666;
// Seconds to degrees (1/3600).
inline constexpr double DEGREES_PER_SECOND = 0.0002777777777777778;
// Added before a packed value is split, so that 45.2999999999... (the double nearest 45.30)
// still splits into 45 degrees 30 minutes; about 1e-7 arc-second.
inline constexpr double DMS_SPLIT_BIAS = 4.848e-13;

struct Dms {
  double degrees;
  double minutes;
  double seconds;
};

// Truncation toward zero as through a 32-bit signed integer. Values beyond its range (which no
// angle in degrees reaches) are truncated in double precision instead of wrapping.
double Trunc(double x);
// x - Trunc(x); carries the sign of x.
double Frac(double x);
// -1 when x < 0, otherwise +1 (Sign(0) is +1).
double Sign(double x);

// Degrees, minutes and seconds of a packed value (x >= 0 expected).
Dms SplitDms(double x);
// Radians from a packed DD.MMSSsssss value; the sign of the whole value is the angle's sign.
double DmsToRadians(double packed);
// Packed DD.MMSSsssss from radians. Nothing is rounded; a negative angle gives the negative of
// the packed magnitude.
double RadiansToDms(double radians);
double GonsToRadians(double gons);
double RadiansToGons(double radians);
// GonsToRadians for gons, otherwise DmsToRadians.
double AngleFromUnit(AngleUnit unit, double value);
// RadiansToGons for gons, otherwise RadiansToDms.
double AngleToUnit(AngleUnit unit, double radians);

// x moved by at most one full circle towards [0, 2π]: 2π stays 2π, 13.0 stays above 2π.
double NormalizeAngle(double x);
// Clockwise angle from direction a to direction b, in (0, 2π]; equal directions give 2π.
double AngleFromTo(double a, double b);
// a + b moved by at most one full circle into [0, 2π].
double AddAngles(double a, double b);
// a - b expressed in [-π, π] (ties keep a - b).
double SmallestAngleDifference(double a, double b);
// Four-quadrant direction of the vector (x, y), in [-π, π], with exact axis cases.
double FullAtan2(double y, double x);
// v rounded to n decimals by formatting and reading back, as the output file would show it.
double RoundToDecimals(double v, int n);

}  // namespace fenwix

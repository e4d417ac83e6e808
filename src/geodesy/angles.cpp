#include "geodesy/angles.h"

#include <charconv>
#include <cmath>

namespace fenwix {

double Trunc(double x) {
  // The int32 conversion is undefined outside (-2^31 - 1, 2^31); those values keep their
  // double truncation.
  if (x > -2147483649.0 && x < 2147483648.0) return static_cast<double>(static_cast<int32_t>(x));
  return std::trunc(x);
}

double Frac(double x) {
  return x - Trunc(x);
}

double Sign(double x) {
  return x < 0.0 ? -1.0 : 1.0;
}

Dms SplitDms(double x) {
  x = x + DMS_SPLIT_BIAS;
  Dms dms;
  dms.degrees = Trunc(x);
  dms.minutes = Trunc((x - dms.degrees) * 100.0);
  dms.seconds = Frac(x * 100.0) * 100.0;
  return dms;
}

double DmsToRadians(double packed) {
  const Dms dms = SplitDms(std::fabs(packed));
  return Sign(packed) *
         (dms.degrees + dms.minutes * DEGREES_PER_MINUTE + dms.seconds * DEGREES_PER_SECOND) /
         DEGREES_PER_RADIAN;
}

double RadiansToDms(double radians) {
  const double d = radians * DEGREES_PER_RADIAN;
  const double m = Frac(d) * 60.0;
  return Trunc(d) + Trunc(m) * 0.01 + Frac(m) * 0.006;
}

double GonsToRadians(double gons) {
  return gons / GONS_PER_RADIAN;
}

double RadiansToGons(double radians) {
  return radians * GONS_PER_RADIAN;
}

double AngleFromUnit(AngleUnit unit, double value) {
  return unit == AngleUnit::Gons ? GonsToRadians(value) : DmsToRadians(value);
}

double AngleToUnit(AngleUnit unit, double radians) {
  return unit == AngleUnit::Gons ? RadiansToGons(radians) : RadiansToDms(radians);
}

double NormalizeAngle(double x) {
  if (x < 0.0) return x + TWO_PI;
  if (x > TWO_PI) return x - TWO_PI;
  return x;
}

double AngleFromTo(double a, double b) {
  const double d = b - a;
  return d <= 0.0 ? d + TWO_PI : d;
}

double AddAngles(double a, double b) {
  const double c = a + b;
  if (c > TWO_PI) return c - TWO_PI;
  if (c < 0.0) return c + TWO_PI;
  return c;
}

double SmallestAngleDifference(double a, double b) {
  const double d = a - b;
  double c;
  if (d > 0.0) {
    c = d - TWO_PI;
  } else if (d < 0.0) {
    c = d + TWO_PI;
  } else {
    c = TWO_PI;
  }
  return std::fabs(d) > std::fabs(c) ? c : d;
}

double FullAtan2(double y, double x) {
  if (x == 0.0) return y >= 0.0 ? HALF_PI : -HALF_PI;
  if (y == 0.0) return x > 0.0 ? 0.0 : PI;
  const double t = std::atan(y / x);
  if (x > 0.0) return t;
  return y > 0.0 ? t + PI : t - PI;
}

double RoundToDecimals(double v, int n) {
  if (!std::isfinite(v)) return v;
  // Large enough for any double in fixed notation with up to 20 decimals. to_chars and
  // from_chars round exactly as printf does and never consult the locale.
  char text[400];
  if (n < 0) n = 0;
  if (n > 20) n = 20;
  const auto written = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, n);
  double result = v;
  std::from_chars(text, written.ptr, result);
  return result;
}

}  // namespace fenwix

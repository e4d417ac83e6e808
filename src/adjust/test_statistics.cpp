#include "adjust/test_statistics.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace fenwix {

double NormalUpperTail(double z) {
  return 0.5 * std::erfc(z / std::numbers::sqrt2);
}

double NormalUpperQuantile(double p) {
  if (!(p > 0.0)) return INFINITY;
  if (!(p < 1.0)) return -INFINITY;
  // A rational start (Abramowitz and Stegun 26.2.23, |error| < 4.5e-4), then Newton steps on
  // the tail, whose derivative is the density.
  const double q = std::min(p, 1.0 - p);
  const double t = std::sqrt(-2.0 * std::log(q));
  double z = t - (2.515517 + 0.802853 * t + 0.010328 * t * t) /
                     (1.0 + 1.432788 * t + 0.189269 * t * t + 0.001308 * t * t * t);
  if (p > 0.5) z = -z;
  for (int i = 0; i < 4; ++i) {
    const double density = std::exp(-0.5 * z * z) / std::sqrt(2.0 * std::numbers::pi);
    if (density <= 0.0) break;
    z += (NormalUpperTail(z) - p) / density;
  }
  return z;
}

double ChiSquare3UpperTail(double x) {
  if (x <= 0.0) return 1.0;
  const double s = std::sqrt(x);
  return 2.0 * NormalUpperTail(s) + std::sqrt(2.0 * x / std::numbers::pi) * std::exp(-0.5 * x);
}

double ChiSquareUpperQuantile(double f, double p) {
  if (f <= 0.0) return 0.0;
  const double z = NormalUpperQuantile(p);
  const double c = 2.0 / (9.0 * f);
  const double root = 1.0 - c + z * std::sqrt(c);
  return f * root * root * root;
}

double FamilyCriticalW(int n, double family_alpha) {
  const int tests = std::max(n, 1);
  // 1 − (1 − α)^(1/n), through log1p and expm1 so that small α keeps its digits.
  const double each = -std::expm1(std::log1p(-family_alpha) / tests);
  return NormalUpperQuantile(0.5 * each);
}

double EquivalentW(double chi2_3) {
  const double tail = ChiSquare3UpperTail(chi2_3);
  if (tail <= 0.0) return std::sqrt(chi2_3);
  return NormalUpperQuantile(0.5 * tail);
}

}  // namespace fenwix

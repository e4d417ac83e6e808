#include "adjust/test_statistics.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace fenwix {

namespace {

double NormalDensity(double z) {
  return std::exp(-0.5 * z * z) / std::sqrt(2.0 * std::numbers::pi);
}

// The regularised incomplete gamma functions P(a, x) and Q(a, x) = 1 − P(a, x): the series
// below a + 1, the continued fraction (modified Lentz) above, each to double precision.
double GammaQ(double a, double x) {
  if (!(x > 0.0)) return 1.0;
  const double front = std::exp(-x + a * std::log(x) - std::lgamma(a));
  if (x < a + 1.0) {
    double term = 1.0 / a, sum = term;
    for (int n = 1; n < 1000 && std::abs(term) > std::abs(sum) * 1e-16; ++n) {
      term *= x / (a + n);
      sum += term;
    }
    return std::clamp(1.0 - front * sum, 0.0, 1.0);
  }
  constexpr double TINY = 1e-300;
  double b = x + 1.0 - a, c = 1.0 / TINY, d = 1.0 / b, h = d;
  for (int i = 1; i < 1000; ++i) {
    const double an = -i * (i - a);
    b += 2.0;
    d = an * d + b;
    if (std::abs(d) < TINY) d = TINY;
    c = b + an / c;
    if (std::abs(c) < TINY) c = TINY;
    d = 1.0 / d;
    const double step = d * c;
    h *= step;
    if (std::abs(step - 1.0) < 1e-16) break;
  }
  return std::clamp(front * h, 0.0, 1.0);
}

}  // namespace

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
    const double density = NormalDensity(z);
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

double ChiSquareUpperTail(double f, double x) {
  if (!(f > 0.0)) return 0.0;
  return GammaQ(0.5 * f, 0.5 * x);
}

double ChiSquareUpperQuantile(double f, double p) {
  if (!(f > 0.0)) return 0.0;
  if (!(p > 0.0)) return INFINITY;
  if (!(p < 1.0)) return 0.0;
  // Wilson-Hilferty brackets the value; bisection on the exact tail in the logarithm of x.
  const double z = NormalUpperQuantile(p);
  const double c = 2.0 / (9.0 * f);
  const double root = std::max(1.0 - c + z * std::sqrt(c), 0.05);
  double guess = f * root * root * root;
  double low = guess, high = guess;
  while (ChiSquareUpperTail(f, low) < p && low > 1e-300) low *= 0.5;
  while (ChiSquareUpperTail(f, high) > p && high < 1e300) high *= 2.0;
  for (int i = 0; i < 200 && high - low > 1e-12 * high; ++i) {
    const double mid = 0.5 * (low + high);
    (ChiSquareUpperTail(f, mid) > p ? low : high) = mid;
  }
  return 0.5 * (low + high);
}

double NonCentralChiSquare3UpperTail(double x, double lambda) {
  if (x <= 0.0) return 1.0;
  const double mu = std::sqrt(std::max(lambda, 0.0));
  if (mu < 1e-6) return ChiSquare3UpperTail(x);
  // The length R of the vector has the density (r/μ)(φ(r−μ) − φ(r+μ)); integrated from R up.
  const double r = std::sqrt(x);
  return NormalUpperTail(r - mu) + NormalUpperTail(r + mu) +
         (NormalDensity(r - mu) - NormalDensity(r + mu)) / mu;
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

TestLevels LevelsFor(double critical_w, double beta0) {
  TestLevels levels;
  levels.critical_w = critical_w;
  levels.alpha0 = 2.0 * NormalUpperTail(critical_w);
  levels.beta0 = beta0;
  // A bias of δ0 standard deviations of w moves |w| past the critical value with probability β0
  // (the far tail, below −critical, is left out as usual).
  levels.delta0 = critical_w + NormalUpperQuantile(1.0 - beta0);
  levels.critical_chi2 = ChiSquareUpperQuantile(3.0, levels.alpha0);
  // The tail grows with λ: bisection between δ0² and a bound it stays below.
  double low = levels.delta0 * levels.delta0, high = 4.0 * low + 50.0;
  for (int i = 0; i < 200 && high - low > 1e-12 * high; ++i) {
    const double mid = 0.5 * (low + high);
    (NonCentralChiSquare3UpperTail(levels.critical_chi2, mid) < beta0 ? low : high) = mid;
  }
  levels.lambda0 = 0.5 * (low + high);
  return levels;
}

}  // namespace fenwix

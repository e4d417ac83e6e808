#include "geodesy/intersection.h"

#include <algorithm>
#include <cmath>

#include "geodesy/angles.h"
#include "geodesy/bracket_search.h"
#include "geodesy/ellipsoid.h"
#include "geodesy/geodesic.h"

namespace fenwix {

namespace {

// The searches judge candidates by azimuths and lengths only, never by the chord, so any e2
// would do; the one of the ellipsoid keeps the chord meaningful.
struct Surface {
  double a;
  double e2;
  double inv_f;
};

InverseResult Inverse(const Surface& el, double phi1, double lam1, double phi2, double lam2) {
  return GeodesicInverse(el.a, el.e2, el.inv_f, phi1, lam1, phi2, lam2);
}

DirectResult Direct(const Surface& el, double phi1, double lam1, double azimuth, double s) {
  return GeodesicDirect(el.a, el.inv_f, phi1, lam1, azimuth, s);
}

// Sum over all known points of the squared difference between the distance to the candidate
// and the observed distance.
double DistanceMisfitSum(const Surface& el, std::span<const KnownDistance> known, double phi,
                         double lam) {
  double sum = 0.0;
  for (const KnownDistance& k : known) {
    const double d = Inverse(el, k.phi, k.lam, phi, lam).s - k.distance;
    sum += d * d;
  }
  return sum;
}

// A found point that is not a number (from input that is not) is no answer.
IntersectionResult Found(double phi, double lam) {
  if (std::isnan(phi) || std::isnan(lam)) return IntersectionResult{false, NAN, NAN};
  return IntersectionResult{true, phi, lam};
}

const IntersectionResult NOT_FOUND{false, NAN, NAN};

// The point lies within bound of the observed distance from k (false when anything is NaN).
bool KeepsDistance(const Surface& el, const KnownDistance& k, double phi, double lam,
                   double bound) {
  return std::fabs(Inverse(el, k.phi, k.lam, phi, lam).s - k.distance) <= bound;
}

// The search's step halves the bracket towards the smaller of its two probes, which cuts the
// answer away when the misfit rises much faster on one side of it (a distance misfit does, near
// a small or distant circle). Where the signed misfit changes sign once over [lo, hi], bisection
// on that sign finds the answer instead: the probe at the end of the final bracket nearer to
// zero. Nothing when the sign does not change, a probe is not a number, or after cap steps.
template <class SignedMisfitAt>
IntersectionResult Bisect(double lo, double hi, double tolerance, int cap, SignedMisfitAt misfit) {
  Probe at_lo = misfit(lo);
  Probe at_hi = misfit(hi);
  if (!(at_lo.misfit * at_hi.misfit <= 0.0)) return NOT_FOUND;
  for (int steps = 0; std::fabs(hi - lo) > tolerance; ++steps) {
    if (steps >= cap) return NOT_FOUND;
    const double m = (lo + hi) / 2.0;
    const Probe at_m = misfit(m);
    if (std::isnan(at_m.misfit)) return NOT_FOUND;
    if ((at_m.misfit <= 0.0) == (at_lo.misfit <= 0.0)) {
      lo = m;
      at_lo = at_m;
    } else {
      hi = m;
      at_hi = at_m;
    }
  }
  const Probe& best = std::fabs(at_lo.misfit) <= std::fabs(at_hi.misfit) ? at_lo : at_hi;
  return IntersectionResult{true, best.phi, best.lam};
}

// The found point F or its mirror F2, whichever fits all distances better; F wins ties. A sum
// that is NaN (a geodesic that did not converge) loses to one that is a number.
IntersectionResult Choose(const Surface& el, std::span<const KnownDistance> known, double phi,
                          double lam, const DirectResult& mirror) {
  const double sum_f = DistanceMisfitSum(el, known, phi, lam);
  const double sum_f2 = DistanceMisfitSum(el, known, mirror.phi2, mirror.lam2);
  const bool mirror_better = std::isnan(sum_f) ? !std::isnan(sum_f2) : sum_f2 < sum_f;
  return mirror_better ? Found(mirror.phi2, mirror.lam2) : Found(phi, lam);
}

}  // namespace

IntersectionResult IntersectAzimuths(double a, double inv_f, double phi1, double lam1,
                                     double azimuth1, double phi2, double lam2, double azimuth2,
                                     double tolerance, int cap) {
  const Surface el{a, EccentricitySquaredOf(a, inv_f), inv_f};
  const auto misfit = [&](double t) {
    const DirectResult probe = Direct(el, phi1, lam1, azimuth1, t);
    const InverseResult sight = Inverse(el, phi2, lam2, probe.phi2, probe.lam2);
    return Probe{std::sin(std::fabs(SmallestAngleDifference(sight.alpha12, azimuth2))) * sight.s,
                 probe.phi2, probe.lam2};
  };
  const BracketOutcome outcome = BracketSearch(0.0, AZIMUTH_SEARCH_LENGTH, tolerance, cap, misfit);
  if (!outcome.converged) return NOT_FOUND;
  // Lines that meet behind P1 (or within a tolerance of it) hold the bracket at the start of the
  // ray: the search ends on P1 itself.
  if (!(outcome.lo > 0.0)) return NOT_FOUND;
  // Ahead of P2 along its sight, not behind it where the line meets an opposed ray, and on that
  // line rather than at the nearest point of a ray that misses it.
  const InverseResult sight = Inverse(el, phi2, lam2, outcome.phi, outcome.lam);
  const double turn = SmallestAngleDifference(sight.alpha12, azimuth2);
  const double along = std::cos(turn) * sight.s;
  const double offset = std::sin(std::fabs(turn)) * sight.s;
  if (!(along > tolerance) || !(offset <= INTERSECTION_CHECK_FACTOR * tolerance)) return NOT_FOUND;
  return Found(outcome.phi, outcome.lam);
}

IntersectionResult IntersectAzimuthDistances(double a, double inv_f, double phi0, double lam0,
                                             double azimuth0, std::span<const KnownDistance> known,
                                             double tolerance, int cap) {
  if (known.empty()) return NOT_FOUND;
  const Surface el{a, EccentricitySquaredOf(a, inv_f), inv_f};
  const KnownDistance& q1 = known[0];
  const InverseResult to_q1 = Inverse(el, phi0, lam0, q1.phi, q1.lam);
  // Distance along the ray to the foot of the perpendicular from Q1.
  const double g = std::cos(AngleFromTo(azimuth0, to_q1.alpha12)) * to_q1.s;
  const auto misfit = [&](double t) {
    const DirectResult probe = Direct(el, phi0, lam0, azimuth0, t);
    const double d = Inverse(el, q1.phi, q1.lam, probe.phi2, probe.lam2).s - q1.distance;
    return Probe{d * d, probe.phi2, probe.lam2};
  };
  const double lo = std::max(g, 0.0);
  const double hi = 2.0 * (to_q1.s + q1.distance);
  const BracketOutcome outcome = BracketSearch(lo, hi, tolerance, cap, misfit);
  if (!outcome.converged) return NOT_FOUND;
  IntersectionResult f{true, outcome.phi, outcome.lam};
  const double bound = INTERSECTION_CHECK_FACTOR * tolerance;
  if (!KeepsDistance(el, q1, f.phi, f.lam, bound)) {
    // Beyond the foot of Q1 the distance from Q1 only grows, so it passes d1 once if the ray
    // meets the circle ahead at all; a ray that misses leaves the sign unchanged.
    f = Bisect(lo, hi, tolerance, cap, [&](double t) {
      const DirectResult probe = Direct(el, phi0, lam0, azimuth0, t);
      return Probe{Inverse(el, q1.phi, q1.lam, probe.phi2, probe.lam2).s - q1.distance, probe.phi2,
                   probe.lam2};
    });
    if (!f.found || !KeepsDistance(el, q1, f.phi, f.lam, bound)) return NOT_FOUND;
  }

  // With the foot behind the start the ray meets the circle only once ahead of it.
  if (g <= 0.0) return Found(f.phi, f.lam);
  const double s = Inverse(el, phi0, lam0, f.phi, f.lam).s;
  const double t2 = g - (s - g);
  if (t2 <= 0.0) return Found(f.phi, f.lam);
  if (known.size() == 1) return NOT_FOUND;
  const DirectResult mirror = Direct(el, phi0, lam0, azimuth0, t2);
  return Choose(el, known, f.phi, f.lam, mirror);
}

IntersectionResult IntersectDistances(double a, double inv_f, std::span<const KnownDistance> known,
                                      double tolerance, int cap) {
  // Two circles cross twice and nothing could choose between the crossings.
  if (known.size() <= 2) return NOT_FOUND;
  const Surface el{a, EccentricitySquaredOf(a, inv_f), inv_f};
  const KnownDistance& q1 = known[0];
  const KnownDistance& q2 = known[1];
  const auto misfit = [&](double w) {
    const DirectResult probe = Direct(el, q1.phi, q1.lam, w, q1.distance);
    const double d = Inverse(el, q2.phi, q2.lam, probe.phi2, probe.lam2).s - q2.distance;
    return Probe{d * d, probe.phi2, probe.lam2};
  };
  const BracketOutcome outcome = BracketSearch(0.0, TWO_PI, tolerance, cap, misfit);
  if (!outcome.converged) return NOT_FOUND;
  const double u12 = Inverse(el, q1.phi, q1.lam, q2.phi, q2.lam).alpha12;
  IntersectionResult f{true, outcome.phi, outcome.lam};
  // The bracket is an angle at Q1; on the circle it spans tolerance · d1.
  const double bound = INTERSECTION_CHECK_FACTOR * tolerance * std::fabs(q1.distance);
  if (!KeepsDistance(el, q2, f.phi, f.lam, bound)) {
    // Along the first circle the distance from Q2 grows from its point nearest Q2 (towards
    // u12) to the farthest, so it passes d2 once on that half if the circles meet; circles
    // that do not meet leave the sign unchanged.
    f = Bisect(u12, u12 + PI, tolerance, cap, [&](double w) {
      const DirectResult probe = Direct(el, q1.phi, q1.lam, w, q1.distance);
      return Probe{Inverse(el, q2.phi, q2.lam, probe.phi2, probe.lam2).s - q2.distance, probe.phi2,
                   probe.lam2};
    });
    if (!f.found || !KeepsDistance(el, q2, f.phi, f.lam, bound)) return NOT_FOUND;
  }

  // The other crossing is the mirror image of the found one in the line Q1-Q2.
  const double uf = Inverse(el, q1.phi, q1.lam, f.phi, f.lam).alpha12;
  const DirectResult mirror = Direct(el, q1.phi, q1.lam, AddAngles(u12, -(uf - u12)), q1.distance);
  return Choose(el, known, f.phi, f.lam, mirror);
}

}  // namespace fenwix

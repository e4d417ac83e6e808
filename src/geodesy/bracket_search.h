#pragma once
// The bracketing step shared by the intersection searches: a one-parameter family of candidate
// points is narrowed by comparing the misfit of two probes either side of the bracket's
// midpoint. It finds a minimum of a misfit that falls towards it from both sides; it does not
// check that the minimum is a good fit.

#include <cmath>

namespace fenwix {

// One evaluated candidate: its misfit (smaller is better) and its position, radians.
struct Probe {
  double misfit;
  double phi;
  double lam;
};

struct BracketOutcome {
  bool converged;  // the bracket narrowed to the tolerance within the step cap
  double phi;      // the probe at m - q of the final step (meaningful only when converged)
  double lam;
  int steps;  // steps taken
  double lo;  // the final bracket; lo still at its start means no step ever moved it up
  double hi;
};

// Runs the search on [lo, hi]. Each step evaluates misfit(m + q), then misfit(m - q); when the
// second is strictly smaller hi = m, otherwise (ties included) lo = m; a NaN misfit (a probe
// whose geodesic did not converge) counts as larger than any number; then
// m = (lo + hi) / 2 and q = |hi - lo| / 4. It converges as soon as |hi - lo| <= tolerance after a
// step and fails when `cap` steps have not done so (at least one step is always taken). The
// delivered point is the last probe, at m - q of the final step; the final bracket comes with it.
template <class MisfitAt>
BracketOutcome BracketSearch(double lo, double hi, double tolerance, int cap, MisfitAt misfit) {
  double m = (lo + hi) / 2.0;
  double q = std::fabs(hi - lo) / 4.0;
  for (int steps = 1;; ++steps) {
    const Probe plus = misfit(m + q);
    const Probe minus = misfit(m - q);
    // A probe that could not be evaluated (NaN) is the worst; equal misfits move lo.
    const bool minus_better =
        std::isnan(plus.misfit) ? !std::isnan(minus.misfit) : minus.misfit < plus.misfit;
    if (minus_better) {
      hi = m;
    } else {
      lo = m;
    }
    m = (lo + hi) / 2.0;
    q = std::fabs(hi - lo) / 4.0;
    if (std::fabs(hi - lo) <= tolerance) {
      return BracketOutcome{true, minus.phi, minus.lam, steps, lo, hi};
    }
    if (steps >= cap) return BracketOutcome{false, NAN, NAN, steps, lo, hi};
  }
}

}  // namespace fenwix

#pragma once
// What follows a robust start: the observations it weighted to (nearly) nothing are set aside,
// the rest is adjusted by ordinary least squares (it settles: a gross blunder no longer pulls
// it), and each set-aside observation is then tested against that adjustment as if it were in
// it. A blunder that throws the approximate positions far off is thus tested against a network
// it never pulled, and one that was set aside only because its neighbour pulled it comes back.
//
// The test of an observation left out of an adjustment, with its misclosure e (computed −
// observed) and the cofactor Q of its adjusted value, uses M = C + Q (C its own covariance):
// w = e / √M for one component, eᵀM⁻¹e for a vector; the same values the ordinary w-test gives
// it inside the adjustment (in the linear model), with redundancy r = C M⁻¹.

#include <cstdint>
#include <vector>

#include "adjust/adjustment_input.h"
#include "adjust/network_layout.h"
#include "adjust/observation_geometry.h"
#include "adjust/observation_tests.h"
#include "adjust/station_precision.h"
#include "adjust/test_statistics.h"

namespace fenwix {

// The robust start keeps an observation's full weight up to this misfit in SDs (times the
// misfits' scale), cuts it as e^(1 − (u/cut)²) beyond, never below the floor (so that every
// station stays fixed).
inline constexpr double ROBUST_CUT = 3.0;
inline constexpr double ROBUST_FLOOR = 1e-8;

// The robust weight factor of each active observation from its misfit in SDs. The misfits are
// measured against their scale: 1.4826 × their median (a normal's SD from its median absolute
// value), never below 1. From approximate positions a few centimetres off every observation
// misfits by tens of SDs; against the scale only the blunder stands out, and the scale falls to
// 1 as the positions settle.
void RobustWeights(const std::vector<double>& misfit, const std::vector<char>& active,
                   std::vector<double>& robust);

// A robust weight factor below this sets its observation aside.
inline constexpr double SET_ASIDE_WEIGHT = 1e-3;

// The active observations whose robust weight factor is below SET_ASIDE_WEIGHT, made inactive.
std::vector<int32_t> SetAside(const std::vector<double>& robust, std::vector<char>& active);

// The test observation obs would have in the adjustment whose unknowns' cofactors are given,
// linearised at the adjusted positions; the minimal detectable bias per unit of non-centrality
// (as TestObservations gives it). solve stands in where a cofactor block is not at hand. It is
// tested whatever its redundancy: its rejection cannot leave a station undetermined, the
// adjustment already stands without it.
// chi2, when given, receives eᵀM⁻¹e (w² for one component).
ObservationTest LeftOutTest(const AdjustmentObservation& obs,
                            const adjust_geometry::Linearised& lin, const StationUnknowns& unknowns,
                            const CofactorBlock& cofactor, const CofactorSolve& solve,
                            double* chi2 = nullptr);

// What becomes of the set-aside observations after the adjustment without them: each one whose
// stations lie in one part of the adjusted network is tested (into tests, the minimal
// detectable bias scaled to levels); those with |w| above critical_w are returned, the largest
// first, to be rejected; the others come back into active. Those whose stations the adjustment
// no longer holds stay out and are counted in left_out. stations give each station's part.
struct SetAsideOutcome {
  std::vector<int32_t> rejected;
  int32_t brought_back = 0;
  int32_t left_out = 0;
  // The tested set-aside observations' share of the global test had they been in: the sum of
  // their eᵀM⁻¹e and their observed components.
  double vtpv = 0.0;
  int64_t components = 0;
};
SetAsideOutcome SettleSetAside(const AdjustmentInput& input, const std::vector<int32_t>& set_aside,
                               const std::vector<StationPrecision>& stations,
                               const adjust_geometry::Geometry& geometry,
                               const StationUnknowns& unknowns, const CofactorBlock& cofactor,
                               const CofactorSolve& solve, const TestLevels& levels,
                               double critical_w, std::vector<char>& active,
                               std::vector<ObservationTest>& tests);

}  // namespace fenwix

#pragma once
// The tests of a round's observations at the adjusted positions: each observation's residual,
// redundancy number, w-test value and minimal detectable bias per unit of non-centrality, from
// the cofactors of the unknowns (the selected inverse of the normals); and what the round sums
// up per kind of observation for its global test and group factors.

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

#include "adjust/adjustment_input.h"
#include "adjust/network_layout.h"
#include "adjust/observation_geometry.h"

namespace fenwix {

// An observation with a redundancy number below this is uncontrolled: a blunder in it cannot
// be told from the rest of the network.
inline constexpr double UNCONTROLLED_REDUNDANCY = 0.1;
// Below this redundancy number the w-test is not applied: its residual is too small to tell
// anything, and rejecting the observation could leave a station undetermined.
inline constexpr double TESTED_REDUNDANCY = 0.01;

// The test of one observation (an angle, a distance or a whole vector).
struct ObservationTest {
  int32_t index = -1;          // into AdjustmentInput::observations
  bool active = false;         // part of the final adjustment
  bool tested = false;         // its redundancy allows the w-test
  int32_t rejected_round = 0;  // round of data snooping that rejected it, 0 when kept
  // Per component (only [0] for angles and distances): residual adjusted − observed (meters
  // or radians), w-test value, redundancy number, minimal detectable bias and the estimated
  // error −v/r (in the observation's unit).
  std::array<double, 3> v{};
  std::array<double, 3> w{};
  std::array<double, 3> r{};
  std::array<double, 3> mdb{};
  std::array<double, 3> estimated_error{};
  // The test of the whole observation as a normal w-value: w itself for one component, for a
  // vector the value of equal probability to its χ² with three degrees of freedom.
  double w_whole = 0.0;
  // Smallest redundancy number of its components.
  double r_min = 0.0;
  // Its external reliability: how far a blunder of its MDB, left undetected, moves one of its
  // own stations (meters; for a vector the largest over a blunder in each component). NaN where
  // the observation is not tested.
  double external = std::numeric_limits<double>::quiet_NaN();
};

// Block (s, t) of the unknowns' cofactor matrix N⁻¹, k_s × k_t row-major; asked only for
// stations with unknowns that share an observation, or for one station.
using CofactorBlock = std::function<void(int32_t s, int32_t t, double* out)>;

struct KindSums {
  int32_t count = 0;        // active observations
  double redundancy = 0.0;  // their share of the degrees of freedom
  double vtpv = 0.0;
  std::vector<double> sds;  // a priori SD of each (a vector's: the mean of its components)
};

struct RoundSums {
  double vtpv = 0.0;
  int64_t components = 0;  // observed numbers: 3 per vector, 1 per angle or distance
  int32_t tests = 0;       // observations w-tested
  std::array<KindSums, ADJUSTED_KIND_COUNT> kinds;
};

// The tests of the active observations into tests[i] (the MDB per unit of non-centrality: δ for
// one component, √λ for a vector); the others only marked inactive. weights[i] is the inverse
// covariance of vector i. Nothing when cancelled() says so (asked every few thousand).
std::optional<RoundSums> TestObservations(
    const AdjustmentInput& input, const std::vector<char>& active,
    const std::vector<adjust_geometry::Mat3>& weights, const adjust_geometry::Geometry& geometry,
    const StationUnknowns& unknowns, const CofactorBlock& cofactor,
    std::vector<ObservationTest>& tests, const std::function<bool()>& cancelled);

// The least share of a vector's own precision that the network leaves to its residuals, over
// every direction: the smallest eigenvalue of Q_vv against the vector's covariance C.
double SmallestRedundancy(const adjust_geometry::Mat3& qvv, const adjust_geometry::Mat3& cov);

}  // namespace fenwix

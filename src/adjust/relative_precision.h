#pragma once
// The relative precision of the stations measured to each other: for each pair joined by an
// observation (the instrument or a vector's base and each of its targets), the error ellipse of
// the one relative to the other, C_ii + C_jj − C_ij − C_ji from the unknowns' cofactor blocks
// (which the same datum translation leaves alone), at 95 %, against an allowance of a fixed
// part plus parts per million of the horizontal distance.

#include <cstdint>
#include <vector>

#include "adjust/adjustment_input.h"
#include "adjust/network_layout.h"
#include "adjust/observation_geometry.h"
#include "adjust/observation_tests.h"

namespace fenwix {

// The allowance of a pair's 95 % semi-major axis: millimetres plus parts per million.
struct RelativeStandard {
  double mm = 20.0;
  double ppm = 50.0;
};

struct RelativePrecision {
  int32_t from = -1;  // station indices, from < to
  int32_t to = -1;
  double distance = 0.0;  // horizontal, meters
  double major = 0.0;     // 95 % ellipse semi-axes of to relative to from, meters
  double minor = 0.0;
  double azimuth = 0.0;  // of the major axis in from's level frame, radians
  double allowed = 0.0;  // meters
  double ratio = 0.0;    // major / allowed
  bool exceeded = false;
};

// The geocentric cross covariance of stations s and t (B_s Z_st B_tᵀ; zero for a held one).
adjust_geometry::Mat3 CrossCovariance(const StationUnknowns& unknowns,
                                      const CofactorBlock& cofactor, int32_t s, int32_t t);

// Every pair of stations of the same part joined by an active observation, once, the largest
// ratio first (then in station order). part: each station's part, -1 when left out.
std::vector<RelativePrecision> ComputeRelativePrecision(
    const AdjustmentInput& input, const std::vector<char>& active,
    const std::vector<adjust_geometry::Frame>& frames, const std::vector<double>& positions,
    const std::vector<int32_t>& part, const StationUnknowns& unknowns,
    const CofactorBlock& cofactor, const RelativeStandard& standard);

}  // namespace fenwix

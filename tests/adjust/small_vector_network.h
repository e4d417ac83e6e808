#pragma once
// A small GNSS network shared by the adjustment tests whose oracle is a dense solution.

#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "adjust/adjustment_input.h"
#include "adjust/observation_geometry.h"

namespace fenwix::test {

// Six stations a few hundred metres apart tied by GNSS vectors; station 5 hangs on two poor
// vectors, and `pendant` adds a seventh station on a single vector from station 5 (nothing
// checks that vector). The dense oracle works on plain geocentric coordinates, where the
// pseudo-inverse of the normals is the minimum-trace cofactor matrix.
inline AdjustmentInput SmallVectorNetwork(bool pendant = false) {
  AdjustmentInput input;
  const double deg = std::numbers::pi / 180.0;
  const double north[7] = {0, 0.004, 0.001, 0.005, 0.0025, 0.009, 0.011};
  const double east[7] = {0, 0.001, 0.006, 0.005, 0.003, 0.0045, 0.008};
  const int count = pendant ? 7 : 6;
  for (int s = 0; s < count; ++s) {
    AdjustmentStation st;
    st.name = "P" + std::to_string(s + 1);
    st.has_position = true;
    st.latitude = (45.0 + north[s]) * deg;
    st.longitude = (7.0 + east[s]) * deg;
    st.height = 300.0 + 3.0 * s;
    input.stations.push_back(st);
  }
  std::vector<std::array<double, 3>> xyz;
  for (int s = 0; s < count; ++s) xyz.push_back(StationPosition(input, s));
  std::vector<std::array<int, 2>> pairs = {{0, 1}, {0, 2}, {1, 2}, {1, 3}, {2, 3},
                                           {0, 4}, {4, 3}, {2, 4}, {3, 5}, {4, 5}};
  if (pendant) pairs.push_back({5, 6});
  int k = 0;
  for (const auto& [a, b] : pairs) {
    AdjustmentObservation obs;
    obs.kind = AdjustedKind::GnssVector;
    obs.at = a;
    obs.fore = b;
    const double sd = b == 5 ? 0.03 : 0.002 + 0.0005 * (k % 3);
    // Slightly correlated, larger in height, and a few millimetres off so the test has residuals.
    obs.covariance = {sd * sd, 0.2 * sd * sd, sd * sd * 1.3, 0.1 * sd * sd, 0.0, sd * sd * 2.5};
    for (size_t c = 0; c < 3; ++c)
      obs.value[c] = xyz[static_cast<size_t>(b)][c] - xyz[static_cast<size_t>(a)][c] +
                     0.001 * std::sin(3.0 * k + static_cast<double>(c));
    obs.record = k++;
    input.observations.push_back(obs);
  }
  return input;
}

}  // namespace fenwix::test

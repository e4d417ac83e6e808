#include <array>
#include <vector>

#include "adjust/observation_geometry.h"
#include "geodesy/coordinates.h"

namespace fenwix {

using namespace adjust_geometry;

std::array<double, 3> StationPosition(const AdjustmentInput& input, int32_t station) {
  const AdjustmentStation& s = input.stations[static_cast<size_t>(station)];
  const Cartesian c = GeodeticToCartesian(input.a, input.e2, s.latitude, s.longitude, s.height);
  return {c.x, c.y, c.z};
}

std::array<double, 3> ComputedValue(const AdjustmentInput& input, const AdjustmentObservation& obs,
                                    const std::vector<double>& positions) {
  // The observation between its own two or three stations only, renumbered 0, 1 and 2, so that
  // one value costs the same in a job of any size.
  int32_t st[3];
  const int n = StationsOf(obs, st);
  std::vector<Frame> frames(static_cast<size_t>(n));
  std::vector<double> local(static_cast<size_t>(n) * 3);
  for (int k = 0; k < n; ++k) {
    const auto s = static_cast<size_t>(st[k]);
    frames[static_cast<size_t>(k)] =
        FrameAt(input.stations[s].latitude, input.stations[s].longitude);
    for (size_t c = 0; c < 3; ++c) local[static_cast<size_t>(k) * 3 + c] = positions[s * 3 + c];
  }
  AdjustmentObservation renumbered = obs;
  renumbered.at = 0;
  renumbered.fore = 1;
  renumbered.back = 2;
  const Geometry geometry{input, frames, local};
  const Linearised lin = geometry.Linearise(renumbered);
  return {lin.misclosure[0] + obs.value[0], lin.misclosure[1] + obs.value[1],
          lin.misclosure[2] + obs.value[2]};
}

}  // namespace fenwix

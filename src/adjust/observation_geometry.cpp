#include <array>
#include <vector>

#include "adjust/network_adjustment.h"
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
  std::vector<Frame> frames(input.stations.size());
  int32_t st[3];
  const int n = StationsOf(obs, st);
  for (int k = 0; k < n; ++k) {
    const AdjustmentStation& s = input.stations[static_cast<size_t>(st[k])];
    frames[static_cast<size_t>(st[k])] = FrameAt(s.latitude, s.longitude);
  }
  const Geometry geometry{input, frames, positions};
  const Linearised lin = geometry.Linearise(obs);
  return {lin.misclosure[0] + obs.value[0], lin.misclosure[1] + obs.value[1],
          lin.misclosure[2] + obs.value[2]};
}

}  // namespace fenwix

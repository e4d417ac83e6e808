#pragma once
// How a station came by its approximate coordinates, one entry per station row; kept beside the
// station table by whoever computed them, for the drawings that tell the kinds apart.

#include <cstdint>

namespace fenwix {

enum class StationPlacement : uint8_t {
  None,         // no coordinates computed
  Seed,         // known before the propagation: the seed station
  Observed,     // carried from one known station by a GPS vector or a polar sight
  Intersected,  // placed by an intersection of what several known stations saw
};

}  // namespace fenwix

#include "model/records.h"

namespace fenwix {

void ClearStation(StationRecord& station) {
  station = StationRecord{};
}

void ClearObservation(ObsRecord& obs) {
  obs = ObsRecord{};
}

}  // namespace fenwix

#include "model/records.h"

#include <algorithm>
#include <iterator>

namespace fenwix {

void ClearStation(StationRecord& station) {
  station = StationRecord{};
}

// The names are emptied in place: the record is cleared for every reading, and its strings keep
// their room for the next one.
void ClearObservation(ObsRecord& obs) {
  static_cast<ObsValues&>(obs) = ObsValues{};
  obs.at_name.clear();
  obs.fore_name.clear();
  obs.back_name.clear();
  obs.description.clear();
}

ObsRow ObsRow::Pack(const ObsValues& values) {
  ObsRow row;
  row.kind = values.kind;
  row.linear_unit = values.linear_unit;
  row.angle_unit = values.angle_unit;
  if (row.Vector()) {
    const double numbers[9] = {values.dx, values.dy,  values.dz,  values.sx, values.sy,
                               values.sz, values.cxy, values.cxz, values.cyz};
    std::copy(std::begin(numbers), std::end(numbers), row.numbers_);
  } else {
    const double numbers[5] = {values.horiz_angle, values.zenith, values.slope_dist,
                               values.instr_height, values.target_height};
    std::copy(std::begin(numbers), std::end(numbers), row.numbers_);
  }
  return row;
}

ObsValues ObsRow::Values() const {
  ObsValues values;
  values.kind = kind;
  values.linear_unit = linear_unit;
  values.angle_unit = angle_unit;
  values.horiz_angle = horiz_angle();
  values.zenith = zenith();
  values.slope_dist = slope_dist();
  values.dx = dx();
  values.dy = dy();
  values.dz = dz();
  values.sx = sx();
  values.sy = sy();
  values.sz = sz();
  values.cxy = cxy();
  values.cxz = cxz();
  values.cyz = cyz();
  values.instr_height = instr_height();
  values.target_height = target_height();
  return values;
}

}  // namespace fenwix

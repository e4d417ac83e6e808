#include "model/units.h"

namespace fenwix {

double LinearFactor(int32_t code) {
  if (code == LINEAR_UNIT_INTERNATIONAL_FOOT) return INTERNATIONAL_FEET_PER_METER;
  if (code == LINEAR_UNIT_US_FOOT) return US_FEET_PER_METER;
  return 1.0;
}

double AngleSigmaFactor(int32_t code) {
  if (code == ANGLE_UNIT_CODE_GONS) return CENTESIMAL_SECONDS_PER_RADIAN / ARC_SECONDS_PER_RADIAN;
  return 1.0;
}

}  // namespace fenwix

#include "model/units.h"

namespace fenwix {

double LinearFactor(LinearUnit unit) {
  if (unit == LinearUnit::InternationalFoot) return INTERNATIONAL_FEET_PER_METER;
  if (unit == LinearUnit::UsFoot) return US_FEET_PER_METER;
  return 1.0;
}

double AngleSigmaFactor(AngleUnit unit) {
  if (unit == AngleUnit::Gons) return CENTESIMAL_SECONDS_PER_RADIAN / ARC_SECONDS_PER_RADIAN;
  return 1.0;
}

}  // namespace fenwix

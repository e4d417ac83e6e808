#pragma once
// The factors of the units carried by stations and observations. Values inside the records are
// always meters and radians; a unit only says in which unit a record is written.

#include "geodesy/units.h"

namespace fenwix {

// International feet per meter (1 / 0.3048), as the adjustment program uses it.
inline constexpr double INTERNATIONAL_FEET_PER_METER = 3.28083989501312;
// US survey feet per meter (3937 / 1200).
inline constexpr double US_FEET_PER_METER = 3.28083333333333;
// Centesimal seconds per radian (gons per radian times 10000).
inline constexpr double CENTESIMAL_SECONDS_PER_RADIAN = 636619.7723675814;
// Arc-seconds per radian.
inline constexpr double ARC_SECONDS_PER_RADIAN = 206264.80624709636;

// Meters to the unit: feet for either foot, 1.0 for meters.
double LinearFactor(LinearUnit unit);
// Arc-seconds to the seconds of the angle unit: centesimal seconds for gons, 1.0 for degrees.
double AngleSigmaFactor(AngleUnit unit);

}  // namespace fenwix

#pragma once
// Unit codes carried by stations and observations. Values inside the records are always meters
// and radians; a code only says in which unit a record is written.

#include <cstdint>

namespace fenwix {

inline constexpr int32_t LINEAR_UNIT_INTERNATIONAL_FOOT = 0;
inline constexpr int32_t LINEAR_UNIT_METER = 1;
inline constexpr int32_t LINEAR_UNIT_US_FOOT = 2;
inline constexpr int32_t ANGLE_UNIT_CODE_DEGREES = 10;
inline constexpr int32_t ANGLE_UNIT_CODE_GONS = 11;

// International feet per meter (1 / 0.3048), as the adjustment program uses it.
inline constexpr double INTERNATIONAL_FEET_PER_METER = 3.28083989501312;
// US survey feet per meter (3937 / 1200).
inline constexpr double US_FEET_PER_METER = 3.28083333333333;
// Centesimal seconds per radian (gons per radian times 10000).
inline constexpr double CENTESIMAL_SECONDS_PER_RADIAN = 636619.7723675814;
// Arc-seconds per radian.
inline constexpr double ARC_SECONDS_PER_RADIAN = 206264.80624709636;

// Meters to the unit of the code: feet for codes 0 and 2, 1.0 for every other code.
double LinearFactor(int32_t code);
// Arc-seconds to the seconds of the angle unit: centesimal seconds for gons, 1.0 otherwise.
double AngleSigmaFactor(int32_t code);

}  // namespace fenwix

#pragma once
// The texts of a field file's values as the reader tells them apart, and the words its warnings
// show them in.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "geodesy/units.h"

namespace fenwix {

// Largest angle in gons that a reading of the circle can give.
inline constexpr double FULL_CIRCLE_GONS = 400.0;
// Minutes in a degree and seconds in a minute: packed digits at or above it are not DD.MMSS.
inline constexpr double SEXAGESIMAL_BASE = 60.0;

inline constexpr std::string_view DISTANCE_ADVICE =
    "If the job is in feet, say which: --distance-unit ft (international) or usft (US survey), "
    "or Options → Distance unit";
inline constexpr std::string_view GON_ADVICE =
    "If the job's angles are gons, say so: --angle-unit gon, or Options → Angle unit";
inline constexpr std::string_view DMS_ADVICE =
    "If the job's angles are DD.MMSSsssss, say so: --angle-unit dms, or Options → Angle unit";

// The text without the blanks around it.
std::string_view Trimmed(std::string_view text);
// The unit a distance indicator names, however spelled; none for one not known.
std::optional<LinearUnit> DistanceUnitNamed(std::string_view text);
// The angle unit an angle indicator names, however spelled; none for one not known.
std::optional<AngleUnit> AngleUnitNamed(std::string_view text);
std::string_view LinearUnitName(LinearUnit unit);
std::string_view AngleUnitName(AngleUnit unit);
// Shortest decimal text that reads back as value.
std::string Decimal(double value);
// An angle in degrees as degrees, minutes and seconds to a tenth, e.g. 124°16'30".
std::string DegreesMinutesSeconds(double degrees);

}  // namespace fenwix

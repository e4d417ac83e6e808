#pragma once
// The units a station or an observation can be written in. Values inside the program are always
// meters and radians; a unit only says how a value was given or is to be written.

#include <cstdint>

namespace fenwix {

// The numbers are those the records have always carried; nothing stores them.
enum class LinearUnit : uint8_t { InternationalFoot = 0, Meter = 1, UsFoot = 2 };
// Degrees are written packed as DD.MMSSsssss.
enum class AngleUnit : uint8_t { Degrees = 10, Gons = 11 };

}  // namespace fenwix

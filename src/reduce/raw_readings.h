#pragma once
// What a field file's reader hands on to the reduction besides names and plain numbers: what
// kind of sight a reading is, and which number of a GPS vector a value is. Angles go over in
// radians as read (face two not yet reduced), lengths in the unit in force for the sight; the
// reduction keeps each reading as a RawReading of the reading log (model/reading_log.h), in
// meters, with its SourceLocation.

#include <cstdint>

namespace fenwix {

// What the "ObsType" of a reading says it is.
enum class SightKind : uint8_t { Other, Backsight, BacksightPoint, Foresight, Shotsight };

// The fields of a GPS vector that carry a number.
enum class VectorField : uint8_t { DX, DY, DZ, SX, SY, SZ, CXY, CXZ, CYZ };

}  // namespace fenwix

#pragma once
// What the adjustment test of a job works on: the stations with their approximate positions and
// the observations as the adjustment file states them, each with the standard deviations it is
// written with and the field-file place it came from. Nothing here knows the tables or the XML;
// input_from_tables.h fills it from a conversion.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/source_location.h"

namespace fenwix {

enum class AdjustedKind : uint8_t {
  GnssVector = 0,       // three geocentric components from at to fore, meters
  HorizontalAngle = 1,  // clockwise from back to fore at at, in at's local level frame, radians
  Zenith = 2,           // from the up direction of at, radians
  SlopeDistance = 3,    // instrument to target, meters
};
inline constexpr int ADJUSTED_KIND_COUNT = 4;

inline constexpr double ORDINARY_REFRACTION = 0.13;

struct AdjustmentStation {
  std::string name;
  bool has_position = false;  // false: left out with its observations
  double latitude = 0.0;      // approximate, radians
  double longitude = 0.0;     // radians
  double height = 0.0;        // ellipsoidal, meters
};

struct AdjustmentObservation {
  AdjustedKind kind = AdjustedKind::SlopeDistance;
  int32_t at = 0;    // station index: the instrument, or a vector's base
  int32_t fore = 0;  // the target, or a vector's rover
  int32_t back = 0;  // the backsight of a horizontal angle; unused otherwise
  // The observed value: value[0] for an angle or a distance, all three for a vector.
  std::array<double, 3> value{};
  // Standard deviation of an angle (radians) or a distance (meters).
  double sd = 0.0;
  // A vector's covariance, lower triangle row by row (xx, xy, yy, xz, yz, zz), m².
  std::array<double, 6> covariance{};
  double instrument_height = 0.0;  // along the normal of at, meters
  double target_height = 0.0;      // along the normal of fore, meters
  int32_t record = 0;              // the observation row it was written from
  SourceLocation source;           // where that record started
};

struct AdjustmentInput {
  std::vector<AdjustmentStation> stations;
  std::vector<AdjustmentObservation> observations;
  // The ellipsoid of the approximate positions and of the vectors' frame.
  double a = 6378137.0;
  double e2 = 0.00669438002290;
  // The refraction coefficient of the zenith angles: the line of sight's curvature over the
  // earth's. 0.13 is the ordinary daytime value over land.
  double refraction = ORDINARY_REFRACTION;
};

}  // namespace fenwix

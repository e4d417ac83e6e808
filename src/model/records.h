#pragma once
// The rows of the station table and of the observation table.

#include <cstdint>
#include <string>

#include "model/units.h"

namespace fenwix {

// The value of an observed quantity that was not observed; always tested by exact equality.
inline constexpr double MISSING_VALUE = -999999.153;
// merged_into of a station that stands for itself.
inline constexpr int32_t STATION_NOT_MERGED = -120001;

enum class ObsKind : int32_t { None = -99, AngleSet = 0, Sight = 1, GpsVector = 2 };

struct StationRecord {
  std::string name;
  std::string description;
  double latitude = 0.0;   // radians, positive north
  double longitude = 0.0;  // radians, positive east
  double height = 0.0;     // ellipsoidal, meters
  double north = 0.0;      // local, meters
  double east = 0.0;
  double elevation = 0.0;
  int32_t merged_into = STATION_NOT_MERGED;
  bool coords_known = false;
  int32_t linear_unit = LINEAR_UNIT_METER;
  int32_t angle_unit = ANGLE_UNIT_CODE_DEGREES;
};

// What an observation measured, without the names of its stations.
struct ObsValues {
  ObsKind kind = ObsKind::None;
  int32_t linear_unit = LINEAR_UNIT_METER;
  int32_t angle_unit = ANGLE_UNIT_CODE_DEGREES;
  double horiz_angle = MISSING_VALUE;  // clockwise from back to fore, radians
  double zenith = MISSING_VALUE;       // radians
  double slope_dist = MISSING_VALUE;   // meters
  double dx = MISSING_VALUE;           // GPS components, meters
  double dy = MISSING_VALUE;
  double dz = MISSING_VALUE;
  double sx = 0.0;  // standard deviations of the components, meters
  double sy = 0.0;
  double sz = 0.0;
  double cxy = 0.0;  // correlation coefficients
  double cxz = 0.0;
  double cyz = 0.0;
  double instr_height = 0.0;   // meters
  double target_height = 0.0;  // meters
};

// An observation with the names of its stations, as the reader assembles it field by field.
// Field names follow the survey meaning: at_name is the occupied station (a GPS vector's base),
// fore_name the target (a vector's rover), back_name the reference of an angle set or the
// sighted station of a single sight.
struct ObsRecord : ObsValues {
  std::string at_name;
  std::string fore_name;
  std::string back_name;
  std::string description;
};

// An observation as the observation table keeps it: the same values, its stations as rows of
// the station table (0 for a name not given) and its description as an index into the table's
// list of descriptions (0 for none). A large job holds millions of these, and most jobs repeat
// a few descriptions, so no row owns any text.
struct ObsRow : ObsValues {
  int32_t at = 0;
  int32_t fore = 0;
  int32_t back = 0;
  int32_t description = 0;
};

void ClearStation(StationRecord& station);
void ClearObservation(ObsRecord& obs);

}  // namespace fenwix

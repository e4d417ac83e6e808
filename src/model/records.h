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
  LinearUnit linear_unit = LinearUnit::Meter;
  AngleUnit angle_unit = AngleUnit::Degrees;
};

// What an observation measured, without the names of its stations.
struct ObsValues {
  ObsKind kind = ObsKind::None;
  LinearUnit linear_unit = LinearUnit::Meter;
  AngleUnit angle_unit = AngleUnit::Degrees;
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

// An observation as the observation table keeps it: its stations as rows of the station table
// (0 for a name not given), its description as an index into the table's list of descriptions
// (0 for none), and only the numbers its kind can carry: a vector's components, deviations and
// correlations, or a total-station observation's angles, distance and heights. A large job holds
// millions of these, so no row owns any text and none carries the other kind's numbers.
struct ObsRow {
  int32_t at = 0;
  int32_t fore = 0;
  int32_t back = 0;
  int32_t description = 0;
  ObsKind kind = ObsKind::None;
  LinearUnit linear_unit = LinearUnit::Meter;
  AngleUnit angle_unit = AngleUnit::Degrees;

  // The row of these values. A vector carries no heights and a total-station observation no
  // vector numbers (the reader never gives them any), so nothing is lost.
  static ObsRow Pack(const ObsValues& values);
  ObsValues Values() const;

  double horiz_angle() const { return Vector() ? MISSING_VALUE : numbers_[0]; }
  double zenith() const { return Vector() ? MISSING_VALUE : numbers_[1]; }
  double slope_dist() const { return Vector() ? MISSING_VALUE : numbers_[2]; }
  double instr_height() const { return Vector() ? 0.0 : numbers_[3]; }
  double target_height() const { return Vector() ? 0.0 : numbers_[4]; }
  double dx() const { return Vector() ? numbers_[0] : MISSING_VALUE; }
  double dy() const { return Vector() ? numbers_[1] : MISSING_VALUE; }
  double dz() const { return Vector() ? numbers_[2] : MISSING_VALUE; }
  double sx() const { return Vector() ? numbers_[3] : 0.0; }
  double sy() const { return Vector() ? numbers_[4] : 0.0; }
  double sz() const { return Vector() ? numbers_[5] : 0.0; }
  double cxy() const { return Vector() ? numbers_[6] : 0.0; }
  double cxz() const { return Vector() ? numbers_[7] : 0.0; }
  double cyz() const { return Vector() ? numbers_[8] : 0.0; }

 private:
  bool Vector() const { return kind == ObsKind::GpsVector; }
  // A vector's dx, dy, dz, sx, sy, sz, cxy, cxz, cyz; or the horizontal angle, zenith, slope
  // distance, instrument height and target height of any other kind.
  double numbers_[9] = {MISSING_VALUE, MISSING_VALUE, MISSING_VALUE, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
};

void ClearStation(StationRecord& station);
void ClearObservation(ObsRecord& obs);

}  // namespace fenwix

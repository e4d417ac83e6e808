#pragma once
// What the writers read and update besides the tables: the datum named in the header, the
// default standard deviations and the units of the last "$UNITS" block written.

#include <cstdint>
#include <optional>
#include <string>

#include "geodesy/units.h"

namespace fenwix {

struct WriterState {
  std::string output_datum_name = "WGS 84";
  double output_datum_a = 6378137.0;
  double output_datum_inv_f = 298.257223563;
  double default_angle_sd = 5.0;    // arc-seconds
  double default_zenith_sd = 5.0;   // arc-seconds
  double default_coord_sd = 0.005;  // meters
  // None before the first "$UNITS" block.
  std::optional<LinearUnit> current_linear_unit;
  std::optional<AngleUnit> current_angle_unit;
};

}  // namespace fenwix

#pragma once
// The limits above which a check flags a row. They sit at blunder level (a wrong target, a
// mistyped height, a misread circle), well outside the scatter of good field work, so that a
// clean job flags nothing and a flagged row is worth looking at.

#include <string>
#include <string_view>
#include <vector>

namespace fenwix {

struct CheckLimits {
  // Repeated GNSS vectors: static baselines of a few km repeat to a few mm plus about 1 ppm in
  // plan and twice that in height; 10 mm + 1 ppm and 20 mm + 2 ppm leave room for short sessions.
  double vector_horizontal_mm = 10.0;
  double vector_horizontal_ppm = 1.0;
  double vector_vertical_mm = 20.0;
  double vector_vertical_ppm = 2.0;
  // Loop closures: three vectors close to the same order as one repeated vector; the ppm part is
  // of the loop's length.
  double loop_horizontal_mm = 10.0;
  double loop_horizontal_ppm = 1.0;
  double loop_vertical_mm = 20.0;
  double loop_vertical_ppm = 2.0;
  // 2C: a calibrated instrument shows a few seconds; a minute means a misread or wrong target.
  double collimation_seconds = 60.0;
  // Zenith index error: half the collimation limit, as zenith readings are halved in the index.
  double index_seconds = 30.0;
  // Distance spread between faces: a few mm is normal for EDM; 10 mm is a wrong prism or target.
  double face_distance_mm = 10.0;
  // Prism height on both faces: heights are typed to the millimetre, so any change is a retype.
  double prism_change_mm = 0.5;
  // Closing backsight: 20" is about three times the pointing error of a 5" instrument.
  double backsight_seconds = 20.0;
  double backsight_distance_mm = 10.0;
  // Gross check on approximate coordinates: the coordinates themselves carry decimetres from the
  // propagation, so only metre-level disagreement is a blunder.
  double gross_distance_m = 0.5;
  double gross_distance_ppm = 100.0;
  double gross_angle_minutes = 5.0;
};

// One limit by name, as written in a limits file and in the JSON report.
struct CheckLimitField {
  const char* name;
  double CheckLimits::*value;
};
const std::vector<CheckLimitField>& CheckLimitFields();

// Reads "name = value" lines ('#' starts a comment) over limits. Returns an empty string on
// success, else what is wrong and on which line; limits read before the fault are kept.
std::string ReadCheckLimits(std::string_view text, CheckLimits& limits);

}  // namespace fenwix

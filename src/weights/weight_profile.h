#pragma once
// How precisely the surveyor's instruments measure: the total station's angles and distances
// with the centring of instrument and target, and how far the GNSS processor's standard
// deviations are to be trusted. Plain values: a settings entry or a job file carries one per
// field file, and two profiles with equal numbers are equal.

#include <optional>
#include <string>
#include <string_view>

#include "model/status.h"

namespace fenwix {

// Millimeters in a meter.
inline constexpr double MM_PER_METER = 1000.0;

struct InstrumentProfile {
  double angle_sd = 5.0;              // S: a recorded horizontal angle, arc-seconds
  double zenith_sd = 5.0;             // Z: a zenith angle, arc-seconds
  double distance_sd_mm = 5.0;        // A: constant part of a distance's SD, mm
  double distance_ppm = 0.0;          // P: part proportional to the distance, mm per km
  double instrument_centering = 0.0;  // I: instrument over its mark, mm
  double target_centering = 0.0;      // T: target over its mark, mm

  bool operator==(const InstrumentProfile&) const = default;
  // True when neither the instrument nor the target is off its mark: angles then take S alone.
  bool NoCentering() const { return instrument_centering == 0.0 && target_centering == 0.0; }
};

struct GnssProfile {
  double scale = 1.0;                 // F: factor on the processor's standard deviations
  double horizontal_centering = 0.0;  // H: antenna over its mark, per end, mm
  double vertical_centering = 0.0;    // V: antenna height, per end, mm
  // SD of each component given to a vector whose file carries none, mm; none keeps the zero
  // covariance written for such a vector.
  std::optional<double> fallback_sd;

  bool operator==(const GnssProfile&) const = default;
};

struct WeightProfile {
  InstrumentProfile instrument;
  GnssProfile gnss;

  bool operator==(const WeightProfile&) const = default;
};

// A profile under the name the surveyor gave it (the instrument it describes).
struct NamedWeightProfile {
  std::string name;
  WeightProfile profile;

  bool operator==(const NamedWeightProfile&) const = default;
};

// The name of the profile that holds the defaults.
inline constexpr std::string_view DEFAULT_PROFILE_NAME = "Default";

// Largest value a profile takes. Far beyond any instrument, and small enough that the squares
// and sums of the weighting formulas stay finite.
inline constexpr double PROFILE_VALUE_MAX = 1e6;

// Refuses a value that cannot be a profile's, saying why. scale is true for F, which must also
// be above zero; every other value must be zero or more. Both must be finite numbers no larger
// than PROFILE_VALUE_MAX.
Status RefuseProfileValue(double value, bool scale);

// The values of the profile in one line, as the check report states the weighting in force.
std::string DescribeProfile(const WeightProfile& profile);

}  // namespace fenwix

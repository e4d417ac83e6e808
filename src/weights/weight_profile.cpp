#include "weights/weight_profile.h"

#include <cmath>

#include <fmt/format.h>

namespace fenwix {

Status RefuseProfileValue(double value, bool scale) {
  if (!std::isfinite(value)) return Status::Refused("not a finite number");
  if (scale && !(value > 0.0)) return Status::Refused("must be above zero");
  if (value < 0.0) return Status::Refused("must not be negative");
  if (value > PROFILE_VALUE_MAX) return Status::Refused("must be at most 1000000");
  return Status();
}

std::string DescribeProfile(const WeightProfile& profile) {
  const InstrumentProfile& t = profile.instrument;
  const GnssProfile& g = profile.gnss;
  return fmt::format(
      "angle {:g}\", zenith {:g}\", distance {:g} mm + {:g} ppm, centring instrument {:g} mm, "
      "target {:g} mm; GNSS scale {:g}, centring {:g} mm horizontal, {:g} mm vertical, "
      "vectors without SDs {}",
      t.angle_sd, t.zenith_sd, t.distance_sd_mm, t.distance_ppm, t.instrument_centering,
      t.target_centering, g.scale, g.horizontal_centering, g.vertical_centering,
      g.fallback_sd ? fmt::format("{:g} mm", *g.fallback_sd) : std::string("kept at zero"));
}

}  // namespace fenwix

#pragma once
// The seed's position as the network sees it: where GNSS vectors and zenith angles meet, the
// adjustment test estimates the tilt of the verticals, which is the shift of the seed's latitude
// and longitude. Compared with the position given, within its σ and a tolerance the surveyor
// sets; where they disagree, the common slips of typing a position (decimal degrees in the
// DD.MMSS field and the reverse, a missing sign, latitude and longitude swapped, one digit off)
// are tried, and the one that fits the network is named.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "adjust/network_adjustment.h"

namespace fenwix {

inline constexpr double DEFAULT_SEED_TOLERANCE = 50.0;  // meters

// The seed as the surveyor gave it: packed DD.MMSSsssss, positive north and east, and its
// station among the input's (−1 when none is named or found: the first part that tells).
struct SeedGiven {
  double latitude = 0.0;
  double longitude = 0.0;
  int32_t station = -1;
};

struct SeedCheck {
  bool ran = false;  // false: no seed check at all (no adjustment test)
  // true: the position given agrees with the network's; false: it does not; empty: the job
  // cannot tell (why says so).
  std::optional<bool> agrees;
  std::string why;
  // The network's position of the seed, decimal degrees; its σ (the root mean square of the
  // north and east σ) and its distance from the position given, meters. NaN where unknown.
  double estimated_latitude_deg = 0.0;
  double estimated_longitude_deg = 0.0;
  double sigma_m = 0.0;
  double offset_m = 0.0;
  double tolerance_m = DEFAULT_SEED_TOLERANCE;
  // The slip that fits, in words; empty when none does or none was needed.
  std::string hint;
  // The packed DD.MMSS values a surveyor would type for the estimated position (or the slip's
  // corrected position when one fits), for the dialog to offer.
  double suggested_latitude = 0.0;
  double suggested_longitude = 0.0;
};

// Runs the test again with the verticals' tilt starting at (latitude, longitude) radians;
// empty when it cannot (cancelled).
using SeedRerun = std::function<std::optional<AdjustmentResult>(double, double)>;

// result: the test run from the seed given; rerun: none where only that run may be used.
SeedCheck CheckSeed(const AdjustmentResult& result, const SeedGiven& given, double tolerance_m,
                    const SeedRerun& rerun);

// A packed DD.MMSS value as the seed fields take it, to a tenth of an arc-second's digits.
std::string PackedWords(double packed);

// An angle in radians as the report writes a position: 44°30′28″, a minus sign when negative.
std::string DmsWords(double radians);

}  // namespace fenwix

#pragma once
// The job's own precision, as the adjustment test estimated it, put into an instrument profile:
// each group of observations whose estimate rests on enough redundancy scales the profile's
// values of that group by the ratio of the job's standard deviation to the profile's. The
// other values stay as they were.

#include <optional>
#include <string>
#include <vector>

#include "adjust/network_adjustment.h"
#include "weights/weight_profile.h"

namespace fenwix {

// A group's share of the degrees of freedom below which its estimate is not trusted: with a
// redundancy of 10 the estimated standard deviation is within about ±22 % (1/√(2r)) of the truth.
inline constexpr double RELIABLE_REDUNDANCY = 10.0;

// The job's standard deviation over the profile's, per group; none where the group is absent
// or its estimate not reliable.
struct PrecisionScales {
  std::optional<double> vectors;
  std::optional<double> angles;
  std::optional<double> zeniths;
  std::optional<double> distances;

  bool any() const { return vectors || angles || zeniths || distances; }
};

// The scales of a test that finished; none of an unfinished one.
PrecisionScales ReliableScales(const AdjustmentResult& result);

// The profile with each reliably estimated group's values scaled (S; Z; A and P; F), rounded to
// two significant digits. Centring and the GNSS fallback stay.
InstrumentProfile ScaledInstrument(const InstrumentProfile& instrument,
                                   const PrecisionScales& scales);
GnssProfile ScaledGnss(const GnssProfile& gnss, const PrecisionScales& scales);

// What changed between two profiles, one line per group: "horizontal angles 5″ → 0.83″".
std::vector<std::string> PrecisionChanges(const WeightProfile& before, const WeightProfile& after);

// The groups present whose estimate is not used, and why: "zenith angles: redundancy 4.2,
// below 10, the profile's value stays".
std::vector<std::string> UnreliableGroups(const AdjustmentResult& result);

}  // namespace fenwix

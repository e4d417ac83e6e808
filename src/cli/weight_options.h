#pragma once
// The options that set the instrument and GNSS precision of the conversion.

#include <optional>
#include <string>
#include <string_view>

#include "weights/weight_profile.h"

namespace fenwix {

// True for --angle-sd, --zenith-sd, --distance-sd, --centering, --gnss-scale, --gnss-centering
// and --gnss-fallback-sd.
bool IsWeightOption(std::string_view option);

// Reads the value of a weight option into the profile. A pair's second value is optional:
// "--distance-sd A" means P = 0, "--centering I" sets T = I and "--gnss-centering H" sets
// V = H. Returns the message naming the option when the value is refused; the profile is then
// unchanged.
std::optional<std::string> TakeWeightOption(std::string_view option, std::string_view text,
                                            WeightProfile& profile);

}  // namespace fenwix

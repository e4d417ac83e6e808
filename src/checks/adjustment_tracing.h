#pragma once
// From a total-station record that the adjustment test rejects to the field reading behind it.
// A record is the mean of several readings (both faces, several rounds); each of them is
// compared with the adjusted network, and the one farthest off in units of its standard
// deviation is the one to look at: of a face pair the face that disagrees, of a round the
// backsight when it is the backsight that misses.

#include <cstdint>
#include <optional>
#include <string>

#include "adjust/adjustment_input.h"
#include "adjust/network_adjustment.h"
#include "model/reading_log.h"

namespace fenwix {

struct TracedReading {
  SourceLocation source;   // the "Observation" element
  std::string words;       // "the face-two foresight reading", ...
  double deviation = 0.0;  // from the adjusted network, in standard deviations
};

// The reading of observation `index` (a rejected angle, zenith or distance) farthest from the
// adjusted network; nothing for a vector or when the record's readings are not in the log.
std::optional<TracedReading> TraceToReading(const AdjustmentInput& input,
                                            const AdjustmentResult& result, const ReadingLog& log,
                                            int32_t index);

}  // namespace fenwix

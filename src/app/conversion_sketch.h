#pragma once
// The network sketch of the last conversion, for both front ends.

#include <cstdint>
#include <vector>

#include "app/conversion_run.h"
#include "checks/check_report.h"
#include "sketch/sketch_model.h"

namespace fenwix {

// The sketch of a run's tables as the conversion left them, dated today.
SketchModel ConversionSketch(const ConversionRun& run);

// The lines of the sketch that a report row names: those of its observation rows that join two
// of its stations (all of them when none does), else the sights between its stations taken
// in turn (a reading without a record of its own).
std::vector<int32_t> SketchLinesOfRow(const SketchModel& model, const CheckRow& row);

// True when the last conversion computed approximate coordinates to draw.
inline bool HasSketchCoordinates(const ConversionRun& run) {
  return !run.placements.empty();
}

}  // namespace fenwix

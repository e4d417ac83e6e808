#pragma once
// The sketch as one self-contained SVG document: no scripts, no external files, well-formed
// XML. Every station symbol carries its name and coordinates as attributes (data-station,
// data-north, data-east, data-elevation) and a <title>, so that a script can read the points
// back and a browser shows them on hover.

#include <string>

#include "model/status.h"
#include "sketch/sketch_model.h"

namespace fenwix {

std::string SketchSvg(const SketchModel& model);

// Writes SketchSvg(model) to path; on failure removes what was written and comes back
// WriteFailed with the system's reason.
Status WriteSketchSvg(const SketchModel& model, const std::string& path);

}  // namespace fenwix

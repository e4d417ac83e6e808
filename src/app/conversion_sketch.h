#pragma once
// The network sketch of the last conversion, for both front ends.

#include "app/convert_dialog.h"
#include "sketch/sketch_model.h"

namespace fenwix {

// The sketch of the dialog's tables as the last conversion left them, dated today.
SketchModel ConversionSketch(const ConvertDialog& dialog);

// True when the last conversion computed approximate coordinates to draw.
inline bool HasSketchCoordinates(const ConvertDialog& dialog) {
  return !dialog.placements.empty();
}

}  // namespace fenwix

#include "app/conversion_sketch.h"

namespace fenwix {

SketchModel ConversionSketch(const ConvertDialog& dialog) {
  return BuildSketch(dialog.tables, dialog.placements, dialog.xml_path, TodayText());
}

}  // namespace fenwix

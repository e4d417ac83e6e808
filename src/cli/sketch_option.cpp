#include "cli/sketch_option.h"

#include "cli/terminal_ui.h"

#include <fmt/format.h>

#include <cstdio>

#include "app/conversion_sketch.h"
#include "cli/print_text.h"
#include "sketch/svg_writer.h"

namespace fenwix {

bool WriteSketchFile(const ConversionRun& run, const std::string& sketch_path) {
  const SketchModel model = ConversionSketch(run);
  if (!model.has_coordinates) {
    PrintProblem(
        fmt::format("the sketch {} draws no stations: {}", sketch_path,
                    "name a seed station (--seed) and ask for --local or --geodetic coordinates"));
  }
  if (const Status written = WriteSketchSvg(model, sketch_path); written.failed()) {
    PrintProblem(
        fmt::format("Cannot write the sketch {}: {}; the adjustment file {} stays as written",
                    sketch_path, written.text(), run.output_path));
    return false;
  }
  return true;
}

}  // namespace fenwix

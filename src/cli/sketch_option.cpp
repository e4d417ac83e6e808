#include "cli/sketch_option.h"

#include "cli/terminal_ui.h"

#include <fmt/format.h>

#include <cstdio>
#include <new>

#include "app/conversion_sketch.h"
#include "cli/command_line.h"
#include "cli/print_text.h"
#include "sketch/svg_writer.h"

namespace fenwix {

int WriteSketchFile(const ConversionRun& run, const std::string& sketch_path) {
  const auto refuse = [&](const std::string& reason, int status) {
    PrintProblem(
        fmt::format("Cannot write the sketch {}: {}; the adjustment file {} stays as written",
                    sketch_path, reason, run.output_path));
    return status;
  };
  // The sketch carries the checks' marks: without the part that ran short it would be partial.
  const std::string& short_of_memory = run.check_report.short_of_memory;
  if (!short_of_memory.empty()) {
    return refuse("out of memory in " + short_of_memory + "; " + sketch_path + " is left as it was",
                  EXIT_REPORT_FAILED);
  }
  try {
    const SketchModel model = ConversionSketch(run);
    if (!model.has_coordinates) {
      PrintProblem(fmt::format(
          "the sketch {} draws no stations: {}", sketch_path,
          "name a seed station (--seed) and ask for --local or --geodetic coordinates"));
    }
    if (const Status written = WriteSketchSvg(model, sketch_path); written.failed()) {
      return refuse(written.text(), EXIT_FAILED);
    }
  } catch (const std::bad_alloc&) {
    return refuse("out of memory while drawing it; " + sketch_path + " is left as it was",
                  EXIT_REPORT_FAILED);
  }
  return EXIT_SUCCESS_CODE;
}

}  // namespace fenwix

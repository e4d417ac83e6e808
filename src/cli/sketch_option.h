#pragma once
// --sketch FILE.svg: the network sketch of the conversion, written beside the adjustment file.

#include <string>

#include "app/conversion_run.h"

namespace fenwix {

// Writes the sketch of the last conversion; messages go to standard error. The exit status it
// calls for: EXIT_SUCCESS_CODE when written, EXIT_REPORT_FAILED when memory ran short (in the
// checks or the drawing; the file there is left as it was), EXIT_FAILED when it could not be
// written. The adjustment file is left as it was written either way.
int WriteSketchFile(const ConversionRun& run, const std::string& sketch_path);

}  // namespace fenwix

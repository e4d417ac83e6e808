#pragma once
// --sketch FILE.svg: the network sketch of the conversion, written beside the adjustment file.

#include <string>

#include "app/conversion_run.h"

namespace fenwix {

// Writes the sketch of the last conversion; messages go to standard error. False when the file
// could not be written (the adjustment file is left as it was written).
bool WriteSketchFile(const ConversionRun& run, const std::string& sketch_path);

}  // namespace fenwix

#pragma once
// --sketch FILE.svg: the network sketch of the conversion, written beside the adjustment file.

#include <optional>
#include <string>

#include "app/convert_dialog.h"

namespace fenwix {

// Why the sketch may not go to this path (it names the input or the output file), or nothing.
std::optional<std::string> RefuseSketchPath(const std::string& sketch_path,
                                            const std::string& xml_path,
                                            const std::string& output_path);

// Writes the sketch of the last conversion; messages go to standard error. False when the file
// could not be written (the adjustment file is left as it was written).
bool WriteSketchFile(const ConvertDialog& dialog, const std::string& sketch_path);

}  // namespace fenwix

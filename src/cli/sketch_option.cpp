#include "cli/sketch_option.h"

#include <fmt/format.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/conversion_sketch.h"
#include "app/field_validation.h"
#include "sketch/svg_writer.h"

namespace fenwix {

namespace {

bool SameFile(const std::string& a, const std::string& b) {
  if (TrimWhiteSpace(a) == TrimWhiteSpace(b)) return true;
  std::error_code ec;
  return std::filesystem::equivalent(a, TrimWhiteSpace(b), ec) && !ec;
}

}  // namespace

std::optional<std::string> RefuseSketchPath(const std::string& sketch_path,
                                            const std::string& xml_path,
                                            const std::string& output_path) {
  if (sketch_path.empty()) return "--sketch needs a file name";
  if (SameFile(sketch_path, xml_path) || SameFile(sketch_path, output_path)) {
    return fmt::format("--sketch {}: the sketch must not replace the input or the output file",
                       sketch_path);
  }
  return std::nullopt;
}

bool WriteSketchFile(const ConvertDialog& dialog, const std::string& sketch_path) {
  const SketchModel model = ConversionSketch(dialog);
  if (!model.has_coordinates) {
    fmt::print(stderr, "fenwix-convert: the sketch {} draws no stations: {}\n", sketch_path,
               "name a seed station (--seed) and ask for --local or --geodetic coordinates");
  }
  const std::string why = WriteSketchSvg(model, sketch_path);
  if (!why.empty()) {
    fmt::print(stderr,
               "fenwix-convert: Cannot write the sketch {}: {}; the adjustment file {} stays as "
               "written\n",
               sketch_path, why, dialog.output_path);
    return false;
  }
  return true;
}

}  // namespace fenwix

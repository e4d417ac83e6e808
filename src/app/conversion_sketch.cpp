#include "app/conversion_sketch.h"

namespace fenwix {

namespace {

void AddReasons(SketchFlag& flag, const std::vector<std::string>& reasons) {
  for (const std::string& reason : reasons) AddFlagReason(flag, reason);
}

}  // namespace

SketchModel ConversionSketch(const ConvertDialog& dialog) {
  SketchModel model = BuildSketch(dialog.tables, dialog.placements, dialog.xml_paths, TodayText());
  // The check report's marks, on the symbols of the stations and the lines of the records
  // that its flagged rows name.
  const CheckReport& report = dialog.check_report;
  if (report.FlaggedRows() == 0) return model;
  for (SketchStation& station : model.stations) {
    AddReasons(station.flag, report.StationFlags(station.name));
    for (const std::string& merged : station.merged_names) {
      AddReasons(station.flag, report.StationFlags(merged));
    }
  }
  for (size_t row = 1; row < model.lines_of_observation.size(); ++row) {
    const std::vector<std::string>& reasons = report.ObservationFlags(static_cast<int32_t>(row));
    if (reasons.empty()) continue;
    for (const int32_t line : model.lines_of_observation[row]) {
      if (line >= 0) AddReasons(model.lines[static_cast<size_t>(line)].flag, reasons);
    }
  }
  return model;
}

}  // namespace fenwix

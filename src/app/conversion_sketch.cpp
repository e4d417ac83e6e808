#include "app/conversion_sketch.h"

#include <algorithm>

namespace fenwix {

namespace {

void AddReasons(SketchFlag& flag, const std::vector<std::string>& reasons) {
  for (const std::string& reason : reasons) AddFlagReason(flag, reason);
}

}  // namespace

std::vector<int32_t> SketchLinesOfRow(const SketchModel& model, const CheckRow& row) {
  std::vector<int32_t> lines;
  for (const int32_t observation : row.observations) {
    if (observation <= 0 || static_cast<size_t>(observation) >= model.lines_of_observation.size())
      continue;
    for (const int32_t line : model.lines_of_observation[static_cast<size_t>(observation)]) {
      if (line >= 0) lines.push_back(line);
    }
  }
  if (row.observations.empty()) {
    for (size_t i = 0; i + 1 < row.stations.size(); ++i) {
      const int32_t line = LineBetween(model, row.stations[i], row.stations[i + 1]);
      if (line >= 0) lines.push_back(line);
    }
  }
  return lines;
}

SketchModel ConversionSketch(const ConvertDialog& dialog) {
  SketchModel model = BuildSketch(dialog.tables, dialog.placements, dialog.xml_paths, TodayText());
  const ReadingLog& log = dialog.reading_log;
  // The check report's marks, on the symbols of the stations and the lines of the records
  // that its flagged rows name; a line keeps the XML lines of the records marked on it.
  const CheckReport& report = dialog.check_report;
  if (report.FlaggedRows() > 0) {
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
        if (line < 0) continue;
        SketchLine& marked = model.lines[static_cast<size_t>(line)];
        AddReasons(marked.flag, reasons);
        const SourceLocation source = log.record_source(static_cast<int32_t>(row));
        if (source.known()) marked.sources.push_back(source);
      }
    }
  }
  if (const CheckSection* suspects = report.Suspects()) {
    for (const CheckRow& row : suspects->rows) {
      if (!row.flagged) continue;
      const std::vector<int32_t> lines = SketchLinesOfRow(model, row);
      for (const int32_t line : lines) {
        SketchLine& marked = model.lines[static_cast<size_t>(line)];
        marked.flag.suspect = true;
        AddFlagReason(marked.flag, suspects->title + ": " + row.note);
        for (const SourceLocation& source : row.sources) {
          if (std::find(marked.sources.begin(), marked.sources.end(), source) ==
              marked.sources.end()) {
            marked.sources.push_back(source);
          }
        }
      }
    }
  }
  for (SketchLine& line : model.lines) {
    if (!line.sources.empty()) continue;
    const SourceLocation source = log.record_source(line.first_observation);
    if (source.known()) line.sources.push_back(source);
  }
  return model;
}

}  // namespace fenwix

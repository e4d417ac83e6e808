#include "app/conversion_sketch.h"

#include <algorithm>
#include <array>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "app/field_validation.h"

namespace fenwix {

namespace {

void AddReasons(SketchFlag& flag, const std::vector<std::string>& reasons) {
  for (const std::string& reason : reasons) AddFlagReason(flag, reason);
}

// What the checks say of each element their flagged rows name: the reason of the first such row
// of a check, that of its suspects' row only when no check names it.
std::map<SourceLocation, SketchReading> NamedElements(const CheckReport& report) {
  std::map<SourceLocation, SketchReading> named;
  for (const bool suspects : {false, true}) {
    for (const CheckSection& section : report.sections) {
      if ((section.name == SUSPECTS_SECTION) != suspects) continue;
      for (const CheckRow& row : section.rows) {
        if (!row.flagged) continue;
        for (const SourceLocation& source : row.sources) {
          if (!source.known()) continue;
          SketchReading& element = named[source];
          element.at = source;
          element.suspect = element.suspect || suspects;
          if (element.reason.empty()) element.reason = section.title + ": " + row.note;
        }
        // A sight that fits another station: each of its readings can be read by that name.
        if (suspects && row.diagnosis && !row.diagnosis->fits.empty()) {
          for (const SourceLocation& source : row.diagnosis->readings) {
            SketchReading& element = named[source];
            element.at = source;
            element.suspect = true;
            if (element.reason.empty()) element.reason = section.title + ": " + row.note;
            element.rename_from = row.diagnosis->labelled;
            element.rename_to = row.diagnosis->fits;
          }
        }
      }
    }
  }
  return named;
}

// Every element on each line: the vectors of a GNSS line (with their solution types), and the
// readings of a total-station line (each reading from the setup's station to the point it
// names), with what the checks say of them.
void AddLineReadings(SketchModel& model, const SurveyTables& tables, const ReadingLog& log,
                     const CheckReport& report) {
  const std::map<SourceLocation, SketchReading> named = NamedElements(report);
  const auto add = [&](int32_t line, SourceLocation at, std::string_view solution = {}) {
    if (line < 0 || !at.known()) return;
    const auto found = named.find(at);
    SketchReading& reading = model.lines[static_cast<size_t>(line)].readings.emplace_back(
        found != named.end() ? found->second : SketchReading{at, {}, false, {}, {}, {}});
    reading.solution = TrimWhiteSpace(solution);
  };
  const std::span<const ObsRow> observations = tables.observations();
  for (size_t row = 1; row < model.lines_of_observation.size(); ++row) {
    const int32_t line = model.lines_of_observation[row][0];
    if (line >= 0 && model.lines[static_cast<size_t>(line)].kind == SketchLineKind::GpsVector &&
        row < observations.size()) {
      add(line, log.record_source(static_cast<int32_t>(row)),
          tables.description(observations[row]));
    }
  }
  std::unordered_map<std::string, int32_t> symbol_of;
  for (size_t i = 0; i < model.stations.size(); ++i) {
    symbol_of.emplace(model.stations[i].name, static_cast<int32_t>(i));
    for (const std::string& merged : model.stations[i].merged_names) {
      symbol_of.emplace(merged, static_cast<int32_t>(i));
    }
  }
  std::unordered_map<uint64_t, int32_t> sight_line;
  for (size_t i = 0; i < model.lines.size(); ++i) {
    const SketchLine& line = model.lines[i];
    if (line.kind != SketchLineKind::TotalStation) continue;
    sight_line.emplace(static_cast<uint64_t>(line.from) << 32 | static_cast<uint32_t>(line.to),
                       static_cast<int32_t>(i));
  }
  const auto symbol = [&](int32_t name) {
    const auto found = symbol_of.find(log.names()[static_cast<size_t>(name)]);
    return found == symbol_of.end() ? int32_t{-1} : found->second;
  };
  for (const RawReading& reading : log.readings()) {
    if (reading.setup < 0 || reading.point <= 0) continue;
    const int32_t from = symbol(log.setups()[static_cast<size_t>(reading.setup)].station);
    const int32_t to = symbol(reading.point);
    if (from < 0 || to < 0) continue;
    const auto found =
        sight_line.find(static_cast<uint64_t>(from) << 32 | static_cast<uint32_t>(to));
    if (found != sight_line.end()) add(found->second, reading.source);
  }
}

// What the adjustment test found: each station's error ellipse, and the lines on which no
// observation it kept could show a blunder.
void AddAdjustmentFindings(SketchModel& model, const AdjustmentInput& input,
                           const AdjustmentResult& result) {
  if (result.outcome != AdjustmentOutcome::Done) return;
  std::unordered_map<std::string_view, size_t> station_of;
  for (size_t i = 0; i < input.stations.size() && i < result.stations.size(); ++i) {
    station_of.emplace(input.stations[i].name, i);
  }
  for (SketchStation& station : model.stations) {
    auto found = station_of.find(station.name);
    for (size_t m = 0; found == station_of.end() && m < station.merged_names.size(); ++m) {
      found = station_of.find(station.merged_names[m]);
    }
    if (found == station_of.end()) continue;
    const StationPrecision& p = result.stations[found->second];
    if (!p.determined) continue;
    station.has_ellipse = true;
    station.ellipse_major = p.ellipse_major;
    station.ellipse_minor = p.ellipse_minor;
    station.ellipse_azimuth = p.ellipse_azimuth;
  }
  model.ellipse_scale = EllipseScale(model);
  model.uncontrolled_redundancy = UNCONTROLLED_REDUNDANCY;
  model.ellipse_confidence = result.confidence;
  model.ellipse_datum = "minimum trace";
  for (const PartDatum& d : result.part_datums) {
    if (d.kind == PrecisionDatumKind::Station &&
        static_cast<size_t>(d.station) < input.stations.size())
      model.ellipse_datum = input.stations[static_cast<size_t>(d.station)].name;
  }
  // Each line's relative precision, by the names of its two stations in either order.
  std::map<std::pair<std::string_view, std::string_view>, const RelativePrecision*> relative;
  for (const RelativePrecision& r : result.relative) {
    const std::string_view a = input.stations[static_cast<size_t>(r.from)].name;
    const std::string_view b = input.stations[static_cast<size_t>(r.to)].name;
    relative.emplace(std::pair{a, b}, &r);
    relative.emplace(std::pair{b, a}, &r);
  }
  for (SketchLine& line : model.lines) {
    const auto found = relative.find({model.stations[static_cast<size_t>(line.from)].name,
                                      model.stations[static_cast<size_t>(line.to)].name});
    if (found == relative.end()) continue;
    line.relative_major_mm = found->second->major * 1000.0;
    line.relative_ratio = found->second->ratio;
  }

  // Per line, its observations kept by the test and how many of those are controlled. A
  // record's zenith and distance lie on the line to its target; its horizontal angle on both
  // of its lines, since either end's direction is what the angle measures.
  std::vector<std::array<int32_t, 2>> counts(model.lines.size(), {0, 0});
  const size_t tested = std::min(input.observations.size(), result.observations.size());
  for (size_t i = 0; i < tested; ++i) {
    const ObservationTest& test = result.observations[i];
    if (!test.active) continue;
    const AdjustmentObservation& obs = input.observations[i];
    if (obs.record <= 0 || static_cast<size_t>(obs.record) >= model.lines_of_observation.size())
      continue;
    const int32_t target = static_cast<size_t>(obs.fore) < model.symbol_of_row.size()
                               ? model.symbol_of_row[static_cast<size_t>(obs.fore)]
                               : -1;
    for (const int32_t line : model.lines_of_observation[static_cast<size_t>(obs.record)]) {
      if (line < 0) continue;
      if (obs.kind != AdjustedKind::HorizontalAngle &&
          model.lines[static_cast<size_t>(line)].to != target) {
        continue;
      }
      std::array<int32_t, 2>& count = counts[static_cast<size_t>(line)];
      ++count[0];
      if (test.r_min >= UNCONTROLLED_REDUNDANCY) ++count[1];
    }
  }
  for (size_t line = 0; line < model.lines.size(); ++line) {
    model.lines[line].uncontrolled = counts[line][0] > 0 && counts[line][1] == 0;
  }
}

}  // namespace

std::vector<int32_t> SketchLinesOfRow(const SketchModel& model, const CheckRow& row) {
  // A row that names its stations names the lines between them only: the distance or zenith
  // angle of an angle set lies on the sight to its foresight, not on that to its backsight.
  const auto named = [&](int32_t symbol) {
    const SketchStation& station = model.stations[static_cast<size_t>(symbol)];
    return std::any_of(row.stations.begin(), row.stations.end(), [&](const std::string& name) {
      return name == station.name ||
             std::find(station.merged_names.begin(), station.merged_names.end(), name) !=
                 station.merged_names.end();
    });
  };
  std::vector<int32_t> lines;
  for (const int32_t observation : row.observations) {
    if (observation <= 0 || static_cast<size_t>(observation) >= model.lines_of_observation.size())
      continue;
    const std::array<int32_t, 2>& drawn =
        model.lines_of_observation[static_cast<size_t>(observation)];
    std::array<bool, 2> joins{};
    for (size_t k = 0; k < drawn.size(); ++k) {
      const int32_t line = drawn[k];
      joins[k] = line >= 0 && named(model.lines[static_cast<size_t>(line)].from) &&
                 named(model.lines[static_cast<size_t>(line)].to);
    }
    // A row whose stations join none of the record's lines (one station named) keeps them all.
    const bool any = joins[0] || joins[1];
    for (size_t k = 0; k < drawn.size(); ++k) {
      if (drawn[k] >= 0 && (joins[k] || !any)) lines.push_back(drawn[k]);
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

SketchModel ConversionSketch(const ConversionRun& run) {
  PlantedShortage(MemoryStep::Sketch);
  SketchModel model = BuildSketch(run.tables, run.placements, run.xml_paths, TodayText());
  const ReadingLog& log = run.reading_log;
  // The check report's marks, on the symbols of the stations and the lines of the records
  // that its flagged rows name; a line keeps the XML lines of the records marked on it.
  const CheckReport& report = run.check_report;
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
  AddLineReadings(model, run.tables, log, report);
  AddAdjustmentFindings(model, run.adjustment_input, run.adjustment_result);
  return model;
}

}  // namespace fenwix

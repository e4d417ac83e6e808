#include "sketch/sketch_model.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <unordered_map>
#include <vector>

#include "platform/local_time.h"
#include "platform/utf8_path.h"

namespace fenwix {

namespace {

// The row that stands for a station: its keeper when it was merged into another.
int32_t StandingRow(const SurveyTables& tables, int32_t row) {
  const int32_t keeper = tables.stations()[static_cast<size_t>(row)].merged_into;
  return keeper == STATION_NOT_MERGED ? row : keeper;
}

SketchSymbol SymbolOf(StationPlacement placement) {
  switch (placement) {
    case StationPlacement::Seed:
      return SketchSymbol::Seed;
    case StationPlacement::Intersected:
      return SketchSymbol::Intersected;
    default:
      return SketchSymbol::Computed;
  }
}

std::string_view FileName(std::string_view path) {
  size_t start = path.size();
  while (start > 0 && !IsPathSeparator(path[start - 1])) --start;
  return path.substr(start);
}

void SetFrame(SketchModel& model) {
  SketchFrame& f = model.frame;
  if (model.stations.empty()) {
    f = SketchFrame{};
    f.max_north = f.max_east = MIN_SKETCH_EXTENT;
  } else {
    f.min_north = f.max_north = model.stations.front().north;
    f.min_east = f.max_east = model.stations.front().east;
    for (const SketchStation& s : model.stations) {
      f.min_north = std::min(f.min_north, s.north);
      f.max_north = std::max(f.max_north, s.north);
      f.min_east = std::min(f.min_east, s.east);
      f.max_east = std::max(f.max_east, s.east);
    }
  }
  const auto widen = [](double& low, double& high) {
    const double missing = MIN_SKETCH_EXTENT - (high - low);
    if (missing > 0) low -= missing / 2, high += missing / 2;
  };
  widen(f.min_north, f.max_north);
  widen(f.min_east, f.max_east);
  f.scale_bar_length =
      RoundScaleLength(std::max(f.max_north - f.min_north, f.max_east - f.min_east) / 4.0);
}

}  // namespace

std::string SketchModel::Title() const {
  return xml_name + " \u2014 " + date;
}

void AddFlagReason(SketchFlag& flag, std::string_view reason) {
  if (flag.flagged) flag.reason += '\n';
  flag.flagged = true;
  flag.reason += reason;
}

std::string SourceWhere(const SketchModel& model, SourceLocation source) {
  const size_t file = static_cast<size_t>(source.file);
  return (file < model.file_labels.size() ? model.file_labels[file] : std::string()) + ':' +
         std::to_string(source.line);
}

std::string LineWhere(const SketchModel& model, const SketchLine& line) {
  std::string where;
  for (const SourceLocation& source : line.sources) {
    if (!where.empty()) where += ' ';
    where += SourceWhere(model, source);
  }
  return where;
}

int32_t LineBetween(const SketchModel& model, std::string_view from, std::string_view to) {
  const auto symbol = [&model](std::string_view name) {
    for (size_t i = 0; i < model.stations.size(); ++i) {
      const SketchStation& s = model.stations[i];
      if (s.name == name ||
          std::find(s.merged_names.begin(), s.merged_names.end(), name) != s.merged_names.end()) {
        return static_cast<int32_t>(i);
      }
    }
    return int32_t{-1};
  };
  const int32_t a = symbol(from);
  const int32_t b = symbol(to);
  if (a < 0 || b < 0) return -1;
  int32_t found = -1;
  for (size_t i = 0; i < model.lines.size(); ++i) {
    const SketchLine& line = model.lines[i];
    if (!((line.from == a && line.to == b) || (line.from == b && line.to == a))) continue;
    if (line.kind == SketchLineKind::TotalStation) return static_cast<int32_t>(i);
    if (found < 0) found = static_cast<int32_t>(i);
  }
  return found;
}

double RoundScaleLength(double at_most) {
  if (!(at_most > 0) || !std::isfinite(at_most)) return 1.0;
  double decade = std::pow(10.0, std::floor(std::log10(at_most)));
  // log10 may land a hair under an exact power of ten.
  if (decade * 10.0 <= at_most) decade *= 10.0;
  for (const double step : {5.0, 2.0, 1.0}) {
    if (step * decade <= at_most) return step * decade;
  }
  return decade / 2.0;
}

namespace {

double LargestEllipseMajor(const SketchModel& model) {
  double largest = 0.0;
  for (const SketchStation& s : model.stations) {
    if (s.has_ellipse) largest = std::max(largest, s.ellipse_major);
  }
  return largest;
}

}  // namespace

double ViewEllipseScale(const SketchModel& model, double pixels_per_meter) {
  const double largest = LargestEllipseMajor(model);
  if (!(largest > 0.0) || !std::isfinite(largest)) return 0.0;
  if (!(pixels_per_meter > 0.0) || !std::isfinite(pixels_per_meter)) return 1.0;
  return std::max(1.0, RoundScaleLength(VIEW_ELLIPSE_PIXELS / (largest * pixels_per_meter)));
}

double EllipseScale(const SketchModel& model) {
  const double largest = LargestEllipseMajor(model);
  if (!(largest > 0.0)) return 0.0;
  const SketchFrame& f = model.frame;
  double room = std::max(f.max_north - f.min_north, f.max_east - f.min_east) * ELLIPSE_SHARE;
  std::vector<double> lengths;
  lengths.reserve(model.lines.size());
  for (const SketchLine& line : model.lines) {
    const SketchStation& a = model.stations[static_cast<size_t>(line.from)];
    const SketchStation& b = model.stations[static_cast<size_t>(line.to)];
    const double length = std::hypot(a.north - b.north, a.east - b.east);
    if (length > 0.0) lengths.push_back(length);
  }
  if (!lengths.empty()) {
    const auto middle = lengths.begin() + static_cast<std::ptrdiff_t>(lengths.size() / 2);
    std::nth_element(lengths.begin(), middle, lengths.end());
    room = std::min(room, *middle * ELLIPSE_LINE_SHARE);
  }
  return RoundScaleLength(room / largest);
}

std::string TodayText() {
  const std::time_t now = std::time(nullptr);
  const std::tm local = LocalTime(now);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

SketchModel BuildSketch(const SurveyTables& tables, std::span<const StationPlacement> placements,
                        const std::vector<std::string>& xml_paths, std::string_view date) {
  SketchModel model;
  model.file_labels = FileLabels(xml_paths);
  if (xml_paths.size() == 1) model.file_labels = {std::string(FileName(xml_paths.front()))};
  for (const std::string& path : xml_paths) {
    if (!model.xml_name.empty()) model.xml_name += ", ";
    model.xml_name += FileName(path);
  }
  model.date = date;
  model.has_coordinates = !placements.empty();
  const std::vector<StationRecord>& rows = tables.stations();
  model.symbol_of_row.assign(rows.size(), -1);

  for (size_t i = 1; i < rows.size(); ++i) {
    const StationRecord& row = rows[i];
    if (row.merged_into != STATION_NOT_MERGED) continue;
    if (!model.has_coordinates || !row.coords_known) {
      model.not_computed.push_back(row.name);
      continue;
    }
    SketchStation s;
    s.row = static_cast<int32_t>(i);
    s.name = row.name;
    s.north = row.north;
    s.east = row.east;
    s.elevation = row.elevation;
    s.symbol = SymbolOf(i < placements.size() ? placements[i] : StationPlacement::Observed);
    model.symbol_of_row[i] = static_cast<int32_t>(model.stations.size());
    model.stations.push_back(std::move(s));
  }
  // Merged names join their keeper's symbol; they drew no symbol of their own.
  for (size_t i = 1; i < rows.size(); ++i) {
    if (rows[i].merged_into == STATION_NOT_MERGED) continue;
    const int32_t symbol = model.symbol_of_row[static_cast<size_t>(rows[i].merged_into)];
    if (symbol < 0) continue;
    model.stations[static_cast<size_t>(symbol)].merged_names.push_back(rows[i].name);
  }

  // One line per occupied station, sighted station and kind: repeated sets along a line and
  // the backsight that every set of a setup shares are drawn once.
  std::unordered_map<uint64_t, int32_t> line_of;
  const auto add_line = [&](int32_t obs_row, int32_t from_row, int32_t to_row,
                            SketchLineKind kind) {
    const auto drawn_on = [&](int32_t line) {
      std::array<int32_t, 2>& lines = model.lines_of_observation[static_cast<size_t>(obs_row)];
      (lines[0] < 0 ? lines[0] : lines[1]) = line;
    };
    if (from_row <= 0 || to_row <= 0) return;
    const int32_t from = model.symbol_of_row[static_cast<size_t>(StandingRow(tables, from_row))];
    const int32_t to = model.symbol_of_row[static_cast<size_t>(StandingRow(tables, to_row))];
    if (from < 0 || to < 0) {
      ++model.lines_not_drawn;
      return;
    }
    if (from == to) return;  // both names of one merged point
    const uint64_t key = (static_cast<uint64_t>(from) << 33) | (static_cast<uint64_t>(to) << 1) |
                         (kind == SketchLineKind::TotalStation ? 1U : 0U);
    const auto [it, added] = line_of.try_emplace(key, static_cast<int32_t>(model.lines.size()));
    if (added) {
      model.lines.push_back(SketchLine{from, to, kind, obs_row, 0, {}, {}, {}});
    }
    ++model.lines[static_cast<size_t>(it->second)].observation_count;
    drawn_on(it->second);
  };
  if (model.has_coordinates) {
    const std::span<const ObsRow> observations = tables.observations();
    line_of.reserve(observations.size());
    model.lines_of_observation.assign(observations.size(), {-1, -1});
    for (size_t r = 1; r < observations.size(); ++r) {
      const ObsRow& obs = observations[r];
      const auto row = static_cast<int32_t>(r);
      switch (obs.kind) {
        case ObsKind::GpsVector:
          add_line(row, obs.at, obs.fore, SketchLineKind::GpsVector);
          break;
        case ObsKind::AngleSet:
          add_line(row, obs.at, obs.back, SketchLineKind::TotalStation);
          add_line(row, obs.at, obs.fore, SketchLineKind::TotalStation);
          break;
        case ObsKind::Sight:
          add_line(row, obs.at, obs.back, SketchLineKind::TotalStation);
          break;
        case ObsKind::None:
          break;
      }
    }
  }
  SetFrame(model);
  return model;
}

}  // namespace fenwix

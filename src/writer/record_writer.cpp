#include "writer/record_writer.h"

#include <string_view>
#include <unordered_map>

#include <fmt/format.h>

#include "geodesy/angles.h"
#include "model/units.h"
#include "writer/fixed_decimal.h"
#include "writer/header_writer.h"

namespace fenwix {

namespace {

// Decimals of the record fields.
constexpr int ANGLE_DECIMALS = 6;
constexpr int ANGLE_SD_DECIMALS = 3;
constexpr int LINEAR_DECIMALS = 5;
constexpr int LAT_LONG_DECIMALS = 9;
constexpr int COVARIANCE_DECIMALS = 12;

bool IsObserved(double value) {
  return value != MISSING_VALUE;
}

// One record line: the keyword, then every field introduced by the delimiter and a blank.
// A job holds many thousands of records, so the line is built directly rather than through a
// format string.
class RecordLine {
 public:
  explicit RecordLine(std::string_view keyword) { Append(keyword); }

  RecordLine& Text(std::string_view field) {
    Separator();
    AppendFieldText(text_, field);
    return *this;
  }
  RecordLine& Number(double value, int decimals) {
    Separator();
    AppendFixed(text_, value, decimals);
    return *this;
  }
  // Ends the line with ending ("\n" or "\n\n") and writes it.
  void WriteTo(OutputFile& out, std::string_view ending) {
    Append(ending);
    out.Write(std::string_view(text_.data(), text_.size()));
  }

 private:
  void Append(std::string_view s) { text_.append(s.data(), s.data() + s.size()); }
  void Separator() {
    text_.push_back(DELIMITER);
    text_.push_back(' ');
  }

  fmt::memory_buffer text_;
};

// The zenith and distance records of a sight from at to sighted, each with its own description
// line. Shared by single sights and by angle sets that lack their horizontal angle.
void WriteZenithAndChord(OutputFile& out, int32_t linear_unit, int32_t angle_unit,
                         std::string_view at, std::string_view sighted, const ObsRecord& obs) {
  const double w = LinearFactor(linear_unit);
  const double a = AngleSigmaFactor(angle_unit);
  if (IsObserved(obs.zenith)) {
    WriteObsDescription(out, DELIMITER, obs.description);
    RecordLine("$ZENITH_ONLY")
        .Text(at)
        .Text(sighted)
        .Number(AngleToUnit(angle_unit, obs.zenith), ANGLE_DECIMALS)
        .Number(OBS_ZENITH_SD * a, ANGLE_SD_DECIMALS)
        .Number(obs.instr_height * w, LINEAR_DECIMALS)
        .Number(obs.target_height * w, LINEAR_DECIMALS)
        .WriteTo(out, "\n\n");
  }
  if (IsObserved(obs.slope_dist)) {
    WriteObsDescription(out, DELIMITER, obs.description);
    RecordLine("$CHORD_ONLY")
        .Text(at)
        .Text(sighted)
        .Number(obs.slope_dist * w, LINEAR_DECIMALS)
        .Number(OBS_DISTANCE_SD * w, LINEAR_DECIMALS)
        .Number(obs.instr_height * w, LINEAR_DECIMALS)
        .Number(obs.target_height * w, LINEAR_DECIMALS)
        .WriteTo(out, "\n\n");
  }
}

void WriteOneStation(bool geodetic, bool local, int32_t linear_unit, const StationRecord& station,
                     OutputFile& out) {
  const double w = LinearFactor(linear_unit);
  if (geodetic) {
    // Latitude and longitude are packed degrees whatever the angle unit in force.
    RecordLine("$GEO_COMPACT")
        .Text(station.name)
        .Number(RadiansToDms(station.latitude), LAT_LONG_DECIMALS)
        .Text("0.0")
        .Number(RadiansToDms(station.longitude), LAT_LONG_DECIMALS)
        .Text("0.0")
        .Number(station.height * w, LINEAR_DECIMALS)
        .Text("0.0")
        .Text("0.0")
        .Text("0.0")
        .Number(station.height * w, LINEAR_DECIMALS)
        .Text("0.0")
        .Text("0.0")
        .Text("0.0")
        .Text("0.0")
        .Text("0.0")
        .WriteTo(out, "\n");
  }
  if (local) {
    RecordLine("$LOCAL_COMPACT")
        .Text(station.name)
        .Number(station.north * w, LINEAR_DECIMALS)
        .Number(station.east * w, LINEAR_DECIMALS)
        .Number(station.elevation * w, LINEAR_DECIMALS)
        .WriteTo(out, "\n");
  }
  if (station.description.empty()) {
    out.Write("\n");
  } else {
    RecordLine("$STA_DESC").Text(station.name).Text(station.description).WriteTo(out, "\n\n");
  }
}

// The names of merged stations, each with the name of the station that stands for it. Empty
// when no station was merged, which is the common case and costs one pass over the stations.
using MergedNames = std::unordered_map<std::string_view, std::string_view>;

MergedNames CollectMergedNames(const std::vector<StationRecord>& stations) {
  MergedNames names;
  for (size_t i = 1; i < stations.size(); ++i) {
    const int32_t into = stations[i].merged_into;
    if (into == STATION_NOT_MERGED || into < 1 || static_cast<size_t>(into) >= stations.size()) {
      continue;
    }
    names.emplace(stations[i].name, stations[static_cast<size_t>(into)].name);
  }
  return names;
}

// True when the record, as its writer would write it, joins a station to itself.
bool JoinsAStationToItself(const ObsRecord& obs) {
  switch (obs.kind) {
    case ObsKind::GpsVector:
      return obs.at_name == obs.fore_name;
    case ObsKind::Sight:
      return obs.at_name == obs.back_name;
    case ObsKind::AngleSet:
      if (!IsObserved(obs.horiz_angle)) return obs.at_name == obs.fore_name;
      return obs.at_name == obs.fore_name || obs.at_name == obs.back_name ||
             obs.fore_name == obs.back_name;
    case ObsKind::None:
      break;
  }
  return false;
}

void WriteObservationRecord(OutputFile& out, const WriterState& state, const ObsRecord& obs) {
  switch (obs.kind) {
    case ObsKind::GpsVector:
      WriteGpsRecord(out, state.current_linear_unit, obs);
      break;
    case ObsKind::Sight:
      WriteSightRecords(out, state.current_linear_unit, state.current_angle_unit, obs);
      break;
    case ObsKind::AngleSet:
      WriteAngleSetRecord(out, state.current_linear_unit, state.current_angle_unit, obs);
      break;
    case ObsKind::None:
      break;
  }
}

// Writes an observation under the names of the stations that stand for merged ones, so that
// the adjustment meets no station without a station record. One that the merge turned into a
// tie of a point to itself is kept as comment lines under its recorded names: nothing
// measured is lost, and the adjustment is not handed a zero-length line.
void WriteRenamedObservation(OutputFile& out, const WriterState& state, const ObsRecord& obs,
                             const MergedNames& merged) {
  const auto rename = [&merged](const std::string& name) -> std::string_view {
    const auto found = merged.find(name);
    return found == merged.end() ? std::string_view(name) : found->second;
  };
  ObsRecord renamed = obs;
  renamed.at_name = rename(obs.at_name);
  renamed.fore_name = rename(obs.fore_name);
  renamed.back_name = rename(obs.back_name);
  if (!JoinsAStationToItself(renamed) || JoinsAStationToItself(obs)) {
    WriteObservationRecord(out, state, renamed);
    return;
  }
  out.Write("! Joins a station to itself once merged names are used; kept as a comment:\n");
  out.set_line_prefix("! ");
  WriteObservationRecord(out, state, obs);
  out.set_line_prefix({});
}

}  // namespace

void WriteStations(bool geodetic, bool local, const SurveyTables& tables, WriterState& state,
                   OutputFile& out, int32_t& error) {
  error = WRITE_OK;
  out.Write("\n\n");
  if (out.error()) {
    error = WRITE_ERROR;
    return;
  }
  // Without either kind of coordinates there is nothing to write per station.
  if (!geodetic && !local) return;
  const std::vector<StationRecord>& stations = tables.stations();
  for (size_t i = 1; i < stations.size(); ++i) {
    const StationRecord& station = stations[i];
    if (station.merged_into != STATION_NOT_MERGED) continue;
    if (station.linear_unit != state.current_linear_unit) {
      state.current_linear_unit = station.linear_unit;
      WriteUnits(out, state.current_linear_unit, state.current_angle_unit, error);
      if (error > 0) return;
    }
    WriteOneStation(geodetic, local, state.current_linear_unit, station, out);
    if (out.error()) {
      error = WRITE_ERROR;
      return;
    }
  }
}

void WriteGpsRecord(OutputFile& out, int32_t linear_unit, const ObsRecord& obs) {
  if (!IsObserved(obs.dx) || !IsObserved(obs.dy) || !IsObserved(obs.dz)) return;
  // Vectors are always in meters, so w is 1; it keeps the numbers true to the units block
  // above them all the same.
  const double w = LinearFactor(linear_unit);
  const double w2 = w * w;
  const double sxx = obs.sx * obs.sx;
  const double sxy = obs.cxy * obs.sy * obs.sx;
  const double syy = obs.sy * obs.sy;
  const double sxz = obs.cxz * obs.sz * obs.sx;
  const double syz = obs.cyz * obs.sz * obs.sy;
  const double szz = obs.sz * obs.sz;
  WriteObsDescription(out, DELIMITER, obs.description);
  // The six terms are the lower triangle of the covariance matrix, row by row.
  RecordLine("$GPS_COMPACT")
      .Text(obs.at_name)
      .Text(obs.fore_name)
      .Number(obs.dx * w, LINEAR_DECIMALS)
      .Number(obs.dy * w, LINEAR_DECIMALS)
      .Number(obs.dz * w, LINEAR_DECIMALS)
      .Number(sxx * w2, COVARIANCE_DECIMALS)
      .Number(sxy * w2, COVARIANCE_DECIMALS)
      .Number(syy * w2, COVARIANCE_DECIMALS)
      .Number(sxz * w2, COVARIANCE_DECIMALS)
      .Number(syz * w2, COVARIANCE_DECIMALS)
      .Number(szz * w2, COVARIANCE_DECIMALS)
      .WriteTo(out, "\n\n");
}

void WriteSightRecords(OutputFile& out, int32_t linear_unit, int32_t angle_unit,
                       const ObsRecord& obs) {
  WriteZenithAndChord(out, linear_unit, angle_unit, obs.at_name, obs.back_name, obs);
}

void WriteAngleSetRecord(OutputFile& out, int32_t linear_unit, int32_t angle_unit,
                         const ObsRecord& obs) {
  const bool has_angle = IsObserved(obs.horiz_angle);
  const bool has_zenith = IsObserved(obs.zenith);
  const bool has_dist = IsObserved(obs.slope_dist);
  if (!has_angle) {
    // No record form goes without the horizontal angle: keep the zenith and the distance as
    // sights to the foresight point rather than write an angle that was never measured.
    WriteZenithAndChord(out, linear_unit, angle_unit, obs.at_name, obs.fore_name, obs);
    return;
  }
  const double w = LinearFactor(linear_unit);
  const double a = AngleSigmaFactor(angle_unit);
  WriteObsDescription(out, DELIMITER, obs.description);
  RecordLine line(has_zenith || has_dist ? "$HOR_COMPACT" : "$HORIZ_ANGLE_ONLY");
  line.Text(obs.at_name)
      .Text(obs.fore_name)
      .Text(obs.back_name)
      .Number(AngleToUnit(angle_unit, obs.horiz_angle), ANGLE_DECIMALS)
      .Number(OBS_ANGLE_SD * a, ANGLE_SD_DECIMALS);
  // "$HOR_COMPACT" always has the zenith and the distance pair of columns; an unobserved
  // quantity reads "NOOBS" in both its value and its deviation column.
  if (has_zenith) {
    line.Number(AngleToUnit(angle_unit, obs.zenith), ANGLE_DECIMALS)
        .Number(OBS_ZENITH_SD * a, ANGLE_SD_DECIMALS);
  } else if (has_dist) {
    line.Text("NOOBS").Text("NOOBS");
  }
  if (has_dist) {
    line.Number(obs.slope_dist * w, LINEAR_DECIMALS).Number(OBS_DISTANCE_SD * w, LINEAR_DECIMALS);
  } else if (has_zenith) {
    line.Text("NOOBS").Text("NOOBS");
  }
  line.Number(obs.instr_height * w, LINEAR_DECIMALS)
      .Number(obs.target_height * w, LINEAR_DECIMALS)
      .WriteTo(out, "\n\n");
}

void WriteObservations(const SurveyTables& tables, WriterState& state, OutputFile& out,
                       int32_t& error) {
  error = WRITE_OK;
  out.Write("\n\n");
  if (out.error()) {
    error = WRITE_ERROR;
    return;
  }
  const std::vector<ObsRecord>& observations = tables.observations();
  const MergedNames merged = CollectMergedNames(tables.stations());
  for (const ObsKind kind : {ObsKind::GpsVector, ObsKind::Sight, ObsKind::AngleSet}) {
    for (size_t i = 1; i < observations.size(); ++i) {
      const ObsRecord& obs = observations[i];
      if (obs.kind != kind) continue;
      if (obs.linear_unit != state.current_linear_unit ||
          obs.angle_unit != state.current_angle_unit) {
        state.current_linear_unit = obs.linear_unit;
        state.current_angle_unit = obs.angle_unit;
        WriteUnits(out, state.current_linear_unit, state.current_angle_unit, error);
        if (error > 0) return;
      }
      if (merged.empty()) {
        WriteObservationRecord(out, state, obs);
      } else {
        WriteRenamedObservation(out, state, obs, merged);
      }
      if (out.error()) {
        error = WRITE_ERROR;
        return;
      }
    }
    out.Write("\n\n");
    if (out.error()) {
      error = WRITE_ERROR;
      return;
    }
  }
}

}  // namespace fenwix

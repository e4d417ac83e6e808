#include "writer/record_writer.h"

#include <algorithm>
#include <span>
#include <string_view>

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

// The texts of an observation as they are written: its station names and its description.
struct ObsNames {
  std::string_view at;
  std::string_view fore;
  std::string_view back;
  std::string_view description;
};

ObsNames NamesOf(const ObsRecord& obs) {
  return {obs.at_name, obs.fore_name, obs.back_name, obs.description};
}

// The standard deviations of one record: a total-station record's, or a vector's covariance.
struct RecordSds {
  TotalStationSds station{};
  VectorCovariance covariance{};
};

// What the default profile gives a record.
RecordSds DefaultSds(const ObsValues& obs) {
  const InstrumentProfile profile;
  return {{profile.angle_sd, profile.zenith_sd, DistanceSd(profile, obs.slope_dist)},
          FileCovariance(obs)};
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
    if (IsWritableField(value)) {
      AppendFixed(text_, value, decimals);
    } else {
      unwritable_ = true;
    }
    return *this;
  }
  // Writes the line, ended by line_ends line ends (2 leaves an empty line after it). Fields
  // hold no line end: AppendFieldText turns control characters into blanks. A line with a
  // number that no field can hold fails the file instead.
  void WriteTo(OutputFile& out, int line_ends) {
    if (unwritable_) {
      // The record's keyword and names say which it is.
      constexpr size_t SHOWN_BYTES = 60;
      const std::string_view line(text_.data(), std::min(text_.size(), SHOWN_BYTES));
      out.Fail(Status(StatusKind::WriteFailed,
                      "a record holds a number beyond any survey value: " + std::string(line)));
      return;
    }
    out.WriteLine(std::string_view(text_.data(), text_.size()), line_ends);
  }

 private:
  void Append(std::string_view s) { AppendBytes(text_, s); }
  void Separator() {
    static constexpr char SEPARATOR[] = {DELIMITER, ' '};
    AppendBytes(text_, std::string_view(SEPARATOR, 2));
  }

  fmt::memory_buffer text_;
  bool unwritable_ = false;
};

// The zenith and distance records of a sight from at to sighted, each with its own description
// line. Shared by single sights and by angle sets that lack their horizontal angle.
void WriteZenithAndChord(OutputFile& out, LinearUnit linear_unit, AngleUnit angle_unit,
                         std::string_view at, std::string_view sighted,
                         std::string_view description, const ObsValues& obs,
                         const TotalStationSds& sds) {
  const double w = LinearFactor(linear_unit);
  const double a = AngleSigmaFactor(angle_unit);
  if (IsObserved(obs.zenith)) {
    WriteObsDescription(out, DELIMITER, description);
    RecordLine("$ZENITH_ONLY")
        .Text(at)
        .Text(sighted)
        .Number(AngleToUnit(angle_unit, obs.zenith), ANGLE_DECIMALS)
        .Number(sds.zenith * a, ANGLE_SD_DECIMALS)
        .Number(obs.instr_height * w, LINEAR_DECIMALS)
        .Number(obs.target_height * w, LINEAR_DECIMALS)
        .WriteTo(out, 2);
  }
  if (IsObserved(obs.slope_dist)) {
    WriteObsDescription(out, DELIMITER, description);
    RecordLine("$CHORD_ONLY")
        .Text(at)
        .Text(sighted)
        .Number(obs.slope_dist * w, LINEAR_DECIMALS)
        .Number(sds.distance * w, LINEAR_DECIMALS)
        .Number(obs.instr_height * w, LINEAR_DECIMALS)
        .Number(obs.target_height * w, LINEAR_DECIMALS)
        .WriteTo(out, 2);
  }
}

void WriteOneStation(bool geodetic, bool local, LinearUnit linear_unit,
                     const StationRecord& station, OutputFile& out) {
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
        .WriteTo(out, 1);
  }
  if (local) {
    RecordLine("$LOCAL_COMPACT")
        .Text(station.name)
        .Number(station.north * w, LINEAR_DECIMALS)
        .Number(station.east * w, LINEAR_DECIMALS)
        .Number(station.elevation * w, LINEAR_DECIMALS)
        .WriteTo(out, 1);
  }
  if (station.description.empty()) {
    out.Write("\n");
  } else {
    RecordLine("$STA_DESC").Text(station.name).Text(station.description).WriteTo(out, 2);
  }
}

// True when the record, as its writer would write it, joins a station to itself. Station rows
// stand for names one to one, so equal rows are equal names.
bool JoinsAStationToItself(const ObsRow& obs) {
  switch (obs.kind) {
    case ObsKind::GpsVector:
      return obs.at == obs.fore;
    case ObsKind::Sight:
      return obs.at == obs.back;
    case ObsKind::AngleSet:
      if (!IsObserved(obs.horiz_angle())) return obs.at == obs.fore;
      return obs.at == obs.fore || obs.at == obs.back || obs.fore == obs.back;
    case ObsKind::None:
      break;
  }
  return false;
}

void WriteGps(OutputFile& out, LinearUnit linear_unit, const ObsNames& names, const ObsValues& obs,
              const VectorCovariance& covariance);
void WriteSights(OutputFile& out, LinearUnit linear_unit, AngleUnit angle_unit,
                 const ObsNames& names, const ObsValues& obs, const TotalStationSds& sds);
void WriteAngleSet(OutputFile& out, LinearUnit linear_unit, AngleUnit angle_unit,
                   const ObsNames& names, const ObsValues& obs, const TotalStationSds& sds);

void WriteObservationRecord(OutputFile& out, const WriterState& state, const ObsNames& names,
                            const ObsValues& obs, const RecordSds& sds) {
  switch (obs.kind) {
    case ObsKind::GpsVector:
      WriteGps(out, state.current_linear_unit.value_or(LinearUnit::Meter), names, obs,
               sds.covariance);
      break;
    case ObsKind::Sight:
      WriteSights(out, state.current_linear_unit.value_or(LinearUnit::Meter),
                  state.current_angle_unit.value_or(AngleUnit::Degrees), names, obs, sds.station);
      break;
    case ObsKind::AngleSet:
      WriteAngleSet(out, state.current_linear_unit.value_or(LinearUnit::Meter),
                    state.current_angle_unit.value_or(AngleUnit::Degrees), names, obs, sds.station);
      break;
    case ObsKind::None:
      break;
  }
}

// The row of the station that stands for station row s: its merged_into when it was merged,
// else s itself.
int32_t KeeperOf(const std::vector<StationRecord>& stations, int32_t s) {
  const int32_t into = stations[static_cast<size_t>(s)].merged_into;
  if (into == STATION_NOT_MERGED || into < 1 || static_cast<size_t>(into) >= stations.size()) {
    return s;
  }
  return into;
}

// Writes an observation under the names of the stations that stand for merged ones, so that
// the adjustment meets no station without a station record. One that the merge turned into a
// tie of a point to itself is kept as comment lines under its recorded names: nothing
// measured is lost, and the adjustment is not handed a zero-length line.
void WriteRenamedObservation(OutputFile& out, const WriterState& state, const SurveyTables& tables,
                             const ObsRow& obs, const RecordSds& sds) {
  const std::vector<StationRecord>& stations = tables.stations();
  ObsRow renamed = obs;
  renamed.at = KeeperOf(stations, obs.at);
  renamed.fore = KeeperOf(stations, obs.fore);
  renamed.back = KeeperOf(stations, obs.back);
  const std::string_view description = tables.description(obs);
  if (!JoinsAStationToItself(renamed) || JoinsAStationToItself(obs)) {
    WriteObservationRecord(out, state,
                           {tables.name(renamed.at), tables.name(renamed.fore),
                            tables.name(renamed.back), description},
                           obs.Values(), sds);
    return;
  }
  out.Write("! Joins a station to itself once merged names are used; kept as a comment:\n");
  out.set_line_prefix("! ");
  WriteObservationRecord(
      out, state, {tables.name(obs.at), tables.name(obs.fore), tables.name(obs.back), description},
      obs.Values(), sds);
  out.set_line_prefix({});
}

}  // namespace

Status WriteStations(bool geodetic, bool local, const SurveyTables& tables, WriterState& state,
                     OutputFile& out) {
  out.Write("\n\n");
  if (out.error()) return out.status();
  // Without either kind of coordinates there is nothing to write per station.
  if (!geodetic && !local) return Status();
  const std::vector<StationRecord>& stations = tables.stations();
  for (size_t i = 1; i < stations.size(); ++i) {
    const StationRecord& station = stations[i];
    if (station.merged_into != STATION_NOT_MERGED) continue;
    if (station.linear_unit != state.current_linear_unit) {
      state.current_linear_unit = station.linear_unit;
      if (Status units = WriteUnits(out, station.linear_unit,
                                    state.current_angle_unit.value_or(AngleUnit::Degrees));
          units.failed()) {
        return units;
      }
    }
    WriteOneStation(geodetic, local, station.linear_unit, station, out);
    if (out.error()) return out.status();
  }
  return Status();
}

namespace {

void WriteGps(OutputFile& out, LinearUnit linear_unit, const ObsNames& names, const ObsValues& obs,
              const VectorCovariance& covariance) {
  if (!IsObserved(obs.dx) || !IsObserved(obs.dy) || !IsObserved(obs.dz)) return;
  // Vectors are always in meters, so w is 1; it keeps the numbers true to the units block
  // above them all the same.
  const double w = LinearFactor(linear_unit);
  const double w2 = w * w;
  WriteObsDescription(out, DELIMITER, names.description);
  // The six terms are the lower triangle of the covariance matrix, row by row.
  RecordLine("$GPS_COMPACT")
      .Text(names.at)
      .Text(names.fore)
      .Number(obs.dx * w, LINEAR_DECIMALS)
      .Number(obs.dy * w, LINEAR_DECIMALS)
      .Number(obs.dz * w, LINEAR_DECIMALS)
      .Number(covariance[0] * w2, COVARIANCE_DECIMALS)
      .Number(covariance[1] * w2, COVARIANCE_DECIMALS)
      .Number(covariance[2] * w2, COVARIANCE_DECIMALS)
      .Number(covariance[3] * w2, COVARIANCE_DECIMALS)
      .Number(covariance[4] * w2, COVARIANCE_DECIMALS)
      .Number(covariance[5] * w2, COVARIANCE_DECIMALS)
      .WriteTo(out, 2);
}

void WriteSights(OutputFile& out, LinearUnit linear_unit, AngleUnit angle_unit,
                 const ObsNames& names, const ObsValues& obs, const TotalStationSds& sds) {
  WriteZenithAndChord(out, linear_unit, angle_unit, names.at, names.back, names.description, obs,
                      sds);
}

void WriteAngleSet(OutputFile& out, LinearUnit linear_unit, AngleUnit angle_unit,
                   const ObsNames& names, const ObsValues& obs, const TotalStationSds& sds) {
  const bool has_angle = IsObserved(obs.horiz_angle);
  const bool has_zenith = IsObserved(obs.zenith);
  const bool has_dist = IsObserved(obs.slope_dist);
  if (!has_angle) {
    // No record form goes without the horizontal angle: keep the zenith and the distance as
    // sights to the foresight point rather than write an angle that was never measured.
    WriteZenithAndChord(out, linear_unit, angle_unit, names.at, names.fore, names.description, obs,
                        sds);
    return;
  }
  const double w = LinearFactor(linear_unit);
  const double a = AngleSigmaFactor(angle_unit);
  WriteObsDescription(out, DELIMITER, names.description);
  RecordLine line(has_zenith || has_dist ? "$HOR_COMPACT" : "$HORIZ_ANGLE_ONLY");
  line.Text(names.at)
      .Text(names.fore)
      .Text(names.back)
      .Number(AngleToUnit(angle_unit, obs.horiz_angle), ANGLE_DECIMALS)
      .Number(sds.angle * a, ANGLE_SD_DECIMALS);
  // "$HOR_COMPACT" always has the zenith and the distance pair of columns; an unobserved
  // quantity reads "NOOBS" in both its value and its deviation column.
  if (has_zenith) {
    line.Number(AngleToUnit(angle_unit, obs.zenith), ANGLE_DECIMALS)
        .Number(sds.zenith * a, ANGLE_SD_DECIMALS);
  } else if (has_dist) {
    line.Text("NOOBS").Text("NOOBS");
  }
  if (has_dist) {
    line.Number(obs.slope_dist * w, LINEAR_DECIMALS).Number(sds.distance * w, LINEAR_DECIMALS);
  } else if (has_zenith) {
    line.Text("NOOBS").Text("NOOBS");
  }
  line.Number(obs.instr_height * w, LINEAR_DECIMALS)
      .Number(obs.target_height * w, LINEAR_DECIMALS)
      .WriteTo(out, 2);
}

}  // namespace

void WriteGpsRecord(OutputFile& out, LinearUnit linear_unit, const ObsRecord& obs) {
  WriteGps(out, linear_unit, NamesOf(obs), obs, DefaultSds(obs).covariance);
}

void WriteSightRecords(OutputFile& out, LinearUnit linear_unit, AngleUnit angle_unit,
                       const ObsRecord& obs) {
  WriteSights(out, linear_unit, angle_unit, NamesOf(obs), obs, DefaultSds(obs).station);
}

void WriteAngleSetRecord(OutputFile& out, LinearUnit linear_unit, AngleUnit angle_unit,
                         const ObsRecord& obs) {
  WriteAngleSet(out, linear_unit, angle_unit, NamesOf(obs), obs, DefaultSds(obs).station);
}

Status WriteObservations(const SurveyTables& tables, WriterState& state, OutputFile& out,
                         const RecordWeights& weights) {
  out.Write("\n\n");
  if (out.error()) return out.status();
  const std::span<const ObsRow> observations = tables.observations();
  // No station merged is the common case, and costs one pass over the stations.
  const std::vector<StationRecord>& stations = tables.stations();
  const bool merged = std::any_of(stations.begin(), stations.end(), [](const StationRecord& s) {
    return s.merged_into != STATION_NOT_MERGED;
  });
  // Writes one row with the "$UNITS" block it needs; false once the file failed.
  const auto write_row = [&](size_t row) {
    const ObsRow& obs = observations[row];
    if (obs.linear_unit != state.current_linear_unit ||
        obs.angle_unit != state.current_angle_unit) {
      state.current_linear_unit = obs.linear_unit;
      state.current_angle_unit = obs.angle_unit;
      if (WriteUnits(out, obs.linear_unit, obs.angle_unit).failed()) return false;
    }
    RecordSds sds;
    if (obs.kind == ObsKind::GpsVector) {
      sds.covariance = weights.Vector(row, obs);
    } else {
      sds.station = weights.TotalStation(row, obs);
    }
    if (merged) {
      WriteRenamedObservation(out, state, tables, obs, sds);
    } else {
      WriteObservationRecord(out, state,
                             {tables.name(obs.at), tables.name(obs.fore), tables.name(obs.back),
                              tables.description(obs)},
                             obs.Values(), sds);
    }
    return !out.error();
  };
  const auto end_group = [&] {
    out.Write("\n\n");
    return !out.error();
  };
  // One pass writes the vectors and notes where the sights and the angle sets are: the rows of
  // a large job do not fit in the cache, and a pass per group would read them all three times.
  std::vector<int32_t> sights;
  std::vector<int32_t> angle_sets;
  // The stations of a large job are far apart in memory: their names are asked for a few rows
  // ahead of the row that writes them.
  constexpr size_t AHEAD = 8;
  for (size_t i = 1; i < observations.size(); ++i) {
    tables.PrefetchStationsOf(i + AHEAD);
    const ObsRow& obs = observations[i];
    if (obs.kind == ObsKind::GpsVector) {
      if (!write_row(i)) return out.status();
    } else if (obs.kind == ObsKind::Sight) {
      sights.push_back(static_cast<int32_t>(i));
    } else if (obs.kind == ObsKind::AngleSet) {
      angle_sets.push_back(static_cast<int32_t>(i));
    }
  }
  if (!end_group()) return out.status();
  for (const std::vector<int32_t>* group : {&sights, &angle_sets}) {
    for (size_t k = 0; k < group->size(); ++k) {
      if (k + AHEAD < group->size()) {
        tables.PrefetchStationsOf(static_cast<size_t>((*group)[k + AHEAD]));
      }
      if (!write_row(static_cast<size_t>((*group)[k]))) return out.status();
    }
    if (!end_group()) return out.status();
  }
  return Status();
}

}  // namespace fenwix

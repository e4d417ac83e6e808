#include "writer/record_writer.h"

#include <string_view>

#include "geodesy/angles.h"
#include "model/units.h"
#include "writer/header_writer.h"

namespace fenwix {

namespace {

bool IsObserved(double value) {
  return value != MISSING_VALUE;
}

// The zenith and distance records of a sight from at to sighted, each with its own description
// line. Shared by single sights and by angle sets that lack their horizontal angle.
void WriteZenithAndChord(OutputFile& out, int32_t linear_unit, int32_t angle_unit,
                         std::string_view at, std::string_view sighted, const ObsRecord& obs) {
  const double w = LinearFactor(linear_unit);
  const double a = AngleSigmaFactor(angle_unit);
  if (IsObserved(obs.zenith)) {
    WriteObsDescription(out, DELIMITER, obs.description);
    out.Print("{}{}{} {}{} {}{} {:.6f}{} {:.3f}{} {:.5f}{} {:.5f}\n\n", "", "$ZENITH_ONLY",
              DELIMITER, at, DELIMITER, sighted, DELIMITER, AngleToUnit(angle_unit, obs.zenith),
              DELIMITER, OBS_ZENITH_SD * a, DELIMITER, obs.instr_height * w, DELIMITER,
              obs.target_height * w);
  }
  if (IsObserved(obs.slope_dist)) {
    WriteObsDescription(out, DELIMITER, obs.description);
    out.Print("{}{}{} {}{} {}{} {:.5f}{} {:.5f}{} {:.5f}{} {:.5f}\n\n", "", "$CHORD_ONLY",
              DELIMITER, at, DELIMITER, sighted, DELIMITER, obs.slope_dist * w, DELIMITER,
              OBS_DISTANCE_SD * w, DELIMITER, obs.instr_height * w, DELIMITER,
              obs.target_height * w);
  }
}

void WriteOneStation(bool geodetic, bool local, int32_t linear_unit, const StationRecord& station,
                     OutputFile& out) {
  const double w = LinearFactor(linear_unit);
  if (geodetic) {
    // Latitude and longitude are packed degrees whatever the angle unit in force.
    out.Print(
        "$GEO_COMPACT{} {}{} {:.9f}{} 0.0{} {:.9f}{} 0.0{} {:.5f}{} 0.0{} 0.0{} 0.0{} {:.5f}{} "
        "0.0{} 0.0{} 0.0{} 0.0{} 0.0\n",
        DELIMITER, station.name, DELIMITER, RadiansToDms(station.latitude), DELIMITER, DELIMITER,
        RadiansToDms(station.longitude), DELIMITER, DELIMITER, station.height * w, DELIMITER,
        DELIMITER, DELIMITER, DELIMITER, station.height * w, DELIMITER, DELIMITER, DELIMITER,
        DELIMITER, DELIMITER);
  }
  if (local) {
    out.Print("$LOCAL_COMPACT{} {}{} {:.5f}{} {:.5f}{} {:.5f}\n", DELIMITER, station.name,
              DELIMITER, station.north * w, DELIMITER, station.east * w, DELIMITER,
              station.elevation * w);
  }
  if (station.description.empty()) {
    out.Write("\n");
  } else {
    out.Print("{}{} {}{} {}\n\n", "$STA_DESC", DELIMITER, station.name, DELIMITER,
              station.description);
  }
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
  out.Print(
      "{}{} {}{} {}{} {:.5f}{} {:.5f}{} {:.5f}{} {:.12f}{} {:.12f}{} {:.12f}{} {:.12f}{} "
      "{:.12f}{} {:.12f}\n\n",
      "$GPS_COMPACT", DELIMITER, obs.at_name, DELIMITER, obs.fore_name, DELIMITER, obs.dx * w,
      DELIMITER, obs.dy * w, DELIMITER, obs.dz * w, DELIMITER, sxx * w2, DELIMITER, sxy * w2,
      DELIMITER, syy * w2, DELIMITER, sxz * w2, DELIMITER, syz * w2, DELIMITER, szz * w2);
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
  const double angle = AngleToUnit(angle_unit, obs.horiz_angle);
  const double angle_sd = OBS_ANGLE_SD * a;
  const double instr_height = obs.instr_height * w;
  const double target_height = obs.target_height * w;
  WriteObsDescription(out, DELIMITER, obs.description);
  if (has_zenith && has_dist) {
    out.Print(
        "{}{} {}{} {}{} {}{} {:.6f}{} {:.3f}{} {:.6f}{} {:.3f}{} {:.5f}{} {:.5f}{} {:.5f}{} "
        "{:.5f}\n\n",
        "$HOR_COMPACT", DELIMITER, obs.at_name, DELIMITER, obs.fore_name, DELIMITER, obs.back_name,
        DELIMITER, angle, DELIMITER, angle_sd, DELIMITER, AngleToUnit(angle_unit, obs.zenith),
        DELIMITER, OBS_ZENITH_SD * a, DELIMITER, obs.slope_dist * w, DELIMITER, OBS_DISTANCE_SD * w,
        DELIMITER, instr_height, DELIMITER, target_height);
  } else if (has_zenith) {
    out.Print(
        "{}{} {}{} {}{} {}{} {:.6f}{} {:.3f}{} {:.6f}{} {:.3f}{} {}{} {}{} {:.5f}{} {:.5f}\n\n",
        "$HOR_COMPACT", DELIMITER, obs.at_name, DELIMITER, obs.fore_name, DELIMITER, obs.back_name,
        DELIMITER, angle, DELIMITER, angle_sd, DELIMITER, AngleToUnit(angle_unit, obs.zenith),
        DELIMITER, OBS_ZENITH_SD * a, DELIMITER, "NOOBS", DELIMITER, "NOOBS", DELIMITER,
        instr_height, DELIMITER, target_height);
  } else if (has_dist) {
    out.Print(
        "{}{} {}{} {}{} {}{} {:.6f}{} {:.3f}{} {}{} {}{} {:.5f}{} {:.5f}{} {:.5f}{} {:.5f}\n\n",
        "$HOR_COMPACT", DELIMITER, obs.at_name, DELIMITER, obs.fore_name, DELIMITER, obs.back_name,
        DELIMITER, angle, DELIMITER, angle_sd, DELIMITER, "NOOBS", DELIMITER, "NOOBS", DELIMITER,
        obs.slope_dist * w, DELIMITER, OBS_DISTANCE_SD * w, DELIMITER, instr_height, DELIMITER,
        target_height);
  } else {
    out.Print("{}{} {}{} {}{} {}{} {:.6f}{} {:.3f}{} {:.5f}{} {:.5f}\n\n", "$HORIZ_ANGLE_ONLY",
              DELIMITER, obs.at_name, DELIMITER, obs.fore_name, DELIMITER, obs.back_name, DELIMITER,
              angle, DELIMITER, angle_sd, DELIMITER, instr_height, DELIMITER, target_height);
  }
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
      switch (kind) {
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

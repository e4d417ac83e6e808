#include "adjust/input_from_tables.h"

#include <cmath>

#include "geodesy/ellipsoid.h"
#include "model/units.h"

namespace fenwix {

namespace {

// Decimals the adjustment file gives an angle's SD (in its unit's seconds), a distance's SD
// (in its linear unit) and a covariance term (in its unit squared).
constexpr double ANGLE_SD_DECIMALS = 3;
constexpr double LINEAR_SD_DECIMALS = 5;
constexpr double COVARIANCE_DECIMALS = 12;

double Rounded(double value, double decimals) {
  const double scale = std::pow(10.0, decimals);
  return std::round(value * scale) / scale;
}

int32_t KeeperOf(const std::vector<StationRecord>& stations, int32_t s) {
  const int32_t into = stations[static_cast<size_t>(s)].merged_into;
  if (into == STATION_NOT_MERGED || into < 1 || static_cast<size_t>(into) >= stations.size()) {
    return s;
  }
  return into;
}

}  // namespace

AdjustmentInput InputFromTables(const SurveyTables& tables, const RecordWeights& weights,
                                const ReadingLog& log, bool approx_computed) {
  AdjustmentInput input;
  input.a = PROPAGATION_A;
  input.e2 = PropagationEccentricitySquared();
  const std::vector<StationRecord>& stations = tables.stations();
  input.stations.resize(stations.size());
  for (size_t s = 1; s < stations.size(); ++s) {
    const StationRecord& row = stations[s];
    AdjustmentStation& st = input.stations[s];
    st.name = row.name;
    st.has_position = approx_computed && row.coords_known && row.merged_into == STATION_NOT_MERGED;
    st.latitude = row.latitude;
    st.longitude = row.longitude;
    st.height = row.height;
  }
  const auto observed = [](double v) { return v != MISSING_VALUE; };
  const auto rows = tables.observations();
  for (size_t r = 1; r < rows.size(); ++r) {
    const ObsRow& row = rows[r];
    AdjustmentObservation obs;
    obs.record = static_cast<int32_t>(r);
    obs.source = log.record_source(static_cast<int32_t>(r));
    obs.at = KeeperOf(stations, row.at);
    if (row.kind == ObsKind::GpsVector) {
      if (!observed(row.dx()) || !observed(row.dy()) || !observed(row.dz())) continue;
      obs.kind = AdjustedKind::GnssVector;
      obs.fore = KeeperOf(stations, row.fore);
      obs.value = {row.dx(), row.dy(), row.dz()};
      const double w2 = LinearFactor(row.linear_unit) * LinearFactor(row.linear_unit);
      const VectorCovariance c = weights.Vector(r, row);
      for (size_t k = 0; k < c.size(); ++k)
        obs.covariance[k] = Rounded(c[k] * w2, COVARIANCE_DECIMALS) / w2;
      input.observations.push_back(obs);
      continue;
    }
    if (row.kind != ObsKind::Sight && row.kind != ObsKind::AngleSet) continue;
    const TotalStationSds sds = weights.TotalStation(r, row);
    const double a = AngleSigmaFactor(row.angle_unit);
    const double w = LinearFactor(row.linear_unit);
    const double angle_sd = Rounded(sds.angle * a, ANGLE_SD_DECIMALS) / a / ARC_SECONDS_PER_RADIAN;
    const double zenith_sd =
        Rounded(sds.zenith * a, ANGLE_SD_DECIMALS) / a / ARC_SECONDS_PER_RADIAN;
    const double distance_sd = Rounded(sds.distance * w, LINEAR_SD_DECIMALS) / w;
    // A single sight names its target as the backsight.
    obs.fore = KeeperOf(stations, row.kind == ObsKind::Sight ? row.back : row.fore);
    obs.instrument_height = row.instr_height();
    obs.target_height = row.target_height();
    // Each observed quantity of the record is an observation of its own.
    const auto add = [&](AdjustedKind kind, double value, double sd) {
      AdjustmentObservation one = obs;
      one.kind = kind;
      one.value[0] = value;
      one.sd = sd;
      if (kind == AdjustedKind::HorizontalAngle) one.back = KeeperOf(stations, row.back);
      input.observations.push_back(one);
    };
    if (row.kind == ObsKind::AngleSet && observed(row.horiz_angle())) {
      add(AdjustedKind::HorizontalAngle, row.horiz_angle(), angle_sd);
    }
    if (observed(row.zenith())) add(AdjustedKind::Zenith, row.zenith(), zenith_sd);
    if (observed(row.slope_dist())) add(AdjustedKind::SlopeDistance, row.slope_dist(), distance_sd);
  }
  return input;
}

}  // namespace fenwix

#include "weights/record_weights.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <utility>

namespace fenwix {

namespace {

// Arc-seconds in a radian (ρ).
constexpr double RHO = 206264.80624709636;
constexpr double NO_DISTANCE = std::numeric_limits<double>::quiet_NaN();

// The default profile writes the distance SD as A / 1000: it must be the 0.005 m written before
// profiles, to the last bit.
static_assert(InstrumentProfile{}.distance_sd_mm / MM_PER_METER == 0.005);

bool Observed(double value) {
  return value != MISSING_VALUE && std::isfinite(value);
}

// The horizontal distance of a sight, meters: slope distance × sin zenith; NaN unless both were
// measured.
double Horizontal(double slope_distance, double zenith) {
  if (!Observed(slope_distance) || !Observed(zenith)) return NO_DISTANCE;
  return slope_distance * std::fabs(std::sin(zenith));
}

bool TotalStationKind(ObsKind kind) {
  return kind == ObsKind::Sight || kind == ObsKind::AngleSet;
}

}  // namespace

double DistanceSd(const InstrumentProfile& profile, double slope_distance) {
  const double a = profile.distance_sd_mm;
  const double i = profile.instrument_centering;
  const double t = profile.target_centering;
  if (profile.distance_ppm == 0.0 && i == 0.0 && t == 0.0) return a / MM_PER_METER;
  const double d = Observed(slope_distance) ? slope_distance : 0.0;
  const double ppm = profile.distance_ppm * d / MM_PER_METER;
  return std::sqrt(a * a + ppm * ppm + i * i + t * t) / MM_PER_METER;
}

double AngleSd(const InstrumentProfile& profile, double d1, double d2, double angle) {
  const double s = profile.angle_sd;
  if (profile.NoCentering() || !(d1 > 0.0) || !(d2 > 0.0) || !std::isfinite(d1) ||
      !std::isfinite(d2)) {
    return s;
  }
  const double t = profile.target_centering / MM_PER_METER;
  const double i = profile.instrument_centering / MM_PER_METER;
  const double sigma_t = RHO * t * std::sqrt(1.0 / (d1 * d1) + 1.0 / (d2 * d2));
  const double d3 = std::sqrt(std::max(0.0, d1 * d1 + d2 * d2 - 2.0 * d1 * d2 * std::cos(angle)));
  const double sigma_i = RHO * i * d3 / (std::sqrt(2.0) * d1 * d2);
  return std::sqrt(s * s + sigma_t * sigma_t + sigma_i * sigma_i);
}

VectorCovariance FileCovariance(const ObsValues& obs) {
  return {obs.sx * obs.sx,           obs.cxy * obs.sy * obs.sx, obs.sy * obs.sy,
          obs.cxz * obs.sz * obs.sx, obs.cyz * obs.sz * obs.sy, obs.sz * obs.sz};
}

bool LacksSds(const ObsValues& obs) {
  return obs.sx == 0.0 && obs.sy == 0.0 && obs.sz == 0.0;
}

VectorCovariance WeightedCovariance(const GnssProfile& profile, const ObsValues& obs,
                                    double latitude, double longitude) {
  VectorCovariance c = FileCovariance(obs);
  if (LacksSds(obs)) {
    if (!profile.fallback_sd) return c;
    const double sd = *profile.fallback_sd / MM_PER_METER;
    c = {sd * sd, 0.0, sd * sd, 0.0, 0.0, sd * sd};
  }
  if (profile.scale == 1.0 && profile.horizontal_centering == 0.0 &&
      profile.vertical_centering == 0.0) {
    return c;
  }
  const double f2 = profile.scale * profile.scale;
  const double h = profile.horizontal_centering / MM_PER_METER;
  const double v = profile.vertical_centering / MM_PER_METER;
  // Each end of the vector is centred independently: twice one end's variance.
  const double level = 2.0 * h * h;
  const double up = 2.0 * (v * v - h * h);
  const double u[3] = {std::cos(latitude) * std::cos(longitude),
                       std::cos(latitude) * std::sin(longitude), std::sin(latitude)};
  // (row, column) of each lower-triangle term.
  constexpr int TERMS[6][2] = {{0, 0}, {1, 0}, {1, 1}, {2, 0}, {2, 1}, {2, 2}};
  for (size_t k = 0; k < c.size(); ++k) {
    const int r = TERMS[k][0];
    const int col = TERMS[k][1];
    c[k] = f2 * c[k] + (r == col ? level : 0.0) + up * u[r] * u[col];
  }
  return c;
}

RecordWeights::RecordWeights() : profiles_{WeightProfile{}} {}

RecordWeights::RecordWeights(const SurveyTables& tables, std::vector<WeightProfile> profiles,
                             std::vector<uint16_t> profile_of_row, const WeightContext& context)
    : tables_(&tables),
      profiles_(std::move(profiles)),
      profile_of_row_(std::move(profile_of_row)),
      context_(context) {
  if (profiles_.empty()) profiles_.emplace_back();
  for (const WeightProfile& profile : profiles_) {
    if (!profile.instrument.NoCentering()) {
      FindSetupDistances();
      break;
    }
  }
}

const WeightProfile& RecordWeights::ProfileOf(size_t row) const {
  if (row < profile_of_row_.size() && profile_of_row_[row] < profiles_.size()) {
    return profiles_[profile_of_row_[row]];
  }
  return profiles_.front();
}

// D1 is the mean horizontal distance of the setup's sights to the backsight point, D2 the angle
// set's own; a setup is the run of total-station rows from one occupied station, as the reader
// records them. Where the setup measured neither, the approximate coordinates stand in.
void RecordWeights::FindSetupDistances() {
  const std::span<const ObsRow> rows = tables_->observations();
  setup_distances_.assign(rows.size(), {NO_DISTANCE, NO_DISTANCE});
  const std::vector<StationRecord>& stations = tables_->stations();
  const auto from_coordinates = [&](int32_t a, int32_t b) {
    if (!context_.approx_computed || a <= 0 || b <= 0) return NO_DISTANCE;
    const StationRecord& p = stations[static_cast<size_t>(a)];
    const StationRecord& q = stations[static_cast<size_t>(b)];
    if (!p.coords_known || !q.coords_known) return NO_DISTANCE;
    return std::hypot(p.north - q.north, p.east - q.east);
  };
  struct BacksightMean {
    int32_t station;
    double sum;
    int32_t count;
  };
  std::vector<BacksightMean> means;
  size_t first = 1;
  while (first < rows.size()) {
    if (!TotalStationKind(rows[first].kind)) {
      ++first;
      continue;
    }
    size_t end = first + 1;
    while (end < rows.size() && TotalStationKind(rows[end].kind) &&
           rows[end].at == rows[first].at) {
      ++end;
    }
    means.clear();
    for (size_t k = first; k < end; ++k) {
      const ObsRow& obs = rows[k];
      if (obs.kind != ObsKind::Sight) continue;
      const double d = Horizontal(obs.slope_dist(), obs.zenith());
      if (!(d > 0.0)) continue;
      BacksightMean* mean = nullptr;
      for (BacksightMean& m : means) {
        if (m.station == obs.back) mean = &m;
      }
      if (mean == nullptr) mean = &means.emplace_back(BacksightMean{obs.back, 0.0, 0});
      mean->sum += d;
      ++mean->count;
    }
    for (size_t k = first; k < end; ++k) {
      const ObsRow& obs = rows[k];
      if (obs.kind != ObsKind::AngleSet || !Observed(obs.horiz_angle()) ||
          ProfileOf(k).instrument.NoCentering()) {
        continue;
      }
      double d1 = NO_DISTANCE;
      for (const BacksightMean& m : means) {
        if (m.station == obs.back) d1 = m.sum / m.count;
      }
      if (!(d1 > 0.0)) d1 = from_coordinates(obs.at, obs.back);
      double d2 = Horizontal(obs.slope_dist(), obs.zenith());
      if (!(d2 > 0.0)) d2 = from_coordinates(obs.at, obs.fore);
      setup_distances_[k] = {d1, d2};
      if (!(d1 > 0.0) || !(d2 > 0.0)) {
        gaps_.push_back(CentringGap{static_cast<int32_t>(k), !(d1 > 0.0), !(d2 > 0.0)});
      }
    }
    first = end;
  }
}

double RecordWeights::BacksightDistance(size_t row) const {
  return row < setup_distances_.size() ? setup_distances_[row][0] : NO_DISTANCE;
}

double RecordWeights::ForesightDistance(size_t row) const {
  return row < setup_distances_.size() ? setup_distances_[row][1] : NO_DISTANCE;
}

TotalStationSds RecordWeights::TotalStation(size_t row, const ObsRow& obs) const {
  const InstrumentProfile& profile = ProfileOf(row).instrument;
  const double angle =
      obs.kind == ObsKind::AngleSet
          ? AngleSd(profile, BacksightDistance(row), ForesightDistance(row), obs.horiz_angle())
          : profile.angle_sd;
  return {angle, profile.zenith_sd, DistanceSd(profile, obs.slope_dist())};
}

VectorCovariance RecordWeights::Vector(size_t row, const ObsRow& obs) const {
  double latitude = context_.seed_latitude;
  double longitude = context_.seed_longitude;
  if (tables_ != nullptr && context_.approx_computed && obs.at > 0) {
    const StationRecord& base = tables_->stations()[static_cast<size_t>(obs.at)];
    if (base.coords_known) {
      latitude = base.latitude;
      longitude = base.longitude;
    }
  }
  return WeightedCovariance(ProfileOf(row).gnss, obs.Values(), latitude, longitude);
}

}  // namespace fenwix

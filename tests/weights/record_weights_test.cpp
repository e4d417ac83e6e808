// Weights of a small network whose values were worked out by hand, and GNSS covariances against
// GeographicLib's rotation of the local frame.

#include "weights/record_weights.h"

#include <gtest/gtest.h>
#include <GeographicLib/Geocentric.hpp>

#include <cmath>
#include <numbers>
#include <vector>

#include "writer/capture_file.h"
#include "writer/record_writer.h"

namespace fenwix {
namespace {

constexpr double DEG = std::numbers::pi / 180.0;

// 1" angles, 2" zeniths, 1 mm + 1.5 ppm, instrument and target centred to 0.5 mm.
WeightProfile Surveyor() {
  WeightProfile p;
  p.instrument = {1.0, 2.0, 1.0, 1.5, 0.5, 0.5};
  return p;
}

// Setup A sights B (100 m level) and turns 90° to C (50 m); setup C turns 60° from A, which it did
// not measure (50 m by coordinates), to D (80 m); setup D turns 120° from C to E, measuring
// nothing, neither with coordinates.
SurveyTables Network() {
  SurveyTables tables;
  const auto add = [&](ObsKind kind, const char* at, const char* fore, const char* back,
                       double angle, double slope) {
    ObsRecord& obs = tables.current_observation();
    ClearObservation(obs);
    obs.kind = kind, obs.at_name = at, obs.fore_name = fore, obs.back_name = back;
    obs.horiz_angle = angle;
    if (slope != MISSING_VALUE) obs.slope_dist = slope, obs.zenith = 90.0 * DEG;
    tables.RecordObservation();
  };
  add(ObsKind::Sight, "A", "", "B", MISSING_VALUE, 100.0);
  add(ObsKind::AngleSet, "A", "C", "B", 90.0 * DEG, 50.0);
  add(ObsKind::AngleSet, "C", "D", "A", 60.0 * DEG, 80.0);
  add(ObsKind::AngleSet, "D", "E", "C", 120.0 * DEG, MISSING_VALUE);
  const auto place = [&](const char* name, double north, double east) {
    StationRecord& s = tables.station(tables.StationIndex(name));
    s.north = north, s.east = east, s.coords_known = true;
  };
  place("A", 1000.0, 1000.0);
  place("C", 1030.0, 1040.0);
  return tables;
}

TEST(RecordWeights, HandComputedNetwork) {
  const SurveyTables tables = Network();
  const RecordWeights weights(tables, {Surveyor()}, {}, WeightContext{true, 0.0, 0.0});
  // σt = ρ·T·√(1/D1² + 1/D2²), σi = ρ·I·D3/(√2·D1·D2), SD = √(S² + σt² + σi²); distances
  // √(1² + (1.5·D/1000)² + 0.5² + 0.5²) mm.
  struct Expected {
    size_t row;
    double d1, d2, angle_sd, distance_sd;
  };
  const double nan = std::nan("");
  for (const Expected& e : {Expected{1, nan, nan, 1.0, 0.0012338962679253065},
                            Expected{2, 100.0, 50.0, 2.996200832809533, 0.0012270391191808025},
                            Expected{3, 50.0, 80.0, 2.9232037295933107, 0.0012306096050332127},
                            Expected{4, nan, nan, 1.0, 0.0012247448713915891}}) {
    const ObsRow& obs = tables.observations()[e.row];
    const TotalStationSds sds = weights.TotalStation(e.row, obs);
    EXPECT_NEAR(sds.angle, e.angle_sd, 1e-12) << e.row;
    EXPECT_EQ(sds.zenith, 2.0);
    EXPECT_NEAR(sds.distance, e.distance_sd, 1e-15) << e.row;
    if (std::isnan(e.d1)) continue;
    EXPECT_NEAR(weights.BacksightDistance(e.row), e.d1, 1e-9) << e.row;
    EXPECT_NEAR(weights.ForesightDistance(e.row), e.d2, 1e-9) << e.row;
  }
  ASSERT_EQ(weights.centring_gaps().size(), 1u);
  EXPECT_EQ(weights.centring_gaps()[0].row, 4);
  EXPECT_TRUE(weights.centring_gaps()[0].backsight_missing);
  EXPECT_TRUE(weights.centring_gaps()[0].foresight_missing);

  // Without approximate coordinates setup C has no backsight distance either.
  const RecordWeights bare(tables, {Surveyor()}, {}, WeightContext{});
  ASSERT_EQ(bare.centring_gaps().size(), 2u);
  EXPECT_EQ(bare.centring_gaps()[0].row, 3);
  EXPECT_EQ(bare.TotalStation(3, tables.observations()[3]).angle, 1.0);
}

// A distance in US survey feet: 304.8 m, SD √(1 + 0.4572² + 0.5) mm = 0.00130730 m, in feet.
TEST(RecordWeights, UsFeetRecordCarriesItsSdInFeet) {
  SurveyTables tables;
  ObsRecord& obs = tables.current_observation();
  obs.kind = ObsKind::Sight, obs.at_name = "A", obs.back_name = "B";
  obs.linear_unit = LinearUnit::UsFoot, obs.slope_dist = 304.8;
  tables.RecordObservation();
  WriterState state;
  state.current_linear_unit = LinearUnit::UsFoot;
  state.current_angle_unit = AngleUnit::Degrees;
  testing::CaptureFile file;
  EXPECT_TRUE(WriteObservations(tables, state, file.out,
                                RecordWeights(tables, {Surveyor()}, {}, WeightContext{}))
                  .ok());
  EXPECT_NE(file.Bytes().find("$CHORD_ONLY; A; B; 999.99800; 0.00429; "), std::string::npos)
      << file.Bytes();
}

// F²·C + 2H²·I + 2(V² − H²)·u·uᵀ equals F²·C plus the centring of both ends, diag(H², H², V²),
// turned from the local frame at the base by GeographicLib's rotation, twice.
TEST(RecordWeights, GnssCovarianceMatchesAnIndependentRotation) {
  ObsValues obs;
  obs.kind = ObsKind::GpsVector;
  obs.sx = 0.002, obs.sy = 0.003, obs.sz = 0.004, obs.cxy = 0.4, obs.cxz = -0.3, obs.cyz = 0.2;
  ObsValues bare = obs;
  bare.sx = bare.sy = bare.sz = 0.0;
  GnssProfile profile{3.0, 2.0, 5.0, std::nullopt};
  for (const auto& [lat, lon] : {std::pair{45.5, -120.2}, {-33.9, 151.2}, {0.0, 0.0}}) {
    double x = 0.0, y = 0.0, z = 0.0;
    std::vector<double> m(9);
    GeographicLib::Geocentric::WGS84().Forward(lat, lon, 0.0, x, y, z, m);
    const double local[3] = {2 * 4e-6, 2 * 4e-6, 2 * 25e-6};
    const auto centring = [&](int r, int c) {
      double sum = 0.0;
      for (int k = 0; k < 3; ++k)
        sum += m[static_cast<size_t>(3 * r + k)] * local[k] * m[static_cast<size_t>(3 * c + k)];
      return sum;
    };
    constexpr int TERMS[6][2] = {{0, 0}, {1, 0}, {1, 1}, {2, 0}, {2, 1}, {2, 2}};
    const VectorCovariance file = FileCovariance(obs);
    const VectorCovariance got = WeightedCovariance(profile, obs, lat * DEG, lon * DEG);
    profile.fallback_sd = 4.0;
    const VectorCovariance fallback = WeightedCovariance(profile, bare, lat * DEG, lon * DEG);
    profile.fallback_sd.reset();
    for (size_t k = 0; k < 6; ++k) {
      const double c = centring(TERMS[k][0], TERMS[k][1]);
      EXPECT_NEAR(got[k], 9.0 * file[k] + c, 1e-18) << lat << " " << k;
      const double diagonal = TERMS[k][0] == TERMS[k][1] ? 9.0 * 16e-6 : 0.0;
      EXPECT_NEAR(fallback[k], diagonal + c, 1e-18) << lat << " " << k;
      // Without a fallback a vector given no SDs keeps its zero covariance.
      EXPECT_EQ(WeightedCovariance(profile, bare, lat * DEG, lon * DEG)[k], 0.0);
    }
  }
}

}  // namespace
}  // namespace fenwix

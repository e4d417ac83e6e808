#pragma once
// A consistent survey network with known true positions for the adjustment test's benchmarks
// and tests: stations on a jittered grid around a seed point, GNSS vectors between the control
// points of a coarser grid, and total-station setups at the other points (a backsight and
// foresights to grid neighbours, both faces), every observation with the noise of its weight
// (about 1" angles, 1 mm + 1 ppm distances, 3 mm horizontal and 5 mm vertical GNSS). The same
// seed gives the same network on every platform. It fills the adjustment test's input directly
// or is written as a Topcon XML job.

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "adjust/adjustment_input.h"
#include "adjust/network_adjustment.h"
#include "geodesy/coordinates.h"
#include "geodesy/ellipsoid.h"

namespace fenwix::bench {

struct NetworkLayout {
  int32_t stations = 40;
  double spacing = 250.0;  // meters between grid neighbours
  // Every gnss_step-th grid row and column holds a control point tied by vectors; 0: none.
  int32_t gnss_step = 3;
  double setup_share = 0.8;  // share of the other points with a setup
  int32_t rounds = 1;        // rounds of each setup
  // Setups on the control points instead of the other points, their backsight the next control
  // point: a job whose approximate coordinates follow from one seed through the sights.
  bool setups_at_control = false;
  double angle_sd = 1.0;  // arc-seconds, of a horizontal angle and of a zenith angle
  double distance_mm = 1.0;
  double distance_ppm = 1.0;
  double gnss_horizontal_mm = 3.0;
  double gnss_vertical_mm = 5.0;
  // Meters by which the approximate positions miss the true ones, per component at most.
  double approximate_error = 0.02;
  uint64_t seed = 1;
};

struct NetworkSetup {
  int32_t at = 0;
  int32_t back = 0;
  std::vector<int32_t> fores;
  double instrument_height = 1.5;
};

struct GeneratedNetwork {
  AdjustmentInput input;                     // approximate positions, noisy observations
  std::vector<std::array<double, 3>> truth;  // geocentric, meters
  std::vector<NetworkSetup> setups;
  double seed_latitude = 0.0;  // radians
  double seed_longitude = 0.0;
};

namespace detail {

class NetworkRandom {
 public:
  explicit NetworkRandom(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  double Unit() { return (static_cast<double>(Next() >> 11) + 0.5) * 0x1.0p-53; }
  double Between(double low, double high) { return low + (high - low) * Unit(); }
  // Standard normal, Box-Muller.
  double Normal() {
    return std::sqrt(-2.0 * std::log(Unit())) * std::cos(2.0 * std::numbers::pi * Unit());
  }

 private:
  uint64_t state_;
};

inline std::string NetworkPointName(int32_t index) {
  char text[16];
  std::snprintf(text, sizeof text, "P%05d", index + 1);
  return text;
}

}  // namespace detail

// The value an observation has between true positions.
inline std::array<double, 3> TrueValue(const GeneratedNetwork& net,
                                       const AdjustmentObservation& obs) {
  // Only the observation's stations hold their true positions: the value reads no other.
  thread_local std::vector<double> positions;
  positions.resize(net.truth.size() * 3);
  for (const int32_t s : {obs.at, obs.fore, obs.back}) {
    if (s < 0 || static_cast<size_t>(s) >= net.truth.size()) continue;
    for (size_t c = 0; c < 3; ++c)
      positions[static_cast<size_t>(s) * 3 + c] = net.truth[static_cast<size_t>(s)][c];
  }
  return ComputedValue(net.input, obs, positions);
}

inline GeneratedNetwork GenerateNetwork(const NetworkLayout& layout) {
  using detail::NetworkRandom;
  GeneratedNetwork net;
  NetworkRandom random(layout.seed);
  const double a = PROPAGATION_A;
  const double e2 = PropagationEccentricitySquared();
  net.input.a = a;
  net.input.e2 = e2;
  net.seed_latitude = random.Between(30.0, 60.0) * std::numbers::pi / 180.0;
  net.seed_longitude = random.Between(-10.0, 30.0) * std::numbers::pi / 180.0;
  const Cartesian origin = GeodeticToCartesian(a, e2, net.seed_latitude, net.seed_longitude, 300.0);
  const auto columns =
      static_cast<int32_t>(std::ceil(std::sqrt(static_cast<double>(layout.stations))));
  const int32_t rows = (layout.stations + columns - 1) / columns;
  const auto index = [&](int32_t i, int32_t j) {
    return (i < 0 || j < 0 || i >= rows || j >= columns || i * columns + j >= layout.stations)
               ? -1
               : i * columns + j;
  };
  net.input.stations.resize(static_cast<size_t>(layout.stations));
  net.truth.resize(static_cast<size_t>(layout.stations));
  for (int32_t s = 0; s < layout.stations; ++s) {
    const double east = (s % columns + random.Between(-0.3, 0.3)) * layout.spacing;
    const double north = (s / columns + random.Between(-0.3, 0.3)) * layout.spacing;
    const double up = random.Between(-15.0, 15.0) + 0.01 * east;
    const Cartesian p = LocalToCartesian(net.seed_latitude, net.seed_longitude, east, north, up,
                                         origin.x, origin.y, origin.z);
    net.truth[static_cast<size_t>(s)] = {p.x, p.y, p.z};
    const double miss = layout.approximate_error;
    const Geodetic g =
        CartesianToGeodetic(a, e2, p.x + random.Between(-miss, miss),
                            p.y + random.Between(-miss, miss), p.z + random.Between(-miss, miss));
    AdjustmentStation& st = net.input.stations[static_cast<size_t>(s)];
    st.name = detail::NetworkPointName(s);
    st.has_position = true;
    st.latitude = g.phi;
    st.longitude = g.lam;
    st.height = g.h;
  }
  const auto add_noisy = [&](AdjustmentObservation obs) {
    const std::array<double, 3> truth = TrueValue(net, obs);
    if (obs.kind == AdjustedKind::GnssVector) {
      // Noise from the covariance's Cholesky factor.
      const auto& c = obs.covariance;
      const double l00 = std::sqrt(c[0]);
      const double l10 = c[1] / l00, l20 = c[3] / l00;
      const double l11 = std::sqrt(c[2] - l10 * l10);
      const double l21 = (c[4] - l20 * l10) / l11;
      const double l22 = std::sqrt(c[5] - l20 * l20 - l21 * l21);
      const double z0 = random.Normal(), z1 = random.Normal(), z2 = random.Normal();
      obs.value = {truth[0] + l00 * z0, truth[1] + l10 * z0 + l11 * z1,
                   truth[2] + l20 * z0 + l21 * z1 + l22 * z2};
    } else {
      obs.value[0] = truth[0] + obs.sd * random.Normal();
      if (obs.kind == AdjustedKind::HorizontalAngle && obs.value[0] < 0.0) {
        obs.value[0] += 2.0 * std::numbers::pi;
      }
    }
    net.input.observations.push_back(obs);
  };
  const double rad = std::numbers::pi / (180.0 * 3600.0);
  // Control points and their vectors to the next control points east, north and north-east.
  const auto control = [&](int32_t i, int32_t j) {
    return layout.gnss_step > 0 && i % layout.gnss_step == 0 && j % layout.gnss_step == 0 &&
           index(i, j) >= 0;
  };
  for (int32_t i = 0; i < rows; ++i) {
    for (int32_t j = 0; j < columns; ++j) {
      if (!control(i, j)) continue;
      const int32_t step = layout.gnss_step;
      const int32_t ends[3][2] = {{i, j + step}, {i + step, j}, {i + step, j + step}};
      for (const auto& end : ends) {
        if (!control(end[0], end[1])) continue;
        AdjustmentObservation v;
        v.kind = AdjustedKind::GnssVector;
        v.at = index(i, j);
        v.fore = index(end[0], end[1]);
        // Diagonal in the local frame of the base, turned into geocentric axes.
        const AdjustmentStation& base = net.input.stations[static_cast<size_t>(v.at)];
        const double sp = std::sin(base.latitude), cp = std::cos(base.latitude);
        const double sl = std::sin(base.longitude), cl = std::cos(base.longitude);
        const double axes[3][3] = {
            {-sl, cl, 0.0}, {-sp * cl, -sp * sl, cp}, {cp * cl, cp * sl, sp}};
        const double h = layout.gnss_horizontal_mm / 1000.0, u = layout.gnss_vertical_mm / 1000.0;
        const double var[3] = {h * h, h * h, u * u};
        double m[3][3] = {};
        for (int r = 0; r < 3; ++r)
          for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k) m[r][c] += axes[k][r] * var[k] * axes[k][c];
        v.covariance = {m[0][0], m[1][0], m[1][1], m[2][0], m[2][1], m[2][2]};
        add_noisy(v);
      }
    }
  }
  // Setups: backsight east (west at the edge), foresights north, south and north-east.
  for (int32_t i = 0; i < rows; ++i) {
    for (int32_t j = 0; j < columns; ++j) {
      const int32_t at = index(i, j);
      if (at < 0 || control(i, j) != layout.setups_at_control ||
          random.Unit() >= layout.setup_share) {
        continue;
      }
      NetworkSetup setup;
      setup.at = at;
      const int32_t step = layout.setups_at_control ? layout.gnss_step : 1;
      setup.back = index(i, j + step) >= 0 ? index(i, j + step) : index(i, j - step);
      for (const auto& f : {std::array<int32_t, 2>{i + 1, j}, std::array<int32_t, 2>{i - 1, j},
                            std::array<int32_t, 2>{i + 1, j + 1}}) {
        if (index(f[0], f[1]) >= 0) setup.fores.push_back(index(f[0], f[1]));
      }
      if (setup.back < 0 || setup.fores.empty()) continue;
      setup.instrument_height = random.Between(1.3, 1.7);
      net.setups.push_back(setup);
      for (int32_t round = 0; round < layout.rounds; ++round) {
        AdjustmentObservation base;
        base.at = at;
        base.instrument_height = setup.instrument_height;
        base.target_height = 1.6;
        base.fore = setup.back;
        base.kind = AdjustedKind::Zenith;
        base.sd = layout.angle_sd * rad;
        add_noisy(base);
        const auto distance_sd = [&](int32_t to) {
          const auto& p = net.truth[static_cast<size_t>(at)];
          const auto& q = net.truth[static_cast<size_t>(to)];
          const double d = std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]);
          return std::hypot(layout.distance_mm, layout.distance_ppm * d / 1000.0) / 1000.0;
        };
        base.kind = AdjustedKind::SlopeDistance;
        base.sd = distance_sd(setup.back);
        add_noisy(base);
        for (int32_t fore : setup.fores) {
          AdjustmentObservation obs = base;
          obs.fore = fore;
          obs.back = setup.back;
          obs.kind = AdjustedKind::HorizontalAngle;
          obs.sd = layout.angle_sd * rad;
          add_noisy(obs);
          obs.kind = AdjustedKind::Zenith;
          add_noisy(obs);
          obs.kind = AdjustedKind::SlopeDistance;
          obs.sd = distance_sd(fore);
          add_noisy(obs);
        }
      }
    }
  }
  return net;
}

// Packed DD.MMSSsssss of an angle in radians, taken into [0, 2π), to 1e-5 arc-second.
inline std::string PackedAngle(double radians) {
  const double turn = 2.0 * std::numbers::pi;
  radians = std::fmod(std::fmod(radians, turn) + turn, turn);
  const auto units = static_cast<long long>(std::llround(radians / std::numbers::pi * 648000.0e5));
  char text[64];
  std::snprintf(text, sizeof text, "%lld.%02lld%02lld%05lld", units / 360000000LL,
                units / 6000000LL % 60, units / 100000LL % 60, units % 100000LL);
  return text;
}

// Writes the network as a Topcon XML job: a "Vector" element per vector (standard deviations
// and correlations from its covariance), and per setup and round a "Station" element with
// both faces to the backsight, to each foresight and to the closing backsight. The readings
// give back the generated observations. False when the file cannot be written.
inline bool WriteNetworkXml(const std::string& path, const GeneratedNetwork& net) {
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  const std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  std::FILE* out = file.get();
  std::fprintf(out,
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<data>\n  <Project>\n"
               "    <Name>Generated network</Name>\n  </Project>\n");
  const auto name = [&](int32_t s) {
    return net.input.stations[static_cast<size_t>(s)].name.c_str();
  };
  const std::vector<AdjustmentObservation>& obs = net.input.observations;
  const double pi = std::numbers::pi;
  size_t i = 0;
  for (; i < obs.size() && obs[i].kind == AdjustedKind::GnssVector; ++i) {
    const auto& c = obs[i].covariance;
    const double sx = std::sqrt(c[0]), sy = std::sqrt(c[2]), sz = std::sqrt(c[5]);
    std::fprintf(out,
                 "  <Vector>\n    <BasePoint>%s</BasePoint>\n    <RoverPoint>%s</RoverPoint>\n"
                 "    <Type>Static</Type>\n    <DX>%.5f</DX>\n    <DY>%.5f</DY>\n"
                 "    <DZ>%.5f</DZ>\n    <SX>%.6f</SX>\n    <SY>%.6f</SY>\n    <SZ>%.6f</SZ>\n"
                 "    <CXY>%.6f</CXY>\n    <CXZ>%.6f</CXZ>\n    <CYZ>%.6f</CYZ>\n  </Vector>\n",
                 name(obs[i].at), name(obs[i].fore), obs[i].value[0], obs[i].value[1],
                 obs[i].value[2], sx, sy, sz, c[1] / (sx * sy), c[3] / (sx * sz), c[4] / (sy * sz));
  }
  const auto reading = [&](const char* type, int32_t point, double direction, double zenith,
                           double distance, double prism) {
    for (int face = 0; face < 2; ++face) {
      std::fprintf(out,
                   "    <Observation>\n      <ObsType>%s</ObsType>\n"
                   "      <PointNumber>%s</PointNumber>\n      <PrismHeight>%.4f</PrismHeight>\n"
                   "      <HorizontalAngle>%s</HorizontalAngle>\n"
                   "      <ZenithAngle>%s</ZenithAngle>\n"
                   "      <SlopeDistance>%.5f</SlopeDistance>\n    </Observation>\n",
                   type, name(point), prism, PackedAngle(direction + face * pi).c_str(),
                   PackedAngle(face == 0 ? zenith : 2 * pi - zenith).c_str(), distance);
    }
  };
  // Each round of a setup: the zenith and distance to the backsight, then per foresight its
  // angle, zenith and distance, as GenerateNetwork lists them.
  while (i + 1 < obs.size()) {
    const AdjustmentObservation& back_zenith = obs[i];
    const AdjustmentObservation& back_distance = obs[i + 1];
    const double orientation = 0.7;
    std::fprintf(out,
                 "  <Station>\n    <StationPoint>%s</StationPoint>\n"
                 "    <InstrumentHeight>%.4f</InstrumentHeight>\n",
                 name(back_zenith.at), back_zenith.instrument_height);
    reading("Backsight", back_zenith.fore, orientation, back_zenith.value[0],
            back_distance.value[0], back_zenith.target_height);
    i += 2;
    while (i + 2 < obs.size() && obs[i].kind == AdjustedKind::HorizontalAngle &&
           obs[i].at == back_zenith.at && obs[i].back == back_zenith.fore) {
      reading("Foresight", obs[i].fore, orientation + obs[i].value[0], obs[i + 1].value[0],
              obs[i + 2].value[0], obs[i].target_height);
      i += 3;
    }
    reading("Backsight", back_zenith.fore, orientation, back_zenith.value[0],
            back_distance.value[0], back_zenith.target_height);
    std::fprintf(out, "  </Station>\n");
  }
  std::fprintf(out, "</data>\n");
  return std::ferror(out) == 0 && std::fflush(out) == 0;
}

// Each vector and each sight (the angle, zenith and distance of one target from one setup) is
// one record, its source line first_line + its number.
inline void NumberRecords(AdjustmentInput& input, int32_t first_line = 0) {
  int32_t record = 0;
  for (size_t i = 0; i < input.observations.size(); ++i) {
    AdjustmentObservation& obs = input.observations[i];
    const AdjustmentObservation* last = i > 0 ? &input.observations[i - 1] : nullptr;
    const bool same = last != nullptr && obs.kind != AdjustedKind::GnssVector &&
                      last->kind != AdjustedKind::GnssVector && last->at == obs.at &&
                      last->fore == obs.fore && obs.kind != AdjustedKind::HorizontalAngle;
    if (!same) ++record;
    obs.record = record;
    obs.source = {0, first_line + record};
  }
}

}  // namespace fenwix::bench

// Conversion of a generated network with approximate coordinates (merge pass, propagation,
// merge pass) as a ratio against the same conversion without them, at two network sizes.
//
//   cmake -S . -B build-bench -DFENWIX_BUILD_GUI=OFF -DFENWIX_BUILD_BENCH=ON
//         -DCMAKE_BUILD_TYPE=RelWithDebInfo
//   cmake --build build-bench --target approx_bench
//   build-bench/bench/approx_bench [stations] [rounds]
//
// The network: a seed, 98 hubs tied to it by GPS vectors, and every other station tied to one
// hub, half by a GPS vector and half by a polar sight from a setup at the hub oriented on the
// seed. The propagation visits one known station per step, so this shape (every station within
// two visits of the seed) is what 100 steps can reach in full. Sizes: `stations` (default
// 10000) and twice that. Each size is timed `rounds` times, the two conversions alternating,
// and the fastest run of each is kept: on a shared machine the minimum is the least disturbed
// figure.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <fmt/format.h>

#include "app/convert_dialog.h"
#include "approx/approx_coordinates.h"
#include "bench_support.h"
#include "model/station_merging.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using fenwix::bench::SilentUi;

constexpr int HUBS = 98;
// Seed at 45° N, 120° W (the dialog's defaults), packed DD.MMSSsssss.
constexpr double SEED_LAT_DEG = 45.0;
constexpr double SEED_LON_DEG = -120.0;
constexpr double PI = 3.141592653589793;

struct Enu {
  double e, n, u;
};

// Cartesian difference of a local offset at the seed (a flat approximation is all a benchmark
// needs: the vectors only have to be consistent, not true).
void ToCartesian(const Enu& d, double& dx, double& dy, double& dz) {
  const double phi = SEED_LAT_DEG * PI / 180, lam = SEED_LON_DEG * PI / 180;
  dx = -std::sin(lam) * d.e - std::sin(phi) * std::cos(lam) * d.n +
       std::cos(phi) * std::cos(lam) * d.u;
  dy = std::cos(lam) * d.e - std::sin(phi) * std::sin(lam) * d.n +
       std::cos(phi) * std::sin(lam) * d.u;
  dz = std::cos(phi) * d.n + std::sin(phi) * d.u;
}

std::string PackedDms(double radians) {
  while (radians < 0) radians += 2 * PI;
  const auto units = std::llround(radians * 180.0 / PI * 3600.0 * 1e5);
  return fmt::format("{}.{:02}{:02}{:05}", units / 360000000, units / 6000000 % 60,
                     units / 100000 % 60, units % 100000);
}

// Sight from a to b: azimuth, zenith, slope distance (flat).
void Sight(const Enu& a, const Enu& b, double& azimuth, double& zenith, double& slope) {
  const double de = b.e - a.e, dn = b.n - a.n, du = b.u - a.u;
  azimuth = std::atan2(de, dn);
  zenith = std::atan2(std::hypot(de, dn), du);
  slope = std::sqrt(de * de + dn * dn + du * du);
}

void WriteNetwork(const fs::path& path, int stations) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  fmt::print(f, "<?xml version=\"1.0\"?>\n<data><Project><Name>Net</Name></Project>\n");
  const auto vector = [&](const std::string& base, const std::string& rover, const Enu& d) {
    double dx, dy, dz;
    ToCartesian(d, dx, dy, dz);
    fmt::print(f,
               "<Vector><BasePoint>{}</BasePoint><RoverPoint>{}</RoverPoint><Type>Fixed</Type>"
               "<DX>{:.4f}</DX><DY>{:.4f}</DY><DZ>{:.4f}</DZ><SX>0.002</SX><SY>0.002</SY>"
               "<SZ>0.004</SZ><CXY>0.1</CXY><CXZ>0</CXZ><CYZ>0</CYZ></Vector>\n",
               base, rover, dx, dy, dz);
  };
  const auto observation = [&](const char* type, const std::string& point, double direction,
                               double zenith, double slope) {
    fmt::print(f,
               "<Observation><ObsType>{}</ObsType><PointNumber>{}</PointNumber>"
               "<HorizontalAngle>{}</HorizontalAngle><ZenithAngle>{}</ZenithAngle>"
               "<SlopeDistance>{:.4f}</SlopeDistance><PrismHeight>1.800</PrismHeight>"
               "</Observation>\n",
               type, point, PackedDms(direction), PackedDms(zenith), slope);
  };
  const Enu seed{0, 0, 0};
  std::vector<Enu> hubs;
  for (int h = 0; h < HUBS; ++h) {
    const double angle = 2 * PI * h / HUBS;
    hubs.push_back({20000.0 * std::sin(angle), 20000.0 * std::cos(angle), 5.0 * (h % 7)});
    vector("BASE", fmt::format("H{}", h), hubs.back());
  }
  const int per_hub = (stations - 1 - HUBS + HUBS - 1) / HUBS;
  int made = 1 + HUBS;
  for (int h = 0; h < HUBS && made < stations; ++h) {
    const Enu& hub = hubs[static_cast<size_t>(h)];
    double back_azimuth, back_zenith, back_slope;
    Sight(hub, seed, back_azimuth, back_zenith, back_slope);
    bool setup_open = false;
    for (int k = 0; k < per_hub && made < stations; ++k, ++made) {
      // Spread over a 1.5 km disc around the hub, never closer than a metre to another.
      const double r = 50.0 + 1400.0 * (k + 1) / per_hub;
      const double t = 2.399963 * k;  // golden angle
      const Enu p{hub.e + r * std::sin(t), hub.n + r * std::cos(t), 0.2 * (k % 50)};
      const std::string name = fmt::format("S{}-{}", h, k);
      if (k % 2 == 0) {
        vector(fmt::format("H{}", h), name, Enu{p.e - hub.e, p.n - hub.n, p.u - hub.u});
        continue;
      }
      if (!setup_open) {
        fmt::print(f,
                   "<Station><StationPoint>H{}</StationPoint>"
                   "<InstrumentHeight>1.600</InstrumentHeight>\n",
                   h);
        setup_open = true;
      }
      double azimuth, zenith, slope;
      Sight(hub, p, azimuth, zenith, slope);
      observation("Backsight", "BASE", 0.0, back_zenith, back_slope);
      observation("Foresight", name, azimuth - back_azimuth, zenith, slope);
    }
    if (setup_open) {
      observation("Backsight", "BASE", 0.0, back_zenith, back_slope);
      fmt::print(f, "</Station>\n");
    }
  }
  fmt::print(f, "</data>\n");
  std::fclose(f);
}

struct Timing {
  double plain = 1e30;    // seconds, conversion without approximate coordinates
  double approx = 1e30;   // seconds, with them
  double compute = 1e30;  // seconds, ComputeApproxCoordinates alone on the parsed tables
  double merge = 1e30;    // seconds, one merge pass alone on the computed tables
  int32_t stations = 0;
  int32_t observations = 0;
  std::string message;
};

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

Timing Measure(const fs::path& dir, int stations, int rounds) {
  const fs::path xml = dir / fmt::format("net-{}.xml", stations);
  WriteNetwork(xml, stations);
  Timing t;
  for (int round = 0; round < rounds; ++round) {
    for (const bool with : {false, true}) {
      fenwix::ConvertDialog dialog;
      dialog.InitializeDefaults();
      dialog.request.xml_paths = {xml.string()};
      dialog.request.output_path = (dir / "out.txt").string();
      dialog.request.seed_name = "BASE";
      dialog.request.seed_latitude = SEED_LAT_DEG;
      dialog.request.seed_longitude = SEED_LON_DEG;
      dialog.request.compute_local = with;
      SilentUi ui;
      const Clock::time_point start = Clock::now();
      dialog.RunConversion(ui);
      const double s = Seconds(start, Clock::now());
      if (!with) {
        t.plain = std::min(t.plain, s);
        continue;
      }
      t.approx = std::min(t.approx, s);
      t.stations = dialog.run.tables.station_count() - 1;
      t.observations = dialog.run.tables.observation_count() - 1;
      t.message = ui.last_text.substr(0, ui.last_text.find("Non-computed"));

      // The two steps alone, on fresh copies of what the conversion left.
      fenwix::SurveyTables tables = dialog.run.tables;
      for (int32_t i = 1; i < tables.station_count(); ++i) {
        tables.station(i).coords_known = false;
      }
      const int32_t seed = tables.FindStation("BASE");
      const fenwix::Ellipsoid datum{"WGS 84", fenwix::WGS84_A, fenwix::WGS84_INV_F};
      Clock::time_point a = Clock::now();
      fenwix::ComputeApproxCoordinates(
          tables, seed, fenwix::SeedPosition{SEED_LAT_DEG, SEED_LON_DEG, 0.0}, datum);
      t.compute = std::min(t.compute, Seconds(a, Clock::now()));
      a = Clock::now();
      fenwix::MergeSimilarStations(tables, 0.05, false,
                                   [](const fenwix::StationRecord&, const fenwix::StationRecord&) {
                                     return fenwix::MergeAnswer::Different;
                                   });
      t.merge = std::min(t.merge, Seconds(a, Clock::now()));
    }
  }
  fs::remove(xml);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const int stations = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const fs::path dir =
      fs::temp_directory_path() / fmt::format("fenwix-approx-bench-{}", ::getpid());
  fs::create_directories(dir);
  fmt::print("{:>9} {:>9} {:>11} {:>11} {:>8} {:>11} {:>11}\n", "stations", "records", "plain ms",
             "approx ms", "ratio", "compute/pl", "merge/pl");
  Timing previous;
  for (const int size : {stations, 2 * stations}) {
    const Timing t = Measure(dir, size, rounds);
    fmt::print("{:>9} {:>9} {:>11.1f} {:>11.1f} {:>8.3f} {:>11.3f} {:>11.3f}\n", t.stations,
               t.observations, t.plain * 1e3, t.approx * 1e3, t.approx / t.plain,
               t.compute / t.plain, t.merge / t.plain);
    fmt::print("          final message: {}\n", t.message);
    if (previous.stations > 0) {
      fmt::print(
          "growth for twice the stations: plain {:.2f}x, added by approx {:.2f}x, "
          "compute {:.2f}x\n",
          t.plain / previous.plain, (t.approx - t.plain) / (previous.approx - previous.plain),
          t.compute / previous.compute);
    }
    previous = t;
  }
  fs::remove_all(dir);
  return 0;
}

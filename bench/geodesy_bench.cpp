// GeodesicInverse and GeodesicDirect against GeographicLib's Geodesic on the same random lines,
// reported as ratios (ours / GeographicLib's) measured in the same run.
//
//   cmake -S . -B build-bench -DFENWIX_BUILD_GUI=OFF -DFENWIX_BUILD_BENCH=ON
//         -DCMAKE_BUILD_TYPE=RelWithDebInfo
//   cmake --build build-bench --target geodesy_bench
//   build-bench/bench/geodesy_bench --benchmark_repetitions=5
//
// Two sets of 4096 lines from a fixed seed: short lines up to 100 km, and lines anywhere on the
// globe up to 19,900 km long (so at least about 1 degree short of antipodal, where the
// iteration may run to its cap).
// With repetitions, the ratio uses the fastest repetition (CPU time) of each benchmark: on a
// shared machine the minimum is the least disturbed figure.

#include <benchmark/benchmark.h>
#include <GeographicLib/Geodesic.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "geodesy/angles.h"
#include "geodesy/ellipsoid.h"
#include "geodesy/geodesic.h"

namespace {

using namespace fenwix;

constexpr int LINE_COUNT = 4096;
// Lines up to this long count as short, meters.
constexpr double SHORT_LINE_LENGTH = 100000.0;

struct Line {
  double phi1, lam1, phi2, lam2, alpha12, s;  // radians and meters
  double lat1, lon1, lat2, lon2, azi1;        // the same in degrees
};

const GeographicLib::Geodesic& Reference() {
  static const GeographicLib::Geodesic geodesic(WGS84_A, 1.0 / WGS84_INV_F);
  return geodesic;
}

std::vector<Line> MakeLines(bool short_lines) {
  std::mt19937_64 rng(short_lines ? 101 : 202);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::vector<Line> lines;
  while (static_cast<int>(lines.size()) < LINE_COUNT) {
    Line l{};
    l.lat1 = std::asin(unit(rng)) * DEGREES_PER_RADIAN;
    l.lon1 = unit(rng) * 180.0;
    l.azi1 = unit(rng) * 180.0;
    const double s = short_lines ? (unit(rng) + 1.0) / 2.0 * SHORT_LINE_LENGTH
                                 : (unit(rng) + 1.0) / 2.0 * 19900000.0;
    double azi2;
    Reference().Direct(l.lat1, l.lon1, l.azi1, s, l.lat2, l.lon2, azi2);
    l.s = s;
    l.phi1 = l.lat1 / DEGREES_PER_RADIAN;
    l.lam1 = l.lon1 / DEGREES_PER_RADIAN;
    l.phi2 = l.lat2 / DEGREES_PER_RADIAN;
    l.lam2 = l.lon2 / DEGREES_PER_RADIAN;
    l.alpha12 = NormalizeAngle(l.azi1 / DEGREES_PER_RADIAN);
    lines.push_back(l);
  }
  return lines;
}

const std::vector<Line>& Lines(bool short_lines) {
  static const std::vector<Line> short_set = MakeLines(true);
  static const std::vector<Line> global_set = MakeLines(false);
  return short_lines ? short_set : global_set;
}

void FenwixInverse(benchmark::State& state) {
  const std::vector<Line>& lines = Lines(state.range(0) != 0);
  const double e2 = EccentricitySquaredOf(WGS84_A, WGS84_INV_F);
  for (auto _ : state) {
    for (const Line& l : lines) {
      benchmark::DoNotOptimize(
          GeodesicInverse(WGS84_A, e2, WGS84_INV_F, l.phi1, l.lam1, l.phi2, l.lam2));
    }
  }
  state.SetItemsProcessed(state.iterations() * LINE_COUNT);
}

void GeographicLibInverse(benchmark::State& state) {
  const std::vector<Line>& lines = Lines(state.range(0) != 0);
  for (auto _ : state) {
    for (const Line& l : lines) {
      double s12, azi1, azi2;
      Reference().Inverse(l.lat1, l.lon1, l.lat2, l.lon2, s12, azi1, azi2);
      benchmark::DoNotOptimize(s12);
      benchmark::DoNotOptimize(azi1);
      benchmark::DoNotOptimize(azi2);
    }
  }
  state.SetItemsProcessed(state.iterations() * LINE_COUNT);
}

void FenwixDirect(benchmark::State& state) {
  const std::vector<Line>& lines = Lines(state.range(0) != 0);
  for (auto _ : state) {
    for (const Line& l : lines) {
      benchmark::DoNotOptimize(
          GeodesicDirect(WGS84_A, WGS84_INV_F, l.phi1, l.lam1, l.alpha12, l.s));
    }
  }
  state.SetItemsProcessed(state.iterations() * LINE_COUNT);
}

void GeographicLibDirect(benchmark::State& state) {
  const std::vector<Line>& lines = Lines(state.range(0) != 0);
  for (auto _ : state) {
    for (const Line& l : lines) {
      double lat2, lon2, azi2;
      Reference().Direct(l.lat1, l.lon1, l.azi1, l.s, lat2, lon2, azi2);
      benchmark::DoNotOptimize(lat2);
      benchmark::DoNotOptimize(lon2);
      benchmark::DoNotOptimize(azi2);
    }
  }
  state.SetItemsProcessed(state.iterations() * LINE_COUNT);
}

// Argument 1: short lines; 0: global lines.
BENCHMARK(FenwixInverse)->Arg(1)->Arg(0);
BENCHMARK(GeographicLibInverse)->Arg(1)->Arg(0);
BENCHMARK(FenwixDirect)->Arg(1)->Arg(0);
BENCHMARK(GeographicLibDirect)->Arg(1)->Arg(0);

// Prints as usual and keeps the fastest CPU time per benchmark for the ratios (CPU time, since
// on the shared machine the wall clock also counts other people's work).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const std::string name = run.run_name.str();
      const double t = run.GetAdjustedCPUTime();
      auto [it, inserted] = fastest_.emplace(name, t);
      if (!inserted) it->second = std::min(it->second, t);
    }
  }
  void PrintRatios() const {
    std::printf("\nRatio ours / GeographicLib (fastest runs; below 1 means faster):\n");
    for (const char* op : {"Inverse", "Direct"}) {
      for (const char* set : {"1", "0"}) {
        const auto ours = fastest_.find(std::string("Fenwix") + op + "/" + set);
        const auto theirs = fastest_.find(std::string("GeographicLib") + op + "/" + set);
        if (ours == fastest_.end() || theirs == fastest_.end()) continue;
        std::printf("  %-8s %-13s %.3f\n", op, set[0] == '1' ? "short lines" : "global lines",
                    ours->second / theirs->second);
      }
    }
  }

 private:
  std::map<std::string, double> fastest_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}

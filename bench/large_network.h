#pragma once
// A large network put straight into the tables (and the timing helpers of its benchmarks), as a
// conversion with approximate coordinates leaves them: stations on a jittered grid about 14 km
// across with known local coordinates, GPS vectors between nearby stations and total-station angle
// sets at nearby setups. The propagation is not run: its step budget reaches only part of a network
// this size, and the drawing does not care how the coordinates came about.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"
#include "model/station_placement.h"
#include "model/survey_tables.h"

namespace fenwix::bench {

// How long f takes, in milliseconds.
template <typename F>
double Milliseconds(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

struct LargeNetwork {
  SurveyTables tables;
  std::vector<StationPlacement> placements;
};

// stations (about 20,000), vectors (100,000) and angle sets (10,000).
inline LargeNetwork BuildLargeNetwork(int32_t stations, int32_t vectors, int32_t sets) {
  LargeNetwork net;
  uint64_t state = 20261208;
  const auto next = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(state >> 33);
  };
  const auto unit = [&] { return next() / 2147483648.0; };
  int32_t side = 1;
  while (side * side < stations) ++side;
  // Spacing of the grid, meters.
  const double spacing = 100.0;
  const auto name = [](int32_t i) {
    char text[16];
    std::snprintf(text, sizeof text, "P%05d", i + 1);
    return std::string(text);
  };
  for (int32_t i = 0; i < stations; ++i) net.tables.AddStation(name(i));
  // A station near i on the grid, other than i.
  const auto near = [&](int32_t i) {
    for (;;) {
      const int32_t dr = static_cast<int32_t>(next() % 7) - 3;
      const int32_t dc = static_cast<int32_t>(next() % 7) - 3;
      const int32_t j = i + dr * side + dc;
      if (j != i && j >= 0 && j < stations) return j;
    }
  };
  for (int32_t v = 0; v < vectors; ++v) {
    const int32_t base = static_cast<int32_t>(next() % static_cast<uint32_t>(stations));
    net.tables.SetObsKind(ObsKind::GpsVector);
    net.tables.SetObsName(ObsNameField::At, name(base));
    net.tables.SetObsName(ObsNameField::Fore, name(near(base)));
    net.tables.RecordObservation();
  }
  for (int32_t s = 0; s < sets; ++s) {
    const int32_t at = static_cast<int32_t>(next() % static_cast<uint32_t>(stations));
    net.tables.SetObsKind(ObsKind::AngleSet);
    net.tables.SetObsName(ObsNameField::At, name(at));
    net.tables.SetObsName(ObsNameField::Back, name(near(at)));
    net.tables.SetObsName(ObsNameField::Fore, name(near(at)));
    net.tables.RecordObservation();
  }
  net.placements.assign(static_cast<size_t>(net.tables.station_count()),
                        StationPlacement::Observed);
  for (int32_t row = 1; row < net.tables.station_count(); ++row) {
    StationRecord& station = net.tables.station(row);
    const int32_t i = row - 1;
    station.north = 100000.0 + (i / side) * spacing + (unit() - 0.5) * spacing * 0.6;
    station.east = 100000.0 + (i % side) * spacing + (unit() - 0.5) * spacing * 0.6;
    station.elevation = 200.0 + 50.0 * unit();
    station.coords_known = true;
    if (next() % 50 == 0) net.placements[static_cast<size_t>(row)] = StationPlacement::Intersected;
  }
  net.placements[1] = StationPlacement::Seed;
  return net;
}

}  // namespace fenwix::bench

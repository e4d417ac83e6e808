// How many of the stations of everyday survey shapes the whole-network run (--max-steps 0)
// places, and how far from the truth, with 1″ angles, 1 mm distances and 1 mm vectors.
//
//   cmake --build build-bench --target approx_shapes_bench
//   build-bench/bench/approx_shapes_bench [networks per shape]
//   build-bench/bench/approx_shapes_bench --xml FILE   (a small job: a free station and a
//                                                       traverse among the control points)
//
// Each network: a seed and six control points tied to it by GPS vectors, and ten setups of one
// shape among them; only the stations that no vector reaches are counted. The shapes:
// - free stations sighting 2, 3 or 4 control points (the first target is a control point);
// - setups on a control point whose backsight is a new point, foresights to two control points;
// - traverses of three legs between two control points, no orientation at either end;
// - resections: directions only to 3 or 4 control points;
// - a GNSS cluster whose only vector to the seed was left out, tied by sights from the seed.
// Truth and observations come from GeographicLib's local frames (tests/approx/truth_network.h).

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "../tests/approx/truth_network.h"
#include "approx/approx_coordinates.h"
#include "geodesy/ellipsoid.h"

namespace {

using fenwix::testing::TruthNetwork;
using fenwix::testing::TruthObservation;

constexpr double ARC_SECOND = 3.141592653589793 / 180.0 / 3600.0;

struct Generated {
  TruthNetwork truth{47.0, 8.0, 400.0};
  std::vector<TruthObservation> obs;
  std::vector<std::string> counted;  // stations that only total-station work reaches
  std::mt19937 random;
  std::normal_distribution<double> unit{0.0, 1.0};

  explicit Generated(unsigned seed) : random(seed) {}

  double Uniform(double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(random);
  }
  void Point(const std::string& name, double e, double n) {
    truth.Add(name, e, n, Uniform(-10, 10));
  }
  void Vector(const std::string& a, const std::string& b) {
    TruthObservation o = truth.GpsVector(a, b);
    o.dx += 0.001 * unit(random);
    o.dy += 0.001 * unit(random);
    o.dz += 0.001 * unit(random);
    obs.push_back(o);
  }
  // An angle set with 1″ on the angle and zenith, 1 mm on the distance.
  void Set(const std::string& at, const std::string& back, const std::string& fore,
           bool distance = true) {
    TruthObservation o = truth.AngleSet(at, back, fore, true, distance, distance);
    o.horiz_angle += ARC_SECOND * unit(random);
    if (distance) {
      o.zenith += ARC_SECOND * unit(random);
      o.slope_dist += 0.001 * unit(random);
    }
    obs.push_back(o);
  }
  void Backsight(const std::string& at, const std::string& back) {
    const fenwix::testing::Sighting s = truth.Sight(at, back);
    TruthObservation o;
    o.kind = fenwix::ObsKind::Sight;
    o.at = at;
    o.back = back;
    o.zenith = s.zenith + ARC_SECOND * unit(random);
    o.slope_dist = s.slope + 0.001 * unit(random);
    obs.push_back(o);
  }
  // Control points C0..C5 on a ring of 600 m round the seed, tied to it by vectors.
  void Control() {
    truth.Add("S", 0, 0, 0);
    for (int i = 0; i < 6; ++i) {
      const double a = i * 3.141592653589793 / 3 + Uniform(-0.2, 0.2);
      Point(C(i), 600 * std::sin(a), 600 * std::cos(a));
      Vector("S", C(i));
    }
  }
  static std::string C(int i) { return "C" + std::to_string(i % 6); }
};

// Ten setups of a shape; `k` numbers the setup.
using ShapeBuilder = std::function<void(Generated&, int k)>;

void FreeStation(Generated& g, int k, int known) {
  const std::string f = "F" + std::to_string(k);
  g.Point(f, g.Uniform(-350, 350), g.Uniform(-350, 350));
  g.counted.push_back(f);
  const int first = k % 6;
  g.Backsight(f, g.C(first));
  for (int i = 1; i < known; ++i) g.Set(f, g.C(first), g.C(first + 2 * i - (i > 2 ? 3 : 0)));
  const std::string p = "P" + std::to_string(k);
  g.Point(p, g.Uniform(-400, 400), g.Uniform(-400, 400));
  g.counted.push_back(p);
  g.Set(f, g.C(first), p);
}

void UnknownBacksight(Generated& g, int k) {
  const int at = k % 6;
  const std::string x = "X" + std::to_string(k), p = "P" + std::to_string(k);
  g.Point(x, g.Uniform(-500, 500), g.Uniform(-500, 500));
  g.Point(p, g.Uniform(-500, 500), g.Uniform(-500, 500));
  g.counted.insert(g.counted.end(), {x, p});
  g.Backsight(g.C(at), x);
  g.Set(g.C(at), x, g.C(at + 1));
  g.Set(g.C(at), x, g.C(at + 3));
  g.Set(g.C(at), x, p);
}

void Traverse(Generated& g, int k) {
  const int from = k % 6, to = (k + 1) % 6;
  const TruthNetwork& t = g.truth;
  const double e0 = t.East(g.C(from)) - 1e5, n0 = t.North(g.C(from)) - 1e5;
  const double e1 = t.East(g.C(to)) - 1e5, n1 = t.North(g.C(to)) - 1e5;
  std::vector<std::string> chain{g.C(from)};
  for (int i = 1; i <= 3; ++i) {
    const std::string name = "T" + std::to_string(k) + "_" + std::to_string(i);
    const double s = i / 4.0;
    g.Point(name, e0 + s * (e1 - e0) + g.Uniform(-60, 60), n0 + s * (n1 - n0) + g.Uniform(-60, 60));
    g.counted.push_back(name);
    chain.push_back(name);
  }
  chain.push_back(g.C(to));
  for (size_t i = 1; i + 1 < chain.size(); ++i) {
    g.Backsight(chain[i], chain[i - 1]);
    g.Set(chain[i], chain[i - 1], chain[i + 1]);
  }
}

void Resection(Generated& g, int k, int known) {
  const std::string f = "R" + std::to_string(k);
  g.Point(f, g.Uniform(-300, 300), g.Uniform(-300, 300));
  g.counted.push_back(f);
  const int first = k % 6;
  for (int i = 1; i < known; ++i) g.Set(f, g.C(first), g.C(first + (i * 6) / known), false);
}

void DroppedSeedVector(Generated& g, int k) {
  // One cluster per network; the ten "setups" are its points.
  if (k > 0) return;
  g.truth.Add("S", 0, 0, 0);
  std::vector<std::string> cluster;
  for (int i = 0; i < 10; ++i) {
    const std::string name = "G" + std::to_string(i);
    g.Point(name, g.Uniform(-800, 800), g.Uniform(-800, 800));
    g.counted.push_back(name);
    if (i > 0) g.Vector(cluster[static_cast<size_t>(std::rand() % i)], name);
    cluster.push_back(name);
  }
  g.Backsight("S", "G0");
  g.Set("S", "G0", "G1");
  g.Set("S", "G0", "G2");
}

struct Row {
  const char* name;
  ShapeBuilder build;
  bool control = true;
};

}  // namespace

// The job of the user guide's sketch, error free: control round the seed, one free station F
// on two control points with a new point, one traverse between two control points.
void WriteSampleJob(const char* path) {
  Generated g(7);
  g.Control();
  FreeStation(g, 0, 2);
  Traverse(g, 3);
  std::erase_if(g.obs, [](const TruthObservation& o) { return o.kind == fenwix::ObsKind::Sight; });
  fenwix::testing::WriteTopconXml(path, g.truth, g.obs);
}

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "--xml") {
    WriteSampleJob(argv[2]);
    return 0;
  }
  const int networks = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const Row rows[] = {
      {"free station, 2 known points", [](Generated& g, int k) { FreeStation(g, k, 2); }},
      {"free station, 3 known points", [](Generated& g, int k) { FreeStation(g, k, 3); }},
      {"free station, 4 known points", [](Generated& g, int k) { FreeStation(g, k, 4); }},
      {"known setup, unknown backsight", UnknownBacksight},
      {"traverse between 2 known points", Traverse},
      {"resection, 3 directions", [](Generated& g, int k) { Resection(g, k, 3); }},
      {"resection, 4 directions", [](Generated& g, int k) { Resection(g, k, 4); }},
      {"seed vector left out", DroppedSeedVector, false},
  };
  std::printf("| shape | computed | horizontal error median | worst |\n|---|---|---|---|\n");
  for (const Row& row : rows) {
    int total = 0, computed = 0;
    std::vector<double> errors;
    for (int n = 0; n < networks; ++n) {
      Generated g(static_cast<unsigned>(1000 + n));
      std::srand(static_cast<unsigned>(n));
      if (row.control) g.Control();
      for (int k = 0; k < 10; ++k) row.build(g, k);
      fenwix::SurveyTables tables;
      fenwix::testing::FillTables(tables, g.obs);
      const int32_t seed = tables.StationIndex("S");
      fenwix::ComputeApproxCoordinates(
          tables, seed, fenwix::SeedPosition{47.0, 8.0, 400.0},
          fenwix::Ellipsoid{"WGS 84", fenwix::WGS84_A, fenwix::WGS84_INV_F}, nullptr, 0);
      for (const std::string& name : g.counted) {
        ++total;
        const fenwix::StationRecord& s =
            tables.stations()[static_cast<size_t>(tables.StationIndex(name))];
        if (!s.coords_known) continue;
        ++computed;
        errors.push_back(std::hypot(s.north - g.truth.North(name), s.east - g.truth.East(name)));
      }
    }
    std::sort(errors.begin(), errors.end());
    const double median = errors.empty() ? NAN : errors[errors.size() / 2];
    const double worst = errors.empty() ? NAN : errors.back();
    std::printf("| %s | %d of %d | %.1f mm | %.1f mm |\n", row.name, computed, total, median * 1000,
                worst * 1000);
  }
  return 0;
}

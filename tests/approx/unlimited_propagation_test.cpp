// The propagation without a step budget against the budgeted one on the same tables: it reaches
// at least what the budget reaches, and ends on what nothing reaches. A station the budget
// reaches by a sight, a vector or an intersection of azimuths keeps its position; a setup the
// budget intersects by its distances alone (and what was carried on from it) may move, to where
// the setup fitted on its known points puts it.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "approx/approx_coordinates.h"
#include "approx/truth_network.h"

namespace fenwix {
namespace {

using testing::TruthNetwork;
using testing::TruthObservation;

struct Case {
  const char* name;
  // Adds the stations to the network (S is there) and returns the observations.
  std::function<std::vector<TruthObservation>(TruthNetwork&)> build;
  int32_t budget_not_computed;
  int32_t unlimited_not_computed;
  // Stations the budget places through a distance intersection of a free station.
  std::vector<std::string> refitted = {};
};
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

// A traverse: a vector to C1, then at every Ci an angle set oriented on the station before it.
std::vector<TruthObservation> Traverse(TruthNetwork& net, int legs) {
  std::vector<TruthObservation> obs;
  std::string back = "S";
  for (int i = 1; i <= legs; ++i) {
    net.Add("C" + std::to_string(i), 90.0 * i, 40.0 * (i % 4), 0.3 * (i % 7));
  }
  obs.push_back(net.GpsVector("S", "C1"));
  for (int i = 1; i < legs; ++i) {
    obs.push_back(net.AngleSet("C" + std::to_string(i), back, "C" + std::to_string(i + 1)));
    back = "C" + std::to_string(i);
  }
  return obs;
}

const Case CASES[] = {
    {"Traverse", [](TruthNetwork& net) { return Traverse(net, 400); }, 387, 0},
    // U and then Q only by intersections of two azimuths, Q from stations that U's position
    // brought in; X is tied by an angle set whose reference nothing fixes.
    {"StallScanThenChain",
     [](TruthNetwork& net) {
       net.Add("K1", 300, 0, 5);
       net.Add("K2", 0, -300, -5);
       net.Add("U", 100, 450, 3);
       net.Add("V", 160, 700, 4);
       net.Add("W", 400, 800, 2);
       net.Add("Y", 900, 800, 2);
       net.Add("Z", 1000, 1200, 2);
       net.Add("X", -500, 800, 2);
       net.Add("Q", 300, 1100, 6);
       return std::vector<TruthObservation>{net.GpsVector("S", "K1"),
                                            net.GpsVector("S", "K2"),
                                            net.AngleSet("K1", "S", "U", true, true, false),
                                            net.AngleSet("K2", "S", "U", true, true, false),
                                            net.GpsVector("U", "V"),
                                            net.AngleSet("V", "U", "W"),
                                            net.GpsVector("W", "Y"),
                                            net.AngleSet("W", "Z", "X"),
                                            net.AngleSet("V", "U", "Q", true, false, false),
                                            net.AngleSet("W", "V", "Q", true, false, false)};
     },
     2, 2},
    // A reference becomes known after the station that needs it was visited.
    {"LateReference",
     [](TruthNetwork& net) {
       net.Add("A", 200, 0, 1);
       net.Add("B", 0, -200, 2);
       net.Add("R", 250, 150, 3);
       net.Add("U", -120, 180, 4);
       net.Add("T", -300, 250, 4);
       return std::vector<TruthObservation>{net.GpsVector("S", "A"), net.GpsVector("S", "B"),
                                            net.AngleSet("S", "R", "U"), net.GpsVector("A", "R"),
                                            net.AngleSet("U", "S", "T")};
     },
     0, 0},
    // F sights four known points: the budget intersects it by distances, then carries P from
    // it; the whole-network run fits the setup instead. A, a polar sight from K4, stays put.
    {"FreeStationOnFourKnownPoints",
     [](TruthNetwork& net) {
       net.Add("K1", 300, 40, 5);
       net.Add("K2", -120, 260, -3);
       net.Add("K3", -200, -180, 8);
       net.Add("K4", 250, -230, 2);
       net.Add("F", 60, 30, 1);
       net.Add("P", 90, 200, 0);
       net.Add("A", 0, -400, 1);
       return std::vector<TruthObservation>{
           net.GpsVector("S", "K1"),      net.GpsVector("S", "K2"),
           net.GpsVector("S", "K3"),      net.GpsVector("S", "K4"),
           net.AngleSet("F", "K1", "K2"), net.AngleSet("F", "K1", "K3"),
           net.AngleSet("F", "K1", "K4"), net.AngleSet("F", "K1", "P"),
           net.AngleSet("K4", "S", "A")};
     },
     0,
     0,
     {"F", "P"}},
};

class UnlimitedPropagation : public ::testing::TestWithParam<Case> {};

TEST_P(UnlimitedPropagation, ReachesWhatTheBudgetReachesAtTheSamePositions) {
  TruthNetwork net(45.0, -120.0, 20.0);
  net.Add("S", 0, 0, 0);
  SurveyTables budget;
  testing::FillTables(budget, GetParam().build(net));
  SurveyTables unlimited = budget;
  const Ellipsoid wgs84{"WGS 84", WGS84_A, WGS84_INV_F};
  const SeedPosition seed{45.0, -120.0, 20.0};
  EXPECT_EQ(ComputeApproxCoordinates(budget, budget.FindStation("S"), seed, wgs84),
            GetParam().budget_not_computed);
  EXPECT_EQ(
      ComputeApproxCoordinates(unlimited, unlimited.FindStation("S"), seed, wgs84, nullptr, 0),
      GetParam().unlimited_not_computed);
  for (int32_t i = 1; i < budget.station_count(); ++i) {
    const StationRecord& b = budget.station(i);
    const StationRecord& u = unlimited.station(i);
    const std::vector<std::string>& refitted = GetParam().refitted;
    if (b.coords_known) {
      ASSERT_TRUE(u.coords_known) << b.name;
    }
    if (b.coords_known && std::find(refitted.begin(), refitted.end(), b.name) == refitted.end()) {
      EXPECT_EQ(u.north, b.north) << b.name;
      EXPECT_EQ(u.east, b.east) << b.name;
      EXPECT_EQ(u.elevation, b.elevation) << b.name;
    }
    if (u.coords_known) {
      EXPECT_NEAR(u.north, net.North(b.name), 0.05) << b.name;
      EXPECT_NEAR(u.east, net.East(b.name), 0.05) << b.name;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Networks, UnlimitedPropagation, ::testing::ValuesIn(CASES),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace fenwix

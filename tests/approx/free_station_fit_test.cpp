// A free station that sights four known points, with the small errors of real readings (an arc
// second on the angles, a millimetre on the distances): the whole-network run fits the setup on
// its known points and lands within a centimetre of the truth, as does the new point it sights.
// The budgeted run intersects the station by its distances alone, which these readings pull
// several centimetres off: the same check must catch it there. Truth comes from GeographicLib's
// local frame, not from the code under test.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "approx/approx_coordinates.h"
#include "approx/truth_network.h"

namespace fenwix {
namespace {

using testing::TruthNetwork;
using testing::TruthObservation;

constexpr double ARC_SECOND = std::numbers::pi / 180.0 / 3600.0;
constexpr double GOAL = 0.01;

struct Case {
  const char* name;
  double fe, fn;  // the free station, east and north of the seed
  // Signs of the reading errors, one per sight (angle, zenith, distance alike).
  std::vector<int> errors;
};

// Control K1..K4 tied to the seed by vectors; F sights K1 (backsight), K2, K3, K4 and a new
// point P.
struct Network {
  TruthNetwork truth{47.0, 8.0, 400.0};
  std::vector<TruthObservation> obs;

  explicit Network(const Case& c) {
    truth.Add("S", 0, 0, 0);
    truth.Add("K1", 520, 300, 6);
    truth.Add("K2", -310, 540, -4);
    truth.Add("K3", -580, -160, 9);
    truth.Add("K4", 200, -590, 2);
    truth.Add("F", c.fe, c.fn, 3);
    truth.Add("P", c.fe + 150, c.fn + 90, 1);
    for (const char* k : {"K1", "K2", "K3", "K4"}) obs.push_back(truth.GpsVector("S", k));
    size_t i = 0;
    for (const char* fore : {"K2", "K3", "K4", "P"}) {
      TruthObservation o = truth.AngleSet("F", "K1", fore);
      const double sign = c.errors[i++ % c.errors.size()];
      o.horiz_angle += sign * ARC_SECOND;
      o.zenith -= sign * ARC_SECOND;
      o.slope_dist += sign * 0.001;
      obs.push_back(o);
    }
  }

  // Horizontal miss of a station from the truth after a run with max_steps.
  double Miss(const std::string& name, int max_steps) const {
    SurveyTables tables;
    testing::FillTables(tables, obs);
    const Ellipsoid wgs84{"WGS 84", WGS84_A, WGS84_INV_F};
    ComputeApproxCoordinates(tables, tables.FindStation("S"), SeedPosition{47.0, 8.0, 400.0}, wgs84,
                             nullptr, max_steps);
    const StationRecord& s = tables.station(tables.FindStation(name));
    if (!s.coords_known) return INFINITY;
    return std::hypot(s.north - truth.North(name), s.east - truth.East(name));
  }
};

const Case CASES[] = {
    {"Inside", 40, 60, {1, -1, 1, -1}},
    {"OffCentre", -150, 220, {1, 1, -1, -1}},
    {"NearK4", 120, -380, {-1, 1, 1, -1}},
    {"AllOneWay", 260, 90, {1, 1, 1, 1}},
};

TEST(FreeStationFit, FourKnownPointsWithinACentimetre) {
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.name);
    const Network net(c);
    // Clean control: the setup fitted on its known points.
    EXPECT_LT(net.Miss("F", 0), GOAL);
    EXPECT_LT(net.Miss("P", 0), GOAL);
    // Planted fault: the distance intersection the budgeted run keeps.
    EXPECT_GT(net.Miss("F", PROPAGATION_STEP_CAP), GOAL);
  }
}

}  // namespace
}  // namespace fenwix

// Intersections in the stall scan use only what really fixes the station: two lines of sight
// that cross clearly, rays that meet ahead of both stations, circles that meet. A station the
// observations cannot place stays not computed rather than landing metres or kilometres off.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "approx/approx_coordinates.h"
#include "approx/truth_network.h"
#include "geodesy/angles.h"
#include "geodesy/bracket_search.h"
#include "geodesy/ellipsoid.h"
#include "geodesy/geodesic.h"
#include "geodesy/intersection.h"

namespace fenwix {
namespace {

using testing::FillTables;
using testing::TruthNetwork;
using testing::TruthObservation;

const Ellipsoid WGS84{"WGS 84", WGS84_A, WGS84_INV_F};
// Packed 0°01': lines of sight crossing at less than this are too nearly parallel to intersect.
const double ONE_ARC_MINUTE = DmsToRadians(0.01);

// Seed S with three stations K1 to K3 fixed by GPS vectors; U is what the angle sets aim at.
class CheckedIntersection : public ::testing::Test {
 protected:
  CheckedIntersection() : net_(45.0, -120.0, 20.0) { net_.Add("S", 0, 0, 0); }

  void Stations(double k1e, double k1n, double k2e, double k2n, double ue, double un) {
    net_.Add("K1", k1e, k1n, 5);
    net_.Add("K2", k2e, k2n, -5);
    net_.Add("K3", -300, 50, 10);
    net_.Add("U", ue, un, 3);
    observations_ = {net_.GpsVector("S", "K1"), net_.GpsVector("S", "K2"),
                     net_.GpsVector("S", "K3")};
  }
  // Angle sets at K1 and K2 that give only the azimuth to U.
  void AzimuthsToU() {
    observations_.push_back(net_.AngleSet("K1", "S", "U", true, false, false));
    observations_.push_back(net_.AngleSet("K2", "S", "U", true, false, false));
  }
  int32_t Run() {
    FillTables(tables_, observations_);
    return ComputeApproxCoordinates(tables_, tables_.FindStation("S"),
                                    SeedPosition{45.0, -120.0, 20.0}, WGS84);
  }
  const StationRecord& Row(const std::string& name) {
    return tables_.station(tables_.StationIndex(name));
  }
  // The angle between the lines of sight from K1 and K2 to U, folded into [0, π/2].
  double LinesCrossAt() const {
    const double turn = std::fabs(net_.Sight("K1", "U").azimuth - net_.Sight("K2", "U").azimuth);
    const double folded = std::fmod(turn, PI);
    return std::min(folded, PI - folded);
  }

  TruthNetwork net_;
  std::vector<TruthObservation> observations_;
  SurveyTables tables_;
};

TEST_F(CheckedIntersection, NearlyParallelSightsAcrossNorthAreNotIntersected) {
  // From K1 east of the meridian through U and K2 west of it, the azimuths read just under 360°
  // and just over 0°: the lines meet at about 37 arc-seconds.
  Stations(0.45, 100, -0.45, 100, 0, 5100);
  AzimuthsToU();
  ASSERT_GT(net_.Sight("K1", "U").azimuth, TWO_PI - ONE_ARC_MINUTE);
  ASSERT_LT(net_.Sight("K2", "U").azimuth, ONE_ARC_MINUTE);
  ASSERT_LT(LinesCrossAt(), ONE_ARC_MINUTE);
  EXPECT_EQ(Run(), 1);
  EXPECT_FALSE(Row("U").coords_known);
}

TEST_F(CheckedIntersection, OpposedSightsAlongOneLineAreNotIntersected) {
  // K1 south and K2 north of U, nearly in line with it: azimuths about 180° apart.
  Stations(0, -400, 0.05, 600, 0.02, 100);
  AzimuthsToU();
  ASSERT_LT(LinesCrossAt(), ONE_ARC_MINUTE);
  EXPECT_EQ(Run(), 1);
}

TEST_F(CheckedIntersection, SightTurnedHalfACircleIsNotIntersected) {
  // The angle at K1 was booked on the wrong face: its ray points away from U, and the lines
  // meet behind K1. U is left not computed instead of being put on K1.
  Stations(300, 0, 0, -300, 100, 450);
  TruthObservation turned = net_.AngleSet("K1", "S", "U", true, false, false);
  turned.horiz_angle = std::fmod(turned.horiz_angle + PI, TWO_PI);
  observations_.push_back(turned);
  observations_.push_back(net_.AngleSet("K2", "S", "U", true, false, false));
  ASSERT_GT(LinesCrossAt(), ONE_ARC_MINUTE);
  EXPECT_EQ(Run(), 1);
}

TEST_F(CheckedIntersection, DistanceThatNoCircleMeetsIsNotIntersected) {
  // Setups oriented on far marks nothing fixes give zenith angles and distances to U but no
  // azimuths. The distance from K2 was booked as 2000 m: its circle encloses K1's.
  Stations(300, 0, 0, -300, 100, 450);
  net_.Add("X1", 5000, 5000, 0);
  net_.Add("X2", -5000, 4000, 0);
  net_.Add("X3", 4000, -5000, 0);
  observations_.push_back(net_.AngleSet("K1", "X1", "U"));
  TruthObservation blunder = net_.AngleSet("K2", "X2", "U");
  blunder.slope_dist = 2000.0;
  ASSERT_GT(blunder.slope_dist, net_.Distance("K1", "K2") + net_.Distance("K1", "U") + 10.0);
  observations_.push_back(blunder);
  observations_.push_back(net_.AngleSet("K3", "X3", "U"));
  EXPECT_EQ(Run(), 4);
  EXPECT_FALSE(Row("U").coords_known);
}

// Error-free sights that cross well pass every check, and U lands bit for bit where the
// unchecked search puts it: the azimuths the propagation formed, the search along K1's ray with
// the offset from K2's line of sight as misfit, and the point it last probed.
TEST_F(CheckedIntersection, GoodCrossingLandsWhereTheUncheckedSearchPutsIt) {
  Stations(300, 0, 0, -300, 100, 450);
  AzimuthsToU();
  ASSERT_EQ(Run(), 0);
  const StationRecord& u = Row("U");
  // Within the search tolerance of the truth (heights at 20 m read as on the ellipsoid).
  EXPECT_LT(std::hypot(u.north - net_.North("U"), u.east - net_.East("U")), 0.015);

  const int32_t s = tables_.StationIndex("S");
  const int32_t k1 = tables_.StationIndex("K1");
  const int32_t k2 = tables_.StationIndex("K2");
  const FoundAzimuth a1 = AzimuthViaReference(tables_, k1, s, observations_[3].horiz_angle);
  const FoundAzimuth a2 = AzimuthViaReference(tables_, k2, s, observations_[4].horiz_angle);
  ASSERT_TRUE(a1.found && a2.found);
  const StationRecord& p1 = Row("K1");
  const StationRecord& p2 = Row("K2");
  const double e2 = EccentricitySquaredOf(PROPAGATION_A, PROPAGATION_INV_F);
  const BracketOutcome unchecked = BracketSearch(
      0.0, AZIMUTH_SEARCH_LENGTH, INTERSECTION_TOLERANCE, INTERSECTION_STEP_CAP, [&](double t) {
        const DirectResult probe = GeodesicDirect(PROPAGATION_A, PROPAGATION_INV_F, p1.latitude,
                                                  p1.longitude, a1.azimuth, t);
        const InverseResult sight =
            GeodesicInverse(PROPAGATION_A, e2, PROPAGATION_INV_F, p2.latitude, p2.longitude,
                            probe.phi2, probe.lam2);
        return Probe{
            std::sin(std::fabs(SmallestAngleDifference(sight.alpha12, a2.azimuth))) * sight.s,
            probe.phi2, probe.lam2};
      });
  ASSERT_TRUE(unchecked.converged);
  EXPECT_EQ(u.latitude, unchecked.phi);
  EXPECT_EQ(u.longitude, unchecked.lam);
}

}  // namespace
}  // namespace fenwix

// The propagation rules one at a time, on small tables filled by hand from true positions.
// Vectors and polar sights from exact observations reproduce the truth to well under 0.1 mm
// (only the propagation ellipsoid differs from the datum of the truth, by micrometres here).

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "approx/approx_coordinates.h"
#include "approx/truth_network.h"
#include "geodesy/angles.h"
#include "geodesy/ellipsoid.h"

namespace fenwix {
namespace {

using testing::FillTables;
using testing::TruthNetwork;
using testing::TruthObservation;

constexpr double EXACT_TOLERANCE = 1e-4;

const Ellipsoid WGS84{"WGS 84", WGS84_A, WGS84_INV_F};

class ApproxTest : public ::testing::Test {
 protected:
  ApproxTest() : net_(45.0, -120.0, 20.0) { net_.Add("S", 0, 0, 0); }

  int32_t Run(const std::vector<TruthObservation>& observations) {
    FillTables(tables_, observations);
    const int32_t seed = tables_.FindStation("S");
    EXPECT_GT(seed, 0);
    return ComputeApproxCoordinates(tables_, seed, SeedPosition{45.0, -120.0, 20.0}, WGS84);
  }
  const StationRecord& Row(const std::string& name) {
    return tables_.station(tables_.StationIndex(name));
  }
  void ExpectOnTruth(const std::string& name, double tolerance = EXACT_TOLERANCE) {
    const StationRecord& s = Row(name);
    ASSERT_TRUE(s.coords_known) << name;
    EXPECT_NEAR(s.north, net_.North(name), tolerance) << name;
    EXPECT_NEAR(s.east, net_.East(name), tolerance) << name;
    EXPECT_NEAR(s.elevation, net_.Elevation(name), tolerance) << name;
  }

  TruthNetwork net_;
  SurveyTables tables_;
};

TEST_F(ApproxTest, SeedLinkedToEveryStationByVectors) {
  std::vector<TruthObservation> obs;
  for (int i = 1; i <= 6; ++i) {
    const std::string name = "P" + std::to_string(i);
    net_.Add(name, 300.0 * std::cos(i), 500.0 * std::sin(i), 3.0 * i);
    obs.push_back(net_.GpsVector("S", name));
  }
  EXPECT_EQ(Run(obs), 0);
  EXPECT_EQ(Row("S").north, 100000.0);
  EXPECT_EQ(Row("S").east, 100000.0);
  EXPECT_EQ(Row("S").elevation, 0.0);
  EXPECT_EQ(Row("S").height, 20.0);
  for (int i = 1; i <= 6; ++i) ExpectOnTruth("P" + std::to_string(i));
}

TEST_F(ApproxTest, SeedWithoutObservationsCountsEveryOtherStation) {
  net_.Add("A", 100, 0, 0);
  net_.Add("B", 0, 100, 0);
  TruthObservation sight;  // a single sight names S but links nothing
  sight.kind = ObsKind::Sight;
  sight.at = "S";
  sight.back = "A";
  sight.zenith = HALF_PI;
  sight.slope_dist = 100.0;
  EXPECT_EQ(Run({sight, net_.GpsVector("A", "B")}), 2);
  EXPECT_TRUE(Row("S").coords_known);
  EXPECT_EQ(Row("S").north, 100000.0);
  EXPECT_FALSE(Row("A").coords_known);
  EXPECT_EQ(Row("A").north, 0.0);  // not computed stays zero
}

TEST_F(ApproxTest, VectorRulesLastRecordWinsAndReverseSuppliesMissingComponents) {
  net_.Add("A", 400, 300, 5);
  net_.Add("B", -200, 350, -4);
  net_.Add("C", 150, -420, 2);
  // A: two vectors S->A; the later one is right, the earlier is 1 m off in every component.
  TruthObservation wrong = net_.GpsVector("S", "A");
  wrong.dx += 1.0, wrong.dy += 1.0, wrong.dz += 1.0;
  // B: dz missing forward; the reverse vector's dx and dy are off and must not be used.
  TruthObservation forward = net_.GpsVector("S", "B");
  forward.dz = MISSING_VALUE;
  TruthObservation reverse = net_.GpsVector("B", "S");
  reverse.dx += 0.5, reverse.dy += 0.5;
  // C: only a reverse vector, found from S by the backward pass.
  EXPECT_EQ(Run({wrong, net_.GpsVector("S", "A"), forward, reverse, net_.GpsVector("C", "S")}), 0);
  ExpectOnTruth("A");
  ExpectOnTruth("B");
  ExpectOnTruth("C");
}

TEST_F(ApproxTest, IncompleteVectorsPlaceNothing) {
  net_.Add("A", 400, 300, 5);
  TruthObservation v = net_.GpsVector("S", "A");
  v.dy = MISSING_VALUE;
  TruthObservation w = net_.GpsVector("A", "S");
  w.dy = MISSING_VALUE;
  EXPECT_EQ(Run({v, w}), 1);
}

TEST_F(ApproxTest, AngleSetThroughAKnownReference) {
  net_.Add("R", 0, 250, 3);
  net_.Add("T", 180, 10, -2);  // about 90 degrees right of R
  EXPECT_EQ(Run({net_.GpsVector("S", "R"), net_.AngleSet("S", "R", "T")}), 0);
  ExpectOnTruth("T");
}

TEST_F(ApproxTest, AngleSetWithAnUnknownReferencePlacesNothing) {
  net_.Add("X", 0, 250, 3);
  net_.Add("T", 180, 10, -2);
  EXPECT_EQ(Run({net_.AngleSet("S", "X", "T")}), 2);
  EXPECT_FALSE(Row("T").coords_known);
}

TEST_F(ApproxTest, MissingZenithPlacesTheTargetLevel) {
  net_.Add("R", 0, 250, 0);
  net_.Add("T", 300, 0, 20);
  const double slope = net_.Sight("S", "T").slope;
  EXPECT_EQ(Run({net_.GpsVector("S", "R"), net_.AngleSet("S", "R", "T", true, false, true)}), 0);
  const StationRecord& t = Row("T");
  // Horizontal in the seed's frame, at the full slope distance, in the observed direction.
  EXPECT_NEAR(t.elevation, 0.0, EXACT_TOLERANCE);
  EXPECT_NEAR(std::hypot(t.north - 100000.0, t.east - 100000.0), slope, EXACT_TOLERANCE);
  EXPECT_NEAR(t.north, 100000.0, EXACT_TOLERANCE);
}

// T sets up and sights the known K: its zenith angle (turned round) and distance, with the
// azimuth from an angle set at K without a distance, place T by a polar sight from K.
TEST_F(ApproxTest, SightsFromTheUnknownStationGiveZenithAndDistance) {
  net_.Add("K", 0, 120, 1);
  net_.Add("T", 80, 160, 4);
  const double d = net_.Distance("K", "T");
  EXPECT_EQ(Run({net_.GpsVector("S", "K"), net_.AngleSet("K", "S", "T", true, true, false),
                 net_.AngleSet("T", "S", "K", false, true, true)}),
            0);
  // π - z seen from T differs from the zenith at K by the angle between the verticals, d / R.
  ExpectOnTruth("T", d * d / 6371000.0 + EXACT_TOLERANCE);
}

// An angle set at K with T as its reference gives the azimuth to T: the azimuth to the target
// turned back by the angle.
TEST_F(ApproxTest, ReferenceOfAnAngleSetGetsItsAzimuth) {
  net_.Add("K", 0, 120, 1);
  net_.Add("F", -150, 100, 0);
  net_.Add("T", 90, 170, 4);
  EXPECT_EQ(Run({net_.GpsVector("S", "K"), net_.GpsVector("S", "F"),
                 net_.AngleSet("K", "T", "F", true, false, false),
                 net_.AngleSet("T", "S", "K", false, true, true)}),
            0);
  const double d = net_.Distance("K", "T");
  ExpectOnTruth("T", d * d / 6371000.0 + EXACT_TOLERANCE);
}

// Each step visits one known station and the position returns to the first whenever the list
// grew, so along a chain the k-th station needs k more steps: 100 steps reach 13 stations
// beyond the seed.
TEST_F(ApproxTest, TraverseReachesThirteenStationsInAHundredSteps) {
  std::vector<TruthObservation> obs;
  std::string previous = "S";
  for (int i = 1; i <= 20; ++i) {
    const std::string name = "C" + std::to_string(i);
    net_.Add(name, 100.0 * i, 20.0 * (i % 3), 0.5 * i);
    obs.push_back(net_.GpsVector(previous, name));
    previous = name;
  }
  EXPECT_EQ(Run(obs), 7);
  for (int i = 1; i <= 20; ++i) {
    const std::string name = "C" + std::to_string(i);
    EXPECT_EQ(Row(name).coords_known, i <= 13) << name;
  }
  ExpectOnTruth("C13");
}

// The known list is not bounded by the 10002 entries of a fixed list.
TEST_F(ApproxTest, MoreStationsThanAFixedListHolds) {
  std::vector<TruthObservation> obs;
  for (int i = 0; i < 10100; ++i) {
    TruthObservation v;
    v.kind = ObsKind::GpsVector;
    v.at = "S";
    v.fore = "N" + std::to_string(i);
    v.dx = i % 100, v.dy = i / 100, v.dz = 1.0;
    obs.push_back(v);
  }
  EXPECT_EQ(Run(obs), 0);
}

// The cycle visits S before R is known and ends on R without adding anything, so the stall
// scan is what finds that S can now place U by a polar sight through R.
TEST_F(ApproxTest, StallScanPlacesByAPolarSightWhenAReferenceBecameKnown) {
  net_.Add("A", 200, 0, 1);
  net_.Add("B", 0, -200, 2);
  net_.Add("R", 250, 150, 3);
  net_.Add("U", -120, 180, 4);
  EXPECT_EQ(Run({net_.GpsVector("S", "A"), net_.GpsVector("S", "B"), net_.AngleSet("S", "R", "U"),
                 net_.GpsVector("A", "R")}),
            0);
  ExpectOnTruth("U");
}

class IntersectionTest : public ApproxTest {
 protected:
  void SetUp() override {
    net_.Add("K1", 300, 0, 5);
    net_.Add("K2", 0, -300, -5);
    net_.Add("K3", -300, 50, 10);
    net_.Add("U", 100, 450, 3);
    base_ = {net_.GpsVector("S", "K1"), net_.GpsVector("S", "K2"), net_.GpsVector("S", "K3")};
  }
  void ExpectHorizontal(const std::string& name, double tolerance) {
    const StationRecord& s = Row(name);
    ASSERT_TRUE(s.coords_known);
    EXPECT_LT(std::hypot(s.north - net_.North(name), s.east - net_.East(name)), tolerance);
  }
  std::vector<TruthObservation> base_;
};

// The search stops within 0.01 m; horizontal distances at 20 m height read as distances on the
// ellipsoid are 3e-6 too long.
constexpr double SEARCH_TOLERANCE = 0.015;

TEST_F(IntersectionTest, TwoAzimuthsWithZenithGiveHeightAlongTheChord) {
  base_.push_back(net_.AngleSet("K1", "S", "U", true, true, false));
  base_.push_back(net_.AngleSet("K2", "S", "U", true, true, false));
  EXPECT_EQ(Run(base_), 0);
  ExpectHorizontal("U", SEARCH_TOLERANCE);
  const double d = net_.Distance("K1", "U");
  EXPECT_NEAR(Row("U").elevation, net_.Elevation("U"), d * d / 6371000.0 + 0.005);
}

TEST_F(IntersectionTest, TwoAzimuthsWithoutZenithTakeTheMeanKnownHeight) {
  base_.push_back(net_.AngleSet("K1", "S", "U", true, false, false));
  base_.push_back(net_.AngleSet("K2", "S", "U", true, false, false));
  EXPECT_EQ(Run(base_), 0);
  ExpectHorizontal("U", SEARCH_TOLERANCE);
  const double mean =
      (Row("S").height + Row("K1").height + Row("K2").height + Row("K3").height) / 4.0;
  EXPECT_DOUBLE_EQ(Row("U").height, mean);
}

TEST_F(IntersectionTest, NearlyParallelAzimuthsAreNotIntersected) {
  net_.Add("U", 100, 5000, 3);
  net_.Add("K1", 0, 100, 0);
  net_.Add("K2", 1.5, 200, 0);
  // The two azimuths to U differ by about 23 arc-seconds.
  ASSERT_LT(std::fabs(net_.Sight("K1", "U").azimuth - net_.Sight("K2", "U").azimuth),
            DmsToRadians(0.01));
  EXPECT_EQ(Run({net_.GpsVector("S", "K1"), net_.GpsVector("S", "K2"),
                 net_.AngleSet("K1", "S", "U", true, false, false),
                 net_.AngleSet("K2", "S", "U", true, false, false)}),
            1);
}

// Setups oriented on far marks that nothing fixes (X1 to X3, one per setup) give zenith angles
// and distances to U but no azimuths.
TEST_F(IntersectionTest, AzimuthAndDistances) {
  net_.Add("X2", 5000, 5000, 0);
  net_.Add("X3", -5000, 4000, 0);
  base_.push_back(net_.AngleSet("K1", "S", "U", true, true, false));
  base_.push_back(net_.AngleSet("K2", "X2", "U"));
  base_.push_back(net_.AngleSet("K3", "X3", "U"));
  EXPECT_EQ(Run(base_), 2);
  ExpectHorizontal("U", SEARCH_TOLERANCE);
  EXPECT_FALSE(Row("X2").coords_known);
}

TEST_F(IntersectionTest, DistancesAloneNeedThree) {
  net_.Add("X1", 5000, 5000, 0);
  net_.Add("X2", -5000, 4000, 0);
  net_.Add("X3", 4000, -5000, 0);
  base_.push_back(net_.AngleSet("K1", "X1", "U"));
  base_.push_back(net_.AngleSet("K2", "X2", "U"));
  const std::vector<TruthObservation> two = base_;
  base_.push_back(net_.AngleSet("K3", "X3", "U"));
  EXPECT_EQ(Run(base_), 3);
  ExpectHorizontal("U", SEARCH_TOLERANCE);

  tables_.ResetTables();
  EXPECT_EQ(Run(two), 3);  // two circles cross twice: U stays unknown, with X1 and X2
  EXPECT_FALSE(Row("U").coords_known);
}

TEST(AzimuthViaReference, NeedsBothStationsKnown) {
  SurveyTables tables;
  tables.AddStation("A");
  tables.AddStation("B");
  tables.station(1).coords_known = true;
  tables.station(1).latitude = 0.8;
  tables.station(2).latitude = 0.8001;
  EXPECT_FALSE(AzimuthViaReference(tables, 1, 2, 0.5).found);
  EXPECT_FALSE(AzimuthViaReference(tables, 1, 0, 0.5).found);
  EXPECT_FALSE(AzimuthViaReference(tables, 1, 7, 0.5).found);
  tables.station(2).coords_known = true;
  // B lies due north of A.
  const FoundAzimuth a = AzimuthViaReference(tables, 1, 2, 0.5);
  ASSERT_TRUE(a.found);
  EXPECT_NEAR(a.azimuth, 0.5, 1e-9);
  EXPECT_NEAR(AzimuthViaReference(tables, 1, 2, -0.5).azimuth, TWO_PI - 0.5, 1e-9);
}

}  // namespace
}  // namespace fenwix

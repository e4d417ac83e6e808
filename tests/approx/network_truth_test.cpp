// A network of 28 stations a few kilometres across, with true positions: approximate
// coordinates computed from error-free observations must land on the truth within what each
// station's path allows.
//
// Accuracy by path (the comparison is in the local north/east/elevation of the seed):
// - GPS vectors and polar sights: the arithmetic is exact up to mixing the propagation
//   ellipsoid with the datum (micrometres over a few km); through XML the vectors are rounded to
//   0.1 mm per component and angles to 1e-5 arc-second. Allowed: 2 mm.
// - Intersections: the search stops within INTERSECTION_TOLERANCE (0.01 m) of the crossing, and
//   horizontal distances at the stations' height (about 30 m) are taken as distances on the
//   ellipsoid (5e-6 relative, 3 mm per km). Allowed: 0.02 m horizontally.
// - Heights from a zenith angle over the chord ignore the earth's curvature, d²/2R (0.08 m at
//   1 km). Allowed: that plus 5 mm.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <set>

#include "app/convert_dialog.h"
#include "app/messages.h"
#include "approx/approx_coordinates.h"
#include "approx/truth_network.h"
#include "geodesy/ellipsoid.h"
#include "model/station_merging.h"
#include "support/recording_ui.h"

namespace fenwix {
namespace {

using testing::FillTables;
using testing::TruthNetwork;
using testing::TruthObservation;

// Mean earth radius for the curvature allowance, meters.
constexpr double EARTH_RADIUS = 6371000.0;
constexpr double VECTOR_AND_POLAR_TOLERANCE = 0.002;
constexpr double INTERSECTED_TOLERANCE = 0.02;

// Seed at 46°30' N, 7°15' E, 30 m (a low site keeps the distance scale small).
constexpr double LAT0 = 46.5;
constexpr double LON0 = 7.25;
constexpr double H0 = 30.0;

struct Network {
  TruthNetwork truth{LAT0, LON0, H0};
  std::vector<TruthObservation> observations;
  // Stations placed by intersection, and where their height was taken from.
  std::map<std::string, std::string> intersected;
  // Backsight marks that no observation fixes.
  std::set<std::string> unreachable;
};

Network BuildNetwork() {
  Network net;
  TruthNetwork& t = net.truth;
  t.Add("BASE", 0, 0, 0);
  t.Add("G1", 420, 310, 4);
  t.Add("G2", -380, 450, -6);
  t.Add("G3", 150, -520, 8);
  t.Add("G4", -610, -240, 3);
  t.Add("G5", 700, -150, -2);
  t.Add("G6", 260, 880, 11);
  t.Add("G7", 900, 400, -4);
  t.Add("G8", -900, 100, 2);
  t.Add("G9", 50, -1200, 9);
  t.Add("G10", -1100, -700, 0);
  t.Add("T1", 520, 120, 2);
  t.Add("T2", 610, 420, 6);
  t.Add("T3", 330, 560, 9);
  t.Add("T3B", 330, 560, 9);  // the same mark under a second name
  t.Add("T4", -520, 610, -3);
  t.Add("T5", -250, 700, 1);
  t.Add("T6", 680, -40, -1);
  t.Add("T7", 450, -30, 3);
  t.Add("T8", 120, 1010, 14);
  t.Add("T9", -80, -700, 5);
  t.Add("T10", -700, 820, -5);
  t.Add("A2", 0, 900, 7);         // two azimuths
  t.Add("UAD", 0, -600, 6);       // an azimuth and distances
  t.Add("UD", -200, -900, 2);     // distances only
  t.Add("RO3", 3000, -4000, 60);  // far reference objects, never fixed
  t.Add("RO4", -4000, -3000, 40);
  t.Add("RO5", 5000, 2000, 80);

  auto& obs = net.observations;
  obs.push_back(t.GpsVector("BASE", "G1"));
  obs.push_back(t.GpsVector("BASE", "G2"));
  obs.push_back(t.GpsVector("G3", "BASE"));  // found from BASE's side by the backward pass
  TruthObservation g4 = t.GpsVector("BASE", "G4");
  g4.dz = MISSING_VALUE;  // the reverse vector supplies it
  obs.push_back(g4);
  obs.push_back(t.GpsVector("G4", "BASE"));
  obs.push_back(t.GpsVector("G1", "G5"));
  obs.push_back(t.GpsVector("BASE", "G6"));
  obs.push_back(t.GpsVector("BASE", "G7"));
  obs.push_back(t.GpsVector("G2", "G8"));
  obs.push_back(t.GpsVector("G9", "G3"));
  obs.push_back(t.GpsVector("G4", "G10"));
  obs.push_back(t.GpsVector("G6", "T3B"));

  obs.push_back(t.AngleSet("G1", "BASE", "T1"));
  obs.push_back(t.AngleSet("G1", "BASE", "T2"));
  obs.push_back(t.AngleSet("G1", "BASE", "T3"));
  obs.push_back(t.AngleSet("G1", "BASE", "A2", true, true, false));
  obs.push_back(t.AngleSet("G2", "BASE", "T4"));
  obs.push_back(t.AngleSet("G2", "BASE", "T5"));
  obs.push_back(t.AngleSet("G2", "BASE", "A2", true, true, false));
  obs.push_back(t.AngleSet("T1", "G1", "T6"));
  obs.push_back(t.AngleSet("T1", "G1", "T7"));
  obs.push_back(t.AngleSet("G6", "BASE", "T8"));
  obs.push_back(t.AngleSet("G3", "G4", "T9"));
  obs.push_back(t.AngleSet("T4", "G2", "T10"));
  obs.push_back(t.AngleSet("G5", "G1", "UAD", true, true, false));
  // Setups oriented on reference objects without coordinates give zenith angles and distances
  // but no azimuths.
  obs.push_back(t.AngleSet("G3", "RO3", "UD"));
  obs.push_back(t.AngleSet("G3", "RO3", "UAD"));
  obs.push_back(t.AngleSet("G4", "RO4", "UD"));
  obs.push_back(t.AngleSet("G4", "RO4", "UAD"));
  obs.push_back(t.AngleSet("G5", "RO5", "UD"));

  // The height of an intersected station follows the first zenith angle gathered, from the
  // first linked station in the order stations became known.
  net.intersected = {{"A2", "G1"}, {"UAD", "G4"}, {"UD", "G4"}};
  net.unreachable = {"RO3", "RO4", "RO5"};
  return net;
}

// Checks every station of the tables against the truth; returns the names not computed.
std::set<std::string> ExpectOnTruth(const SurveyTables& tables, const Network& net) {
  std::set<std::string> not_computed;
  for (int32_t i = 1; i < tables.station_count(); ++i) {
    const StationRecord& s = tables.stations()[static_cast<size_t>(i)];
    if (!s.coords_known) {
      not_computed.insert(s.name);
      continue;
    }
    const TruthNetwork& t = net.truth;
    const double horizontal = std::hypot(s.north - t.North(s.name), s.east - t.East(s.name));
    const double vertical = std::fabs(s.elevation - t.Elevation(s.name));
    const auto via = net.intersected.find(s.name);
    if (via == net.intersected.end()) {
      EXPECT_LT(horizontal, VECTOR_AND_POLAR_TOLERANCE) << s.name;
      EXPECT_LT(vertical, VECTOR_AND_POLAR_TOLERANCE) << s.name;
    } else {
      const double d = t.Distance(via->second, s.name);
      EXPECT_LT(horizontal, INTERSECTED_TOLERANCE) << s.name;
      EXPECT_LT(vertical, d * d / (2 * EARTH_RADIUS) + 0.005) << s.name;
    }
  }
  return not_computed;
}

TEST(ApproxNetwork, EveryReachedStationLandsOnTheTruth) {
  const Network net = BuildNetwork();
  SurveyTables tables;
  FillTables(tables, net.observations);
  const int32_t seed = tables.FindStation("BASE");
  ASSERT_GT(seed, 0);
  const int32_t not_computed = ComputeApproxCoordinates(tables, seed, SeedPosition{46.3, 7.15, H0},
                                                        Ellipsoid{"WGS 84", WGS84_A, WGS84_INV_F});
  EXPECT_EQ(not_computed, 3);
  EXPECT_EQ(ExpectOnTruth(tables, net), net.unreachable);
  EXPECT_EQ(tables.station(seed).north, 100000.0);
  EXPECT_EQ(tables.station(seed).east, 100000.0);
  EXPECT_EQ(tables.station(seed).elevation, 0.0);
  EXPECT_NEAR(tables.station(seed).latitude, LAT0 * std::numbers::pi / 180, 1e-12);

  // The two names of one mark are offered once, and the second goes.
  std::vector<std::pair<std::string, std::string>> asked;
  ASSERT_TRUE(MergeSimilarStations(tables, 0.05, false,
                                   [&](const StationRecord& a, const StationRecord& b) {
                                     asked.emplace_back(a.name, b.name);
                                     return MergeAnswer::SameKeepFirst;
                                   }));
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].first, "T3B");  // first named by the GPS vectors
  EXPECT_EQ(asked[0].second, "T3");
  EXPECT_EQ(tables.station(tables.StationIndex("T3")).merged_into, tables.StationIndex("T3B"));
}

// The same network written as Topcon XML and converted through the whole driver.
TEST(ApproxNetwork, ConversionThroughXmlLandsOnTheTruth) {
  namespace fs = std::filesystem;
  const Network net = BuildNetwork();
  const fs::path dir =
      fs::temp_directory_path() /
      ("fenwix-truth-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::create_directories(dir);
  WriteTopconXml((dir / "truth.xml").string(), net.truth, net.observations);

  ConvertDialog dialog;
  dialog.InitializeDefaults();
  dialog.request.xml_paths = {(dir / "truth.xml").string()};
  dialog.request.output_path = (dir / "truth.txt").string();
  dialog.request.seed_name = "BASE";
  dialog.request.seed_latitude = 46.3;
  dialog.request.seed_longitude = 7.15;
  dialog.request.seed_height = H0;
  dialog.request.compute_local = 1;
  testing::RecordingUi ui;
  ui.answers = {MergeAnswer::SameKeepSecond};
  const ConversionOutcome outcome = dialog.RunConversion(ui).outcome;
  const bool parsed = dialog.run.tables.observation_count() > 1;
  fs::remove_all(dir);
  if (!parsed) GTEST_SKIP() << "the XML reader recorded no observations";

  EXPECT_EQ(outcome, ConversionOutcome::Succeeded);
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(ui.messages.back().id, MSG_SUCCESS_APPROX);
  EXPECT_NE(ui.messages.back().text.find("computed for 3 stations"), std::string::npos);
  EXPECT_EQ(ExpectOnTruth(dialog.run.tables, net), net.unreachable);
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(ui.questions[0].first, "T3B");
  EXPECT_EQ(ui.questions[0].second, "T3");
  // Kept the second: the first name now stands for the mark.
  EXPECT_EQ(dialog.run.tables.station(dialog.run.tables.StationIndex("T3B")).merged_into,
            dialog.run.tables.StationIndex("T3"));
}

}  // namespace
}  // namespace fenwix

// The whole-network run places what a crew's setups fix without a known backsight: free
// stations, resections, traverses between two known points, setups oriented on a foresight and
// a GNSS cluster tied in by total-station sights. Each case comes as a sound network and as the
// same network with one fault that must keep the station out (or, where a third known point
// outvotes it, must not pull it off). Positions are checked against true coordinates from
// GeographicLib's local frame, observations being error free.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/convert_dialog.h"
#include "approx/approx_coordinates.h"
#include "approx/truth_network.h"
#include "geodesy/ellipsoid.h"
#include "support/recording_ui.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

using testing::FillTables;
using testing::TruthNetwork;
using testing::TruthObservation;

// Known points come from GPS vectors (exact); the frames work in one plane a few hundred
// meters across: a few millimetres at most.
constexpr double HORIZONTAL_TOLERANCE = 0.005;

struct Shape {
  TruthNetwork truth{47.0, 8.0, 400.0};
  std::vector<TruthObservation> obs;

  void Vector(const std::string& a, const std::string& b) { obs.push_back(truth.GpsVector(a, b)); }
  // An angle set; distance false leaves the direction alone.
  void Set(const std::string& at, const std::string& back, const std::string& fore,
           bool distance = true) {
    obs.push_back(truth.AngleSet(at, back, fore, true, distance, distance));
  }
  // The backsight's own reading: its zenith angle and distance.
  void Backsight(const std::string& at, const std::string& back) {
    const testing::Sighting s = truth.Sight(at, back);
    TruthObservation o;
    o.kind = ObsKind::Sight;
    o.at = at;
    o.back = back;
    o.zenith = s.zenith;
    o.slope_dist = s.slope;
    obs.push_back(o);
  }
  // Control points K1..K4 around the seed S, each tied to it by a vector.
  void Control() {
    truth.Add("S", 0, 0, 0);
    truth.Add("K1", 300, 40, 5);
    truth.Add("K2", -120, 260, -3);
    truth.Add("K3", -200, -180, 8);
    truth.Add("K4", 250, -230, 2);
    for (const char* k : {"K1", "K2", "K3", "K4"}) Vector("S", k);
  }
};

struct Case {
  const char* name;
  std::function<void(Shape&, bool fault)> build;
  std::vector<std::string> placed;          // on the truth in the sound network
  std::vector<std::string> fault_out;       // not computed in the faulty one
  std::vector<std::string> fault_on_truth;  // placed on the truth all the same
};

const Case CASES[] = {
    {"FreeStationOnTwoKnownPoints",
     [](Shape& s, bool fault) {
       s.Control();
       s.truth.Add("F", 60, 120, 1);
       s.truth.Add("P", 90, 200, 0);
       // A wrong name: the backsight was K1, the record says K4.
       const std::string back = fault ? "K4" : "K1";
       TruthObservation set = s.truth.AngleSet("F", "K1", "K2");
       set.back = back;
       s.obs.push_back(set);
       s.obs.push_back(s.truth.AngleSet("F", "K1", "P"));
       s.obs.back().back = back;
       s.Backsight("F", "K1");
       s.obs.back().back = back;
     },
     {"F", "P"},
     {"F", "P"},
     {}},
    {"FreeStationOnThreeKnownPointsOutvotesAWrongName",
     [](Shape& s, bool fault) {
       s.Control();
       s.truth.Add("F", -40, 30, 1);
       s.Backsight("F", "K1");
       s.Set("F", "K1", "K2");
       s.Set("F", "K1", "K3");
       if (fault) s.obs.back().fore = "K4";
     },
     {"F"},
     {},
     {"F"}},
    {"ResectionOnThreeDirections",
     [](Shape& s, bool fault) {
       s.Control();
       // Inside the triangle K1 K2 K3; the faulty case stands on their circle.
       if (fault) {
         // The circle through K1, K2, K3: centre and radius by plain geometry.
         const double ax = 300, ay = 40, bx = -120, by = 260, cx = -200, cy = -180;
         const double d = 2 * (ax * (by - cy) + bx * (cy - ay) + cx * (ay - by));
         const double ux = ((ax * ax + ay * ay) * (by - cy) + (bx * bx + by * by) * (cy - ay) +
                            (cx * cx + cy * cy) * (ay - by)) /
                           d;
         const double uy = ((ax * ax + ay * ay) * (cx - bx) + (bx * bx + by * by) * (ax - cx) +
                            (cx * cx + cy * cy) * (bx - ax)) /
                           d;
         const double r = std::hypot(ax - ux, ay - uy);
         s.truth.Add("F", ux + r * std::cos(2.0), uy + r * std::sin(2.0), 0);
       } else {
         s.truth.Add("F", 100, 0, 0);
       }
       s.Set("F", "K1", "K2", false);
       s.Set("F", "K1", "K3", false);
     },
     {"F"},
     {"F"},
     {}},
    {"TraverseBetweenTwoKnownEnds",
     [](Shape& s, bool fault) {
       s.Control();
       s.truth.Add("T1", 250, 120, 2);
       s.truth.Add("T2", 150, 190, 3);
       s.truth.Add("T3", 20, 230, 1);
       s.truth.Add("Q", 40, 330, 1);
       s.Backsight("T1", "K1");
       s.Set("T1", "K1", "T2");
       s.Backsight("T2", "T1");
       s.Set("T2", "T1", "T3");
       s.Backsight("T3", "T2");
       // Open at one end: the last leg ends on a new point, not on K2.
       s.Set("T3", "T2", fault ? "Q" : "K2");
     },
     {"T1", "T2", "T3"},
     {"T1", "T2", "T3"},
     {}},
    {"KnownSetupOrientedOnAForesight",
     [](Shape& s, bool fault) {
       s.Control();
       s.truth.Add("X", 330, 150, 0);
       s.truth.Add("P", 200, 10, 0);
       s.truth.Add("Y", 360, -60, 0);
       // The backsight X is new; the foresight K4 (direction only) is known unless faulty.
       s.Backsight("K1", "X");
       s.Set("K1", "X", fault ? "Y" : "K4", false);
       s.Set("K1", "X", "P");
     },
     {"X", "P"},
     {"X", "P"},
     {}},
    {"GnssClusterWithoutItsSeedVector",
     [](Shape& s, bool fault) {
       s.truth.Add("S", 0, 0, 0);
       s.truth.Add("G1", 200, 50, 4);
       s.truth.Add("G2", -50, 220, -2);
       s.truth.Add("G3", 150, -260, 7);
       // The vector S-G1 was left out as a blunder; the cluster is tied by sights from S.
       s.Vector("G1", "G2");
       s.Vector("G3", "G1");
       s.Backsight("S", "G1");
       if (!fault) s.Set("S", "G1", "G2");
     },
     {"G1", "G2", "G3"},
     {"G1", "G2", "G3"},
     {}},
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class SetupFrames : public ::testing::TestWithParam<Case> {};

struct Computed {
  SurveyTables tables;
  Shape shape;
};

void Compute(Computed& run, int max_steps) {
  FillTables(run.tables, run.shape.obs);
  const int32_t seed = run.tables.FindStation("S");
  ASSERT_GT(seed, 0);
  ComputeApproxCoordinates(run.tables, seed, SeedPosition{47.0, 8.0, 400.0},
                           Ellipsoid{"WGS 84", WGS84_A, WGS84_INV_F}, nullptr, max_steps);
}

double HorizontalError(Computed& run, const std::string& name) {
  const StationRecord& row = run.tables.station(run.tables.StationIndex(name));
  return std::hypot(row.north - run.shape.truth.North(name), row.east - run.shape.truth.East(name));
}

bool Placed(const Computed& run, const std::string& name) {
  const int32_t i = run.tables.StationIndex(name);
  return i > 0 && run.tables.stations()[static_cast<size_t>(i)].coords_known;
}

TEST_P(SetupFrames, SoundNetworkLandsOnTheTruth) {
  Computed run;
  GetParam().build(run.shape, false);
  Compute(run, 0);
  for (const std::string& name : GetParam().placed) {
    ASSERT_TRUE(Placed(run, name)) << name;
    EXPECT_LT(HorizontalError(run, name), HORIZONTAL_TOLERANCE) << name;
  }
}

TEST_P(SetupFrames, FaultKeepsTheStationOutOrOffTheFit) {
  Computed run;
  GetParam().build(run.shape, true);
  Compute(run, 0);
  for (const std::string& name : GetParam().fault_out) EXPECT_FALSE(Placed(run, name)) << name;
  for (const std::string& name : GetParam().fault_on_truth) {
    ASSERT_TRUE(Placed(run, name)) << name;
    EXPECT_LT(HorizontalError(run, name), HORIZONTAL_TOLERANCE) << name;
  }
}

// The budgeted run keeps to polar sights through a known backsight and vectors.
TEST_P(SetupFrames, BudgetedRunLeavesThemToTheWholeNetworkRun) {
  Computed run;
  GetParam().build(run.shape, false);
  Compute(run, PROPAGATION_STEP_CAP);
  EXPECT_FALSE(Placed(run, GetParam().placed.front()));
}

INSTANTIATE_TEST_SUITE_P(Shapes, SetupFrames, ::testing::ValuesIn(CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// The notes of the "Stations not computed" rows of a whole-network conversion of the shape
// written as a field file, by station; `rename` swaps one point name for another in the file.
std::map<std::string, std::string> NotComputedNotes(const Case& shape_case, bool fault,
                                                    const std::string& rename = "",
                                                    const std::string& as = "") {
  Shape shape;
  shape_case.build(shape, fault);
  // The field file's backsights carry their distances themselves.
  std::erase_if(shape.obs, [](const TruthObservation& o) { return o.kind == ObsKind::Sight; });
  testing::ScratchFolder folder("frames");
  testing::WriteTopconXml((folder.path() / "job.xml").string(), shape.truth, shape.obs);
  if (!rename.empty()) {
    std::string xml = testing::ReadFile(folder.path() / "job.xml");
    const std::string from = "<PointNumber>" + rename + "<", to = "<PointNumber>" + as + "<";
    for (size_t at = xml.find(from); at != std::string::npos; at = xml.find(from, at)) {
      xml.replace(at, from.size(), to);
    }
    testing::WriteFile(folder.path() / "job.xml", xml);
  }
  ConvertDialog dialog;
  dialog.InitializeDefaults();
  dialog.request.xml_paths = {(folder.path() / "job.xml").string()};
  dialog.request.output_path = (folder.path() / "job.txt").string();
  dialog.request.seed_name = "S";
  dialog.request.seed_latitude = 47.0;
  dialog.request.seed_longitude = 8.0;
  dialog.request.seed_height = 400.0;
  dialog.request.compute_local = 1;
  dialog.request.max_steps = 0;
  dialog.request.run_checks = true;
  dialog.request.adjustment_test = false;
  testing::RecordingUi ui;
  EXPECT_EQ(dialog.RunConversion(ui).outcome, ConversionOutcome::Succeeded);
  std::map<std::string, std::string> notes;
  for (const CheckSection& section : dialog.run.check_report.sections) {
    if (section.name != "not_computed") continue;
    for (const CheckRow& row : section.rows) notes[row.stations.at(0)] = row.note;
  }
  return notes;
}

const Case& CaseNamed(const std::string& name) {
  for (const Case& c : CASES) {
    if (name == c.name) return c;
  }
  throw std::out_of_range(name);
}

TEST(SetupFrameNotes, RowsSayWhatIsMissing) {
  const std::string one_known = "one known point sighted; a free station needs two";
  const std::string open_end = "traverse open at one end: no known orientation";
  const std::string misfit = "the known points sighted do not fit";
  const std::string behind = "reached only through stations not computed";
  const Case one_point{"FreeStationOnOneKnownPoint",
                       [](Shape& s, bool fault) {
                         s.Control();
                         s.truth.Add("F", 60, 120, 1);
                         s.truth.Add("P", 90, 200, 0);
                         s.Set("F", "K1", fault ? "P" : "K2");
                         s.Set("F", "K1", "P");
                       },
                       {},
                       {},
                       {}};
  const struct {
    const Case* shape;
    bool fault;
    const char* rename;
    const char* as;
    std::map<std::string, std::string> expected;  // station: start of its note
  } cases[] = {
      {&one_point, false, "", "", {}},
      {&one_point, true, "", "", {{"F", one_known}, {"P", behind}}},
      {&CaseNamed("TraverseBetweenTwoKnownEnds"), false, "", "", {}},
      {&CaseNamed("TraverseBetweenTwoKnownEnds"),
       true,
       "",
       "",
       {{"T1", open_end}, {"T2", open_end}, {"T3", open_end}, {"Q", behind}}},
      // The backsight at the free station named K4 where K1 was sighted.
      {&CaseNamed("FreeStationOnTwoKnownPoints"), false, "", "", {}},
      {&CaseNamed("FreeStationOnTwoKnownPoints"),
       false,
       "K1",
       "K4",
       {{"F", misfit}, {"P", behind}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.shape->name) + (c.fault ? " fault " : " ") + c.rename);
    const std::map<std::string, std::string> notes =
        NotComputedNotes(*c.shape, c.fault, c.rename, c.as);
    ASSERT_EQ(notes.size(), c.expected.size());
    for (const auto& [station, note] : c.expected) {
      ASSERT_EQ(notes.count(station), 1u) << station;
      EXPECT_EQ(notes.at(station).substr(0, note.size()), note) << notes.at(station);
    }
  }
}

}  // namespace
}  // namespace fenwix

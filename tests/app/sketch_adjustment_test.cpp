// The sketch of a generated network after the adjustment test: the points that one setup alone
// sights hang on uncontrolled lines, drawn dotted; every station has its error ellipse, turned to
// its azimuth. Without the test the sketch shows neither.

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>

#include "app/conversion_sketch.h"
#include "geodesy/angles.h"
#include "network_conversion.h"
#include "sketch/svg_writer.h"
#include "support/recording_ui.h"
#include "support/test_files.h"
#include "survey_network.h"

namespace fenwix {
namespace {

std::string SketchOf(const bench::GeneratedNetwork& net, bool test, const std::string& dir,
                     double relative_mm = 20.0) {
  const std::string input = dir + "/net.xml";
  EXPECT_TRUE(bench::WriteNetworkXml(input, net));
  ConvertDialog dialog;
  bench::PrepareNetworkConversion(dialog, net, input, dir + "/net.txt", test, false);
  dialog.request.relative_mm = relative_mm;
  dialog.request.relative_ppm = 0.0;
  testing::RecordingUi ui;
  dialog.RunConversion(ui);
  return SketchSvg(ConversionSketch(dialog.run));
}

std::string Attribute(const std::string& element, const std::string& name) {
  std::smatch m;
  return std::regex_search(element, m, std::regex(" " + name + "=\"([^\"]*)\"")) ? m[1].str()
                                                                                 : std::string();
}

std::vector<std::string> Elements(const std::string& svg, const char* pattern) {
  const std::regex re(pattern);
  return {std::sregex_token_iterator(svg.begin(), svg.end(), re), std::sregex_token_iterator()};
}

TEST(SketchAdjustment, PointsOnOneSightAreDottedAndEveryStationHasItsEllipse) {
  const bench::GeneratedNetwork net = bench::GenerateNetwork(bench::SmallSeededLayout());
  // The sights to a point that no other setup sights: nothing else fixes the point.
  std::map<int32_t, std::vector<int32_t>> sighted_from;
  for (const bench::NetworkSetup& setup : net.setups) {
    for (const int32_t fore : setup.fores) sighted_from[fore].push_back(setup.at);
  }
  std::set<std::pair<std::string, std::string>> single, checked;
  for (const auto& [point, setups] : sighted_from) {
    for (const int32_t at : setups) {
      (setups.size() == 1 ? single : checked)
          .emplace(net.input.stations[static_cast<size_t>(at)].name,
                   net.input.stations[static_cast<size_t>(point)].name);
    }
  }
  ASSERT_TRUE(!single.empty() && !checked.empty());

  testing::ScratchFolder scratch{"fenwix-sketch-adjustment-"};
  const std::string svg = SketchOf(net, true, scratch.path().string());
  std::set<std::pair<std::string, std::string>> dotted;
  for (const std::string& line : Elements(svg, "<path [^>]*data-uncontrolled=\"true\"[^>]*>")) {
    EXPECT_NE(line.find("stroke-dasharray"), std::string::npos) << line;
    dotted.emplace(Attribute(line, "data-from"), Attribute(line, "data-to"));
  }
  for (const auto& sight : single) EXPECT_TRUE(dotted.count(sight)) << sight.first << sight.second;
  for (const auto& sight : checked)
    EXPECT_FALSE(dotted.count(sight)) << sight.first << sight.second;
  EXPECT_NE(svg.find("dotted: uncontrolled, r &lt; 0.1"), std::string::npos);

  const std::vector<std::string> ellipses = Elements(svg, "<ellipse [^>]*data-ellipse-of[^>]*>");
  EXPECT_EQ(ellipses.size(), Elements(svg, "data-station=\"").size());
  int sized = 0;
  for (const std::string& e : ellipses) {
    const double major = std::stod(Attribute(e, "data-major-mm"));
    const double minor = std::stod(Attribute(e, "data-minor-mm"));
    const double azimuth = std::stod(Attribute(e, "data-azimuth-deg"));
    EXPECT_GE(major, minor) << e;
    // Clockwise from north on a page whose y grows downwards: 0° lays the major axis east.
    EXPECT_NEAR(std::stod(Attribute(e, "transform").substr(7)), azimuth - 90.0, 0.06) << e;
    sized += major > 0.1 ? 1 : 0;
  }
  EXPECT_GT(sized, 0);
  EXPECT_TRUE(std::regex_search(svg, std::regex("error ellipses \u00d7 [125]0*<")));

  const std::string untested = SketchOf(net, false, scratch.path().string());
  for (const char* absent : {"data-uncontrolled", "<ellipse", "error ellipses", "dotted"}) {
    EXPECT_EQ(untested.find(absent), std::string::npos) << absent;
  }
}

// The ellipses say their confidence and datum; the pairs over a relative standard are drawn in
// their own class with their 95 % major axis and ratio, and those within it are not: a standard
// of 1 mm flags every pair, one of 1 km none.
TEST(SketchAdjustment, EllipsesSayTheirDatumAndPairsOverTheStandardAreDrawn) {
  const bench::GeneratedNetwork net = bench::GenerateNetwork(bench::SmallSeededLayout());
  testing::ScratchFolder scratch{"fenwix-sketch-relative-"};
  const std::string tight = SketchOf(net, true, scratch.path().string(), 1.0);
  const std::vector<std::string> ellipses = Elements(tight, "<ellipse [^>]*data-ellipse-of[^>]*>");
  ASSERT_FALSE(ellipses.empty());
  for (const std::string& e : ellipses) {
    EXPECT_EQ(Attribute(e, "data-confidence"), "0.95") << e;
    EXPECT_EQ(Attribute(e, "data-datum"), "minimum trace") << e;
  }
  EXPECT_NE(tight.find("at 95 %, datum minimum trace"), std::string::npos);
  const std::vector<std::string> over = Elements(tight, "<path class=\"relative\"[^>]*>");
  EXPECT_GT(over.size(), 3u);
  for (const std::string& line : over) {
    const double major = std::stod(Attribute(line, "data-relative-major-mm"));
    const double ratio = std::stod(Attribute(line, "data-relative-ratio"));
    // The allowance is the 1 mm itself: the ratio is the major axis in millimetres.
    EXPECT_NEAR(ratio, major, 0.06 + 0.01 * major) << line;
    EXPECT_GT(ratio, 1.0) << line;
  }
  const std::string loose = SketchOf(net, true, scratch.path().string(), 1e6);
  EXPECT_EQ(loose.find("class=\"relative\" data-"), std::string::npos);
}

// A blunder in a foresight's distance marks the sight to the foresight as suspect, not the one
// to the setup's backsight; a blunder in the horizontal angle marks both, since the angle is
// measured between them.
TEST(SketchAdjustment, SuspectMarksOnlyTheLinesOfItsObservation) {
  const bench::GeneratedNetwork clean = bench::GenerateNetwork(bench::SmallSeededLayout());
  struct Case {
    const char* name;
    AdjustedKind kind;
    double blunder;  // meters or radians
    bool backsight_suspect;
  };
  for (const Case& c :
       {Case{"distance 8 cm long", AdjustedKind::SlopeDistance, 0.08, false},
        Case{"angle 30\" off", AdjustedKind::HorizontalAngle, 30.0 / 206264.806, true}}) {
    SCOPED_TRACE(c.name);
    bench::GeneratedNetwork planted = clean;
    // A foresight's record: its angle, zenith and distance follow one another.
    size_t target = 3;
    const auto& obs = planted.input.observations;
    while (obs[target].kind != c.kind ||
           obs[target - (c.kind == AdjustedKind::SlopeDistance ? 2 : 0)].kind !=
               AdjustedKind::HorizontalAngle) {
      ++target;
    }
    const AdjustmentObservation& angle =
        obs[target - (c.kind == AdjustedKind::SlopeDistance ? 2 : 0)];
    const std::string at = planted.input.stations[static_cast<size_t>(angle.at)].name;
    const std::string fore = planted.input.stations[static_cast<size_t>(angle.fore)].name;
    const std::string back = planted.input.stations[static_cast<size_t>(angle.back)].name;
    planted.input.observations[target].value[0] += c.blunder;

    testing::ScratchFolder scratch{"fenwix-sketch-suspect-"};
    const std::string svg = SketchOf(planted, true, scratch.path().string());
    std::set<std::pair<std::string, std::string>> suspect;
    for (const std::string& line : Elements(svg, "<path class=\"suspect\" [^>]*>")) {
      suspect.emplace(Attribute(line, "data-from"), Attribute(line, "data-to"));
    }
    EXPECT_TRUE(suspect.count({at, fore})) << at << " " << fore;
    EXPECT_EQ(suspect.count({at, back}) == 1, c.backsight_suspect) << at << " " << back;
  }
}

}  // namespace
}  // namespace fenwix

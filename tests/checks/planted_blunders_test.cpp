// Each check on a small network with true geometry: one planted blunder flags exactly the rows
// that hold it, and the clean job flags nothing. The job goes through the whole conversion, so
// the reader's log of raw readings is tested with the checks.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <numbers>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/convert_dialog.h"
#include "approx/truth_network.h"
#include "support/recording_ui.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

using testing::PackedDms;
using testing::TruthNetwork;

enum class Plant {
  None,
  VectorDz,
  FaceTwo,
  FaceOne,
  ClosingBacksight,
  TypedLowerCase,
  Island,
  NoSd,
  Distance
};

// One arc-minute, radians.
constexpr double ARC_MINUTE = std::numbers::pi / 180.0 / 60.0;

TruthNetwork Network() {
  TruthNetwork net(46.5, 7.25, 30.0);
  net.Add("P10", 0, 0, 0);
  net.Add("P11", 800, 100, 5);
  net.Add("P12", 300, 700, -3);
  net.Add("P13", -400, 500, 2);
  net.Add("X1", 3000, 3000, 0);
  net.Add("X2", 3100, 3000, 0);
  return net;
}

std::string Number(double value) {
  std::ostringstream text;
  text.precision(4);
  text << std::fixed << value;
  return text.str();
}

std::string JobXml(const TruthNetwork& net, Plant plant) {
  std::ostringstream out;
  out << "<?xml version=\"1.0\"?>\n<data>\n";
  const auto vector = [&](const char* base, const char* rover, double dz_error, bool sd) {
    const auto v = net.GpsVector(base, rover);
    out << "<Vector>\n<BasePoint>" << base << "</BasePoint><RoverPoint>" << rover
        << "</RoverPoint>\n<DX>" << Number(v.dx) << "</DX><DY>" << Number(v.dy) << "</DY><DZ>"
        << Number(v.dz + dz_error) << "</DZ>\n"
        << (sd ? "<SX>0.002</SX><SY>0.002</SY><SZ>0.004</SZ>\n" : "") << "</Vector>\n";
  };
  vector("P10", "P11", 0, true);
  vector("P11", "P10", plant == Plant::VectorDz ? 0.05 : 0.0, true);
  vector("P11", "P12", 0, true);
  vector("P12", "P10", 0, true);
  vector("P10", "P13", 0, true);
  vector("P13", "P12", 0, true);
  vector("P11", "P13", 0, true);
  if (plant == Plant::NoSd) vector("P12", "P13", 0, false);
  if (plant == Plant::Island) vector("X1", "X2", 0, true);

  // Both faces of one pointing; errors in radians and meters on the chosen face.
  const auto pointing = [&](const char* type, const char* at, const char* target, const char* typed,
                            double hz_error_two, double hz_error_one, double distance_error) {
    const auto s = net.Sight(at, target);
    const double orientation = 0.7;
    for (int face = 1; face <= 2; ++face) {
      double hz = std::fmod(orientation + s.azimuth + (face == 2 ? std::numbers::pi : 0.0),
                            2 * std::numbers::pi);
      hz += face == 2 ? hz_error_two : hz_error_one;
      out << "<Observation><ObsType>" << type << "</ObsType><PointNumber>" << typed
          << "</PointNumber><PrismHeight>0.000</PrismHeight><HorizontalAngle>" << PackedDms(hz)
          << "</HorizontalAngle><ZenithAngle>"
          << PackedDms(face == 1 ? s.zenith : 2 * std::numbers::pi - s.zenith)
          << "</ZenithAngle><SlopeDistance>" << Number(s.slope + distance_error)
          << "</SlopeDistance></Observation>\n";
    }
  };
  out << "<Station><StationPoint>P10</StationPoint><InstrumentHeight>0</InstrumentHeight>\n";
  pointing("Backsight", "P10", "P11", "P11", 0, 0, 0);
  pointing("Foresight", "P10", "P12", "P12", plant == Plant::FaceTwo ? 2 * ARC_MINUTE : 0,
           plant == Plant::FaceOne ? 2 * ARC_MINUTE : 0, 0);
  pointing("Backsight", "P10", "P11", "P11", 0, plant == Plant::ClosingBacksight ? ARC_MINUTE : 0,
           0);
  out << "</Station>\n<Station><StationPoint>P13</StationPoint><InstrumentHeight>0"
         "</InstrumentHeight>\n";
  pointing("Backsight", "P13", "P10", "P10", 0, 0, 0);
  pointing("Foresight", "P13", "P12", plant == Plant::TypedLowerCase ? "p12" : "P12", 0, 0,
           plant == Plant::Distance ? 2.0 : 0.0);
  pointing("Backsight", "P13", "P10", "P10", 0, 0, 0);
  out << "</Station>\n</data>\n";
  return out.str();
}

// Per section, the station sets of its flagged rows.
using Flags = std::map<std::string, std::set<std::set<std::string>>>;

Flags FlaggedRows(const CheckReport& report) {
  Flags flags;
  for (const CheckSection& section : report.sections) {
    for (const CheckRow& row : section.rows) {
      if (row.flagged) flags[section.name].insert({row.stations.begin(), row.stations.end()});
    }
  }
  return flags;
}

struct Converted {
  ConvertDialog dialog;
  std::string xml;
  std::string output;
};

void Convert(Plant plant, Converted& job, const testing::ScratchFolder& folder, bool checks = true,
             bool seeded = true) {
  job.xml = JobXml(Network(), plant);
  testing::WriteFile(folder.path() / "job.xml", job.xml);
  ConvertDialog& dialog = job.dialog;
  dialog.InitializeDefaults();
  dialog.request.run_checks = checks;
  // The per-record checks alone: the adjustment test has tests of its own.
  dialog.request.adjustment_test = false;
  dialog.request.xml_paths = {(folder.path() / "job.xml").string()};
  dialog.request.output_path = (folder.path() / "job.txt").string();
  dialog.request.seed_name = seeded ? "P10" : "";
  dialog.request.seed_latitude = 46.3;
  dialog.request.seed_longitude = 7.15;
  dialog.request.seed_height = 30.0;
  dialog.request.compute_local = 1;
  testing::RecordingUi ui;
  ASSERT_EQ(dialog.RunConversion(ui).outcome, ConversionOutcome::Succeeded);
  job.output = testing::ReadFile(folder.path() / "job.txt");
  EXPECT_EQ(ui.messages.back().text.find(
                "flagged " + std::to_string(dialog.run.check_report.FlaggedRows()) + " row") ==
                std::string::npos,
            !checks);
}

TEST(PlantedBlunders, EachFlagsExactlyItsRows) {
  const struct {
    Plant plant;
    Flags expected;
  } cases[] = {
      {Plant::None, {}},
      // The loops close on the pair's mean, 25 mm off: within 3.89 σ of their 2/2/4 mm vectors.
      {Plant::VectorDz, {{"repeated_vectors", {{"P10", "P11"}}}, {"suspects", {{"P10", "P11"}}}}},
      {Plant::FaceTwo, {{"face_pairs", {{"P10", "P12"}}}, {"suspects", {{"P10", "P12"}}}}},
      // Face one of the closing pointing is 60" off its face two: over 3.89 × √2 × 5".
      {Plant::ClosingBacksight,
       {{"closing_backsight", {{"P10", "P11"}}},
        {"face_pairs", {{"P10", "P11"}}},
        {"suspects", {{"P10", "P11"}}}}},
      // "p12" is the target of one sight only: a side shot, listed among the stations seen once
      // but not flagged there; its look-alike name flags it.
      {Plant::TypedLowerCase, {{"look_alike_names", {{"P12", "p12"}}}}},
      {Plant::Island,
       {{"connectivity", {{"X1", "X2"}}},
        {"seen_once", {{"X1"}, {"X2"}}},
        {"not_computed", {{"X1"}, {"X2"}}}}},
      {Plant::NoSd, {{"vectors_without_sd", {{"P12", "P13"}}}}},
      {Plant::Distance,
       {{"gross_approx", {{"P13", "P12", "P10"}}}, {"suspects", {{"P13", "P12"}}}}},
  };
  testing::ScratchFolder folder("checks");
  Converted unchecked;
  Convert(Plant::None, unchecked, folder, false);
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.plant));
    Converted job;
    Convert(c.plant, job, folder);
    EXPECT_EQ(FlaggedRows(job.dialog.run.check_report), c.expected);
    // Every check ran; none changed the adjustment file.
    EXPECT_EQ(job.dialog.run.check_report.sections.size(), 14u);
    if (c.plant == Plant::None) {
      EXPECT_EQ(job.output, unchecked.output);
    }
  }
}

// The rows point at the readings: the 2C row names the XML lines of both faces of the pointing.
TEST(PlantedBlunders, RowsNameTheXmlLinesOfTheirReadings) {
  testing::ScratchFolder folder("checks-lines");
  Converted job;
  Convert(Plant::FaceTwo, job, folder);
  std::vector<std::string> lines(1);
  std::istringstream text(job.xml);
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  for (const CheckSection& section : job.dialog.run.check_report.sections) {
    if (section.name != "face_pairs") continue;
    ASSERT_TRUE(section.rows.at(0).flagged);
    ASSERT_EQ(section.rows[0].sources.size(), 2u);
    for (const SourceLocation& source : section.rows[0].sources) {
      EXPECT_EQ(source.file, 0);
      EXPECT_NE(lines.at(static_cast<size_t>(source.line))
                    .find("<ObsType>Foresight</ObsType><PointNumber>P12"),
                std::string::npos);
    }
    EXPECT_NEAR(section.rows[0].values[0], 120.0, 0.01);
  }
  EXPECT_TRUE(job.dialog.run.check_report.IsStationFlagged("P12"));
  EXPECT_FALSE(job.dialog.run.check_report.IsStationFlagged("P13"));
}

// Both readings of a face pair over its 2C limit explain its row: the one the coordinates refuse
// is the suspect, whichever face it is; without coordinates, the earlier line.
TEST(PlantedBlunders, TheFacePairSuspectIsTheReadingTheCoordinatesRefuse) {
  const struct {
    Plant plant;
    bool seeded;
    size_t suspect;  // which source of the face pair row
    const char* note;
  } cases[] = {
      {Plant::FaceTwo, true, 1, "; of its face pair, the one farther from the coordinates (2.0')"},
      {Plant::FaceOne, true, 0, "; of its face pair, the one farther from the coordinates (2.0')"},
      {Plant::FaceTwo, false, 0, "; of its face pair, the earlier reading: no coordinates"},
  };
  testing::ScratchFolder folder("checks-face-pair");
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.plant) * 2 + c.seeded);
    Converted job;
    Convert(c.plant, job, folder, true, c.seeded);
    const CheckReport& report = job.dialog.run.check_report;
    const auto face_pairs = std::find_if(report.sections.begin(), report.sections.end(),
                                         [](const auto& s) { return s.name == "face_pairs"; });
    ASSERT_NE(face_pairs, report.sections.end());
    ASSERT_TRUE(face_pairs->rows.at(0).flagged);
    ASSERT_NE(report.Suspects(), nullptr);
    ASSERT_EQ(report.Suspects()->rows.size(), 1u);
    const CheckRow& suspect = report.Suspects()->rows[0];
    EXPECT_EQ(suspect.sources, std::vector{face_pairs->rows[0].sources.at(c.suspect)});
    EXPECT_NE(suspect.note.find(c.note), std::string::npos) << suspect.note;
  }
}

}  // namespace
}  // namespace fenwix

// The SVG read back with Expat: well-formed, self-contained, and every station symbol carrying
// the name and coordinates of its station record in the output file.

#include <expat.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "app/conversion_sketch.h"
#include "sketch/svg_writer.h"
#include "sketch_network.h"
#include "support/recording_ui.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

using testing::SketchJob;

struct Coordinates {
  double north, east, elevation;
};

struct ParsedSvg {
  bool well_formed = false;
  std::map<std::string, Coordinates> stations;
  std::map<std::string, std::string> titles;  // station name to its <title>
  std::vector<std::string> external;          // elements or attributes that reach outside
  // Lines marked by the report: class, data-from, data-to, data-where and title of each.
  std::vector<std::map<std::string, std::string>> marked;
};

ParsedSvg Parse(const std::string& svg) {
  struct State {
    ParsedSvg result;
    std::string open_station;  // name of the symbol whose <title> is being read
    std::string text;
    bool in_title = false;
  } state;
  XML_Parser parser = XML_ParserCreate("UTF-8");
  XML_SetUserData(parser, &state);
  XML_SetElementHandler(
      parser,
      [](void* data, const XML_Char* name, const XML_Char** attributes) {
        auto& s = *static_cast<State*>(data);
        const std::string element = name;
        if (element == "script" || element == "image" || element == "foreignObject") {
          s.result.external.push_back(element);
        }
        std::map<std::string, std::string> a;
        for (int i = 0; attributes[i] != nullptr; i += 2) a[attributes[i]] = attributes[i + 1];
        for (const auto& [key, value] : a) {
          if (key.find("href") != std::string::npos || key.rfind("on", 0) == 0) {
            s.result.external.push_back(key);
          }
        }
        // The legend's samples carry the classes but no stations.
        if ((a["class"] == "suspect" || a["class"] == "flag") && a.count("data-from")) {
          s.result.marked.push_back(a);
        }
        if (a.count("data-station")) {
          s.open_station = a["data-station"];
          s.result.stations[s.open_station] = {std::strtod(a["data-north"].c_str(), nullptr),
                                               std::strtod(a["data-east"].c_str(), nullptr),
                                               std::strtod(a["data-elevation"].c_str(), nullptr)};
        }
        s.in_title = element == "title";
        s.text.clear();
      },
      [](void* data, const XML_Char* name) {
        auto& s = *static_cast<State*>(data);
        if (std::string(name) == "title" && !s.result.marked.empty() &&
            !s.result.marked.back().count("title") && s.open_station.empty()) {
          s.result.marked.back()["title"] = s.text;
        }
        if (std::string(name) == "title" && !s.open_station.empty()) {
          s.result.titles[s.open_station] = s.text;
          s.open_station.clear();
        }
        s.in_title = false;
      });
  XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* text, int length) {
    auto& s = *static_cast<State*>(data);
    if (s.in_title) s.text.append(text, static_cast<size_t>(length));
  });
  state.result.well_formed =
      XML_Parse(parser, svg.data(), static_cast<int>(svg.size()), 1) == XML_STATUS_OK;
  XML_ParserFree(parser);
  return state.result;
}

// Name to coordinates of the local station records of an output file.
std::map<std::string, Coordinates> LocalRecords(const std::string& output) {
  std::map<std::string, Coordinates> records;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("$LOCAL_COMPACT; ", 0) != 0) continue;
    std::istringstream fields(line.substr(16));
    std::string name, n, e, u;
    std::getline(fields, name, ';');
    fields >> n >> e >> u;
    records[name] = {std::strtod(n.c_str(), nullptr), std::strtod(e.c_str(), nullptr),
                     std::strtod(u.c_str(), nullptr)};
  }
  return records;
}

TEST(SvgWriter, EveryStationSymbolMatchesItsRecordInTheOutputFile) {
  SketchJob job;
  ASSERT_EQ(job.outcome, ConversionOutcome::Succeeded);
  const ParsedSvg svg = Parse(SketchSvg(ConversionSketch(job.dialog.run)));
  ASSERT_TRUE(svg.well_formed);
  EXPECT_TRUE(svg.external.empty());

  // E and F have records too (coordinates of zero), but no place in the drawing.
  std::map<std::string, Coordinates> records =
      LocalRecords(testing::ReadFile(job.dialog.request.output_path));
  ASSERT_EQ(records.size(), 8u);
  records.erase("E");
  records.erase("F");
  ASSERT_EQ(svg.stations.size(), records.size());
  for (const auto& [name, record] : records) {
    ASSERT_EQ(svg.stations.count(name), 1u) << name;
    const Coordinates& drawn = svg.stations.at(name);
    // The output file has 5 decimals, the attributes 4.
    EXPECT_NEAR(drawn.north, record.north, 6e-5) << name;
    EXPECT_NEAR(drawn.east, record.east, 6e-5) << name;
    EXPECT_NEAR(drawn.elevation, record.elevation, 6e-5) << name;
    EXPECT_EQ(svg.titles.at(name).rfind(name, 0), 0u) << svg.titles.at(name);
  }
  EXPECT_NE(svg.titles.at("D").find("D2"), std::string::npos);
}

// The job with planted blunders marks the one reverse vector 5 cm off as the suspect, and the
// lines of its flagged rows as such; a job with flags but no blunder has no suspect.
TEST(SvgWriter, TheSuspectLineCarriesItsStationsPlaceAndReason) {
  ConvertDialog planted;
  planted.InitializeDefaults();
  planted.request.run_checks = true;
  // The per-record checks alone: the adjustment test has tests of its own.
  planted.request.adjustment_test = false;
  planted.request.xml_paths = {std::string(FENWIX_TEST_DATA) + "/jobs/planted-job.xml"};
  const testing::ScratchFolder scratch("sketch-marks");
  planted.request.output_path = (scratch.path() / "planted.txt").string();
  planted.request.seed_name = "P10";
  planted.request.seed_latitude = 46.3;
  planted.request.seed_longitude = 7.15;
  planted.request.seed_height = 30.0;
  planted.request.compute_local = 1;
  testing::RecordingUi ui;
  ASSERT_EQ(planted.RunConversion(ui).outcome, ConversionOutcome::Succeeded);
  SketchJob clean(true, true);
  // The planted job's suspects: the reverse vector, the closing backsight and a face-two
  // reading, each on its own line by its XML line.
  using Marks = std::set<std::string>;
  for (const auto& [dialog, expected] :
       {std::pair{&planted, Marks{"P10 P11 planted-job.xml:15", "P10 P11 planted-job.xml:146",
                                  "P10 P12 planted-job.xml:138"}},
        std::pair{&clean.dialog, Marks{}}}) {
    const ParsedSvg svg = Parse(SketchSvg(ConversionSketch(dialog->run)));
    ASSERT_TRUE(svg.well_formed);
    Marks suspects;
    for (const auto& line : svg.marked) {
      EXPECT_FALSE(line.at("data-to").empty());
      EXPECT_FALSE(line.at("data-where").empty());
      ASSERT_TRUE(line.count("title"));
      if (line.at("class") != "suspect") continue;
      EXPECT_NE(line.at("title").find("Suspect observations"), std::string::npos);
      // The suspect's own element is named on its line, whatever else the line holds.
      for (const char* where : {":15", ":146", ":138"}) {
        const std::string& at = line.at("data-where");
        if (at.find(std::string(where) + " ") != std::string::npos || at.ends_with(where)) {
          suspects.insert(std::min(line.at("data-from"), line.at("data-to")) + " " +
                          std::max(line.at("data-from"), line.at("data-to")) + " planted-job.xml" +
                          where);
        }
      }
    }
    EXPECT_EQ(suspects, expected);
  }
}

// A label at the right edge of the drawing that would run across the legend and its north arrow
// (the station level with the arrow) is left out; a short one at the same place is kept.
TEST(SvgWriter, NoLabelRunsIntoTheLegendWithTheNorthArrow) {
  struct Case {
    std::string name;
    bool labelled;
  };
  for (const Case& c : {Case{"E1", true}, Case{std::string(48, 'W'), false}}) {
    SCOPED_TRACE(c.name);
    SketchModel model;
    model.has_coordinates = true;
    model.xml_name = "edge.xml";
    model.stations.push_back(SketchStation{1, "SEED", {}, 0.0, 0.0, 0.0, SketchSymbol::Seed, {}});
    model.stations.push_back(
        SketchStation{2, c.name, {}, 300.0, 1000.0, 0.0, SketchSymbol::Computed, {}});
    model.frame = {0.0, 500.0, 0.0, 1000.0, 200.0};
    const std::string svg = SketchSvg(model);
    const size_t labels = svg.find("<g class=\"label\">");
    ASSERT_NE(labels, std::string::npos);
    const std::string group = svg.substr(labels, svg.find("</g>", labels) - labels);
    EXPECT_NE(group.find(">SEED</text>"), std::string::npos);
    EXPECT_EQ(group.find(">" + c.name + "</text>") != std::string::npos, c.labelled);
    // The station keeps its symbol and name either way.
    EXPECT_NE(svg.find("data-station=\"" + c.name + "\""), std::string::npos);
  }
}

TEST(SvgWriter, NamesThatLookLikeMarkupStayText) {
  SketchModel model;
  model.has_coordinates = true;
  model.xml_name = "a&b <job>.xml";
  const std::string name = "P<1>&\"2\"\x01\t";
  model.stations.push_back(
      SketchStation{1, name, {"Q'3"}, 5.0, 6.0, 7.0, SketchSymbol::Seed, {true, "bad <vector>"}});
  const ParsedSvg svg = Parse(SketchSvg(model));
  ASSERT_TRUE(svg.well_formed);
  // The control character becomes U+FFFD; everything else comes back as it was.
  ASSERT_EQ(svg.stations.count("P<1>&\"2\"\xEF\xBF\xBD\t"), 1u);
  EXPECT_NE(svg.titles.begin()->second.find("bad <vector>"), std::string::npos);
}

TEST(SvgWriter, AFileThatCannotBeWrittenIsReportedAndNotLeftBehind) {
  testing::ScratchFolder scratch("fenwix-svg-");
  const SketchModel model;
  EXPECT_TRUE(WriteSketchSvg(model, scratch.path().string()).failed());  // a folder
  const std::string missing = (scratch.path() / "no" / "such.svg").string();
  EXPECT_TRUE(WriteSketchSvg(model, missing).failed());
  const std::string good = (scratch.path() / "ok.svg").string();
  EXPECT_TRUE(WriteSketchSvg(model, good).ok());
  EXPECT_TRUE(Parse(testing::ReadFile(good)).well_formed);
}

// A coordinate no survey holds (a fault upstream) is refused before anything is written: the
// sketch already there stays, and no 300-digit or non-finite number reaches an attribute.
TEST(SvgWriter, AnAbsurdCoordinateFailsTheWriteAndKeepsTheOldSketch) {
  testing::ScratchFolder scratch("fenwix-svg-");
  const std::string path = (scratch.path() / "net.svg").string();
  struct Planted {
    double SketchStation::*field;
    double absurd;
  };
  const Planted cases[] = {{&SketchStation::north, 1e308},
                           {&SketchStation::east, -INFINITY},
                           {&SketchStation::elevation, NAN}};
  for (const Planted& c : cases) {
    SketchModel model;
    model.has_coordinates = true;
    SketchStation& station = model.stations.emplace_back();
    station.row = 1;
    station.name = "B1";
    station.north = 1234.5;
    {
      std::ofstream old(path, std::ios::binary);
      old << "old sketch";
    }
    SketchModel planted = model;
    planted.stations[0].*c.field = c.absurd;
    const Status refused = WriteSketchSvg(planted, path);
    EXPECT_EQ(refused.kind(), StatusKind::WriteFailed);
    EXPECT_NE(refused.text().find("station B1"), std::string::npos) << refused.text();
    EXPECT_EQ(testing::ReadFile(path), "old sketch");

    ASSERT_TRUE(WriteSketchSvg(model, path).ok());
    const ParsedSvg svg = Parse(testing::ReadFile(path));
    ASSERT_TRUE(svg.well_formed);
    ASSERT_EQ(svg.stations.count("B1"), 1u);
    EXPECT_EQ(svg.stations.at("B1").north, 1234.5);
  }
}

}  // namespace
}  // namespace fenwix

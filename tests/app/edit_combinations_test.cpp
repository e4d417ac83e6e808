// Random sets of edits on a generated network with two rounds per setup: readings, setups and
// vectors left out and stations renamed through the job's edits. Whatever the set, the
// adjustment file reads back record by record (a reader of its own, not the writer's), every
// station it names has coordinates, and every horizontal angle is the angle between the true
// marks; the adjustment test rejects nothing, as on the clean job.

#include <gtest/gtest.h>
#include <GeographicLib/Geocentric.hpp>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <numbers>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/convert_dialog.h"
#include "network_conversion.h"
#include "support/recording_ui.h"
#include "support/test_files.h"
#include "survey_network.h"

namespace fenwix {
namespace {

namespace fs = std::filesystem;

// Fields after the keyword of each one-line record, and how many of them lead with station
// names; the rest are numbers, but for the text of a description.
struct RecordForm {
  std::string_view keyword;
  size_t fields;
  size_t names;
  bool text_after_names;
};
constexpr RecordForm FORMS[] = {
    {"$GPS_COMPACT", 11, 2, false},     {"$ZENITH_ONLY", 6, 2, false},
    {"$CHORD_ONLY", 6, 2, false},       {"$HOR_COMPACT", 11, 3, false},
    {"$HORIZ_ANGLE_ONLY", 7, 3, false}, {"$GEO_COMPACT", 15, 1, false},
    {"$LOCAL_COMPACT", 4, 1, false},    {"$STA_DESC", 2, 1, true},
    {"$OBS_DESC", 1, 0, true},
};
const std::set<std::string, std::less<>> BLOCKS = {"$DATUM",    "$NETTYP",   "$UNITS",   "$G_AZ_SD",
                                                   "$G_HOR_SD", "$G_ZEN_SD", "$G_CRD_SD"};

struct Record {
  std::string keyword;
  std::vector<std::string> fields;
  int line = 0;
};

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \r") - first + 1);
}

bool FiniteNumber(const std::string& text) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  return *end == '\0' && std::isfinite(value);
}

// Packed [-]DDD.MMSSsssss in radians.
double PackedToRadians(const std::string& text) {
  const double signed_packed = std::strtod(text.c_str(), nullptr);
  const double packed = std::fabs(signed_packed);
  const double degrees = std::floor(packed);
  const double minutes = std::floor((packed - degrees) * 100.0 + 1e-9);
  const double seconds = ((packed - degrees) * 100.0 - minutes) * 100.0;
  return std::copysign(degrees + minutes / 60.0 + seconds / 3600.0, signed_packed) *
         std::numbers::pi / 180.0;
}

// Reads the file's records and says what is wrong with them, one problem a line.
std::vector<Record> ReadRecords(const std::string& text, std::vector<std::string>& problems) {
  std::vector<Record> records;
  std::istringstream in(text);
  std::string line;
  bool in_block = false;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string where = "line " + std::to_string(number) + ": ";
    if (Trim(line).empty()) {
      in_block = false;
      continue;
    }
    if (line[0] == '!') continue;
    if (line[0] != '$') {
      if (!in_block) problems.push_back(where + "stray text \"" + line + "\"");
      continue;
    }
    const size_t semicolon = line.find(';');
    if (semicolon == std::string::npos) {
      in_block = BLOCKS.count(Trim(line)) > 0;
      if (!in_block) problems.push_back(where + "unknown block " + line);
      continue;
    }
    Record record{line.substr(0, semicolon), {}, number};
    for (size_t at = semicolon; at != std::string::npos;) {
      const size_t next = line.find(';', at + 1);
      record.fields.push_back(
          Trim(line.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1)));
      at = next;
    }
    const RecordForm* form = nullptr;
    for (const RecordForm& f : FORMS) {
      if (f.keyword == record.keyword) form = &f;
    }
    if (form == nullptr) {
      problems.push_back(where + "unknown record " + record.keyword);
      continue;
    }
    if (record.fields.size() != form->fields && !(form->text_after_names)) {
      problems.push_back(where + record.keyword + " has " + std::to_string(record.fields.size()) +
                         " fields");
      continue;
    }
    for (size_t i = 0; i < record.fields.size(); ++i) {
      const std::string& field = record.fields[i];
      if (i < form->names || form->text_after_names) {
        if (field.empty()) problems.push_back(where + "empty field " + std::to_string(i + 1));
        continue;
      }
      // A zenith or a distance pair not observed; never both.
      const size_t partner = i % 2 == 1 ? i + 1 : i - 1;
      const bool noobs_pair = record.keyword == "$HOR_COMPACT" && i >= 5 && i <= 8 &&
                              field == "NOOBS" && record.fields[partner] == "NOOBS";
      if (noobs_pair) continue;
      if (!FiniteNumber(field)) {
        problems.push_back(where + "field " + std::to_string(i + 1) + " \"" + field +
                           "\" is no number");
      }
    }
    if (record.keyword == "$HOR_COMPACT" && record.fields[5] == "NOOBS" &&
        record.fields[7] == "NOOBS") {
      problems.push_back(where + "neither zenith nor distance");
    }
    records.push_back(std::move(record));
  }
  return records;
}

// The true geometry under the names the output uses.
struct Truth {
  std::map<std::string, std::array<double, 3>> marks;  // geocentric, meters

  // Clockwise angle at `at` from `back` to `fore`, in the plane normal to the ellipsoid there.
  double Angle(const std::string& at, const std::string& back, const std::string& fore) const {
    const std::array<double, 3>& p = marks.at(at);
    double lat, lon, h;
    GeographicLib::Geocentric::WGS84().Reverse(p[0], p[1], p[2], lat, lon, h);
    const double phi = lat * std::numbers::pi / 180.0, lam = lon * std::numbers::pi / 180.0;
    const auto azimuth = [&](const std::string& to) {
      const std::array<double, 3>& q = marks.at(to);
      const double d[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
      const double e = -std::sin(lam) * d[0] + std::cos(lam) * d[1];
      const double n = -std::sin(phi) * std::cos(lam) * d[0] -
                       std::sin(phi) * std::sin(lam) * d[1] + std::cos(phi) * d[2];
      return std::atan2(e, n);
    };
    const double turn = 2 * std::numbers::pi;
    return std::fmod(azimuth(fore) - azimuth(back) + 2 * turn, turn);
  }
};

// Angles further than this from the truth are wrong: the readings carry about 1".
constexpr double ANGLE_TOLERANCE = 10.0 / 3600.0 * std::numbers::pi / 180.0;

// Everything wrong with the output: records that do not read back, stations without a
// coordinates record, angles that are not those of the marks.
std::vector<std::string> Problems(const std::string& output, const Truth& truth) {
  std::vector<std::string> problems;
  const std::vector<Record> records = ReadRecords(output, problems);
  std::set<std::string> placed;
  for (const Record& r : records) {
    if (r.keyword == "$GEO_COMPACT" || r.keyword == "$LOCAL_COMPACT") placed.insert(r.fields[0]);
  }
  for (const Record& r : records) {
    const std::string where = "line " + std::to_string(r.line) + ": ";
    const bool observation = r.keyword == "$GPS_COMPACT" || r.keyword == "$ZENITH_ONLY" ||
                             r.keyword == "$CHORD_ONLY" || r.keyword == "$HOR_COMPACT" ||
                             r.keyword == "$HORIZ_ANGLE_ONLY";
    if (!observation) continue;
    const size_t names = r.keyword == "$HOR_COMPACT" || r.keyword == "$HORIZ_ANGLE_ONLY" ? 3 : 2;
    bool known = true;
    for (size_t i = 0; i < names; ++i) {
      if (!placed.count(r.fields[i])) {
        problems.push_back(where + "station \"" + r.fields[i] + "\" has no coordinates record");
      }
      known = known && truth.marks.count(r.fields[i]) > 0;
    }
    if (names == 3 && known) {
      const double want = truth.Angle(r.fields[0], r.fields[2], r.fields[1]);
      const double got = PackedToRadians(r.fields[3]);
      const double turn = 2 * std::numbers::pi;
      double off = std::fmod(std::fabs(got - want), turn);
      off = std::min(off, turn - off);
      if (!(off < ANGLE_TOLERANCE)) {
        problems.push_back(where + "angle " + r.fields[3] + " is " +
                           std::to_string(off * 180.0 / std::numbers::pi * 3600.0) +
                           "\" from the marks");
      }
    }
  }
  return problems;
}

// Lines of the field file on which an element of each kind starts.
struct ElementLines {
  std::vector<int> vectors, setups, readings;
};

ElementLines FindElements(const std::string& xml) {
  ElementLines found;
  std::istringstream in(xml);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string tag = Trim(line);
    if (tag == "<Vector>") found.vectors.push_back(number);
    if (tag == "<Station>") found.setups.push_back(number);
    if (tag == "<Observation>") found.readings.push_back(number);
  }
  return found;
}

class EditCombinations : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    net_ = new bench::GeneratedNetwork(bench::GenerateNetwork(bench::SmallSeededLayout(2)));
  }
  static void TearDownTestSuite() {
    delete net_;
    net_ = nullptr;
  }
  void SetUp() override {
    input_ = scratch_.path() / "net.xml";
    ASSERT_TRUE(bench::WriteNetworkXml(input_.string(), *net_));
    xml_ = testing::ReadFile(input_);
    for (size_t s = 0; s < net_->truth.size(); ++s) {
      truth_.marks[net_->input.stations[s].name] = net_->truth[s];
    }
  }

  // Converts with the edits and the adjustment test; the output's text.
  std::string Convert(const ReadingEdits& edits) {
    bench::PrepareNetworkConversion(dialog_, *net_, input_.string(),
                                    (scratch_.path() / "out.txt").string(), true, true);
    dialog_.request.edits = edits;
    testing::RecordingUi ui;
    dialog_.RunConversion(ui);
    return testing::ReadFile(dialog_.request.output_path);
  }

  static bench::GeneratedNetwork* net_;
  testing::ScratchFolder scratch_{"fenwix-edit-combinations-"};
  fs::path input_;
  std::string xml_;
  Truth truth_;
  ConvertDialog dialog_;
};

bench::GeneratedNetwork* EditCombinations::net_ = nullptr;

// The reader finds each planted fault in the clean output, and nothing in the output itself.
TEST_F(EditCombinations, ReaderFindsPlantedFaults) {
  const std::string clean = Convert(ReadingEdits{});
  ASSERT_EQ(dialog_.run.result.outcome, ConversionOutcome::Succeeded);
  ASSERT_NE(clean.find("$HOR_COMPACT"), std::string::npos);
  EXPECT_EQ(Problems(clean, truth_), std::vector<std::string>{});

  // Replaces the first match of `from` after the first `after`.
  const auto plant = [&](const std::string& after, const std::string& from, const std::string& to) {
    std::string text = clean;
    const size_t at = text.find(from, text.find(after));
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
  };
  const size_t hor = clean.find("$HOR_COMPACT; ");
  const std::string hor_line = clean.substr(hor, clean.find('\n', hor) - hor);
  std::vector<std::string> hor_fields;
  for (size_t at = 0; at != std::string::npos;) {
    const size_t next = hor_line.find("; ", at);
    hor_fields.push_back(hor_line.substr(at, next == std::string::npos ? next : next - at));
    at = next == std::string::npos ? next : next + 2;
  }
  const std::string backsight = "; " + hor_fields[3] + "; " + hor_fields[4];
  const std::string geo = clean.substr(clean.find("$GEO_COMPACT; " + hor_fields[2] + ";"));
  struct Case {
    std::string name;
    std::string planted;
    std::string problem;  // a word of the problem it must give
  };
  for (const Case& c : std::vector<Case>{
           {"empty backsight", plant("$HOR_COMPACT", backsight + ";", "; ; " + hor_fields[4] + ";"),
            "empty field 3"},
           {"angle off by a degree",
            plant("$HOR_COMPACT", "; " + hor_fields[4] + "; ",
                  "; " + std::to_string(std::stod(hor_fields[4]) + 1.0) + "; "),
            "from the marks"},
           {"number not finite", plant("$HOR_COMPACT", "; " + hor_fields[5] + "; ", "; nan; "),
            "is no number"},
           {"field missing", plant("$HOR_COMPACT", "; " + hor_fields[5] + "; ", "; "),
            "has 10 fields"},
           {"station without coordinates", plant(geo.substr(0, 30), geo.substr(0, 14), "! "),
            "has no coordinates record"},
       }) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string> problems = Problems(c.planted, truth_);
    ASSERT_FALSE(problems.empty());
    EXPECT_NE(problems.front().find(c.problem), std::string::npos) << problems.front();
  }
}

// Fixed combinations of backsights left out, then random sets of every kind of edit.
TEST_F(EditCombinations, EveryEditSetLeavesSoundRecords) {
  const std::string clean = Convert(ReadingEdits{});
  ASSERT_EQ(dialog_.run.result.outcome, ConversionOutcome::Succeeded);
  ASSERT_EQ(Problems(clean, truth_), std::vector<std::string>{});
  const bool clean_rejects = !dialog_.run.adjustment_result.rejected.empty();
  const ElementLines lines = FindElements(xml_);
  ASSERT_GT(lines.setups.size(), 4u);

  // The readings of a round (a <Station> element) in order: two faces to the backsight, two to
  // each foresight, two to the backsight again.
  const auto round_readings = [&](size_t setup) {
    std::vector<int> readings;
    const int end = setup + 1 < lines.setups.size() ? lines.setups[setup + 1] : 1 << 30;
    for (const int line : lines.readings) {
      if (line > lines.setups[setup] && line < end) readings.push_back(line);
    }
    return readings;
  };
  struct Trial {
    std::string name;
    std::vector<int> left_out;
    std::map<std::string, std::string> renamed;
  };
  std::vector<Trial> trials;
  {
    const std::vector<int> first = round_readings(0), second = round_readings(1);
    const size_t n = first.size();
    trials.push_back({"opening backsight, both faces", {first[0], first[1]}, {}});
    trials.push_back({"face-two backsights", {first[1], first[n - 1]}, {}});
    trials.push_back({"closing backsight", {first[n - 2], first[n - 1]}, {}});
    trials.push_back(
        {"every backsight of a round", {first[0], first[1], first[n - 2], first[n - 1]}, {}});
    trials.push_back({"opening backsight of the second round", {second[0], second[1]}, {}});
    trials.push_back({"a whole round", {lines.setups[0]}, {}});
  }
  bench::detail::NetworkRandom random(20260);
  const auto pick = [&](const std::vector<int>& from) {
    return from[static_cast<size_t>(random.Next() % from.size())];
  };
  for (int t = 0; t < 24; ++t) {
    Trial trial{"random set " + std::to_string(t), {}, {}};
    for (uint64_t k = random.Next() % 9; k > 0; --k) trial.left_out.push_back(pick(lines.readings));
    if (random.Next() % 3 == 0) trial.left_out.push_back(pick(lines.setups));
    if (random.Next() % 3 == 0) trial.left_out.push_back(pick(lines.vectors));
    for (uint64_t k = random.Next() % 3; k > 0; --k) {
      // Any station but the seed, under a name no station has.
      const size_t s = 1 + random.Next() % (net_->input.stations.size() - 1);
      trial.renamed[net_->input.stations[s].name] = "R" + std::to_string(s);
    }
    trials.push_back(trial);
  }

  for (const Trial& trial : trials) {
    SCOPED_TRACE(trial.name);
    ReadingEdits edits;
    std::set<int> distinct(trial.left_out.begin(), trial.left_out.end());
    for (const int line : distinct) edits.AddLeaveOut(LeaveOut{0, line, "test"});
    Truth truth = truth_;
    for (const auto& [from, to] : trial.renamed) {
      edits.AddNameChange(NameChange{from, to, -1});
      truth.marks[to] = truth.marks.at(from);
    }
    const std::string output = Convert(edits);
    ASSERT_EQ(dialog_.run.result.outcome, ConversionOutcome::Succeeded);
    EXPECT_EQ(Problems(output, truth), std::vector<std::string>{});
    for (const auto& [from, to] : trial.renamed) {
      // The old name is gone (the new one may be too, when its readings were left out).
      EXPECT_EQ(output.find("; " + from + ";"), std::string::npos) << from << " as " << to;
    }
    if (!clean_rejects) {
      EXPECT_EQ(dialog_.run.adjustment_result.rejected.size(), 0u);
    }
  }
}

}  // namespace
}  // namespace fenwix

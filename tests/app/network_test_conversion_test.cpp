#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/convert_dialog.h"
#include "app/settings_file.h"
#include "checks/report_forms.h"
#include "field_file_plant.h"
#include "geodesy/angles.h"
#include "network_conversion.h"
#include "support/recording_ui.h"
#include "support/test_files.h"
#include "survey_network.h"

namespace fenwix {
namespace {

namespace fs = std::filesystem;

struct Converted {
  std::string output;
  CheckReport report;
};

// Converts the generated network as a field file (its text planted with a blunder when xml is
// given), with the report, the test on or off; the profile is the generator's noise when asked.
Converted Convert(const bench::GeneratedNetwork& net, bool test, const fs::path& dir,
                  const std::string& xml = {}, bool generator_profile = false) {
  const fs::path input = dir / "net.xml";
  const fs::path output = dir / (test ? "on.txt" : "off.txt");
  if (xml.empty()) {
    EXPECT_TRUE(bench::WriteNetworkXml(input.string(), net));
  } else {
    testing::WriteFile(input, xml);
  }
  ConvertDialog dialog;
  bench::PrepareNetworkConversion(dialog, net, input.string(), output.string(), test,
                                  generator_profile);
  testing::RecordingUi ui;
  dialog.RunConversion(ui);
  return {testing::ReadFile(output), dialog.run.check_report};
}

const CheckSection* Section(const CheckReport& report, std::string_view name) {
  for (const CheckSection& s : report.sections) {
    if (s.name == name) return &s;
  }
  return nullptr;
}

// A slope distance 8 cm off is the first suspect, named by the adjustment test; the clean twin
// has none. The output file is the same with the test on and off.
TEST(NetworkTestConversion, BlunderIsTheFirstSuspectAndTheFileIsUnchanged) {
  const bench::GeneratedNetwork clean = bench::GenerateNetwork(bench::SmallSeededLayout());
  bench::GeneratedNetwork planted = clean;
  size_t target = 0;
  while (planted.input.observations[target].kind != AdjustedKind::SlopeDistance ||
         planted.input.observations[target - 2].kind != AdjustedKind::HorizontalAngle) {
    ++target;
  }
  planted.input.observations[target].value[0] += 0.08;
  testing::ScratchFolder scratch{"fenwix-network-test-"};
  for (const bench::GeneratedNetwork* net :
       {&clean, static_cast<const bench::GeneratedNetwork*>(&planted)}) {
    const Converted on = Convert(*net, true, scratch.path());
    const Converted off = Convert(*net, false, scratch.path());
    EXPECT_EQ(on.output, off.output);
    EXPECT_EQ(Section(off.report, "adjustment"), nullptr);
    const CheckSection* adjustment = Section(on.report, "adjustment");
    ASSERT_NE(adjustment, nullptr);
    ASSERT_EQ(&on.report.sections.front(), adjustment);
    EXPECT_NE(adjustment->rows.front().note.find("the global test"), std::string::npos);
    const CheckSection* suspects = on.report.Suspects();
    if (net == &clean) {
      EXPECT_EQ(adjustment->FlaggedCount(), 0);
      continue;
    }
    ASSERT_NE(suspects, nullptr);
    ASSERT_FALSE(suspects->rows.empty());
    const CheckRow& first = suspects->rows.front();
    EXPECT_EQ(first.note.rfind("adjustment test: slope distance", 0), 0u) << first.note;
    const AdjustmentObservation& obs = planted.input.observations[target];
    EXPECT_EQ(first.stations[0], planted.input.stations[static_cast<size_t>(obs.at)].name);
    EXPECT_EQ(first.stations[1], planted.input.stations[static_cast<size_t>(obs.fore)].name);
  }
}

// A blunder in one reading of the field file is the first suspect, named by the adjustment
// test and traced to the reading itself; the clean file has no suspect from the test.
TEST(NetworkTestConversion, AReadingsBlunderIsTracedToThatReading) {
  struct Case {
    const char* kind;
    int face;
    int occurrence;
    const char* field;
    double delta;
    const char* test_words;     // the note's start
    const char* reading_words;  // the reading named, empty for a vector
  };
  const Case cases[] = {
      {"Vector", 0, 3, "DX", 0.05, "adjustment test: GNSS vector dX", ""},
      {"Foresight", 2, 4, "SlopeDistance", 0.25, "adjustment test: slope distance",
       "the face-two foresight reading"},
      {"Foresight", 1, 6, "HorizontalAngle", 20.0, "adjustment test: horizontal angle",
       "the face-one foresight reading"},
      {"Backsight", 1, 2, "HorizontalAngle", 20.0, "adjustment test: horizontal angle",
       "the face-one backsight reading"},
      {"Foresight", 2, 5, "ZenithAngle", -30.0, "adjustment test: zenith angle",
       "the face-two foresight reading"},
  };
  const bench::GeneratedNetwork net = bench::GenerateNetwork(bench::SmallSeededLayout(2));
  testing::ScratchFolder scratch{"fenwix-network-trace-"};
  ASSERT_TRUE(bench::WriteNetworkXml((scratch.path() / "clean.xml").string(), net));
  const std::string clean = testing::ReadFile(scratch.path() / "clean.xml");
  EXPECT_EQ(
      Section(Convert(net, true, scratch.path(), clean, true).report, "adjustment")->FlaggedCount(),
      0);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + " " + c.field);
    const auto [xml, line] = bench::Plant(clean, c.kind, c.face, c.occurrence, c.field, c.delta);
    ASSERT_NE(line, 0) << "no " << c.kind << " to plant in";
    const Converted on = Convert(net, true, scratch.path(), xml, true);
    const CheckSection* suspects = on.report.Suspects();
    ASSERT_TRUE(suspects != nullptr && !suspects->rows.empty());
    const CheckRow& first = suspects->rows.front();
    EXPECT_EQ(first.note.rfind(c.test_words, 0), 0u) << first.note;
    EXPECT_NE(first.note.find(c.reading_words), std::string::npos) << first.note;
    ASSERT_EQ(first.sources.size(), 1u);
    EXPECT_EQ(first.sources[0].line, line) << first.note;
  }
}

// The conversion is a function of its request: converted twice (names padded with blanks, the
// report and the test on), the request is as it was and the two runs write and find the same.
TEST(NetworkTestConversion, ARequestConvertedTwiceGivesTheSameRun) {
  testing::ScratchFolder scratch("fenwix-twice-");
  const bench::GeneratedNetwork net = bench::GenerateNetwork(bench::SmallSeededLayout());
  const fs::path input = scratch.path() / "net.xml";
  const fs::path output = scratch.path() / "net.txt";
  ASSERT_TRUE(bench::WriteNetworkXml(input.string(), net));
  ConvertDialog dialog;
  bench::PrepareNetworkConversion(dialog, net, " " + input.string(), output.string() + " ", true,
                                  false);
  const ConversionRequest& request = dialog.request;
  const SettingsRecord before = EncodeSettings(request);
  struct Seen {
    std::string output, report, summary;
    int32_t observations = 0;
  };
  std::vector<Seen> seen;
  for (int time = 0; time < 2; ++time) {
    testing::RecordingUi ui;
    const ConversionRun run = RunConversion(request, ui);
    ASSERT_EQ(run.result.outcome, ConversionOutcome::Succeeded);
    seen.push_back({testing::ReadFile(output), ReportJson(run.check_report), run.adjustment_summary,
                    run.tables.observation_count()});
  }
  EXPECT_EQ(EncodeSettings(request), before);
  EXPECT_EQ(request.output_path, output.string() + " ");
  EXPECT_FALSE(seen[0].summary.empty());
  EXPECT_EQ(seen[0].output, seen[1].output);
  EXPECT_EQ(seen[0].report, seen[1].report);
  EXPECT_EQ(seen[0].summary, seen[1].summary);
  EXPECT_EQ(seen[0].observations, seen[1].observations);
}

}  // namespace
}  // namespace fenwix

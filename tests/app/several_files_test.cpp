// Several field files in one conversion: the output equals that of one file holding their
// elements in order; no field file is ever written over; readings keep their file.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/convert_dialog.h"
#include "app/messages.h"
#include "approx/truth_network.h"
#include "checks/report_forms.h"
#include "support/recording_ui.h"
#include "support/test_files.h"

namespace fenwix::testing {
namespace {

namespace fs = std::filesystem;

// A random network written as one Topcon XML job, split into its head, its top-level
// elements ("Vector" or "Station") and its tail.
struct Job {
  std::string head;
  std::vector<std::string> elements;
  std::string tail = "</data>\n";
  std::string Text(size_t begin, size_t end) const {
    std::string text = head;
    for (size_t i = begin; i < end; ++i) text += elements[i];
    return text + tail;
  }
};

Job RandomJob(std::mt19937& random, const fs::path& scratch) {
  TruthNetwork net(46.3, 7.15, 500.0);
  std::uniform_real_distribution<double> place(-900.0, 900.0);
  const int stations = 14;
  for (int i = 0; i < stations; ++i)
    net.Add("S" + std::to_string(i), place(random), place(random), 5);
  std::uniform_int_distribution<int> pick(0, stations - 1);
  std::vector<TruthObservation> observations;
  for (int i = 0; i < 40; ++i) {
    const std::string a = "S" + std::to_string(pick(random));
    const std::string b = "S" + std::to_string(pick(random));
    const std::string c = "S" + std::to_string(pick(random));
    if (a == b || b == c || a == c) continue;
    observations.push_back(random() % 2 ? net.GpsVector(a, b) : net.AngleSet(a, b, c));
  }
  WriteTopconXml((scratch / "all.xml").string(), net, observations);
  const std::string text = ReadFile(scratch / "all.xml");
  Job job;
  size_t at = std::min(text.find("  <Vector>"), text.find("  <Station>"));
  job.head = text.substr(0, at);
  const size_t end = text.rfind(job.tail);
  while (at < end) {
    size_t next = std::min(text.find("  <Vector>", at + 1), text.find("  <Station>", at + 1));
    next = std::min(next, end);
    job.elements.push_back(text.substr(at, next - at));
    at = next;
  }
  return job;
}

struct Converted {
  ConversionResult result;
  std::string output;
  ConvertDialog dialog;
};

Converted Convert(const std::vector<fs::path>& inputs, const fs::path& output, int32_t steps) {
  Converted c;
  c.dialog.InitializeDefaults();
  for (const fs::path& input : inputs) c.dialog.request.xml_paths.push_back(input.string());
  c.dialog.request.output_path = output.string();
  c.dialog.request.seed_name = "S0";
  c.dialog.request.compute_geodetic = true;
  c.dialog.request.compute_local = true;
  c.dialog.request.merge_tolerance = 3.0;
  c.dialog.request.max_steps = steps;
  c.dialog.request.approx_datum_name = "GRS 80";
  c.dialog.request.run_checks = true;
  RecordingUi ui;
  ui.answers = {MergeAnswer::SameKeepFirst, MergeAnswer::Different, MergeAnswer::SameKeepSecond};
  c.result = c.dialog.RunConversion(ui);
  c.output = ReadFile(output);
  return c;
}

TEST(SeveralFiles, OutputIsThatOfOneFileHoldingTheirElements) {
  ScratchFolder scratch("fenwix-several-");
  std::mt19937 random(20261209);
  for (int round = 0; round < 6; ++round) {
    const Job job = RandomJob(random, scratch.path());
    const size_t parts = 2 + round % 2;
    std::vector<size_t> cuts = {0, job.elements.size()};
    while (cuts.size() < parts + 1) {
      const size_t cut = 1 + random() % (job.elements.size() - 1);
      if (std::find(cuts.begin(), cuts.end(), cut) == cuts.end()) cuts.push_back(cut);
    }
    std::sort(cuts.begin(), cuts.end());
    std::vector<fs::path> inputs;
    for (size_t p = 0; p < parts; ++p) {
      inputs.push_back(scratch.path() / ("part" + std::to_string(p) + ".xml"));
      WriteFile(inputs.back(), job.Text(cuts[p], cuts[p + 1]));
    }
    const int32_t steps = round < 3 ? 0 : 4;
    const Converted one = Convert({scratch.path() / "all.xml"}, scratch.path() / "one.txt", steps);
    const Converted several = Convert(inputs, scratch.path() / "several.txt", steps);
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_EQ(one.result.outcome, ConversionOutcome::Succeeded);
    EXPECT_EQ(several.result.outcome, ConversionOutcome::Succeeded);
    EXPECT_GT(one.result.observations, 20);
    EXPECT_EQ(several.output, one.output);
    EXPECT_EQ(several.result.files.size(), parts);
    EXPECT_EQ(several.dialog.run.check_report.FlaggedRows(),
              one.dialog.run.check_report.FlaggedRows());
  }
}

TEST(SeveralFiles, FieldFilesAreNeverWrittenOver) {
  ScratchFolder scratch("fenwix-refuse-");
  const fs::path dir = scratch.path();
  const std::string job = std::string(FENWIX_TEST_DATA) + "/app/merge_job.xml";
  WriteFile(dir / "a.xml", ReadFile(job));
  WriteFile(dir / "b.txt", "\xEF\xBB\xBF\r\n  <?xml version=\"1.0\"?><data/>");
  WriteFile(dir / "old.txt", "! an earlier adjustment file\r\n");
  std::error_code no_links;
  fs::create_symlink(dir / "a.xml", dir / "link.xml", no_links);
  struct Case {
    std::vector<fs::path> inputs;
    fs::path output;
    MessageId reason;
  };
  const Case cases[] = {
      {{dir / "a.xml"}, dir / "b.txt", MSG_OUTPUT_IS_XML},
      {{dir / "a.xml", dir / "." / "a.xml"}, dir / "out.txt", MSG_INPUT_TWICE},
      {{dir / "a.xml", dir / "link.xml"},
       dir / "out.txt",
       no_links ? MSG_NO_NUMBER : MSG_INPUT_TWICE},
      {{dir / "b.txt", dir / "a.xml"}, dir / "." / "b.txt", MSG_OUTPUT_IS_INPUT},
      {{dir / "a.xml"}, dir / "old.txt", MSG_SUCCESS},  // an adjustment file is replaced
  };
  for (const Case& c : cases) {
    if (c.reason == MSG_NO_NUMBER) continue;
    const std::string before = ReadFile(c.output);
    const Converted run = Convert(c.inputs, c.output, 0);
    EXPECT_EQ(run.result.reason, c.reason) << c.output;
    EXPECT_EQ(run.result.refused_names(), c.reason != MSG_SUCCESS);
    if (c.reason != MSG_SUCCESS) {
      EXPECT_EQ(ReadFile(c.output), before);
    }
    EXPECT_FALSE(fs::exists(dir / "out.txt"));
  }
  EXPECT_EQ(ReadFile(dir / "a.xml"), ReadFile(job));
}

// Day 2 repeats a day-1 baseline 5 cm off: the row names the line in each file.
TEST(SeveralFiles, ARepeatedVectorNamesBothFiles) {
  ScratchFolder scratch("fenwix-repeat-");
  const auto day = [&](const std::string& name, const std::string& dx) {
    WriteFile(scratch.path() / name,
              "<?xml version=\"1.0\"?>\n<data>\n<Vector><BasePoint>A</BasePoint><RoverPoint>B"
              "</RoverPoint><DX>" +
                  dx +
                  "</DX><DY>40.0</DY><DZ>5.0</DZ><SX>0.002</SX><SY>0.002</SY><SZ>0.003</SZ>"
                  "</Vector>\n</data>\n");
    return scratch.path() / (name == "day2.xml" ? "x/../day2.xml" : name);
  };
  fs::create_directories(scratch.path() / "x");
  for (const std::string dx : {"120.050", "120.000"}) {
    const Converted run =
        Convert({day("day1.xml", "120.000"), day("day2.xml", dx)}, scratch.path() / "out.txt", 0);
    ASSERT_EQ(run.result.outcome, ConversionOutcome::Succeeded);
    const std::string text = ReportText(run.dialog.run.check_report);
    EXPECT_NE(text.find("day1.xml:3,day2.xml:3"), std::string::npos) << text;
    EXPECT_EQ(run.dialog.run.check_report.FlaggedRows() > 0, dx != "120.000") << text;
    EXPECT_NE(ReportJson(run.dialog.run.check_report).find("\"lines\": [3, 3], \"files\": ["),
              std::string::npos);
  }
}

// The first of three files stops part-way: it is named on the output's first line, the
// other two are read in full.
TEST(SeveralFiles, ATruncatedFirstFileIsNamedAndTheOthersRead) {
  ScratchFolder scratch("fenwix-truncated-");
  std::mt19937 random(7);
  const Job job = RandomJob(random, scratch.path());
  const size_t third = job.elements.size() / 3;
  const std::string first = job.Text(0, third);
  WriteFile(scratch.path() / "1.xml", first.substr(0, first.size() - 60));
  WriteFile(scratch.path() / "2.xml", job.Text(third, 2 * third));
  WriteFile(scratch.path() / "3.xml", job.Text(2 * third, job.elements.size()));
  const fs::path out = scratch.path() / "out.txt";
  const Converted alone = Convert({scratch.path() / "1.xml"}, out, 0);
  const Converted rest = Convert({scratch.path() / "2.xml", scratch.path() / "3.xml"}, out, 0);
  const Converted all = Convert(
      {scratch.path() / "1.xml", scratch.path() / "2.xml", scratch.path() / "3.xml"}, out, 0);
  EXPECT_EQ(alone.result.outcome, ConversionOutcome::Incomplete);
  EXPECT_EQ(all.result.outcome, ConversionOutcome::Incomplete);
  EXPECT_EQ(all.result.reason, MSG_FILES_INCOMPLETE);
  EXPECT_EQ(all.output.rfind("! INCOMPLETE FILES: the Topcon XML file " +
                                 (scratch.path() / "1.xml").string() + " is not well formed (",
                             0),
            0u);
  EXPECT_EQ(all.output.find("2.xml"), std::string::npos);
  EXPECT_EQ(all.result.observations, alone.result.observations + rest.result.observations);
}

}  // namespace
}  // namespace fenwix::testing

// Whole conversions of small Topcon XML jobs, compared byte for byte with the expected output
// files beside them in tests/data/writer.

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/convert_dialog.h"
#include "app/messages.h"
#include "support/recording_ui.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RecordingUi;
using testing::WriteFile;

const fs::path DATA = fs::path(FENWIX_TEST_DATA) / "writer";

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    output_ = dir_ / "job.txt";
    dialog_.InitializeDefaults();
    dialog_.request.output_path = output_.string();
  }
  void TearDown() override { std::setlocale(LC_ALL, "C"); }

  // Converts tests/data/writer/<name>.xml into the output file; the messages go to ui_.
  ConversionOutcome Convert(const std::string& name) {
    dialog_.request.xml_paths = {(DATA / (name + ".xml")).string()};
    return dialog_.RunConversion(ui_).outcome;
  }

  bool ReaderRecordedNothing() const { return dialog_.run.tables.observation_count() <= 1; }

  std::vector<std::string> FolderContents() const { return testing::FolderContents(dir_); }

  testing::ScratchFolder scratch_{"fenwix-e2e-"};
  fs::path dir_ = scratch_.path();
  fs::path output_;
  ConvertDialog dialog_;
  RecordingUi ui_;
};

// The XML reader fills the tables; while it records nothing there is nothing to compare.
#define SKIP_WITHOUT_XML_READER()                                                  \
  if (ReaderRecordedNothing()) {                                                   \
    GTEST_SKIP() << "the XML reader recorded no observations from the input file"; \
  }

class ExpectedOutputTest : public EndToEndTest,
                           public ::testing::WithParamInterface<const char*> {};

TEST_P(ExpectedOutputTest, MatchesExpectedFileByteForByte) {
  const std::string name = GetParam();
  EXPECT_EQ(Convert(name), ConversionOutcome::Succeeded);
  EXPECT_EQ(ui_.MessageIds(), std::vector<MessageId>{MSG_SUCCESS});
  SKIP_WITHOUT_XML_READER();
  EXPECT_EQ(ReadFile(output_), ReadFile(DATA / (name + ".expected.txt")));
}

// vectors: GPS vectors only, one without its DZ; the sight and angle-set groups stay empty.
// total_station: sights and angle sets with and without zenith or distance, and a foresight
// with only a distance. us_feet: a setup in US survey feet between setups in meters.
INSTANTIATE_TEST_SUITE_P(Jobs, ExpectedOutputTest,
                         ::testing::Values("vectors", "total_station", "us_feet"));

TEST_F(EndToEndTest, SameBytesUnderACommaLocale) {
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
    GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
  }
  char comma[8];
  std::snprintf(comma, sizeof comma, "%.1f", 0.5);
  ASSERT_STREQ(comma, "0,5");
  EXPECT_EQ(Convert("us_feet"), ConversionOutcome::Succeeded);
  std::setlocale(LC_ALL, "C");
  SKIP_WITHOUT_XML_READER();
  EXPECT_EQ(ReadFile(output_), ReadFile(DATA / "us_feet.expected.txt"));
}

TEST_F(EndToEndTest, SecondConversionInOneRunWritesTheSameFile) {
  // Units carried over from the end of the first file must not leak into the second.
  ASSERT_EQ(Convert("us_feet"), ConversionOutcome::Succeeded);
  const std::string first = ReadFile(output_);
  ASSERT_EQ(Convert("us_feet"), ConversionOutcome::Succeeded);
  EXPECT_EQ(ReadFile(output_), first);
  SKIP_WITHOUT_XML_READER();
  EXPECT_EQ(first, ReadFile(DATA / "us_feet.expected.txt"));
}

}  // namespace
}  // namespace fenwix

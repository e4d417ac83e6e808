#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/convert_dialog.h"
#include "app/messages.h"
#include "support/default_head.h"
#include "support/recording_ui.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

namespace fs = std::filesystem;
using testing::DEFAULT_HEAD;
using testing::ReadFile;
using testing::RecordingUi;
using testing::WriteFile;

constexpr const char* MINIMAL_JOB = "<?xml version=\"1.0\"?>\n<data><Project/></data>\n";

class RunConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    input_ = dir_ / "job.xml";
    output_ = dir_ / "job.txt";
    WriteFile(input_, MINIMAL_JOB);
    dialog_.InitializeDefaults();
    dialog_.request.xml_paths = {input_.string()};
    dialog_.request.output_path = output_.string();
  }

  std::vector<std::string> FolderContents() const { return testing::FolderContents(dir_); }

  testing::ScratchFolder scratch_{"fenwix-run-"};
  fs::path dir_ = scratch_.path();
  fs::path input_;
  fs::path output_;
  ConvertDialog dialog_;
  RecordingUi ui_;
};

TEST_F(RunConversionTest, WritesTheExactHeadWithCrLfLineEnds) {
  EXPECT_EQ(dialog_.RunConversion(ui_).outcome, ConversionOutcome::Succeeded);
  EXPECT_EQ(ui_.MessageIds(), std::vector<MessageId>{MSG_SUCCESS});
  const std::string text = ReadFile(output_);
  ASSERT_GE(text.size(), std::string(DEFAULT_HEAD).size());
  EXPECT_EQ(text.substr(0, std::string(DEFAULT_HEAD).size()), DEFAULT_HEAD);
  EXPECT_EQ(dialog_.run.writer_state.current_linear_unit, LinearUnit::Meter);
  EXPECT_EQ(dialog_.run.writer_state.current_angle_unit, AngleUnit::Degrees);
  EXPECT_EQ(ui_.wait_depth, 0);
  EXPECT_GE(ui_.wait_calls, 1);
  EXPECT_EQ(FolderContents(), (std::vector<std::string>{"job.txt", "job.xml"}));
}

TEST_F(RunConversionTest, HeadNamesTheOutputDatumWithFixedDecimals) {
  dialog_.request.writer_state.output_datum_name = "Clarke 1866 (long name)";
  dialog_.request.writer_state.output_datum_a = 6378206.4;
  dialog_.request.writer_state.output_datum_inv_f = 294.9786982;
  ASSERT_EQ(dialog_.RunConversion(ui_).outcome, ConversionOutcome::Succeeded);
  const std::string text = ReadFile(output_);
  EXPECT_NE(
      text.find("$DATUM\r\n  Clarke 1866 (long name)\r\n  6378206.4000\r\n  294.9786982\r\n\r\n"
                "$NETTYP"),
      std::string::npos);
}

TEST_F(RunConversionTest, OutputIsTheSameUnderACommaLocale) {
  ASSERT_EQ(dialog_.RunConversion(ui_).outcome, ConversionOutcome::Succeeded);
  const std::string expected = ReadFile(output_);
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr &&
      std::setlocale(LC_ALL, "fr_FR.UTF-8") == nullptr) {
    GTEST_SKIP() << "no comma locale installed";
  }
  RecordingUi ui;
  const ConversionOutcome outcome = dialog_.RunConversion(ui).outcome;
  std::setlocale(LC_ALL, saved.c_str());
  ASSERT_EQ(outcome, ConversionOutcome::Succeeded);
  EXPECT_EQ(ReadFile(output_), expected);
}

TEST_F(RunConversionTest, EmptyOrBlankNamesAreReportedInOrder) {
  dialog_.request.xml_paths = {""};
  dialog_.request.output_path = "";
  EXPECT_EQ(dialog_.RunConversion(ui_).outcome, ConversionOutcome::Failed);
  EXPECT_EQ(ui_.MessageIds(), std::vector<MessageId>{MSG_NO_XML_NAME});

  RecordingUi ui;
  dialog_.request.xml_paths = {"  " + input_.string() + " \t"};
  dialog_.request.output_path = " \t ";
  EXPECT_EQ(dialog_.RunConversion(ui).outcome, ConversionOutcome::Failed);
  EXPECT_EQ(ui.MessageIds(), std::vector<MessageId>{MSG_NO_OUTPUT_NAME});
  EXPECT_EQ(dialog_.run.xml_paths[0], input_.string());
  EXPECT_EQ(dialog_.run.output_path, "");
  EXPECT_FALSE(fs::exists(output_));
}

TEST_F(RunConversionTest, OutputInAMissingFolderCannotBeOpened) {
  dialog_.run.tables.AddStation("stale");
  dialog_.request.output_path = (dir_ / "no-such-folder" / "out.txt").string();
  EXPECT_EQ(dialog_.RunConversion(ui_).outcome, ConversionOutcome::Failed);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].id, MSG_CANNOT_OPEN);
  EXPECT_EQ(ui_.messages[0].text,
            "Cannot open file " + dialog_.request.output_path + ": no such folder");
  EXPECT_EQ(dialog_.run.tables.station_count(), 1);  // the tables were reset all the same
}

TEST_F(RunConversionTest, AFolderIsNotReplaced) {
  fs::create_directories(dir_ / "results");
  dialog_.request.output_path = (dir_ / "results").string();
  EXPECT_EQ(dialog_.RunConversion(ui_).outcome, ConversionOutcome::Failed);
  EXPECT_EQ(ui_.MessageIds(), std::vector<MessageId>{MSG_CANNOT_OPEN});
  EXPECT_EQ(ui_.messages[0].text,
            "Cannot open file " + dialog_.request.output_path + ": is a folder");
  EXPECT_TRUE(fs::is_directory(dir_ / "results"));
  EXPECT_EQ(FolderContents(), (std::vector<std::string>{"job.xml", "results"}));
}

TEST_F(RunConversionTest, AWriteProtectedFileIsNotReplaced) {
  WriteFile(output_, "kept");
  fs::permissions(output_, fs::perms::owner_read);
  if (std::ofstream(output_, std::ios::app)) {
    fs::permissions(output_, fs::perms::owner_all);
    GTEST_SKIP() << "root may write to any file";
  }
  EXPECT_EQ(dialog_.RunConversion(ui_).outcome, ConversionOutcome::Failed);
  EXPECT_EQ(ui_.MessageIds(), std::vector<MessageId>{MSG_CANNOT_OPEN});
  EXPECT_EQ(ui_.messages[0].text,
            "Cannot open file " + dialog_.request.output_path + ": permission denied");
  EXPECT_EQ(ReadFile(output_), "kept");
  // Windows removes no read-only file, and the scratch folder goes at the end.
  fs::permissions(output_, fs::perms::owner_all);
}

TEST_F(RunConversionTest, MissingInputIsReportedAndTheOldOutputKept) {
  WriteFile(output_, "previous results");
  dialog_.request.xml_paths = {(dir_ / "missing.xml").string()};
  EXPECT_EQ(dialog_.RunConversion(ui_).outcome, ConversionOutcome::Failed);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].id, MSG_CANNOT_READ);
  EXPECT_EQ(ui_.messages[0].text,
            "Cannot read file " + dialog_.request.xml_paths[0] + ": no such file");
  EXPECT_EQ(ReadFile(output_), "previous results");
  EXPECT_EQ(FolderContents(), (std::vector<std::string>{"job.txt", "job.xml"}));
}

TEST_F(RunConversionTest, AFolderIsNotAReadableInput) {
  dialog_.request.xml_paths = {dir_.string()};
  EXPECT_EQ(dialog_.RunConversion(ui_).outcome, ConversionOutcome::Failed);
  EXPECT_EQ(ui_.MessageIds(), std::vector<MessageId>{MSG_CANNOT_READ});
  EXPECT_EQ(ui_.messages[0].text,
            "Cannot read file " + dialog_.request.xml_paths[0] + ": is a folder");
  EXPECT_FALSE(fs::exists(output_));
}

TEST_F(RunConversionTest, OutputThatIsTheInputItselfIsRefused) {
  fs::create_directories(dir_ / "sub");
  dialog_.request.output_path = (dir_ / "sub" / ".." / "job.xml").string();
  EXPECT_EQ(dialog_.RunConversion(ui_).outcome, ConversionOutcome::Failed);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].id, MSG_OUTPUT_IS_INPUT);
  EXPECT_EQ(ui_.messages[0].text, "The output file " + dialog_.request.output_path +
                                      " is the Topcon XML file itself. Please choose another "
                                      "output file name.");
  EXPECT_EQ(ReadFile(input_), MINIMAL_JOB);

  // A hard link is the same file under another name.
  RecordingUi ui;
  fs::create_hard_link(input_, dir_ / "link.txt");
  dialog_.request.output_path = (dir_ / "link.txt").string();
  EXPECT_EQ(dialog_.RunConversion(ui).outcome, ConversionOutcome::Failed);
  EXPECT_EQ(ui.MessageIds(), std::vector<MessageId>{MSG_OUTPUT_IS_INPUT});
  EXPECT_EQ(ReadFile(input_), MINIMAL_JOB);
}

TEST_F(RunConversionTest, ReplacesAnExistingOutputFile) {
  WriteFile(output_, std::string(100000, 'x'));
  ASSERT_EQ(dialog_.RunConversion(ui_).outcome, ConversionOutcome::Succeeded);
  const std::string text = ReadFile(output_);
  EXPECT_EQ(text.substr(0, 10), std::string(DEFAULT_HEAD).substr(0, 10));
  EXPECT_EQ(text.find('x'), std::string::npos);
  EXPECT_EQ(FolderContents(), (std::vector<std::string>{"job.txt", "job.xml"}));
}

TEST_F(RunConversionTest, SuccessMessageNamesTheTrimmedOutput) {
  dialog_.request.output_path = "  " + output_.string() + "  ";
  ASSERT_EQ(dialog_.RunConversion(ui_).outcome, ConversionOutcome::Succeeded);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, FormatMessage(MSG_SUCCESS, output_.string()));
  EXPECT_EQ(dialog_.run.output_path, output_.string());
}

}  // namespace
}  // namespace fenwix

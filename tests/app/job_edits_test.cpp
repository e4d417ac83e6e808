// The job file's edits against the same field file edited by hand: a left-out element, a
// changed name and a kept merge answer each give the bytes of the hand-edited conversion, the
// comment lines aside.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/convert_dialog.h"
#include "app/messages.h"
#include "support/recording_ui.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

const std::string DATA = FENWIX_TEST_DATA;
const std::string JOBS = std::string(FENWIX_TEST_DATA) + "/jobs/";

// The output without its comment lines.
std::string WithoutComments(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  std::string kept;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] != '!') kept += line + "\n";
  }
  return kept;
}

std::string Lines(const std::string& text, int first, int last, bool keep) {
  std::istringstream in(text);
  std::string line;
  std::string out;
  for (int number = 1; std::getline(in, line); ++number) {
    if ((number >= first && number <= last) == keep) out += line + "\n";
  }
  return out;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + 1)) {
    text.replace(at, from.size(), to);
  }
  return text;
}

class JobEditsTest : public ::testing::Test {
 protected:
  // Converts xml with the dialog's edits and answers; returns the output file's text.
  std::string Convert(const std::string& xml, MergeAnswer answer = MergeAnswer::Different) {
    dialog_.InitializeDefaults();
    dialog_.request.xml_paths = {xml};
    dialog_.request.output_path = (scratch_.path() / "out.txt").string();
    ui_ = testing::RecordingUi{};
    ui_.answers = {answer};
    outcome_ = dialog_.RunConversion(ui_).outcome;
    return testing::ReadFile(dialog_.request.output_path);
  }
  // Converts text written as a field file of its own, without edits, with the seed of dialog_.
  std::string ConvertText(const std::string& text, MergeAnswer answer = MergeAnswer::Different) {
    ConvertDialog plain;
    plain.InitializeDefaults();
    plain.request.seed_name = dialog_.request.seed_name;
    plain.request.compute_local = dialog_.request.compute_local;
    plain.request.xml_paths = {(scratch_.path() / "edited.xml").string()};
    plain.request.output_path = (scratch_.path() / "by_hand.txt").string();
    testing::WriteFile(plain.request.xml_paths[0], text);
    testing::RecordingUi ui;
    ui.answers = {answer};
    plain.RunConversion(ui);
    return testing::ReadFile(plain.request.output_path);
  }

  testing::ScratchFolder scratch_{"fenwix-edits-"};
  ConvertDialog dialog_;
  testing::RecordingUi ui_;
  ConversionOutcome outcome_ = ConversionOutcome::Failed;
};

TEST_F(JobEditsTest, LeftOutElementGivesTheBytesOfTheFileWithoutIt) {
  struct Case {
    std::string xml;
    int line;       // the left-out element's start
    int first_cut;  // the lines it (and, for a setup, its readings) spans
    int last_cut;
    bool local;
  };
  for (const Case& c : std::vector<Case>{
           {DATA + "/writer/total_station.xml", 26, 26, 34, false},  // one foresight reading
           {DATA + "/writer/total_station.xml", 10, 10, 64, false},  // a setup, readings after
           {DATA + "/writer/vectors.xml", 7, 7, 20, false},          // a vector
           {JOBS + "checked-job.xml", 48, 48, 55, true},             // a foresight reading
           {JOBS + "checked-job.xml", 65, 65, 84, true},             // a setup, readings inside
       }) {
    SCOPED_TRACE(c.xml + " line " + std::to_string(c.line));
    const std::string original = testing::ReadFile(c.xml);
    dialog_ = ConvertDialog{};
    dialog_.request.seed_name = c.local ? "B1" : "";
    dialog_.request.compute_local = c.local;
    const std::string by_hand = ConvertText(Lines(original, c.first_cut, c.last_cut, false));
    const std::string unedited = Convert(c.xml);
    dialog_.request.edits.AddLeaveOut(LeaveOut{0, c.line, "off by 5 cm"});
    const std::string edited = Convert(c.xml);
    ASSERT_EQ(outcome_, ConversionOutcome::Succeeded);
    EXPECT_EQ(WithoutComments(edited), WithoutComments(by_hand));
    EXPECT_NE(WithoutComments(edited), WithoutComments(unedited));
    EXPECT_NE(edited.find(" line " + std::to_string(c.line) + ": "), std::string::npos);
    EXPECT_NE(edited.find(": off by 5 cm\r\n"), std::string::npos);
  }
}

TEST_F(JobEditsTest, LineThatStartsNoElementIsRefusedAndNothingIsWritten) {
  dialog_.request.edits.AddLeaveOut(LeaveOut{0, 27, ""});  // <ObsType> inside an observation
  Convert(DATA + "/writer/total_station.xml");
  EXPECT_EQ(outcome_, ConversionOutcome::Failed);
  EXPECT_EQ(ui_.MessageIds(), std::vector<MessageId>{MSG_LEAVE_OUT_NOT_FOUND});
  EXPECT_FALSE(std::filesystem::exists(dialog_.request.output_path));
}

// A reading left out of its own inside a left-out setup goes with the setup: the output is that
// of the setup alone left out, comment lines and all. A line inside that setup that starts no
// element is still refused.
TEST_F(JobEditsTest, LeftOutReadingInsideALeftOutSetupIsMoot) {
  struct Case {
    std::string xml;
    int setup;   // the left-out Station's line
    int inside;  // a second leave-out within its setup
    bool found;  // whether `inside` starts an element
  };
  for (const Case& c : std::vector<Case>{
           {DATA + "/writer/total_station.xml", 10, 26, true},   // reading after its Station
           {JOBS + "checked-job.xml", 65, 68, true},             // reading inside its Station
           {DATA + "/writer/total_station.xml", 10, 27, false},  // <ObsType> of that reading
           {JOBS + "checked-job.xml", 65, 69, false},
       }) {
    SCOPED_TRACE(c.xml + " lines " + std::to_string(c.setup) + ", " + std::to_string(c.inside));
    dialog_ = ConvertDialog{};
    dialog_.request.edits.AddLeaveOut(LeaveOut{0, c.setup, "setup blunder"});
    const std::string setup_alone = Convert(c.xml);
    ASSERT_EQ(outcome_, ConversionOutcome::Succeeded);
    std::filesystem::remove(dialog_.request.output_path);
    dialog_ = ConvertDialog{};
    // The reading's edit comes first: the order of the list does not matter.
    dialog_.request.edits.AddLeaveOut(LeaveOut{0, c.inside, "bad prism"});
    dialog_.request.edits.AddLeaveOut(LeaveOut{0, c.setup, "setup blunder"});
    const std::string both = Convert(c.xml);
    if (c.found) {
      EXPECT_EQ(outcome_, ConversionOutcome::Succeeded);
      EXPECT_EQ(both, setup_alone);
      EXPECT_EQ(both.find("bad prism"), std::string::npos);
    } else {
      EXPECT_EQ(outcome_, ConversionOutcome::Failed);
      EXPECT_EQ(ui_.MessageIds(), std::vector<MessageId>{MSG_LEAVE_OUT_NOT_FOUND});
      EXPECT_FALSE(std::filesystem::exists(dialog_.request.output_path));
    }
  }
}

TEST_F(JobEditsTest, RenameGivesTheBytesOfTheFileWithTheNameReplaced) {
  const std::string xml = DATA + "/writer/total_station.xml";
  const std::string by_hand = ConvertText(Replace(testing::ReadFile(xml), ">S2<", ">S9<"));
  const std::string unedited = Convert(xml);
  for (const int32_t file : {-1, 0}) {
    dialog_.request.edits = ReadingEdits{};
    dialog_.request.edits.AddNameChange(NameChange{"S2", "S9", file});
    EXPECT_EQ(Convert(xml), by_hand) << file;
  }
  // A change for another file leaves this one as it is.
  dialog_.request.edits = ReadingEdits{};
  dialog_.request.edits.AddNameChange(NameChange{"S2", "S9", 1});
  EXPECT_EQ(Convert(xml), unedited);
}

// A rename of one reading changes the name inside the element that starts on its line and
// nowhere else: the bytes of the file with that one name replaced by hand.
TEST_F(JobEditsTest, RenameOfOneReadingReplacesTheNameInThatElementOnly) {
  const std::string xml = DATA + "/writer/total_station.xml";
  const std::string original = testing::ReadFile(xml);
  const std::string unedited = Convert(xml);
  struct Case {
    int32_t file;
    int32_t line;   // where the renamed element starts
    int name_line;  // the line whose name a hand edit changes; 0: none
  };
  for (const Case& c : std::vector<Case>{
           {0, 42, 44},  // the second foresight to S2 of the setup
           {0, 26, 28},  // the first
           {0, 35, 0},   // a backsight: it names S3, so nothing changes
           {1, 42, 0},   // another field file's line
       }) {
    SCOPED_TRACE(std::to_string(c.file) + ":" + std::to_string(c.line));
    std::string by_hand = unedited;
    if (c.name_line > 0) {
      by_hand =
          ConvertText(Lines(original, 1, c.name_line - 1, true) +
                      Replace(Lines(original, c.name_line, c.name_line, true), ">S2<", ">S9<") +
                      Lines(original, 1, c.name_line, false));
    }
    dialog_ = ConvertDialog{};
    dialog_.request.edits.AddNameChange(NameChange{"S2", "S9", c.file, c.line});
    const std::string edited = Convert(xml);
    ASSERT_EQ(outcome_, ConversionOutcome::Succeeded);
    EXPECT_EQ(WithoutComments(edited), WithoutComments(by_hand));
    EXPECT_EQ(c.name_line > 0, WithoutComments(edited) != WithoutComments(unedited));
  }
}

// R2X read as R2 makes the vector R2 to R2X a tie of R2 to itself: kept as comment lines, so the
// rest equals the hand-renamed file without that vector.
TEST_F(JobEditsTest, RenameThatTiesAPointToItselfKeepsItAsComments) {
  const std::string xml = DATA + "/app/merge_job.xml";
  const std::string renamed = Replace(testing::ReadFile(xml), ">R2X<", ">R2<");
  const std::string by_hand = ConvertText(Lines(renamed, 7, 7, false));
  dialog_.request.edits.AddNameChange(NameChange{"R2X", "R2", -1});
  const std::string edited = Convert(xml);
  EXPECT_EQ(WithoutComments(edited), WithoutComments(by_hand));
  EXPECT_NE(edited.find("once names are changed: " + xml + " line 7"), std::string::npos);
  EXPECT_NE(edited.find("! $GPS_COMPACT; R2; R2X; -0.00200"), std::string::npos);
}

TEST_F(JobEditsTest, KeptMergeAnswerGivesTheBytesOfTheSameAnswerAsked) {
  const std::string xml = DATA + "/app/merge_job.xml";
  struct Case {
    PairAnswer kept;
    MergeAnswer asked;
  };
  for (const Case& c : std::vector<Case>{
           {{"R2", "R2X", false}, MergeAnswer::SameKeepFirst},
           {{"R2X", "R2", false}, MergeAnswer::SameKeepSecond},
           {{"R2X", "R2", true}, MergeAnswer::Different},
       }) {
    dialog_ = ConvertDialog{};
    dialog_.request.seed_name = "BASE";
    dialog_.request.compute_local = true;
    const std::string asked = Convert(xml, c.asked);
    ASSERT_EQ(ui_.questions.size(), 1u);
    ASSERT_EQ(dialog_.run.answers_given.size(), 1u);
    dialog_.request.merge_answers = {c.kept};
    const std::string kept = Convert(xml, MergeAnswer::Cancel);
    EXPECT_TRUE(ui_.questions.empty());
    EXPECT_EQ(kept, asked) << c.kept.keep << " " << c.kept.drop;
  }
}

}  // namespace
}  // namespace fenwix

namespace fenwix {
namespace {

// Every angle-set line of the text.
std::vector<std::string> AngleSets(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("$HOR_COMPACT", 0) == 0) lines.push_back(line);
  }
  return lines;
}

// Two field files, the first with a 1" instrument: its records carry 1", the other file's the
// profile in use, each as when its file is converted alone with that profile.
TEST_F(JobEditsTest, EachFileIsWeightedWithItsOwnInstrument) {
  const std::string first = DATA + "/writer/total_station.xml";
  const std::string second = JOBS + "checked-job.xml";
  InstrumentProfile fine;
  fine.angle_sd = 1.0;
  dialog_.request.weight_profile.profile.instrument = fine;
  std::vector<std::string> expected = AngleSets(Convert(first));
  dialog_.request.weight_profile.profile.instrument = InstrumentProfile{};
  ASSERT_NE(expected, AngleSets(Convert(first)));  // the 1" instrument shows
  for (const std::string& line : AngleSets(Convert(second))) expected.push_back(line);

  dialog_.request.file_instruments = {fine, std::nullopt};
  dialog_.InitializeDefaults();
  dialog_.request.xml_paths = {first, second};
  testing::RecordingUi ui;
  ASSERT_EQ(dialog_.RunConversion(ui).outcome, ConversionOutcome::Succeeded);
  std::vector<std::string> both = AngleSets(testing::ReadFile(dialog_.request.output_path));
  std::sort(both.begin(), both.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(both, expected);
}

}  // namespace
}  // namespace fenwix

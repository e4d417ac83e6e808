// fenwix-convert --project: a job file's field file, output and edits, run as a process.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/convert_dialog.h"
#include "app/job_session.h"
#include "support/recording_ui.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using fenwix::testing::ReadFile;
using fenwix::testing::WriteFile;

class ProjectOptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(fs::path(FENWIX_TEST_DATA) / "jobs/checked-job.xml", dir_ / "day1.xml");
  }
  // Writes job.fenwix with these inputs and edits, then runs fenwix-convert in the job folder.
  int Run(const std::string& input, const std::string& edits, const std::string& args = "") {
    // A job file gives a key once: edits that bring their own output replace the default one.
    const std::string output =
        edits.find(R"("output")") == std::string::npos ? R"("output": "net.txt", )" : "";
    WriteFile(dir_ / "job.fenwix",
              R"({"fenwix_project": 1, )" + output + R"("inputs": [)" + input + "]" + edits + "}");
    return Convert("--project job.fenwix " + args);
  }
  // Runs fenwix-convert with these arguments in the job folder.
  int Convert(const std::string& args) {
    const std::string command = "cd '" + dir_.string() + "' && '" + FENWIX_CONVERT_EXE + "' " +
                                args + " >stdout 2>stderr </dev/null";
    const int raw = std::system(command.c_str());
    err_ = ReadFile(dir_ / "stderr");
    fs::remove(dir_ / "stdout");
    fs::remove(dir_ / "stderr");
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  fenwix::testing::ScratchFolder scratch_{"fenwix-project-"};
  fs::path dir_ = scratch_.path();
  std::string err_;
};

const std::string LEAVE_OUT = R"(, "leave_out": [{"file": "day1.xml", "line": 48}])";
const std::string STALE = R"({"path": "day1.xml", "sha256": ")" + std::string(64, '0') + R"("})";

TEST_F(ProjectOptionTest, StaleFingerprintWithEditsIsRefusedNamingTheFile) {
  EXPECT_EQ(Run(STALE, LEAVE_OUT), 2);
  EXPECT_NE(err_.find("The field file day1.xml has changed"), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(dir_ / "net.txt"));
  // Without edits that point at its lines the changed file is converted.
  EXPECT_EQ(Run(STALE, ""), 0) << err_;
  EXPECT_TRUE(fs::exists(dir_ / "net.txt"));
}

TEST_F(ProjectOptionTest, OutputOnTheCommandLineWinsAndTheJobOutputIsChecked) {
  const std::string input = R"({"path": "day1.xml"})";
  EXPECT_EQ(Run(input, LEAVE_OUT, "other.txt"), 0) << err_;
  EXPECT_NE(ReadFile(dir_ / "other.txt").find("! LEFT OUT day1.xml line 48"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_ / "net.txt"));
  EXPECT_EQ(Run(input, R"(, "output": "../net.txt")"), 2);
  EXPECT_NE(err_.find("climbs out"), std::string::npos) << err_;
  EXPECT_EQ(Run(R"({"path": "missing.xml"})", ""), 1);
  EXPECT_NE(err_.find("missing.xml"), std::string::npos) << err_;
}

// The dialog converts a job through its session, the command line through its options: the
// same job gives the same bytes, its notes naming field files relative to the job's folder. The
// planted fault: the dialog's absolute paths in the notes.
TEST_F(ProjectOptionTest, DialogAndCommandLineWriteTheSameBytes) {
  fs::create_directory(dir_ / "field");
  fs::rename(dir_ / "day1.xml", dir_ / "field/day1.xml");
  const std::string day1 = ReadFile(dir_ / "field/day1.xml");
  WriteFile(dir_ / "field/day2.xml", day1.substr(0, day1.size() / 2));
  const std::string leave_out = R"(, "leave_out": [{"file": "field/day1.xml", "line": 48}])";
  for (const auto& [inputs, note] :
       {std::pair{std::string(R"({"path": "field/day1.xml"})"),
                  std::string("! LEFT OUT field/day1.xml line 48")},
        std::pair{std::string(R"({"path": "field/day1.xml"}, {"path": "field/day2.xml"})"),
                  std::string("file field/day2.xml is not well formed")}}) {
    SCOPED_TRACE(inputs);
    Run(inputs, leave_out);
    const std::string command_line = ReadFile(dir_ / "net.txt");
    EXPECT_NE(command_line.find(note), std::string::npos) << err_;
    for (const bool absolute_names : {false, true}) {
      fenwix::ConvertDialog dialog;
      dialog.InitializeDefaults();
      fenwix::JobSession session;
      ASSERT_TRUE(session.Open((dir_ / "job.fenwix").string(), dialog.request).ok());
      dialog.request.output_path = (dir_ / "dialog.txt").string();
      session.PrepareConversion(dialog.request);
      if (absolute_names) dialog.request.field_file_names.clear();
      fenwix::testing::RecordingUi ui;
      dialog.RunConversion(ui);
      EXPECT_EQ(ReadFile(dir_ / "dialog.txt") == command_line, !absolute_names);
    }
  }
}

// A job file written by --save-project converts to the same bytes as the run that wrote it,
// options and answers included; the planted fault: a job file named as a field file.
TEST_F(ProjectOptionTest, SavedJobFileRepeatsTheRun) {
  const std::string run = "--seed B1 --local --tolerance 0.01 --merge first -o net.txt day1.xml ";
  ASSERT_EQ(Convert(run + "--save-project again.fenwix"), 0) << err_;
  const std::string first = ReadFile(dir_ / "net.txt");
  fs::remove(dir_ / "net.txt");
  EXPECT_EQ(Convert("--project again.fenwix"), 0) << err_;
  EXPECT_EQ(ReadFile(dir_ / "net.txt"), first);
  EXPECT_NE(ReadFile(dir_ / "again.fenwix").find(R"("sha256": ")"), std::string::npos);
  const std::string day1 = ReadFile(dir_ / "day1.xml");
  EXPECT_EQ(Convert(run + "--save-project day1.xml"), 2);
  EXPECT_EQ(ReadFile(dir_ / "day1.xml"), day1);
}

// A field file that gained lines after the job was saved: the left-out reading found unchanged
// moves to its new line and gives the output it gave; the planted fault, the same reading with
// another distance, is listed to be checked and nothing is written.
TEST_F(ProjectOptionTest, MovedEditFollowsItsElement) {
  Run(R"({"path": "day1.xml"})", LEAVE_OUT, "--save-project job.fenwix");
  const std::string before = ReadFile(dir_ / "net.txt");
  const std::string day1 = ReadFile(dir_ / "day1.xml");
  const size_t body = day1.find("<data>\n") + 7;
  for (const bool changed : {false, true}) {
    std::string grown = day1.substr(0, body) + "<!-- 1 -->\n<!-- 2 -->\n" + day1.substr(body);
    if (changed) grown.replace(grown.find("150.12345"), 9, "150.12346");
    WriteFile(dir_ / "day1.xml", grown);
    fs::remove(dir_ / "net.txt");
    EXPECT_EQ(Convert("--project job.fenwix --move-edits"), changed ? 2 : 0) << err_;
    EXPECT_NE(err_.find(changed ? "day1.xml line 48: the left-out element is not found"
                                : "left out on line 48 is found unchanged on line 50"),
              std::string::npos)
        << err_;
    std::string expected = before;
    expected.replace(expected.find("day1.xml line 48"), 16, "day1.xml line 50");
    EXPECT_EQ(changed ? fs::exists(dir_ / "net.txt") : ReadFile(dir_ / "net.txt") == expected,
              !changed);
  }
}

TEST_F(ProjectOptionTest, MergesNamingNoStationAreRefusedBeforeAnythingIsWritten) {
  const std::string input = R"({"path": "day1.xml"})";
  EXPECT_EQ(Run(input, R"(, "merges": [{"keep": "P3", "drop": "NOPE"}])"), 2);
  EXPECT_NE(err_.find("The job file's \"merges\" name \"NOPE\""), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(dir_ / "net.txt"));
  EXPECT_EQ(Run(input, R"(, "merges": [{"keep": "P3", "drop": "P3-CHK"}])"), 0) << err_;
  // An answer given before the job renamed one of its names is moot, not refused.
  EXPECT_EQ(Run(input, R"(, "merges": [{"different": ["P3", "P3-CHK"]}],
                          "renames": [{"from": "P3-CHK", "to": "P3-X"}])"),
            0)
      << err_;
}

}  // namespace

// fenwix-convert --project: a job file's field file, output and edits, run as a process.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using fenwix::testing::ReadFile;
using fenwix::testing::WriteFile;

class ProjectOptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(fs::path(FENWIX_TEST_DATA) / "../../examples/checked-job.xml", dir_ / "day1.xml");
  }
  // Writes job.fenwix with these inputs and edits, then runs fenwix-convert in the job folder.
  int Run(const std::string& input, const std::string& edits, const std::string& args = "") {
    WriteFile(dir_ / "job.fenwix", R"({"fenwix_project": 1, "output": "net.txt", "inputs": [)" +
                                       input + "]" + edits + "}");
    const std::string command = "cd '" + dir_.string() + "' && '" + FENWIX_CONVERT_EXE +
                                "' --project job.fenwix " + args + " >stdout 2>stderr </dev/null";
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

}  // namespace

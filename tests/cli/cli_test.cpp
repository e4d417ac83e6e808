// The command-line front end, run as a separate process.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/convert_dialog.h"
#include "app/settings_file.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using fenwix::testing::ReadFile;

struct RunResult {
  int status;
  std::string out;
  std::string err;
};

class CliTest : public ::testing::Test {
 protected:
  // Runs fenwix-convert with the arguments (already quoted for the shell), stdin from /dev/null.
  RunResult Convert(const std::string& args) {
    const std::string command = std::string("'") + FENWIX_CONVERT_EXE + "' " + args + " >'" +
                                (dir_ / "stdout").string() + "' 2>'" + (dir_ / "stderr").string() +
                                "' </dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(dir_ / "stdout"),
            ReadFile(dir_ / "stderr")};
  }

  std::string Example() const {
    return std::string("'") + FENWIX_TEST_DATA + "/../../examples/small-job.xml'";
  }

  fenwix::testing::ScratchFolder scratch_{"fenwix-cli-"};
  fs::path dir_ = scratch_.path();
};

TEST_F(CliTest, ConvertsAndReportsSuccessOnStandardOutput) {
  const fs::path out = dir_ / "out.txt";
  const RunResult run = Convert(Example() + " '" + out.string() + "'");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Success - the results are in " + out.string()), std::string::npos);
  EXPECT_TRUE(run.err.empty()) << run.err;
  EXPECT_EQ(ReadFile(out).rfind("! The data in this file", 0), 0u);
}

TEST_F(CliTest, UsageErrorsExitWithTwo) {
  EXPECT_EQ(Convert("").status, 2);
  EXPECT_EQ(Convert("only-one.xml").status, 2);
  const RunResult unknown = Convert("--frobnicate a.xml b.txt");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("unknown option --frobnicate"), std::string::npos);
  EXPECT_EQ(Convert("--merge sometimes a.xml b.txt").status, 2);
  EXPECT_EQ(Convert("a.xml b.txt --seed").status, 2);
  EXPECT_EQ(Convert("--datum WGS84 a.xml b.txt").status, 2);
  for (const char* steps : {"-1", "1x", "", "99999999999"}) {
    EXPECT_EQ(Convert(std::string("--max-steps '") + steps + "' a.xml b.txt").status, 2) << steps;
  }
}

// A traverse of 16 legs: the 100 steps reach 13 stations beyond the seed, no budget all 16.
TEST_F(CliTest, MaxStepsZeroComputesEveryReachableStation) {
  const std::string job = std::string("'") + FENWIX_TEST_DATA + "/approx/traverse16.xml' '" +
                          (dir_ / "out.txt").string() + "' --seed T0 --local";
  EXPECT_NE(Convert(job).out.find("computed for 3 stations"), std::string::npos);
  EXPECT_NE(Convert(job + " --max-steps 100").out.find("computed for 3 stations"),
            std::string::npos);
  EXPECT_NE(Convert(job + " --max-steps 0").out.find("computed for 0 stations"), std::string::npos);
}

TEST_F(CliTest, OptionValuesFollowTheDialogRules) {
  const RunResult lat = Convert("--lat 89.5 a.xml b.txt");
  EXPECT_EQ(lat.status, 2);
  EXPECT_NE(lat.err.find("Please enter a number between -89 and 89."), std::string::npos);
  const RunResult tolerance = Convert("--tolerance abc a.xml b.txt");
  EXPECT_EQ(tolerance.status, 2);
  EXPECT_NE(tolerance.err.find("Please enter a number."), std::string::npos);
  const RunResult seed = Convert("--seed ABCDEFGHIJKLMNOP a.xml b.txt");
  EXPECT_EQ(seed.status, 2);
  EXPECT_NE(seed.err.find("Please enter no more than 15 characters."), std::string::npos);
  // A longitude of 180 passes validation; the run then fails on the missing input.
  EXPECT_EQ(Convert("--lon 180 missing.xml b.txt").status, 1);
}

TEST_F(CliTest, FailuresExitWithOneAndTouchNothing) {
  const RunResult missing =
      Convert("'" + (dir_ / "missing.xml").string() + "' '" + (dir_ / "out.txt").string() + "'");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("Cannot read file "), std::string::npos);
  EXPECT_TRUE(missing.out.empty());
  EXPECT_FALSE(fs::exists(dir_ / "out.txt"));
}

TEST_F(CliTest, HelpAndVersion) {
  const RunResult help = Convert("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: fenwix-convert"), std::string::npos);
  const RunResult version = Convert("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "Fenwix Version 3.5.1.23\n");
}

TEST_F(CliTest, SettingsFileMustExist) {
  const RunResult run = Convert("--settings '" + (dir_ / "none.cfg").string() + "' a.xml b.txt");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("Cannot read file"), std::string::npos);
}

// Every outcome has its documented status, every message on standard error names the
// program, and the seed's local coordinates come from the options or the settings file.
TEST_F(CliTest, ExitStatusesMessagesAndSeedCoordinates) {
  const std::string job = std::string("'") + FENWIX_TEST_DATA + "/app/merge_job.xml' ";
  const std::string out = "'" + (dir_ / "out.txt").string() + "'";
  const std::string cfg = (dir_ / "seed.cfg").string();
  fenwix::ConvertDialog saved;
  saved.seed_north = 7000.0;
  ASSERT_TRUE(fenwix::SaveSettings(saved, cfg));
  const struct {
    std::string args;
    int status;
    std::string err;  // expected start of standard error
    std::string seed_line;
  } cases[] = {
      {"--seed NOPE --local " + job + out, 4, "fenwix-convert: Cannot find station 'NOPE'", ""},
      {job + job, 2, "fenwix-convert: The output file", ""},
      {"--lat 45.75 " + job + out, 2, "fenwix-convert: --lat: Please enter the angle as", ""},
      {"--local " + job + out, 2, "fenwix-convert: Please enter the name of the station", ""},
      {"--seed BASE --local " + job + out, 0, "", "BASE; 100000.00000; 100000.00000; 0.00000"},
      {"--seed BASE --local --north 5000 --east 2000 --elev 10 " + job + out, 0, "",
       "BASE; 5000.00000; 2000.00000; 10.00000"},
      {"--settings '" + cfg + "' --seed BASE --local " + job + out, 0, "",
       "BASE; 7000.00000; 100000.00000; 0.00000"},
  };
  for (const auto& c : cases) {
    const RunResult run = Convert(c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
    EXPECT_EQ(run.err.substr(0, c.err.size()), c.err) << c.args;
    if (!c.seed_line.empty()) {
      EXPECT_NE(ReadFile(dir_ / "out.txt").find("$LOCAL_COMPACT; " + c.seed_line + "\r\n"),
                std::string::npos)
          << c.args;
    }
  }
}

}  // namespace

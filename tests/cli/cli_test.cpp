// The command-line front end, run as a separate process.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

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
    return std::string("'") + FENWIX_TEST_DATA + "/jobs/small-job.xml'";
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
  EXPECT_EQ(Convert("--lat 45.75 a.xml b.txt").status, 2);
  EXPECT_EQ(Convert("--local a.xml b.txt").status, 2);
  for (const char* steps : {"-1", "1x", "", "99999999999"}) {
    EXPECT_EQ(Convert(std::string("--max-steps '") + steps + "' a.xml b.txt").status, 2) << steps;
  }
}

// The adjustment test's memory budget: a grid of 1,600 stations joined by vectors fits the
// default budget and not one of 1 MB; the adjustment file is the same either way, and a budget
// that is not a whole number of megabytes from 1 up is refused before anything is read.
TEST_F(CliTest, AdjustmentMemoryBudgetDecidesWhetherTheJobIsTested) {
  const fs::path job = dir_ / "grid.xml";
  {
    std::ofstream xml(job);
    xml << "<?xml version=\"1.0\"?>\n<data>\n";
    constexpr int SIDE = 40;
    for (int i = 0; i < SIDE; ++i) {
      for (int j = 0; j < SIDE; ++j) {
        for (const auto& [di, dj] : {std::pair{0, 1}, std::pair{1, 0}}) {
          if (i + di >= SIDE || j + dj >= SIDE) continue;
          xml << "<Vector><BasePoint>P" << i << '_' << j << "</BasePoint><RoverPoint>P" << i + di
              << '_' << j + dj << "</RoverPoint><DX>" << 100 * di << ".0</DX><DY>" << 100 * dj
              << ".0</DY><DZ>0.0</DZ><SX>0.003</SX><SY>0.003</SY><SZ>0.005</SZ></Vector>\n";
        }
      }
    }
    xml << "</data>\n";
  }
  struct Case {
    const char* option;
    const char* report_starts;
  };
  std::string first_output;
  for (const Case& c : {Case{"", "Adjustment test: the global test"},
                        Case{"--adjustment-memory 1024", "Adjustment test: the global test"},
                        Case{"--adjustment-memory 1", "Adjustment test skipped"}}) {
    SCOPED_TRACE(c.option);
    const fs::path out = dir_ / "out.txt", report = dir_ / "report.txt";
    const RunResult run =
        Convert("'" + job.string() + "' '" + out.string() + "' --seed P0_0 --local --report '" +
                report.string() + "' " + c.option);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string text = ReadFile(report);
    EXPECT_NE(text.find(std::string("\n") + c.report_starts), std::string::npos)
        << text.substr(0, 400);
    if (first_output.empty()) first_output = ReadFile(out);
    EXPECT_EQ(ReadFile(out), first_output);
  }
  for (const char* refused : {"0", "-1", "1.5", "2x", "", "1048577"}) {
    const RunResult run =
        Convert("'" + job.string() + "' b.txt --adjustment-memory '" + refused + "'");
    EXPECT_EQ(run.status, 2) << refused;
    EXPECT_NE(run.err.find("--adjustment-memory takes a whole number of MB"), std::string::npos)
        << refused;
  }
}

// The precision's datum, confidence and standard: each shows in the report's words and never in
// the adjustment file; a tight standard flags pairs that the default passes, a station not in
// the network is said to be left unused, and values that are not a confidence or a standard are
// refused before anything is read.
TEST_F(CliTest, PrecisionDatumConfidenceAndStandardReachTheReport) {
  const fs::path job = dir_ / "square.xml";
  {
    std::ofstream xml(job);
    xml << "<?xml version=\"1.0\"?>\n<data>\n";
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j)
        for (const auto& [di, dj] : {std::pair{0, 1}, std::pair{1, 0}}) {
          if (i + di >= 4 || j + dj >= 4) continue;
          xml << "<Vector><BasePoint>P" << i << '_' << j << "</BasePoint><RoverPoint>P" << i + di
              << '_' << j + dj << "</RoverPoint><DX>" << 100 * di << ".0</DX><DY>" << 100 * dj
              << ".0</DY><DZ>0.0</DZ><SX>0.003</SX><SY>0.003</SY><SZ>0.005</SZ></Vector>\n";
        }
    xml << "</data>\n";
  }
  const struct {
    const char* options;
    std::vector<const char*> said;
  } cases[] = {
      {"",
       {"minimum-trace datum of each part", "at 95 %",
        "Relative precision: 24 pairs, all within 20 mm + 50 ppm at 95 %"}},
      {"--precision-datum P1_1 --confidence 1sigma", {"relative to P1_1", "(1\u03c3)"}},
      {"--confidence 0.99", {"at 99 % (ellipses 3.0349"}},
      {"--relative-precision 1,0",
       {"Relative precision: 24 pairs exceed 1 mm + 0 ppm at 95 %, the worst"}},
      {"--precision-datum NOPE", {"The precision datum NOPE is not a station"}},
  };
  std::string first_output;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    const fs::path out = dir_ / "out.txt", report = dir_ / "report.txt";
    const RunResult run =
        Convert("'" + job.string() + "' '" + out.string() + "' --seed P0_0 --local --report '" +
                report.string() + "' " + c.options);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string text = ReadFile(report);
    for (const char* said : c.said) EXPECT_NE(text.find(said), std::string::npos) << said;
    if (first_output.empty()) first_output = ReadFile(out);
    EXPECT_EQ(ReadFile(out), first_output);
  }
  const struct {
    const char* option;
    const char* value;
    const char* message;
  } refused[] = {{"--confidence", "1.5", "--confidence takes a probability"},
                 {"--confidence", "0", "--confidence takes a probability"},
                 {"--confidence", "95%", "--confidence takes a probability"},
                 {"--relative-precision", "-1,50", "--relative-precision takes MM,PPM"},
                 {"--relative-precision", "0,0", "--relative-precision takes MM,PPM"},
                 {"--relative-precision", "20;50", "--relative-precision takes MM,PPM"}};
  // The same options in a job file: read into the run, or refused naming the option.
  const auto project = [&](const std::string& options) {
    std::ofstream(dir_ / "job.fenwix")
        << "{\"fenwix_project\": 1, \"inputs\": [{\"path\": \"square.xml\"}], "
           "\"output\": \"job-out.txt\", \"options\": {\"seed\": \"P0_0\", \"local\": true, "
        << options << "}}";
    return Convert("--project '" + (dir_ / "job.fenwix").string() + "' --report '" +
                   (dir_ / "job-report.txt").string() + "'");
  };
  const RunResult read = project("\"precision_datum\": \"P2_2\", \"confidence\": \"0.99\"");
  EXPECT_EQ(read.status, 0) << read.err;
  const std::string job_report = ReadFile(dir_ / "job-report.txt");
  EXPECT_NE(job_report.find("relative to P2_2, at 99 %"), std::string::npos)
      << job_report.substr(0, 2000);
  const RunResult bad = project("\"relative_precision\": \"fifty\"");
  EXPECT_NE(bad.status, 0);
  EXPECT_NE(bad.err.find("\"options\".\"relative_precision\": takes MM,PPM"), std::string::npos)
      << bad.err;
  for (const auto& r : refused) {
    const RunResult run =
        Convert("'" + job.string() + "' b.txt " + r.option + " '" + r.value + "'");
    EXPECT_EQ(run.status, 2) << r.value;
    EXPECT_NE(run.err.find(r.message), std::string::npos) << r.value << run.err;
  }
}

// A traverse without orientation at either end, between two points that one vector each ties to
// the seed: each vector alone closes the traverse's turn, so no direction of it is checked even
// though every component's r is above 0.01. The test neither judges nor rejects such a vector
// (its rejection would leave the traverse free to turn, and the whole test undetermined), under
// every profile; the control is the same job tested to the end.
TEST_F(CliTest, AVectorThatAloneClosesATraverseIsNeitherJudgedNorRejected) {
  const std::string job = std::string("'") + FENWIX_TEST_DATA +
                          "/approx/free-station-traverse.xml' '" + (dir_ / "out.txt").string() +
                          "' --seed S --lat 47 --lon 8 --height 400 --local --max-steps 0 "
                          "--report '" +
                          (dir_ / "report.txt").string() + "' ";
  for (const char* profile : {"", "--angle-sd 1 --zenith-sd 1",
                              "--angle-sd 1 --zenith-sd 1 "
                              "--distance-sd 1,0"}) {
    SCOPED_TRACE(profile);
    ASSERT_EQ(Convert(job + profile).status, 0);
    const std::string report = ReadFile(dir_ / "report.txt");
    const std::string line = report.substr(0, report.find('\n', report.find('\n') + 1));
    EXPECT_NE(line.find("\nAdjustment test: the global test"), std::string::npos) << line;
    EXPECT_EQ(report.find("undetermined"), std::string::npos);
    EXPECT_NE(report.find("T3_1"), std::string::npos);  // the traverse is in the test
  }
}

// The zeniths' refraction coefficient: estimated where sights were taken both ways, or the
// surveyor's own; the report says which, and the adjustment file is the same with either. A
// coefficient outside -1 to 1, or not a number, is refused before anything is read.
TEST_F(CliTest, RefractionIsEstimatedOrGivenAndNeverChangesTheOutput) {
  const std::string job = std::string("'") + FENWIX_TEST_DATA +
                          "/approx/free-station-traverse.xml' '" + (dir_ / "out.txt").string() +
                          "' --seed S --lat 47 --lon 8 --height 400 --local --max-steps 0 "
                          "--report '" +
                          (dir_ / "report.txt").string() + "' ";
  struct Case {
    const char* option;
    const char* says;
  };
  std::string first_output;
  for (const Case& c : {Case{"", "estimated from the sights taken both ways"},
                        Case{"--refraction 0.2", "refraction coefficient k = 0.2, as given"},
                        Case{"--refraction -0.5", "refraction coefficient k = -0.5, as given"}}) {
    SCOPED_TRACE(c.option);
    ASSERT_EQ(Convert(job + c.option).status, 0);
    EXPECT_NE(ReadFile(dir_ / "report.txt").find(c.says), std::string::npos);
    if (first_output.empty()) first_output = ReadFile(dir_ / "out.txt");
    EXPECT_EQ(ReadFile(dir_ / "out.txt"), first_output);
  }
  for (const char* refused : {"1.5", "-2", "x", "", "0.1x", "nan"}) {
    const RunResult run = Convert(std::string("a.xml b.txt --refraction '") + refused + "'");
    EXPECT_EQ(run.status, 2) << refused;
    EXPECT_NE(run.err.find("--refraction takes a coefficient from -1 to 1"), std::string::npos)
        << refused;
  }
}

// A seed typed in decimal degrees: standard error names the slip and where the network puts the
// seed, and the adjustment file is the one the seed given makes; the right seed says nothing.
// A tolerance that is not a number of meters is refused before anything is read.
TEST_F(CliTest, SeedThatDisagreesWithTheNetworkIsSaidOnStandardError) {
  const std::string job = std::string("'") + FENWIX_TEST_DATA +
                          "/../../docs/screenshots/generated-network.xml' '" +
                          (dir_ / "out.txt").string() +
                          "' --seed P00001 --lon 9.4421293136 --height 308.8903 --local "
                          "--report '" +
                          (dir_ / "report.txt").string() + "' ";
  struct Case {
    const char* latitude;
    const char* says;  // on standard error; empty: nothing about the seed
  };
  for (const Case& c :
       {Case{"41.3128608600", ""}, Case{"41.5246",
                                        "the seed's latitude 41.5246 looks like decimal degrees: "
                                        "41\u00b031\u203229\u2033 fits the network"}}) {
    SCOPED_TRACE(c.latitude);
    const RunResult run = Convert(job + "--lat " + c.latitude);
    ASSERT_EQ(run.status, 0) << run.err;
    if (std::string(c.says).empty()) {
      EXPECT_EQ(run.err.find("seed"), std::string::npos) << run.err;
    } else {
      EXPECT_NE(run.err.find("disagrees with the network"), std::string::npos) << run.err;
      EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
      EXPECT_NE(run.err.find("--lat 41.31286 --lon 9.44213"), std::string::npos) << run.err;
    }
  }
  for (const char* refused : {"-1", "x", "", "5m"}) {
    const RunResult run = Convert(std::string("a.xml b.txt --seed-tolerance '") + refused + "'");
    EXPECT_EQ(run.status, 2) << refused;
    EXPECT_NE(run.err.find("--seed-tolerance takes meters"), std::string::npos) << refused;
  }
}

// A traverse of 16 legs: the 100 steps reach 13 stations beyond the seed, no budget all 16.
TEST_F(CliTest, MaxStepsZeroComputesEveryReachableStation) {
  const std::string job = std::string("'") + FENWIX_TEST_DATA + "/approx/traverse16.xml' '" +
                          (dir_ / "out.txt").string() + "' --seed T0 --local";
  EXPECT_NE(Convert(job).out.find("computed for 3 stations"), std::string::npos);
  EXPECT_NE(Convert(job + " --max-steps 100").out.find("computed for 3 stations"),
            std::string::npos);
  // Once every station is computed the message is the plain success; before, it says why.
  EXPECT_EQ(Convert(job + " --max-steps 0").out.find("could not be computed"), std::string::npos);
  EXPECT_NE(Convert(job).out.find("--max-steps 0"), std::string::npos);
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

TEST_F(CliTest, UnusableDatumAndSeedBeyondAnySurveyAreRefused) {
  // Status 1 is the missing input: the value itself was accepted.
  for (const auto& [args, status, says] : std::vector<std::tuple<const char*, int, const char*>>{
           {"--datum X,0,0", 2, "semi-major axis 0 is not between"},
           {"--datum X,6378137,1", 2, "inverse flattening 1 is not between"},
           {"--datum ' ,6378137,298.257223563'", 2, "needs a name"},
           {"--datum 'GRS 80,6378137,298.257222101'", 1, ""},
           {"--north 1e308", 2, "between -99999999 and 99999999"},
           {"--elev 100000", 2, "between -99999 and 99999"},
           {"--east 5000000.123", 1, ""}}) {
    const RunResult run = Convert(std::string(args) + " missing.xml b.txt");
    EXPECT_EQ(run.status, status) << args;
    EXPECT_NE(run.err.find(says), std::string::npos) << args << ": " << run.err;
  }
}

// Station names that a record cannot carry, read back as a reader of the format reads them:
// fields split at ";" and trimmed of blanks.
TEST_F(CliTest, NamesThatWouldBreakARecordAreWrittenUnderNamesOfTheirOwn) {
  const std::string data = std::string("'") + FENWIX_TEST_DATA + "/app/";
  const fs::path out = dir_ / "out.txt";
  const RunResult run = Convert(data + "odd_names.xml' '" + out.string() + "' --report '" +
                                (dir_ / "r.json").string() + "'");
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<std::string> ends;
  std::istringstream lines(ReadFile(out));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("$GPS_COMPACT", 0) != 0) continue;
    std::vector<std::string> fields;
    std::istringstream record(line);
    for (std::string field; std::getline(record, field, ';');) {
      const size_t begin = field.find_first_not_of(" \r");
      fields.push_back(begin == std::string::npos
                           ? ""
                           : field.substr(begin, field.find_last_not_of(" \r") + 1 - begin));
    }
    EXPECT_EQ(fields.size(), 12u) << line;
    ends.push_back(fields.at(1) + " " + fields.at(2));
  }
  EXPECT_EQ(ends, (std::vector<std::string>{"B1 P9_B1", "B1 P9_B1_2", "P9_B1_2 ___", "B1 P3_X"}));
  EXPECT_NE(run.err.find("odd_names.xml:15: RoverPoint \"P9;B1\" holds the record separator \";\": "
                         "written as P9_B1_2."),
            std::string::npos)
      << run.err;
  EXPECT_NE(ReadFile(dir_ / "r.json").find(R"("stations": ["P3_X", "P3\u0009X"])"),
            std::string::npos);
  // A name read as it stands after a replacement took it would make two stations one.
  const RunResult clash =
      Convert(data + "odd_names_clash.xml' '" + (dir_ / "c.txt").string() + "'");
  EXPECT_EQ(clash.status, 2);
  EXPECT_NE(clash.err.find("names the station P9_B1, the name written for"), std::string::npos)
      << clash.err;
  EXPECT_FALSE(fs::exists(dir_ / "c.txt"));
}

TEST_F(CliTest, FailuresExitWithOneAndTouchNothing) {
  const RunResult missing =
      Convert("'" + (dir_ / "missing.xml").string() + "' '" + (dir_ / "out.txt").string() + "'");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err.rfind("fenwix-convert: Cannot read file ", 0), 0u);
  EXPECT_TRUE(missing.out.empty());
  EXPECT_FALSE(fs::exists(dir_ / "out.txt"));
}

TEST_F(CliTest, HelpAndVersion) {
  const RunResult help = Convert("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: fenwix-convert"), std::string::npos);
  // The three ways to call it stand together, before any prose.
  std::istringstream lines(help.out);
  std::string line;
  for (int i = 0; i < 3 && std::getline(lines, line); ++i) {
    EXPECT_NE(line.find("fenwix-convert [options] "), std::string::npos) << line;
  }
  const RunResult version = Convert("--version");
  EXPECT_EQ(version.status, 0);
  // The second line says how this build orders the adjustment's stations.
  EXPECT_TRUE(version.out ==
                  "Fenwix Version 3.5.1.23\n"
                  "Built with the nested dissection (METIS) ordering for the adjustment test\n" ||
              version.out ==
                  "Fenwix Version 3.5.1.23\n"
                  "Built with the minimum degree (AMD) ordering for the adjustment test\n")
      << version.out;
}

TEST_F(CliTest, SettingsFileMustExist) {
  const RunResult run = Convert("--settings '" + (dir_ / "none.cfg").string() + "' a.xml b.txt");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("Cannot read file"), std::string::npos);
}

TEST_F(CliTest, AMissingSeedExitsWithFourTheInputAsOutputWithTwo) {
  const std::string job = std::string("'") + FENWIX_TEST_DATA + "/app/merge_job.xml' ";
  const RunResult run =
      Convert("--seed NOPE --local " + job + "'" + (dir_ / "o.txt").string() + "'");
  EXPECT_EQ(run.status, 4);
  EXPECT_EQ(run.err.rfind("fenwix-convert: Cannot find station 'NOPE'", 0), 0u);
  EXPECT_EQ(Convert(job + job).status, 2);
}

// Refused weight values name their option and write nothing; the defaults given explicitly
// change no byte; S and Z reach the head's default blocks and the report states them.
TEST_F(CliTest, WeightOptions) {
  const fs::path out = dir_ / "out.txt";
  const std::string files = Example() + " '" + out.string() + "'";
  for (const char* bad : {"--angle-sd -1", "--zenith-sd abc", "--gnss-scale 0", "--gnss-scale inf",
                          "--distance-sd 1,2,3", "--centering nan", "--gnss-centering 1,",
                          "--gnss-fallback-sd -2", "--distance-sd 1,1e300"}) {
    const RunResult run = Convert(std::string(bad) + " " + files);
    EXPECT_EQ(run.status, 2) << bad;
    const std::string option(bad, std::string_view(bad).find(' '));
    EXPECT_EQ(run.err.rfind("fenwix-convert: " + option, 0), 0u) << run.err;
    EXPECT_FALSE(fs::exists(out)) << bad;
  }
  ASSERT_EQ(Convert(files).status, 0);
  const std::string plain = ReadFile(out);
  ASSERT_EQ(Convert("--angle-sd 5 --zenith-sd 5 --distance-sd 5,0 --centering 0 --gnss-scale 1 "
                    "--gnss-centering 0,0 " +
                    files)
                .status,
            0);
  EXPECT_EQ(ReadFile(out), plain);
  const fs::path report = dir_ / "r.txt";
  ASSERT_EQ(Convert("--angle-sd 1 --zenith-sd 2.5 --centering 0.5 --report '" + report.string() +
                    "' " + files)
                .status,
            0);
  const std::string head = ReadFile(out);
  EXPECT_NE(head.find("$G_AZ_SD\r\n1.000\r\n\r\n$G_HOR_SD\r\n1.000\r\n\r\n$G_ZEN_SD\r\n2.500"),
            std::string::npos);
  EXPECT_NE(ReadFile(report).find("Weighting (command line): angle 1\", zenith 2.5\""),
            std::string::npos);
}

TEST_F(CliTest, JobUnitsTakeOnlyTheirWords) {
  for (const char* args : {"--angle-unit deg", "--angle-unit GON", "--angle-unit",
                           "--distance-unit feet", "--distance-unit ''", "--distance-unit"}) {
    EXPECT_EQ(Convert(std::string(args) + " a.xml b.txt").status, 2) << args;
  }
}

// The same job with its angles in gons, or its distances and heights in international feet,
// gives the coordinates of the job in DD.MMSS and meters once the option says what it is in
// (the three files hold one job, the example job as it was when they were made).
TEST_F(CliTest, JobsInGonsOrFeetGiveTheSameCoordinates) {
  const auto local_numbers = [&](const std::string& job, const std::string& options) {
    const fs::path out = dir_ / "out.txt";
    const RunResult run = Convert("'" + std::string(FENWIX_TEST_DATA) + job + "' '" + out.string() +
                                  "' --seed B1 --local " + options);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    std::vector<double> numbers;
    std::istringstream lines(ReadFile(out));
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("$LOCAL_COMPACT", 0) != 0) continue;
      std::istringstream fields(line.substr(line.find(';', line.find(';') + 1) + 1));
      for (std::string field; std::getline(fields, field, ';');)
        numbers.push_back(std::stod(field));
    }
    return std::make_pair(numbers, ReadFile(out));
  };
  const auto [meters, plain] = local_numbers("/app/small_job.xml", "");
  const auto [gons, gon_file] = local_numbers("/app/small_job_gon.xml", "--angle-unit gon");
  const auto [feet, feet_file] = local_numbers("/app/small_job_ft.xml", "--distance-unit ft");
  ASSERT_EQ(meters.size(), 12u);
  for (const auto* other : {&gons, &feet}) {
    ASSERT_EQ(other->size(), meters.size());
    // The files give gons to 1e-10 and feet to 1e-8: far below the 0.01 mm written.
    for (size_t i = 0; i < meters.size(); ++i) EXPECT_NEAR((*other)[i], meters[i], 1.5e-5) << i;
  }
  EXPECT_NE(gon_file.find("$UNITS\r\nM\r\nG\r\n"), std::string::npos);
  EXPECT_NE(feet_file.find("$UNITS\r\nI\r\nD\r\n"), std::string::npos);
  EXPECT_EQ(plain.find("$UNITS", plain.find("$UNITS") + 1), std::string::npos);
}

TEST_F(CliTest, WarningsGoToStandardErrorTwentyAtMost) {
  const std::string job = std::string(FENWIX_TEST_DATA) + "/xml/unit_warnings.xml";
  const RunResult run = Convert("'" + job + "' '" + (dir_ / "out.txt").string() + "'");
  // Values it warns of are in the output, which is written.
  EXPECT_EQ(run.status, 6);
  EXPECT_TRUE(fs::exists(dir_ / "out.txt"));
  EXPECT_NE(run.err.find("fenwix-convert: warning: " + job +
                         ":8: DistanceUnitIndicator \"Feet\" says feet: its distances and heights "
                         "read as meters."),
            std::string::npos);
  std::string many = "<data>\n";
  for (int i = 0; i < 25; ++i) many += "<Vector><DX>,5</DX></Vector>\n";
  fenwix::testing::WriteFile(dir_ / "many.xml", many + "</data>\n");
  const RunResult capped =
      Convert("'" + (dir_ / "many.xml").string() + "' '" + (dir_ / "out.txt").string() + "'");
  EXPECT_EQ(std::count(capped.err.begin(), capped.err.end(), '\n'), 21);
  // Each vector also lacks DY and DZ, and is left out with a warning of its own.
  EXPECT_NE(capped.err.find("warning: 30 more warnings not shown"), std::string::npos);
}

// A misread value only in an element left out of the output leaves the status 0; a pair within
// the tolerance is kept apart with a word on how to answer, unless --merge answers it.
TEST_F(CliTest, WarningsSayWhatNoQuestionDecided) {
  const std::string data = std::string(FENWIX_TEST_DATA);
  const std::string out = " '" + (dir_ / "out.txt").string() + "'";
  EXPECT_EQ(Convert("'" + data + "/xml/left_out.xml'" + out).status, 0);
  const std::string merge = "--seed BASE --local '" + data + "/app/merge_job.xml'" + out;
  EXPECT_NE(Convert(merge).err.find("R2 and R2X are 2.00 mm apart, within the merge tolerance of "
                                    "0.05 m: kept apart without a question: standard input is "
                                    "not a terminal and no --merge was given. To answer, give "
                                    "--merge"),
            std::string::npos);
  EXPECT_EQ(Convert("--merge different " + merge).err, "");
}

}  // namespace

namespace {

// Two field files and no output name: the second is refused as the output and stays as it
// was; with -o both are read into one output.
TEST_F(CliTest, TwoFieldFilesAreNeverTakenForInputAndOutput) {
  const std::string job = ReadFile(std::string(FENWIX_TEST_DATA) + "/app/merge_job.xml");
  fenwix::testing::WriteFile(dir_ / "day1.xml", job);
  fenwix::testing::WriteFile(dir_ / "day2.xml", job);
  const std::string day1 = "'" + (dir_ / "day1.xml").string() + "'";
  const std::string day2 = "'" + (dir_ / "day2.xml").string() + "'";
  const RunResult refused = Convert(day1 + " " + day2);
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("-o OUTPUT.txt"), std::string::npos) << refused.err;
  EXPECT_EQ(ReadFile(dir_ / "day2.xml"), job);
  const RunResult both = Convert("-o '" + (dir_ / "out.txt").string() + "' " + day1 + " " + day2);
  EXPECT_EQ(both.status, 0) << both.err;
}

}  // namespace

namespace {

// A value beyond any survey's in one field of the example job: left out with a warning naming
// its file and line, exit status 6, and no file of the run holds "inf", "nan" or a number of
// twenty whole digits. The untouched job is the clean control.
TEST_F(CliTest, AbsurdValuesAreLeftOutAndNoFileHoldsTheirDigits) {
  struct Case {
    const char* sound;  // the element's text in the example, on its line
    const char* absurd;
    int line;
  };
  const Case cases[] = {
      {"<SX>0.001</SX>", "<SX>1e308</SX>", 16},
      {"<SX>0.002</SX>", "<SX>1e-15</SX>", 30},
      {"<DX>-210.118</DX>", "<DX>1e308</DX>", 27},
      {"<SlopeDistance>224.4395</SlopeDistance>", "<SlopeDistance>1e308</SlopeDistance>", 59},
      {"<HorizontalAngle>92.1530</HorizontalAngle>", "<HorizontalAngle>1e300</HorizontalAngle>",
       65},
      {"", "", 0},
  };
  const std::string example = ReadFile(std::string(FENWIX_TEST_DATA) + "/jobs/small-job.xml");
  // Twenty whole digits (a fraction may have that many), or a formatter's words for no number.
  const std::regex unsound("(^|[^.0-9])[0-9]{20}|\\binf\\b|\\bnan\\b", std::regex::icase);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.absurd);
    std::string job = example;
    if (c.line > 0) {
      const size_t at = job.find(c.sound);
      ASSERT_NE(at, std::string::npos);
      job.replace(at, std::string(c.sound).size(), c.absurd);
    }
    fenwix::testing::WriteFile(dir_ / "job.xml", job);
    const std::string files[] = {"out.txt", "out.json", "out.svg"};
    for (const std::string& file : files) fs::remove(dir_ / file);
    const RunResult run =
        Convert("--seed B1 --local --report '" + (dir_ / "out.json").string() + "' --sketch '" +
                (dir_ / "out.svg").string() + "' '" + (dir_ / "job.xml").string() + "' '" +
                (dir_ / "out.txt").string() + "'");
    if (c.line > 0) {
      EXPECT_EQ(run.status, 6) << run.err;
      EXPECT_NE(run.err.find("job.xml:" + std::to_string(c.line) + ": "), std::string::npos)
          << run.err;
    } else {
      EXPECT_EQ(run.status, 0) << run.err;
    }
    for (const std::string& file : files) {
      const std::string written = ReadFile(dir_ / file);
      EXPECT_FALSE(written.empty()) << file;
      EXPECT_FALSE(std::regex_search(written, unsound)) << file;
    }
  }
}

}  // namespace

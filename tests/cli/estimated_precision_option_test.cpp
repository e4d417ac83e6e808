// fenwix-convert --use-estimated-precision: a generated job measured to 1″ and weighted with the
// default 5″ profile, saved with the precision the adjustment test estimates from it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <fmt/format.h>

#include "geodesy/angles.h"
#include "job/job_file.h"
#include "network_conversion.h"
#include "support/test_files.h"
#include "survey_network.h"

namespace fenwix {
namespace {

namespace fs = std::filesystem;

class EstimatedPrecisionOption : public ::testing::Test {
 protected:
  // Writes the network's field file and returns the options that seed it at its first station.
  std::string WriteNetwork(const bench::GeneratedNetwork& net) {
    EXPECT_TRUE(bench::WriteNetworkXml((dir_ / "net.xml").string(), net));
    const auto& t = net.truth[0];
    const Geodetic seed = CartesianToGeodetic(net.input.a, net.input.e2, t[0], t[1], t[2]);
    return fmt::format(
        "--seed '{}' --lat {:.10f} --lon {:.10f} --height {:.4f} --geodetic "
        "--max-steps 0 --merge different net.xml -o net.txt",
        net.input.stations[0].name, RadiansToDms(seed.phi), RadiansToDms(seed.lam), seed.h);
  }
  int Convert(const std::string& args) {
    const std::string command = "cd '" + dir_.string() + "' && '" + FENWIX_CONVERT_EXE + "' " +
                                args + " >stdout 2>stderr </dev/null";
    const int raw = std::system(command.c_str());
    err_ = testing::ReadFile(dir_ / "stderr");
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  // The number after key in the JSON group of this kind ("horizontal angle").
  double GroupNumber(const std::string& json, const std::string& kind, const std::string& key) {
    const size_t group = json.find("{\"kind\": \"" + kind + "\", \"observations\"");
    if (group == std::string::npos) return NAN;
    const size_t at = json.find("\"" + key + "\": ", group);
    return at == std::string::npos ? NAN : std::atof(json.c_str() + at + key.size() + 4);
  }

  testing::ScratchFolder scratch_{"fenwix-estprec-"};
  fs::path dir_ = scratch_.path();
  std::string err_;
};

// The saved job's angle SD is the generator's 1″ within three standard deviations of the
// estimate (1/√(2r) of it); the next run of the job passes the global test with its profile,
// where this run, with 5″ on 1″ data, found it too small. This run's output keeps 5″ weights.
TEST_F(EstimatedPrecisionOption, AJobMeasuredToOneSecondIsSavedWithAboutOneSecond) {
  const bench::NetworkLayout layout = bench::SmallSeededLayout(2);
  const bench::GeneratedNetwork net = bench::GenerateNetwork(layout);
  const std::string files = WriteNetwork(net);
  ASSERT_EQ(Convert(files + " --report first.json"), 0) << err_;
  const std::string plain = testing::ReadFile(dir_ / "net.txt");
  ASSERT_EQ(Convert(files + " --report first.json --use-estimated-precision --save-project "
                            "job.fenwix"),
            0)
      << err_;
  EXPECT_EQ(testing::ReadFile(dir_ / "net.txt"), plain);
  const std::string first = testing::ReadFile(dir_ / "first.json");
  EXPECT_NE(first.find("with the profile the global test of the raw data is too small"),
            std::string::npos);
  const double r = GroupNumber(first, "horizontal angle", "redundancy");
  ASSERT_GE(r, 10.0) << first;
  const Result<Job> job = ReadJobFile((dir_ / "job.fenwix").string());
  ASSERT_TRUE(job.ok()) << job.status().text();
  ASSERT_EQ(job.value().instruments.size(), 1u);
  const InstrumentProfile& saved = job.value().instruments.begin()->second;
  EXPECT_NEAR(saved.angle_sd, layout.angle_sd, 3.0 * layout.angle_sd / std::sqrt(2.0 * r)) << err_;
  EXPECT_NE(err_.find("precision of the job: horizontal angles 5\u2033 \u2192 "), std::string::npos)
      << err_;
  // The next run weights with the saved profile.
  ASSERT_EQ(Convert("--project job.fenwix --report second.json"), 0) << err_;
  const std::string second = testing::ReadFile(dir_ / "second.json");
  EXPECT_NE(second.find("\"before\": {\"sigma0\""), std::string::npos) << second;
  EXPECT_EQ(second.find("\"verdict\": \"too"), std::string::npos) << second;
  EXPECT_NE(second.find("\"tested_with\": \"profile\""), std::string::npos) << second;
}

// A job too small for a reliable estimate keeps its profile and says why; the option without a
// job file to write, or without the test, is refused before anything is written.
TEST_F(EstimatedPrecisionOption, UnreliableEstimatesAndMissingJobFileChangeNothing) {
  bench::NetworkLayout layout = bench::SmallSeededLayout();
  layout.stations = 6;
  const std::string files = WriteNetwork(bench::GenerateNetwork(layout));
  ASSERT_EQ(Convert(files + " --use-estimated-precision --save-project job.fenwix"), 0) << err_;
  const Result<Job> job = ReadJobFile((dir_ / "job.fenwix").string());
  ASSERT_TRUE(job.ok()) << job.status().text();
  EXPECT_EQ(job.value().instruments.begin()->second, InstrumentProfile{}) << err_;
  EXPECT_NE(err_.find("estimated precision not used for horizontal angles: redundancy"),
            std::string::npos)
      << err_;
  fs::remove(dir_ / "net.txt");
  for (const char* refused : {" --use-estimated-precision",
                              " --use-estimated-precision --no-adjustment-test --save-project "
                              "j.fenwix"}) {
    EXPECT_EQ(Convert(files + refused), 2) << refused;
    EXPECT_NE(err_.find("fenwix-convert: --use-estimated-precision "), std::string::npos) << err_;
    EXPECT_FALSE(fs::exists(dir_ / "net.txt")) << refused;
  }
}

}  // namespace
}  // namespace fenwix

// What the checks say when they cannot do their whole work: a step short of memory is named and
// marks the report as partial, and a weight profile with zero SDs keeps the adjustment test from
// passing a job it never tested.

#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <string>

#include "app/conversion_sketch.h"
#include "app/convert_dialog.h"
#include "checks/adjustment_sections.h"
#include "network_conversion.h"
#include "support/recording_ui.h"
#include "support/test_files.h"
#include "survey_network.h"

namespace fenwix {
namespace {

namespace fs = std::filesystem;

// Ends a planted shortage however the test leaves.
struct Shortage {
  explicit Shortage(MemoryStep step) { SetMemoryShortageForTesting(step); }
  ~Shortage() { SetMemoryShortageForTesting(MemoryStep::None); }
  Shortage(const Shortage&) = delete;
  Shortage& operator=(const Shortage&) = delete;
};

// Converts the generated network with the checks and the adjustment test.
void Convert(ConvertDialog& dialog, const fs::path& dir, void (*adjust)(ConvertDialog&) = nullptr) {
  static const bench::GeneratedNetwork net = bench::GenerateNetwork(bench::SmallSeededLayout());
  const fs::path input = dir / "net.xml";
  ASSERT_TRUE(bench::WriteNetworkXml(input.string(), net));
  bench::PrepareNetworkConversion(dialog, net, input.string(), (dir / "net.txt").string(), true,
                                  false);
  if (adjust != nullptr) adjust(dialog);
  testing::RecordingUi ui;
  dialog.RunConversion(ui);
  ASSERT_TRUE(dialog.run.result.written());
}

TEST(CheckShortfall, AStepShortOfMemoryIsNamedAndTheOutputStands) {
  struct Case {
    MemoryStep step;
    const char* short_of;  // what the report names; empty: a whole report
    const char* summary;   // in the final message
  };
  const Case cases[] = {
      {MemoryStep::Checks, "the checks", "could not be made: out of memory in the checks"},
      {MemoryStep::Test, "the adjustment test", "Adjustment test skipped: out of memory."},
      {MemoryStep::Sketch, "", "the global test"},
      {MemoryStep::None, "", "the global test"},
  };
  testing::ScratchFolder scratch{"fenwix-shortfall-"};
  ConvertDialog whole;
  Convert(whole, scratch.path());
  const std::string output = testing::ReadFile(scratch.path() / "net.txt");
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.step));
    const Shortage shortage(c.step);
    ConvertDialog dialog;
    Convert(dialog, scratch.path());
    EXPECT_EQ(testing::ReadFile(scratch.path() / "net.txt"), output);
    EXPECT_EQ(dialog.run.check_report.short_of_memory, c.short_of);
    const std::string summary = CheckSummary(dialog.request, dialog.run);
    EXPECT_NE(summary.find(c.summary), std::string::npos) << summary;
    if (c.step == MemoryStep::Test) {
      // The report itself says the test is missing, not only the final message.
      EXPECT_EQ(dialog.run.check_report.summary, "Adjustment test skipped: out of memory.");
    }
    if (c.step == MemoryStep::Sketch) {
      EXPECT_THROW(ConversionSketch(dialog.run), std::bad_alloc);
    } else if (c.step == MemoryStep::None) {
      EXPECT_NO_THROW(ConversionSketch(dialog.run));
    }
  }
}

// Zero SDs in the profile would leave every total-station observation out of the test, which
// would then pass the job: the test is not run, and the report names the profile's field.
TEST(CheckShortfall, ZeroSdsInTheProfileKeepTheTestFromRunning) {
  struct Case {
    void (*zero)(ConvertDialog&);
    const char* named;  // empty: the sound control
  };
  const Case cases[] = {
      {[](ConvertDialog& d) { d.request.weight_profile.profile.instrument.angle_sd = 0.0; },
       "angle_sd (S)"},
      {[](ConvertDialog& d) { d.request.weight_profile.profile.instrument.zenith_sd = 0.0; },
       "zenith_sd (Z)"},
      {[](ConvertDialog& d) {
         d.request.weight_profile.profile.instrument.distance_sd_mm = 0.0;
         d.request.weight_profile.profile.instrument.distance_ppm = 0.0;
       },
       "distance_sd (A)"},
      {[](ConvertDialog& d) { d.request.weight_profile.profile.instrument.angle_sd = 0.5; }, ""},
  };
  testing::ScratchFolder scratch{"fenwix-zero-sd-"};
  for (const Case& c : cases) {
    ConvertDialog dialog;
    Convert(dialog, scratch.path(), c.zero);
    const std::string& summary = dialog.run.check_report.summary;
    SCOPED_TRACE(summary);
    if (*c.named == '\0') {
      EXPECT_EQ(dialog.run.adjustment_result.outcome, AdjustmentOutcome::Done);
      EXPECT_NE(summary.find("the global test"), std::string::npos);
      continue;
    }
    EXPECT_EQ(dialog.run.adjustment_result.outcome, AdjustmentOutcome::Unweighted);
    EXPECT_EQ(summary.rfind("Adjustment test not run: ", 0), 0u);
    EXPECT_NE(summary.find(c.named), std::string::npos);
    EXPECT_EQ(summary.find("passed"), std::string::npos);
  }
}

// Without a single w-test the section gives no critical value; with tests it gives theirs.
TEST(CheckShortfall, NoCriticalValueWithoutTests) {
  for (const int32_t tests : {0, 7}) {
    AdjustmentResult result;
    result.outcome = tests > 0 ? AdjustmentOutcome::Done : AdjustmentOutcome::NothingToTest;
    result.tests = tests;
    result.critical_w = 1.96;
    result.max_rounds = 30;
    CheckReport report;
    AddAdjustmentSections(AdjustmentInput{}, result, ReadingLog{}, report);
    ASSERT_FALSE(report.sections.empty());
    const std::string& rule = report.sections.front().rule;
    if (tests == 0) {
      EXPECT_EQ(rule.find("critical value"), std::string::npos) << rule;
      EXPECT_EQ(rule.find("1.96"), std::string::npos) << rule;
      EXPECT_NE(rule.find("no observation was w-tested"), std::string::npos) << rule;
    } else {
      EXPECT_NE(rule.find("passes 1.96, the critical value of 7 tests"), std::string::npos) << rule;
    }
  }
}

}  // namespace
}  // namespace fenwix

// Progress and Cancel of a conversion through UserInterface::ReportProgress: the phases in their
// order up to 100%, and a Cancel in each phase that leaves the earlier output file as it was.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/convert_dialog.h"
#include "app/messages.h"
#include "support/recording_ui.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

using testing::ReadFile;
using testing::WriteFile;

// A chain of 1500 vectors (about 300 kB, several chunks of the reader) from C0.
std::string Chain() {
  std::string job = "<?xml version=\"1.0\"?>\n<data><Project/>\n";
  for (int i = 0; i < 1500; ++i) {
    job += "<Vector><BasePoint>C" + std::to_string(i) + "</BasePoint><RoverPoint>C" +
           std::to_string(i + 1) +
           "</RoverPoint><Type>Fixed</Type><DX>31.5</DX><DY>-12.25</DY><DZ>4.0</DZ>"
           "<SX>0.002</SX><SY>0.002</SY><SZ>0.003</SZ></Vector>\n";
  }
  return job + "</data>\n";
}

struct Report {
  RunPhase phase;
  double done;
};

// Records every report and cancels at the n-th report of one phase.
class ProgressUi : public testing::RecordingUi {
 public:
  bool ReportProgress(RunPhase phase, double done) override {
    reports.push_back({phase, done});
    return !(cancel_phase && phase == *cancel_phase && ++seen == cancel_at);
  }
  std::vector<Report> reports;
  std::optional<RunPhase> cancel_phase;
  int cancel_at = 2;
  int seen = 0;
};

class ProgressCancelTest : public ::testing::TestWithParam<std::optional<RunPhase>> {
 protected:
  ConversionOutcome Run(ProgressUi& ui) {
    const auto input = scratch_.path() / "chain.xml";
    WriteFile(input, Chain());
    WriteFile(output_, "the previous output\n");
    ConvertDialog dialog;
    dialog.InitializeDefaults();
    dialog.request.xml_paths = {input.string()};
    dialog.request.output_path = output_.string();
    dialog.request.seed_name = "C0";
    dialog.request.compute_local = true;
    dialog.request.max_steps = 0;
    return dialog.RunConversion(ui).outcome;
  }
  testing::ScratchFolder scratch_{"fenwix-progress-"};
  std::filesystem::path output_ = scratch_.path() / "out.txt";
};

TEST_P(ProgressCancelTest, CancelInAPhaseLeavesTheOldOutput) {
  ProgressUi ui;
  ui.cancel_phase = GetParam();
  const ConversionOutcome outcome = Run(ui);
  if (!GetParam()) {
    EXPECT_EQ(outcome, ConversionOutcome::Succeeded);
    EXPECT_NE(ReadFile(output_), "the previous output\n");
    // Every station computed: the plain success message.
    EXPECT_EQ(ui.MessageIds(), std::vector<MessageId>{MSG_SUCCESS});
    return;
  }
  EXPECT_EQ(ui.seen, 2) << "the phase reported too rarely to be cancelled in its course";
  EXPECT_EQ(outcome, ConversionOutcome::Cancelled);
  EXPECT_EQ(ReadFile(output_), "the previous output\n");
  EXPECT_EQ(ui.MessageIds(), std::vector<MessageId>{MSG_CANCELLED});
  EXPECT_EQ(ui.messages.back().text, "Operation cancelled");
  EXPECT_EQ(ui.reports.back().phase, *GetParam()) << "the run went on after the Cancel";
}

INSTANTIATE_TEST_SUITE_P(Phases, ProgressCancelTest,
                         ::testing::Values(std::nullopt, RunPhase::Reading, RunPhase::Approximating,
                                           RunPhase::Merging, RunPhase::Writing));

TEST_F(ProgressCancelTest, PhasesComeInOrderAndEachRisesToItsEnd) {
  ProgressUi ui;
  ASSERT_EQ(Run(ui), ConversionOutcome::Succeeded);
  const RunPhase order[] = {RunPhase::Reading, RunPhase::Merging, RunPhase::Approximating,
                            RunPhase::Merging, RunPhase::Writing};
  size_t at = 0;
  double last = 0.0;
  int reading = 0;
  for (const Report& r : ui.reports) {
    if (r.phase != order[at]) {
      ASSERT_LT(++at, std::size(order));
      ASSERT_EQ(r.phase, order[at]);
      last = 0.0;
    }
    EXPECT_GE(r.done, last);
    EXPECT_LE(r.done, 1.0);
    last = r.done;
    reading += r.phase == RunPhase::Reading;
  }
  EXPECT_EQ(at, std::size(order) - 1);
  EXPECT_GT(reading, 3);
  EXPECT_EQ(ui.reports.back().done, 1.0);
}

}  // namespace
}  // namespace fenwix

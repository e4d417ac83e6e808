// The check report and the sketch of a run that ran short of memory are not written: the files
// already there are kept, and the exit status is 5. A run with memory enough writes both.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/convert_dialog.h"
#include "cli/command_line.h"
#include "cli/report_options.h"
#include "cli/sketch_option.h"
#include "support/recording_ui.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

struct Shortage {
  explicit Shortage(MemoryStep step) { SetMemoryShortageForTesting(step); }
  ~Shortage() { SetMemoryShortageForTesting(MemoryStep::None); }
  Shortage(const Shortage&) = delete;
  Shortage& operator=(const Shortage&) = delete;
};

TEST(SideFileMemory, APartialReportOrSketchNeverReplacesTheOldOne) {
  struct Case {
    MemoryStep step;
    const char* report_says;  // in the refusal; empty: the report is written
    int sketch_status;
  };
  const Case cases[] = {
      {MemoryStep::Checks, "out of memory in the checks", EXIT_REPORT_FAILED},
      {MemoryStep::Test, "out of memory in the adjustment test", EXIT_REPORT_FAILED},
      {MemoryStep::Sketch, "", EXIT_REPORT_FAILED},
      {MemoryStep::None, "", EXIT_SUCCESS_CODE},
  };
  testing::ScratchFolder scratch{"fenwix-side-memory-"};
  const std::string report = (scratch.path() / "report.txt").string();
  const std::string sketch = (scratch.path() / "net.svg").string();
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.step));
    testing::WriteFile(report, "old report");
    testing::WriteFile(sketch, "old sketch");
    const Shortage shortage(c.step);
    ConvertDialog dialog;
    dialog.InitializeDefaults();
    dialog.request.xml_paths = {std::string(FENWIX_TEST_DATA) + "/jobs/small-job.xml"};
    dialog.request.output_path = (scratch.path() / "out.txt").string();
    dialog.request.seed_name = "B1";
    dialog.request.compute_local = true;
    dialog.request.run_checks = true;
    testing::RecordingUi ui;
    dialog.RunConversion(ui);
    ASSERT_TRUE(dialog.run.result.written());

    ReportOptions options;
    options.report_path = report;
    const std::optional<std::string> refused = options.Write(dialog.run);
    if (*c.report_says != '\0') {
      ASSERT_TRUE(refused.has_value());
      EXPECT_NE(refused->find(c.report_says), std::string::npos) << *refused;
      EXPECT_EQ(testing::ReadFile(report), "old report");
    } else {
      EXPECT_FALSE(refused.has_value()) << *refused;
      EXPECT_EQ(testing::ReadFile(report).rfind("Fenwix check report", 0), 0u);
    }
    EXPECT_EQ(WriteSketchFile(dialog.run, sketch), c.sketch_status);
    if (c.sketch_status == EXIT_SUCCESS_CODE) {
      EXPECT_EQ(testing::ReadFile(sketch).rfind("<?xml", 0), 0u);
    } else {
      EXPECT_EQ(testing::ReadFile(sketch), "old sketch");
    }
  }
}

}  // namespace
}  // namespace fenwix

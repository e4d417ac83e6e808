// The conversion's names: those a front end checked are used as written or refused, and a
// blank name among files that edits point at by place is refused rather than left out.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/conversion_run.h"
#include "app/convert_dialog.h"
#include "support/recording_ui.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

namespace fs = std::filesystem;

TEST(CheckedNames, NoNameIsTrimmedIntoAnotherPlaceNorShiftsTheEdits) {
  testing::ScratchFolder scratch("fenwix-names-");
  const fs::path day = scratch.path() / "day1.xml";
  fs::copy_file(fs::path(FENWIX_TEST_DATA) / "jobs/checked-job.xml", day);
  const fs::path day2 = scratch.path() / "day2.xml";
  fs::copy_file(day, day2);
  const std::string out = (scratch.path() / "out.txt").string();
  const struct {
    std::vector<std::string> inputs;
    std::string output;
    bool as_given;
    bool edits;  // a leave-out for the second file in the list
    Refusal refusal;
  } cases[] = {
      {{" " + day.string()}, out, true, false, Refusal::NameNotAPath},
      {{day.string()}, " " + out, true, false, Refusal::NameNotAPath},
      {{day.string() + "\t"}, out, true, false, Refusal::NameNotAPath},
      {{" ", day.string(), day2.string()}, out, false, true, Refusal::NameNotAPath},
      // Clean controls: names as written, and the dialog's typed blanks trimmed without edits.
      {{day.string()}, out, true, false, Refusal::None},
      {{" ", " " + day.string() + " "}, out + " ", false, false, Refusal::None},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.inputs.front() + "|" + c.output);
    ConvertDialog dialog;
    dialog.InitializeDefaults();
    dialog.request.xml_paths = c.inputs;
    dialog.request.output_path = c.output;
    dialog.request.names_as_given = c.as_given;
    if (c.edits) dialog.request.edits.AddLeaveOut(LeaveOut{1, 48, "checked"});
    testing::RecordingUi ui;
    dialog.RunConversion(ui);
    EXPECT_EQ(dialog.run.result.refusal, c.refusal);
    EXPECT_EQ(fs::exists(out), c.refusal == Refusal::None);
    fs::remove(out);
  }
}

}  // namespace
}  // namespace fenwix

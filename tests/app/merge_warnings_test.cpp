// Similar stations answered without a question: a warning and a report row for each pair.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/convert_dialog.h"
#include "support/recording_ui.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

// The pair R2/R2X, 2 mm apart, answered by a rule or by the job's kept answer gives one warning
// and one flagged row, both merge passes notwithstanding; asked, it gives neither.
TEST(MergeWarnings, APairAnsweredWithoutAQuestionIsSaidOnce) {
  const struct {
    const char* reason;
    std::vector<PairAnswer> kept;
    const char* said;
  } cases[] = {{"", {}, nullptr},
               {"no terminal", {}, "kept apart without a question: no terminal"},
               {"", {{"R2", "R2X", false}}, "merged into R2 without a question: the job's"}};
  testing::ScratchFolder folder("merge-warnings");
  for (const auto& c : cases) {
    ConvertDialog dialog;
    dialog.InitializeDefaults();
    dialog.request.run_checks = true;
    dialog.request.xml_paths = {std::string(FENWIX_TEST_DATA) + "/app/merge_job.xml"};
    dialog.request.output_path = (folder.path() / "out.txt").string();
    dialog.request.seed_name = "BASE";
    dialog.request.compute_local = true;
    dialog.request.merge_answers = c.kept;
    testing::RecordingUi ui;
    ui.unasked_reason = c.reason;
    ASSERT_EQ(dialog.RunConversion(ui).outcome, ConversionOutcome::Succeeded);
    std::vector<std::string> rows;
    for (const CheckSection& section : dialog.run.check_report.sections) {
      for (const CheckRow& row : section.rows) {
        if (section.name == "unasked_merges" && row.flagged) rows.push_back(row.note);
      }
    }
    ASSERT_EQ(rows.size(), c.said != nullptr ? 1u : 0u) << c.reason;
    ASSERT_EQ(dialog.run.reading_warnings.count(WarningKind::Unasked),
              static_cast<int64_t>(rows.size()));
    if (c.said != nullptr) {
      EXPECT_NE(rows[0].find(c.said), std::string::npos) << rows[0];
    }
  }
}

}  // namespace
}  // namespace fenwix

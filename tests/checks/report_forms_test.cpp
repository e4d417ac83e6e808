// A section's unlisted rows are described as what they are: reading warnings past those kept in
// full are flagged and counted, passing rows past the listing cap are not.

#include <gtest/gtest.h>

#include <string>

#include "checks/report_forms.h"

namespace fenwix {
namespace {

TEST(ReportForms, UnlistedRowsAreCountedAsWhatTheyAre) {
  for (const bool unlisted_flagged : {true, false}) {
    CheckReport report;
    CheckSection& section = report.sections.emplace_back();
    section.name = "units_and_formats";
    section.title = "Units and formats";
    section.rows.emplace_back().flagged = true;
    section.unlisted_rows = 5;
    section.unlisted_flagged = unlisted_flagged;
    const int64_t flagged = unlisted_flagged ? 6 : 1;
    EXPECT_EQ(report.FlaggedRows(), flagged);
    const std::string text = ReportText(report);
    EXPECT_NE(text.find(unlisted_flagged ? "5 more flagged rows, counted but not listed"
                                         : "5 more rows within their limits"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Flagged rows: " + std::to_string(flagged)), std::string::npos);
    EXPECT_NE(ReportJson(report).find("\"flagged\": " + std::to_string(flagged) +
                                      ", \"unlisted_rows\": 5"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace fenwix

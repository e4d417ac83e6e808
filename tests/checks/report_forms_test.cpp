// A section's unlisted rows are described as what they are: reading warnings past those kept in
// full are flagged and counted, passing rows past the listing cap are not.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "checks/adjustment_sections.h"
#include "checks/report_forms.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

TEST(ReportForms, UnlistedRowsAreCountedAsWhatTheyAre) {
  struct Case {
    bool unlisted_flagged;
    int64_t unlisted;
    const char* said;
  };
  const Case cases[] = {{true, 5, "5 more flagged rows, counted but not listed"},
                        {false, 5, "5 more rows within their limits"},
                        {true, 1, "1 more flagged row, counted but not listed"},
                        {false, 1, "1 more row within its limits"}};
  for (const Case& c : cases) {
    CheckReport report;
    CheckSection& section = report.sections.emplace_back();
    section.name = "units_and_formats";
    section.title = "Units and formats";
    section.rows.emplace_back().flagged = true;
    section.unlisted_rows = c.unlisted;
    section.unlisted_flagged = c.unlisted_flagged;
    const int64_t flagged = c.unlisted_flagged ? 1 + c.unlisted : 1;
    EXPECT_EQ(report.FlaggedRows(), flagged);
    const std::string text = ReportText(report);
    EXPECT_NE(text.find(c.said), std::string::npos) << text;
    EXPECT_EQ(text.find(" 1 more flagged rows"), std::string::npos) << text;
    EXPECT_EQ(text.find(" 1 more rows"), std::string::npos) << text;
    EXPECT_NE(text.find("Flagged rows: " + std::to_string(flagged)), std::string::npos);
    EXPECT_NE(ReportJson(report).find("\"flagged\": " + std::to_string(flagged) +
                                      ", \"unlisted_rows\": " + std::to_string(c.unlisted)),
              std::string::npos);
  }
}

// The JSON form, byte for byte as stored: a report that holds every kind of value (names past
// ASCII and with control characters, values missing or infinite, a check without rows, a
// profile with and without a fallback SD, the limits' origins), then an empty report.
TEST(ReportForms, JsonKeepsItsLayout) {
  CheckReport report;
  report.job = "day1.xml, day\xc3\xa9 2.xml";
  report.files = {"day1.xml", "day\xc3\xa9 2.xml"};
  report.summary = "global test passed";
  report.weighting = {{"Default", {}},
                      {"Total \"S\"", {{1.5, 3, 2, 1e-5, 0.5, 0.5}, {2, 1, 3, 4.25}}}};
  report.limit_origins = {{{"face_h", "face_v"}, LimitRule::Profile, 3, 2.5, 7.5, "k = 3"},
                          {{"dN"}, LimitRule::Covariances, 3, NAN, NAN, "by row"}};
  report.sections.push_back({"loops",
                             "GNSS loop closures",
                             "misfit over its limit",
                             {{"dN mm", 1}, {"ppm", 2}},
                             {{"loop_mm", 20}, {"loop_ppm", NAN}},
                             {},
                             2,
                             true});
  report.sections[0].rows.push_back({{"P1", "P2\t\xc3\xb6", "P\\3"},
                                     {12.345, NAN},
                                     {{0, 3}, {1, 0}},
                                     {4, 7},
                                     "over",
                                     true,
                                     INFINITY,
                                     {}});
  report.sections[0].rows.push_back({{"P1"}, {-0.0, 1e21}, {}, {}, "", false, 0.0, {}});
  report.sections.push_back({"empty", "No rows", "never", {}, {}, {}, 0, false});
  EXPECT_EQ(ReportJson(report) + ReportJson(CheckReport()),
            testing::ReadFile(std::string(FENWIX_TEST_DATA) + "/checks/report.json"));
}

// Text from the files (names, file names, reasons, a profile's and a limit's names) reaches the
// text and HTML forms with its control characters escaped and no line broken, the JSON form
// with JSON's own escapes; text without them comes through as it is.
TEST(ReportForms, ControlCharactersFromTheFilesShowEscaped) {
  struct Case {
    std::string raw;
    std::string shown;  // in the text and HTML forms
    std::string json;   // inside a JSON string
  };
  for (const Case& c : std::vector<Case>{
           {"day1", "day1", "day1"},
           {"d\x1b[2Jay\x1b]0;t\x07", "d\\x1b[2Jay\\x1b]0;t\\x07",
            "d\\u001b[2Jay\\u001b]0;t\\u0007"},
           {"d\r\nx\ty\x7f", "d\\r\\nx\\ty\\x7f", "d\\u000d\\u000ax\\u0009y\\u007f"},
       }) {
    SCOPED_TRACE(c.shown);
    CheckReport report;
    report.job = c.raw + ".xml";
    report.files = {c.raw + ".xml", "b.xml"};
    report.weighting = {{c.raw, {}}};
    report.sections.push_back(
        {"loops",
         "GNSS loop closures",
         "misfit over its limit",
         {{"dN mm", 1}},
         {{c.raw, 5}},
         {{{c.raw, "P2"}, {1.0}, {{0, 7}}, {3}, "reason " + c.raw, true, 2.0, {}}},
         0,
         false});
    const std::string text = ReportText(report);
    const std::string html = ReportHtml(report);
    for (const std::string* form : {&text, &html}) {
      for (const std::string& part : {"Job: " + c.shown + ".xml", "Weighting (" + c.shown + ")",
                                      c.shown + " = 5", c.shown + ".xml:7", "reason " + c.shown}) {
        EXPECT_NE(form->find(part), std::string::npos) << part << "\n" << *form;
      }
      EXPECT_TRUE(std::none_of(form->begin(), form->end(), [](char b) {
        return (static_cast<unsigned char>(b) < 0x20 && b != '\n') || b == 0x7f;
      })) << *form;
    }
    EXPECT_NE(text.find("*  " + c.shown + " - P2"), std::string::npos) << text;
    EXPECT_NE(html.find("<td>" + c.shown + ", P2</td>"), std::string::npos) << html;
    const std::string json = ReportJson(report);
    for (const std::string& part :
         {"\"job\": \"" + c.json + ".xml\"", "\"note\": \"reason " + c.json + "\"",
          "\"stations\": [\"" + c.json + "\", \"P2\"]"}) {
      EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
    }
  }
}

CheckRow Row(std::vector<SourceLocation> sources, const char* note, bool flagged) {
  CheckRow row;
  row.sources = std::move(sources);
  row.note = note;
  row.flagged = flagged;
  return row;
}

// A reading left out is given the words of the check that names it, the long suspect note only
// when no check does.
TEST(ReportForms, ReasonForAReadingPrefersItsCheck) {
  CheckReport report;
  const SourceLocation named{0, 15}, only_suspect{0, 30};
  CheckSection& suspects = report.sections.emplace_back();
  suspects.name = std::string(SUSPECTS_SECTION);
  suspects.title = "Suspect observations";
  for (const SourceLocation& at : {named, only_suspect}) {
    suspects.rows.push_back(Row({at}, "explains it all", true));
  }
  CheckSection& loops = report.sections.emplace_back();
  loops.title = "GNSS loop closures";
  loops.rows.push_back(Row({{0, 4}, named}, "passes", false));
  loops.rows.push_back(Row({{0, 4}, named}, "misfit", true));
  EXPECT_EQ(report.ReasonFor(named), "GNSS loop closures: misfit");
  EXPECT_EQ(report.ReasonFor(only_suspect), "Suspect observations: explains it all");
  EXPECT_EQ(report.ReasonFor({0, 4}), "GNSS loop closures: misfit");
  EXPECT_EQ(report.ReasonFor({1, 15}), "");
}

// A job without redundancy left has no global test to pass; one with redundancy has.
TEST(AdjustmentSummary, SaysSoWhenNoDegreeOfFreedomIsLeft) {
  for (const double freedom : {0.0, 12.0}) {
    AdjustmentResult result;
    result.outcome = AdjustmentOutcome::Done;
    result.degrees_of_freedom = freedom;
    result.groups.push_back({AdjustedKind::Zenith, 4, freedom / 2, 1.0, 1.0, 1e-5});
    const std::string line = AdjustmentSummary(result);
    EXPECT_EQ(line.find("there is no global test") != std::string::npos, freedom == 0.0) << line;
    EXPECT_EQ(line.find("zenith angles behave") != std::string::npos, freedom > 0.0) << line;
  }
}

// The line counts the observations the network cannot check (r below 0.1), so that a clean
// line never reads as every observation checked; rejected ones are not counted again.
TEST(AdjustmentSummary, CountsTheUncontrolledObservations) {
  struct Case {
    std::vector<std::pair<bool, double>> tests;  // active, smallest r
    const char* said;                            // nullptr: no count in the line
  };
  const Case cases[] = {
      {{{true, 0.5}, {true, 0.8}}, nullptr},
      {{{true, 0.05}, {true, 0.5}, {false, 0.02}}, "; 1 uncontrolled (r below 0.1)."},
      {{{true, 0.0}, {true, 0.099}, {true, 0.1}}, "; 2 uncontrolled (r below 0.1)."}};
  for (const Case& c : cases) {
    AdjustmentResult result;
    result.outcome = AdjustmentOutcome::Done;
    result.degrees_of_freedom = 5;
    for (const auto& [active, r] : c.tests) {
      ObservationTest& t = result.observations.emplace_back();
      t.active = active;
      t.r_min = r;
    }
    const std::string line = AdjustmentSummary(result);
    if (c.said == nullptr) {
      EXPECT_EQ(line.find("uncontrolled"), std::string::npos) << line;
      EXPECT_TRUE(line.ends_with("0 observations rejected.")) << line;
    } else {
      EXPECT_TRUE(line.ends_with(c.said)) << line;
    }
  }
}

}  // namespace
}  // namespace fenwix

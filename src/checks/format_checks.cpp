// What the reading may have misread (unit indicators it does not know, packed angles that are not
// DD.MMSS, number fields that are not wholly a number, a job whose distances or angles all
// disagree by one unit's ratio), and what the conversion did without a word from the person:
// elements it left out of the adjustment file, similar stations it answered for.

#include "checks/check_support.h"
#include "checks/run_checks.h"

namespace fenwix {

namespace {

// One flagged row per warning of the kind; those past what the reading kept are only counted.
CheckSection WarningSection(const CheckInput& input, WarningKind kind, std::string name,
                            std::string title, std::string rule) {
  CheckSection section =
      check_support::MakeSection(std::move(name), std::move(title), std::move(rule));
  if (input.warnings == nullptr) return section;
  int64_t listed = 0;
  for (const ReadingWarning& warning : input.warnings->kept()) {
    if (warning.kind != kind) continue;
    CheckRow& row = section.rows.emplace_back();
    row.stations = warning.stations;
    if (warning.source.line > 0) row.sources = {warning.source};
    row.note = WarningNote(warning);
    row.flagged = true;
    ++listed;
  }
  section.unlisted_rows = input.warnings->count(kind) - listed;
  section.unlisted_flagged = true;
  return section;
}

}  // namespace

void CheckUnitsAndFormats(const CheckInput& input, CheckReport& report) {
  CheckSection units = WarningSection(
      input, WarningKind::Misread, "units_and_formats", "Units and formats",
      "a unit indicator, an angle or a number field may have been read as something it is not, "
      "or most observations that disagree with the coordinates do so by one unit's ratio");
  for (const CheckSection& section : report.sections) {
    if (section.name != "gross_approx") continue;
    std::vector<CheckRow> hints = UnitRatioRows(input, section);
    units.rows.insert(units.rows.begin(), hints.begin(), hints.end());
  }
  report.sections.push_back(std::move(units));
  report.sections.push_back(WarningSection(
      input, WarningKind::LeftOut, "left_out", "Left out of the adjustment file",
      "an element the adjustment file cannot carry: a vector without all three components, a "
      "sight with no zenith angle and no slope distance, a horizontal angle whose face or "
      "backsight cannot be told"));
  report.sections.push_back(WarningSection(
      input, WarningKind::Unasked, "unasked_merges", "Similar stations answered without a question",
      "two stations within the merge tolerance kept apart or merged by a rule or by the job, "
      "not by the person's answer in this run"));
}

}  // namespace fenwix

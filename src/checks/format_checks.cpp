// Values that the reading may have misread: unit indicators it does not know, packed angles that
// are not DD.MMSS, number fields that are not wholly a number.

#include "checks/check_support.h"
#include "checks/run_checks.h"

namespace fenwix {

void CheckUnitsAndFormats(const CheckInput& input, CheckReport& report) {
  CheckSection section = check_support::MakeSection(
      "units_and_formats", "Units and formats",
      "a unit indicator, an angle or a number field may have been read as something it is not");
  if (input.warnings != nullptr) {
    for (const ReadingWarning& warning : input.warnings->kept()) {
      CheckRow& row = section.rows.emplace_back();
      row.sources = {warning.source};
      row.note = WarningNote(warning);
      row.flagged = true;
    }
    // Flagged rows are listed in full; those past what the reading kept are only counted.
    section.unlisted_rows =
        input.warnings->count() - static_cast<int64_t>(input.warnings->kept().size());
    section.unlisted_flagged = true;
  }
  report.sections.push_back(std::move(section));
}

}  // namespace fenwix

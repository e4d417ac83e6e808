// The check step that ends a conversion, kept apart from the conversion driver.

#include <algorithm>
#include <cstdint>
#include <new>

#include "adjust/input_from_tables.h"
#include "adjust/network_adjustment.h"
#include "app/convert_dialog.h"
#include "app/reading_names.h"
#include "app/user_interface.h"
#include "approx/approx_coordinates.h"
#include "checks/adjustment_sections.h"
#include "checks/run_checks.h"
#include "geodesy/angles.h"

namespace fenwix {

namespace {

// The angle sets weighted without their centring terms, one row each, none flagged: the
// surveyor sees which angles carry S alone.
CheckSection CentringGapSection(const std::vector<CentringGap>& gaps, const SurveyTables& tables,
                                const ReadingLog& log) {
  CheckSection section;
  section.name = "centring_left_out";
  section.title = "Angle sets weighted without centring";
  section.rule =
      "never; a distance the centring needs was neither measured at the setup nor "
      "given by approximate coordinates";
  for (const CentringGap& gap : gaps) {
    if (section.rows.size() == MAX_PASSING_ROWS) {
      section.unlisted_rows = static_cast<int64_t>(gaps.size() - MAX_PASSING_ROWS);
      break;
    }
    const ObsRow& obs = tables.observations()[static_cast<size_t>(gap.row)];
    CheckRow& row = section.rows.emplace_back();
    row.stations = {tables.name(obs.at), tables.name(obs.fore), tables.name(obs.back)};
    row.observations = {gap.row};
    row.sources = {log.record_source(gap.row)};
    row.note = gap.backsight_missing && gap.foresight_missing ? "no backsight or foresight distance"
               : gap.backsight_missing                        ? "no backsight distance"
                                                              : "no foresight distance";
  }
  return section;
}

}  // namespace

void ConvertDialog::RunChecksOnTables(bool approx_computed, const RecordWeights& weights) {
  CheckInput input;
  input.tables = &tables;
  input.log = &reading_log;
  input.files = xml_paths;
  input.warnings = &reading_warnings;
  input.seed_name = seed_name;
  input.approx_computed = approx_computed;
  input.frame_latitude = DmsToRadians(seed_latitude);
  input.frame_longitude = DmsToRadians(seed_longitude);
  // A budget of 0 steps is none at all.
  input.step_budget = max_steps > 0 ? max_steps : INT32_MAX;
  input.step_budget_ended = step_budget_ended;
  input.weights = &weights;
  try {
    // Each field file's instrument, the profile in use where the file names none.
    input.instruments.assign(std::max<size_t>(1, file_instruments.size()),
                             weight_profile.profile.instrument);
    for (size_t file = 0; file < file_instruments.size(); ++file) {
      if (file_instruments[file]) input.instruments[file] = *file_instruments[file];
    }
    check_report = RunChecks(input, check_limits);
    check_report.weighting = {weight_profile};
    if (!weight_profile.profile.instrument.NoCentering()) {
      check_report.sections.push_back(CentringGapSection(centring_gaps, tables, reading_log));
    }
    if (!name_replacements.empty()) {
      check_report.sections.push_back(NamesWrittenSection(name_replacements));
    }
  } catch (const std::bad_alloc&) {
    // The output file is written; a report too large for memory is left out, and the summary
    // says so.
    check_report = CheckReport{};
    check_report.files = xml_paths;
    check_report.job = JoinFileNames(xml_paths);
    check_report.incomplete = true;
  }
}

void ConvertDialog::TestNetwork(const RecordWeights& weights, UserInterface& ui) {
  try {
    adjustment_input = InputFromTables(tables, weights, reading_log, true);
    const AdjustmentInput& input = adjustment_input;
    AdjustmentOptions options;
    options.memory_budget = adjustment_memory_budget;
    double done = 0.0;
    bool stopped = false;
    options.progress = [&](int percent) { done = percent / 100.0; };
    options.cancelled = [&] {
      stopped = stopped || !ui.ReportProgress(RunPhase::Testing, done);
      return stopped;
    };
    adjustment_result = AdjustNetwork(input, options);
    // The test only reports progress when it asks about Cancel; its end shows as the end.
    if (!stopped) ui.ReportProgress(RunPhase::Testing, 1.0);
    const AdjustmentResult& result = adjustment_result;
    AddAdjustmentSections(input, result, reading_log, check_report);
    adjustment_summary = check_report.summary;
  } catch (const std::bad_alloc&) {
    // The output file and the other checks stand; only the test is missing.
    adjustment_input = AdjustmentInput{};
    adjustment_result = AdjustmentResult{};
    adjustment_summary = "Adjustment test skipped: out of memory.";
  }
}

std::string ConvertDialog::CheckSummary() const {
  if (!run_checks) return std::string();
  if (check_report.incomplete) return "\n\nThe check report could not be made: out of memory.";
  const int64_t flagged = check_report.FlaggedRows();
  return "\n\nThe check report flagged " + std::to_string(flagged) +
         (flagged == 1 ? " row." : " rows.") +
         (adjustment_summary.empty() ? std::string() : "\n" + adjustment_summary);
}

}  // namespace fenwix

namespace fenwix {

std::string ConvertDialog::WarningSummary() const {
  if (!run_checks || reading_warnings.count() == 0) return std::string();
  const int64_t count = reading_warnings.count();
  return "\n\n" + std::to_string(count) + (count == 1 ? " warning" : " warnings") +
         ": see the check report.";
}

}  // namespace fenwix

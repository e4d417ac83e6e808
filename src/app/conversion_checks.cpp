// The check step that ends a conversion, kept apart from the conversion driver.

#include <algorithm>
#include <cstdint>
#include <new>

#include "adjust/input_from_tables.h"
#include "adjust/network_adjustment.h"
#include "adjust/seed_check.h"
#include "app/conversion_steps.h"
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

namespace {

MemoryStep planted_shortage = MemoryStep::None;

}  // namespace

void SetMemoryShortageForTesting(MemoryStep step) {
  planted_shortage = step;
}

void PlantedShortage(MemoryStep step) {
  if (step != MemoryStep::None && step == planted_shortage) throw std::bad_alloc();
}

void ConversionSteps::RunChecksOnTables(const RecordWeights& weights) {
  const NamedWeightProfile& profile = request_.weight_profile;
  CheckInput input;
  input.tables = &run_.tables;
  input.log = &run_.reading_log;
  input.files = run_.xml_paths;
  input.warnings = &run_.reading_warnings;
  input.seed_name = run_.seed_name;
  input.approx_computed = run_.result.approx_computed;
  input.frame_latitude = DmsToRadians(request_.seed_latitude);
  input.frame_longitude = DmsToRadians(request_.seed_longitude);
  // A budget of 0 steps is none at all.
  input.step_budget = request_.max_steps > 0 ? request_.max_steps : INT32_MAX;
  input.step_budget_ended = run_.step_budget_ended;
  input.weights = &weights;
  CheckReport& report = run_.check_report;
  try {
    PlantedShortage(MemoryStep::Checks);
    // Each field file's instrument, the profile in use where the file names none.
    const auto& instruments = request_.file_instruments;
    input.instruments.assign(std::max<size_t>(1, instruments.size()), profile.profile.instrument);
    for (size_t file = 0; file < instruments.size(); ++file) {
      if (instruments[file]) input.instruments[file] = *instruments[file];
    }
    report = RunChecks(input, request_.check_limits);
    report.weighting = {profile};
    if (!profile.profile.instrument.NoCentering()) {
      report.sections.push_back(
          CentringGapSection(run_.centring_gaps, run_.tables, run_.reading_log));
    }
    if (!run_.name_replacements.empty()) {
      report.sections.push_back(NamesWrittenSection(run_.name_replacements));
    }
  } catch (const std::bad_alloc&) {
    // The output file is written; a report too large for memory is left out, and the summary
    // says so.
    report = CheckReport{};
    report.files = run_.xml_paths;
    report.job = JoinFileNames(run_.xml_paths);
    report.incomplete = true;
    report.short_of_memory = "the checks";
  }
}

void ConversionSteps::TestNetwork(const RecordWeights& weights) {
  try {
    PlantedShortage(MemoryStep::Test);
    run_.adjustment_input = InputFromTables(run_.tables, weights, run_.reading_log, true);
    if (request_.refraction) run_.adjustment_input.refraction = *request_.refraction;
    const AdjustmentInput& input = run_.adjustment_input;
    AdjustmentOptions options;
    options.estimate_refraction = !request_.refraction.has_value();
    options.memory_budget = request_.adjustment_memory_budget;
    options.precision.confidence = request_.precision_confidence;
    options.relative_standard = {request_.relative_mm, request_.relative_ppm};
    for (size_t s = 0; s < input.stations.size() && !request_.precision_datum.empty(); ++s) {
      if (input.stations[s].name == request_.precision_datum)
        options.precision.datum_station = static_cast<int32_t>(s);
    }
    double done = 0.0;
    bool stopped = false;
    options.progress = [&](int percent) { done = percent / 100.0; };
    options.cancelled = [&] {
      stopped = stopped || !ui_.ReportProgress(RunPhase::Testing, done);
      return stopped;
    };
    run_.adjustment_result = AdjustNetwork(input, options);
    // Where the seed disagrees beyond one run's reach, the test runs again from each slip's
    // position.
    SeedGiven seed{request_.seed_latitude, request_.seed_longitude, -1};
    for (size_t s = 0; s < input.stations.size() && !run_.seed_name.empty(); ++s) {
      if (input.stations[s].name == run_.seed_name) seed.station = static_cast<int32_t>(s);
    }
    const SeedRerun rerun = [&](double latitude,
                                double longitude) -> std::optional<AdjustmentResult> {
      if (stopped) return std::nullopt;
      AdjustmentOptions again = options;
      again.tilt_start = {latitude, longitude};
      AdjustmentResult result = AdjustNetwork(input, again);
      if (result.outcome == AdjustmentOutcome::Cancelled) return std::nullopt;
      return result;
    };
    run_.seed_check = CheckSeed(run_.adjustment_result, seed, request_.seed_tolerance, rerun);
    // The test only reports progress when it asks about Cancel; its end shows as the end.
    if (!stopped) ui_.ReportProgress(RunPhase::Testing, 1.0);
    AddAdjustmentSections(input, run_.adjustment_result, run_.reading_log, run_.check_report);
    AddSeedCheckSection(run_.seed_check, run_.check_report);
    NoteUnusedPrecisionDatum(request_.precision_datum, run_.adjustment_result, run_.check_report);
    run_.adjustment_summary = run_.check_report.summary;
  } catch (const std::bad_alloc&) {
    // The output file and the other checks stand; only the test is missing.
    run_.adjustment_input = AdjustmentInput{};
    run_.adjustment_result = AdjustmentResult{};
    run_.seed_check = SeedCheck{};
    run_.adjustment_summary = "Adjustment test skipped: out of memory.";
    // The report says so itself; it lacks the test, so it is not written as a whole one.
    run_.check_report.summary = run_.adjustment_summary;
    run_.check_report.short_of_memory = "the adjustment test";
  }
}

std::string CheckSummary(const ConversionRequest& request, const ConversionRun& run) {
  if (!request.run_checks) return std::string();
  const CheckReport& report = run.check_report;
  if (report.incomplete) {
    return "\n\nThe check report could not be made: out of memory in " + report.short_of_memory +
           ".";
  }
  const int64_t flagged = report.FlaggedRows();
  return "\n\nThe check report flagged " + std::to_string(flagged) +
         (flagged == 1 ? " row." : " rows.") +
         (run.adjustment_summary.empty() ? std::string() : "\n" + run.adjustment_summary);
}

std::string WarningSummary(const ConversionRequest& request, const ConversionRun& run) {
  if (!request.run_checks || run.reading_warnings.count() == 0) return std::string();
  const int64_t count = run.reading_warnings.count();
  return "\n\n" + std::to_string(count) + (count == 1 ? " warning" : " warnings") +
         ": see the check report.";
}

}  // namespace fenwix

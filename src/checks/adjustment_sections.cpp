#include "checks/adjustment_sections.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <string_view>
#include <unordered_set>

#include <fmt/format.h>

#include "checks/adjustment_tracing.h"
#include "checks/check_support.h"
#include "checks/run_checks.h"
#include "model/units.h"

namespace fenwix {

namespace {

using check_support::MM_PER_M;
using check_support::NO_VALUE;

// "slope distance", or "slope distances" for a group.
std::string KindWords(AdjustedKind kind, bool group = false) {
  const char* words = "";
  switch (kind) {
    case AdjustedKind::GnssVector:
      words = "GNSS vector";
      break;
    case AdjustedKind::HorizontalAngle:
      words = "horizontal angle";
      break;
    case AdjustedKind::Zenith:
      words = "zenith angle";
      break;
    case AdjustedKind::SlopeDistance:
      words = "slope distance";
      break;
  }
  return group ? std::string(words) + "s" : std::string(words);
}

bool Angular(AdjustedKind kind) {
  return kind == AdjustedKind::HorizontalAngle || kind == AdjustedKind::Zenith;
}

// A value of an observation's kind in the report's unit: arc-seconds or millimetres.
double InUnit(AdjustedKind kind, double value) {
  return Angular(kind) ? value * ARC_SECONDS_PER_RADIAN : value * MM_PER_M;
}

const char* Unit(AdjustedKind kind) {
  return Angular(kind) ? "\u2033" : " mm";
}

// "horizontal angles behave like 2.1″, the profile says 1″"; vectors as a factor on their
// covariances.
std::string GroupSentence(const GroupFactor& g) {
  if (g.kind == AdjustedKind::GnssVector) {
    return fmt::format("{} behave like {:.1f} times their standard deviations",
                       KindWords(g.kind, true), g.factor);
  }
  const double said = InUnit(g.kind, g.typical_sd);
  return fmt::format("{} behave like {:.1f}{}, the profile says {:g}{}", KindWords(g.kind, true),
                     g.factor * said, Unit(g.kind), said, Unit(g.kind));
}

std::vector<std::string> StationsOf(const AdjustmentInput& input,
                                    const AdjustmentObservation& obs) {
  std::vector<std::string> names{input.stations[static_cast<size_t>(obs.at)].name,
                                 input.stations[static_cast<size_t>(obs.fore)].name};
  if (obs.kind == AdjustedKind::HorizontalAngle) {
    names.push_back(input.stations[static_cast<size_t>(obs.back)].name);
  }
  return names;
}

// The component of a vector with the largest |w|, else 0.
size_t WorstComponent(const ObservationTest& t, AdjustedKind kind) {
  size_t worst = 0;
  if (kind != AdjustedKind::GnssVector) return 0;
  for (size_t k = 1; k < 3; ++k) {
    if (std::abs(t.w[k]) > std::abs(t.w[worst])) worst = k;
  }
  return worst;
}

std::string TestNote(const AdjustedKind kind, const ObservationTest& t) {
  const size_t k = WorstComponent(t, kind);
  const char* component = kind == AdjustedKind::GnssVector ? (k == 0   ? " dX"
                                                              : k == 1 ? " dY"
                                                                       : " dZ")
                                                           : "";
  return fmt::format("{}{} w {:.1f}, r {:.2f}, MDB {:.1f}{}, estimated error {:.1f}{}",
                     KindWords(kind), component, t.w_whole, t.r[k], InUnit(kind, t.mdb[k]),
                     Unit(kind), InUnit(kind, t.estimated_error[k]), Unit(kind));
}

const char* OutcomeWords(AdjustmentOutcome outcome) {
  switch (outcome) {
    case AdjustmentOutcome::Done:
      return "";
    case AdjustmentOutcome::NothingToTest:
      return "Adjustment test: no observation between stations with approximate coordinates.";
    case AdjustmentOutcome::OverBudget:
      return "Adjustment test skipped: the job's normal equations would pass the memory budget.";
    case AdjustmentOutcome::Cancelled:
      return "Adjustment test cancelled.";
    case AdjustmentOutcome::NotConverged:
      return "Adjustment test stopped: the adjustment did not settle.";
    case AdjustmentOutcome::Unweighted:
      return "Adjustment test not run: ";
  }
  return "";
}

}  // namespace

std::string AdjustmentSummary(const AdjustmentResult& result) {
  if (result.outcome != AdjustmentOutcome::Done) {
    std::string text = OutcomeWords(result.outcome);
    if (result.outcome == AdjustmentOutcome::OverBudget) {
      text += fmt::format(" ({:.0f} MB predicted)", result.predicted_bytes / 1048576.0);
    }
    if (result.outcome == AdjustmentOutcome::Unweighted) {
      text += result.unweighted + "; give each a value above 0 to test the job.";
    }
    return text;
  }
  // A job with no redundancy left (a small one, or after data snooping) has no σ₀ to test and
  // no group to judge: saying "passed" there would read as checked.
  if (result.degrees_of_freedom < 0.5) {
    return fmt::format(
        "Adjustment test: no degrees of freedom are left, so there is no global "
        "test; {} {} rejected.",
        result.rejected.size(), result.rejected.size() == 1 ? "observation" : "observations");
  }
  std::string text = fmt::format(
      "Adjustment test: the global test {} (estimated \u03c3\u2080 {:.2f}, {} degrees of freedom)",
      result.global_passed ? "passed" : "failed", result.sigma0, result.degrees_of_freedom);
  for (const GroupFactor& g : result.groups) {
    if (g.redundancy >= 0.5) text += "; " + GroupSentence(g);
  }
  text += fmt::format("; {} {} rejected", result.rejected.size(),
                      result.rejected.size() == 1 ? "observation" : "observations");
  // A clean line must not read as "every observation checked" where some cannot be.
  const auto uncontrolled = std::count_if(
      result.observations.begin(), result.observations.end(),
      [](const ObservationTest& t) { return t.active && t.r_min < UNCONTROLLED_REDUNDANCY; });
  if (uncontrolled > 0) {
    text += fmt::format("; {} uncontrolled (r below {})", uncontrolled, UNCONTROLLED_REDUNDANCY);
  }
  return text + ".";
}

void AddAdjustmentSections(const AdjustmentInput& input, const AdjustmentResult& result,
                           const ReadingLog& log, CheckReport& report) {
  CheckSection adjustment;
  adjustment.name = "adjustment";
  adjustment.title = "Adjustment test";
  // Without a w-test there is no critical value to speak of.
  const std::string rejection =
      result.tests > 0
          ? fmt::format(
                "an observation is rejected when its |w| passes {:.2f}, the critical value of {} "
                "tests at a family-wise 5 %, the largest first, at most {} rounds",
                result.critical_w, result.tests, result.max_rounds)
          : std::string("no observation was w-tested, so none is rejected");
  adjustment.rule = fmt::format(
      "a free-network adjustment of the whole job with the weights of the adjustment file "
      "(a priori \u03c3\u2080 = 1), each part's datum held by one station; {}; station "
      "precision is relative to the datum",
      rejection);
  adjustment.columns = {{"w", 1}, {"r", 2}, {"MDB", 1}, {"error", 1}};
  const auto summary_row = [&](std::string note) {
    CheckRow& row = adjustment.rows.emplace_back();
    row.values = {NO_VALUE, NO_VALUE, NO_VALUE, NO_VALUE};
    row.note = std::move(note);
  };
  // The section's title already says whose line it is.
  std::string summary = AdjustmentSummary(result);
  constexpr std::string_view PREFIX = "Adjustment test: ";
  if (summary.starts_with(PREFIX)) summary.erase(0, PREFIX.size());
  summary_row(summary);
  if (result.round_limit_reached) summary_row("data snooping stopped at its round limit");
  if (!result.stations_without_position.empty()) {
    std::string names;
    for (int32_t s : result.stations_without_position) {
      if (!names.empty()) names += ", ";
      names += input.stations[static_cast<size_t>(s)].name;
    }
    summary_row("left out, without approximate coordinates: " + names);
  }
  if (!result.undetermined_stations.empty()) {
    summary_row(fmt::format("{} stations left out: their observations do not fix them",
                            result.undetermined_stations.size()));
  }
  CheckSection uncontrolled;
  uncontrolled.name = "uncontrolled";
  uncontrolled.title = "Uncontrolled observations";
  uncontrolled.rule =
      "never; the redundancy number r is below 0.1: a blunder in these cannot be found by the "
      "network, so no suspect here does not mean checked";
  uncontrolled.columns = {{"r", 2}};
  std::vector<CheckRow> suspects;
  for (int32_t i : result.rejected) {
    const ObservationTest& t = result.observations[static_cast<size_t>(i)];
    const AdjustmentObservation& obs = input.observations[static_cast<size_t>(i)];
    const AdjustedKind kind = obs.kind;
    const size_t k = WorstComponent(t, kind);
    CheckRow row;
    row.stations = StationsOf(input, obs);
    row.observations = {obs.record};
    row.sources = {obs.source};
    row.flagged = true;
    row.ratio = std::abs(t.w_whole) / result.critical_w;
    row.note = TestNote(kind, t);
    // One reading per row where the network can tell which.
    if (const auto traced = TraceToReading(input, result, log, i)) {
      row.sources = {traced->source};
      row.note += fmt::format("; {} is farthest off ({:.1f} \u03c3)", traced->words,
                              std::abs(traced->deviation));
    }
    row.values = {t.w_whole, t.r[k], InUnit(kind, t.mdb[k]), InUnit(kind, t.estimated_error[k])};
    adjustment.rows.push_back(row);
    // Among the suspects the note says who names the observation.
    CheckRow suspect = row;
    suspect.note = "adjustment test: " + row.note;
    suspect.values.clear();
    suspects.push_back(std::move(suspect));
  }
  if (result.outcome == AdjustmentOutcome::Done) {
    for (size_t i = 0; i < result.observations.size(); ++i) {
      const ObservationTest& t = result.observations[i];
      if (!t.active || t.r_min >= UNCONTROLLED_REDUNDANCY) continue;
      if (uncontrolled.rows.size() == MAX_PASSING_ROWS) {
        ++uncontrolled.unlisted_rows;
        continue;
      }
      const AdjustmentObservation& obs = input.observations[i];
      CheckRow& row = uncontrolled.rows.emplace_back();
      row.stations = StationsOf(input, obs);
      row.observations = {obs.record};
      row.sources = {obs.source};
      row.values = {t.r_min};
      row.note = KindWords(obs.kind);
    }
  }
  // The report opens with the test's summary.
  report.sections.insert(report.sections.begin(), std::move(adjustment));
  report.sections.push_back(std::move(uncontrolled));
  report.summary = AdjustmentSummary(result);
  CheckSection* found = nullptr;
  for (CheckSection& section : report.sections) {
    if (section.name == SUSPECTS_SECTION) found = &section;
  }
  if (found != nullptr && result.outcome == AdjustmentOutcome::Done) {
    // The network has judged every record it adjusted: a suspect from the per-record checks
    // stays only where it names a record the test could not see, or readings that no record
    // carries (a closing backsight, a face pair whose mean is fine).
    std::unordered_set<int32_t> tested_records;
    for (size_t i = 0; i < result.observations.size(); ++i) {
      if (result.observations[i].active || result.observations[i].rejected_round > 0) {
        tested_records.insert(input.observations[i].record);
      }
    }
    std::set<SourceLocation> rejected_readings;
    for (const CheckRow& row : suspects) {
      rejected_readings.insert(row.sources.begin(), row.sources.end());
    }
    std::erase_if(found->rows, [&](const CheckRow& row) {
      const bool judged =
          !row.observations.empty() &&
          std::all_of(row.observations.begin(), row.observations.end(),
                      [&](int32_t record) { return tested_records.contains(record); });
      const bool named =
          !row.sources.empty() &&
          std::all_of(row.sources.begin(), row.sources.end(), [&](const SourceLocation& source) {
            return rejected_readings.contains(source);
          });
      return judged || named;
    });
    found->rule =
        "the observations the adjustment test rejects, in the order it rejects them, each "
        "traced to its reading farthest from the adjusted network; then what the adjustment "
        "cannot judge: " +
        found->rule;
  }
  if (suspects.empty()) {
    report.Index();
    return;
  }
  if (found == nullptr) {
    CheckSection& section = report.sections.emplace_back();
    section.name = std::string(SUSPECTS_SECTION);
    section.title = "Suspect observations";
    section.rule = "the observations the adjustment test rejects, in the order it rejects them";
    section.columns = {{"rows", 0}, {"dN mm", 1}, {"dE mm", 1}, {"dU mm", 1}, {"3D mm", 1}};
    found = &section;
  }
  for (CheckRow& row : suspects) {
    row.values.assign(found->columns.size(), NO_VALUE);
  }
  found->rows.insert(found->rows.begin(), suspects.begin(), suspects.end());
  report.Index();
}

}  // namespace fenwix

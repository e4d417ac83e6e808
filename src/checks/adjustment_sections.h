#pragma once
// The adjustment test in the check report: the section "adjustment" (its summary, the group
// factors and the rejected observations with w, r, MDB and estimated error), the section
// "uncontrolled" (observations whose redundancy number is below 0.1), and the rejected
// observations first among the suspects.

#include <string>
#include <vector>

#include "adjust/adjustment_input.h"
#include "adjust/network_adjustment.h"
#include "adjust/seed_check.h"
#include "checks/check_report.h"
#include "model/reading_log.h"

namespace fenwix {

// The one line that opens the report: the global test, σ̂0, the group factors and the
// rejections.
std::string AdjustmentSummary(const AdjustmentResult& result);

// The test's numbers as one JSON object: its constants (α, α0, β0, δ0, the critical value),
// the global tests before and after rejections, the groups and every observation with its
// residual, w, r, MDB, estimated error and the round that rejected it. A run that did not
// settle gives none of the test values. files names the field files by SourceLocation::file.
std::string AdjustmentTestJson(const AdjustmentInput& input, const AdjustmentResult& result,
                               const std::vector<std::string>& files);

// Rejected total-station records are traced to their reading farthest from the adjusted
// network (the log's readings); the report is indexed again.
void AddAdjustmentSections(const AdjustmentInput& input, const AdjustmentResult& result,
                           const ReadingLog& log, CheckReport& report);

// The seed check as a section of its own, after the adjustment test's, or leading the report
// (and its summary) when the seed disagrees with the network; and as adjustment_test.seed_check
// in the JSON form. Nothing when the check did not run.
void AddSeedCheckSection(const SeedCheck& check, CheckReport& report);

// Where the surveyor named a precision datum (name not empty) that no part of a settled test
// could stand on (not a station of a part with a GNSS vector), the report says so in its summary
// and the adjustment section: the precision is then on the parts' own datum.
void NoteUnusedPrecisionDatum(const std::string& name, const AdjustmentResult& result,
                              CheckReport& report);

}  // namespace fenwix

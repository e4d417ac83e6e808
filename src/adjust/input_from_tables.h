#pragma once
// The adjustment test's input from a conversion's tables: every record the adjustment file
// holds, under the names it is written with (merged stations under the station that stands for
// them), with the standard deviations the weights give it, rounded as the file writes them.

#include "adjust/adjustment_input.h"
#include "model/reading_log.h"
#include "model/survey_tables.h"
#include "weights/record_weights.h"

namespace fenwix {

// Stations are the rows of the station table (row 0 and merged rows never observed); a station
// has a position when approximate coordinates were computed and reached it.
AdjustmentInput InputFromTables(const SurveyTables& tables, const RecordWeights& weights,
                                const ReadingLog& log, bool approx_computed);

}  // namespace fenwix

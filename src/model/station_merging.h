#pragma once
// Merging of station names that denote the same ground point. Pairs of stations with known
// coordinates whose local north/east(/elevation) lie closer than a tolerance are offered to the
// person one at a time; a dropped station is marked with the index of the station that replaces
// it (merged_into) and takes no further part.

#include <cstdint>
#include <functional>

#include "model/merge_answer.h"
#include "model/records.h"
#include "model/survey_tables.h"

namespace fenwix {

// Pair-test result: the person pressed Cancel.
inline constexpr int32_t MERGE_CANCELLED = -100001;
// Pair-test result: no candidate, or the person answered that the stations are different.
inline constexpr int32_t MERGE_NONE = -100002;

// Asks whether two stations are the same point; first has the lower table index.
using SimilarStationsQuestion =
    std::function<MergeAnswer(const StationRecord& first, const StationRecord& second)>;

// Looks for the first station j > first (table order) that stands for itself, has known
// coordinates and lies strictly closer than tolerance (meters) to station first: horizontally
// when two_dimensional, otherwise in space, on the local north/east/elevation. Asks about the
// pair when there is one. Returns MERGE_NONE (no candidate, or "different"), MERGE_CANCELLED,
// -j (same point, keep first, drop j) or j (same point, keep j, drop first).
int32_t TestStationPair(const SurveyTables& tables, int32_t first, double tolerance,
                        bool two_dimensional, const SimilarStationsQuestion& ask);

// One merge pass over the table in ascending order: every station that stands for itself and
// has known coordinates is the first station of at most one question, about its first candidate
// (as TestStationPair finds it). A dropped station, and every station merged into it before,
// then points at the kept one. Returns false as soon as the person cancels (merges made so far
// stay), true otherwise.
bool MergeSimilarStations(SurveyTables& tables, double tolerance, bool two_dimensional,
                          const SimilarStationsQuestion& ask);

}  // namespace fenwix

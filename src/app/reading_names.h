#pragma once
// What the names of a conversion's field files say once they are all read: the answers about
// similar stations that name no station, and the names written in place of those a record cannot
// carry, as the check report lists them.

#include <string>
#include <vector>

#include "checks/check_report.h"
#include "model/merge_answer.h"
#include "model/reading_edits.h"
#include "model/station_names.h"
#include "model/survey_tables.h"

namespace fenwix {

// The names of the answers that no station of the tables has, each once, as one text
// ("\"P3\", \"P4\""); empty when every answer names stations that were read. A name that one
// of renames renames away counts as read.
std::string MergesNamingNoStation(const std::vector<PairAnswer>& answers,
                                  const SurveyTables& tables,
                                  const std::vector<NameChange>& renames);

// Identifier of the report's list of names written in place of others.
inline constexpr std::string_view NAMES_WRITTEN_SECTION = "names_written";

// One row per replaced name, in reading order: the written name, then the name read, where it
// was first read, and why. No row is flagged: each has its reading warning, which is.
CheckSection NamesWrittenSection(const NameReplacements& replacements);

}  // namespace fenwix

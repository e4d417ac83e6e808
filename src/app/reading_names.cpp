#include "app/reading_names.h"

#include <set>

namespace fenwix {

std::string MergesNamingNoStation(const std::vector<PairAnswer>& answers,
                                  const SurveyTables& tables,
                                  const std::vector<NameChange>& renames) {
  std::set<std::string> listed;
  // A name the job renames away was read; an answer given before the rename is moot, not wrong
  // (the dialog keeps the answers given before a rename in the same job).
  for (const NameChange& rename : renames) listed.insert(rename.from);
  std::string text;
  for (const PairAnswer& answer : answers) {
    for (const std::string* name : {&answer.keep, &answer.drop}) {
      if (tables.StationIndex(*name) != 0 || !listed.insert(*name).second) continue;
      if (!text.empty()) text += ", ";
      text += "\"" + VisibleName(*name) + "\"";
    }
  }
  return text;
}

CheckSection NamesWrittenSection(const NameReplacements& replacements) {
  CheckSection section;
  section.name = std::string(NAMES_WRITTEN_SECTION);
  section.title = "Station names written under another name";
  section.rule =
      "never; a name that holds the record separator \";\" or a control character, or is "
      "nothing but blanks, is written with \"" +
      std::string(1, NAME_REPLACEMENT) + "\" in place of each such character";
  for (const NameReplacement& replacement : replacements.replacements()) {
    CheckRow& row = section.rows.emplace_back();
    row.stations = {replacement.written, replacement.read};
    row.sources = {replacement.source};
    row.note = "\"" + VisibleName(replacement.read) + "\" " +
               std::string(NameFaultText(replacement.fault)) + ": written as " +
               replacement.written;
  }
  return section;
}

}  // namespace fenwix

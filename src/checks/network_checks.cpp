// Checks on the station graph and the station names: connected parts, stations named by one
// observation only, and names that differ only in how they were typed.

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <numeric>
#include <string>
#include <unordered_map>
#include <vector>

#include "checks/check_support.h"
#include "checks/network_graph.h"
#include "checks/run_checks.h"

namespace fenwix {

namespace {

using namespace check_support;

// Longest list of station names a part row carries when it is not flagged.
constexpr size_t PART_NAMES_LISTED = 20;

CheckSection ConnectivityCheck(const CheckInput& input, const NetworkGraph& graph) {
  const SurveyTables& tables = *input.tables;
  CheckSection section = MakeSection(
      "connectivity", "Connected parts",
      "a part that does not hold the seed (without a seed: every part but the largest)");
  section.columns = {{"stations", 0}};
  const int32_t seed = StationOf(tables, input.seed_name);
  std::vector<std::vector<int32_t>> parts(static_cast<size_t>(tables.station_count()));
  for (int32_t s = 1; s < tables.station_count(); ++s) {
    if (graph.Stands(s)) parts[static_cast<size_t>(graph.Part(s))].push_back(s);
  }
  int32_t main_part = seed != 0 ? graph.Part(seed) : 0;
  if (seed == 0) {
    size_t largest = 0;
    for (size_t p = 0; p < parts.size(); ++p) {
      if (parts[p].size() > largest) {
        largest = parts[p].size();
        main_part = static_cast<int32_t>(p);
      }
    }
  }
  for (size_t p = 0; p < parts.size(); ++p) {
    if (parts[p].empty()) continue;
    CheckRow& row = section.rows.emplace_back();
    row.flagged = static_cast<int32_t>(p) != main_part;
    row.values = {static_cast<double>(parts[p].size())};
    const size_t listed =
        row.flagged ? parts[p].size() : std::min(parts[p].size(), PART_NAMES_LISTED);
    for (size_t k = 0; k < listed; ++k) row.stations.push_back(NameOf(tables, parts[p][k]));
    if (row.flagged) {
      row.note = seed != 0 ? "not connected to the seed " + NameOf(tables, seed)
                           : "separate from the largest part";
    } else {
      row.note = seed != 0 ? "the seed's part" : "the largest part";
    }
  }
  return section;
}

CheckSection SeenOnceCheck(const CheckInput& input, const NetworkGraph& graph) {
  const SurveyTables& tables = *input.tables;
  CheckSection section =
      MakeSection("seen_once", "Stations seen once",
                  "a name in exactly one observation (often a mistyped target); a side shot, the "
                  "target of one sight from one setup, is listed but not flagged: nothing "
                  "controls it, and nothing in it is wrong for that");
  for (int32_t s = 1; s < tables.station_count(); ++s) {
    if (!graph.Stands(s) || graph.Uses(s) != 1) continue;
    const int32_t observation = graph.OnlyObservation(s);
    CheckRow& row = section.rows.emplace_back();
    row.stations = {NameOf(tables, s)};
    row.observations = {observation};
    row.sources = {input.log->record_source(observation)};
    const ObsRow& obs = tables.observations()[static_cast<size_t>(observation)];
    const std::string& other = tables.name(obs.kind == ObsKind::Sight ? obs.back : obs.fore);
    row.note = (obs.kind == ObsKind::GpsVector ? "only in the vector " : "only in the sight ") +
               tables.name(obs.at) + " - " + other;
    const bool side_shot = obs.kind != ObsKind::GpsVector && obs.fore == s;
    row.flagged = !side_shot;
    if (side_shot) row.note += " (a side shot, uncontrolled)";
  }
  return section;
}

// A name as it would read with letter case, surrounding blanks and leading zeros of its numbers
// taken away.
std::string LookAlikeKey(std::string_view name) {
  while (!name.empty() && std::isspace(static_cast<unsigned char>(name.front()))) {
    name.remove_prefix(1);
  }
  while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) {
    name.remove_suffix(1);
  }
  std::string key;
  key.reserve(name.size());
  for (size_t i = 0; i < name.size(); ++i) {
    const auto digit = [name](size_t k) {
      return std::isdigit(static_cast<unsigned char>(name[k])) != 0;
    };
    if (digit(i) && (i == 0 || !digit(i - 1))) {
      // A number: its leading zeros go, one digit at least stays.
      size_t end = i;
      while (end < name.size() && digit(end)) ++end;
      while (i + 1 < end && name[i] == '0') ++i;
      key.append(name.substr(i, end - i));
      i = end - 1;
      continue;
    }
    key.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(name[i]))));
  }
  return key;
}

CheckSection LookAlikeCheck(const CheckInput& input, const NetworkGraph& graph) {
  const SurveyTables& tables = *input.tables;
  CheckSection section =
      MakeSection("look_alike_names", "Look-alike names",
                  "names that differ only by letter case, surrounding blanks or leading zeros");
  std::unordered_map<std::string, std::vector<int32_t>> groups;
  std::vector<std::string> order;
  for (int32_t s = 1; s < tables.station_count(); ++s) {
    if (!graph.Stands(s)) continue;
    auto [it, added] = groups.try_emplace(LookAlikeKey(NameOf(tables, s)));
    if (added) order.push_back(it->first);
    it->second.push_back(s);
  }
  for (const std::string& key : order) {
    const std::vector<int32_t>& group = groups[key];
    if (group.size() < 2) continue;
    CheckRow& row = section.rows.emplace_back();
    for (const int32_t s : group) row.stations.push_back(NameOf(tables, s));
    row.flagged = true;
    row.note = "may be one point typed " + std::to_string(group.size()) + " ways";
  }
  return section;
}

}  // namespace

void CheckNetwork(const CheckInput& input, const NetworkGraph& graph, CheckReport& report) {
  report.sections.push_back(ConnectivityCheck(input, graph));
  report.sections.push_back(SeenOnceCheck(input, graph));
  report.sections.push_back(LookAlikeCheck(input, graph));
}

}  // namespace fenwix

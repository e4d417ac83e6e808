// Checks that need approximate coordinates: each slope distance and horizontal angle against
// the coordinates of its stations, and the stations the propagation did not reach.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "checks/check_support.h"
#include "checks/network_graph.h"
#include "checks/run_checks.h"
#include "geodesy/angles.h"
#include "geodesy/coordinates.h"
#include "geodesy/ellipsoid.h"

namespace fenwix {

namespace {

using namespace check_support;

struct Known {
  const StationRecord* station = nullptr;
  explicit operator bool() const { return station != nullptr; }
};

Known KnownStation(const SurveyTables& tables, int32_t row) {
  const int32_t s = StationOf(tables, row);
  if (s == 0) return {};
  const StationRecord& station = tables.stations()[static_cast<size_t>(s)];
  return station.coords_known ? Known{&station} : Known{};
}

AzimuthDistance Between(const StationRecord& from, double from_up, const StationRecord& to,
                        double to_up) {
  return AzimuthBetween(PROPAGATION_A, PropagationEccentricitySquared(), from.latitude,
                        from.longitude, from.height + from_up, to.latitude, to.longitude,
                        to.height + to_up);
}

// The angle at `at` turned from `back` to `fore`; NaN where a sight is to the station itself.
double Turned(Known at, Known back, Known fore) {
  if (!at || !back || !fore || back.station == at.station || fore.station == at.station) {
    return NO_VALUE;
  }
  return Between(*at.station, 0.0, *fore.station, 0.0).azimuth -
         Between(*at.station, 0.0, *back.station, 0.0).azimuth;
}

CheckSection GrossCheck(const CheckInput& input, const CheckLimits& limits,
                        const NetworkGraph& graph) {
  const SurveyTables& tables = *input.tables;
  CheckSection section = MakeSection(
      "gross_approx", "Observations against approximate coordinates",
      "slope distance off by more than gross_distance_m + gross_distance_ppm, or horizontal angle "
      "off by more than gross_angle_minutes (a station that one observation alone names is not "
      "checked: that observation placed it)");
  section.columns = {{"distance m", 3}, {"computed m", 3}, {"d dist m", 3}, {"d angle '", 1}};
  section.limits = {{"gross_distance_m", limits.gross_distance_m},
                    {"gross_distance_ppm", limits.gross_distance_ppm},
                    {"gross_angle_minutes", limits.gross_angle_minutes}};
  if (!input.approx_computed) return section;
  const auto& observations = tables.observations();
  for (size_t r = 1; r < observations.size(); ++r) {
    const ObsRow& obs = observations[r];
    if (obs.kind != ObsKind::AngleSet && obs.kind != ObsKind::Sight) continue;
    const Known at = KnownStation(tables, obs.at);
    const int32_t target_row = obs.kind == ObsKind::Sight ? obs.back : obs.fore;
    const Known target = KnownStation(tables, target_row);
    if (!at || !target || at.station == target.station) continue;
    // A station named by this observation alone was placed by it: the coordinates can only
    // repeat it.
    if (graph.Uses(StationOf(tables, target_row)) == 1) continue;
    const double ih = Given(obs.instr_height()) ? obs.instr_height() : 0.0;
    const double th = Given(obs.target_height()) ? obs.target_height() : 0.0;
    double distance = NO_VALUE;
    double computed = NO_VALUE;
    double distance_off = NO_VALUE;
    double angle_off = NO_VALUE;
    if (Given(obs.slope_dist())) {
      distance = obs.slope_dist();
      computed = Between(*at.station, ih, *target.station, th).slope_distance;
      distance_off = distance - computed;
    }
    if (obs.kind == ObsKind::AngleSet && Given(obs.horiz_angle())) {
      const double turned = Turned(at, KnownStation(tables, obs.back), target);
      if (!std::isnan(turned)) {
        angle_off = std::remainder(obs.horiz_angle() - turned, TWO_PI) * MINUTES_PER_RADIAN;
      }
    }
    if (std::isnan(distance_off) && std::isnan(angle_off)) continue;
    CheckRow& row = section.rows.emplace_back();
    row.stations = {tables.name(obs.at), tables.name(target_row)};
    if (obs.kind == ObsKind::AngleSet) row.stations.push_back(tables.name(obs.back));
    row.observations = {static_cast<int32_t>(r)};
    row.sources = {input.log->record_source(static_cast<int32_t>(r))};
    row.values = {distance, computed, distance_off, angle_off};
    const double distance_limit =
        limits.gross_distance_m + limits.gross_distance_ppm * std::fabs(computed) / PER_MILLION;
    const bool distance_flag =
        !std::isnan(distance_off) && std::fabs(distance_off) > distance_limit;
    const bool angle_flag =
        !std::isnan(angle_off) && std::fabs(angle_off) > limits.gross_angle_minutes;
    if (!std::isnan(distance_off)) row.ratio = Ratio(std::fabs(distance_off), distance_limit);
    if (!std::isnan(angle_off)) {
      row.ratio = std::max(row.ratio, Ratio(std::fabs(angle_off), limits.gross_angle_minutes));
    }
    row.flagged = distance_flag || angle_flag;
    if (row.flagged) {
      row.note = distance_flag ? "distance disagrees with the coordinates"
                               : "angle disagrees with the coordinates";
    }
  }
  return section;
}

// What the total-station setups say of the stations that even the whole-network run left
// without coordinates: the known stations each setup sighted, and which stations the angle
// sets and single sights join.
class SetupReach {
 public:
  explicit SetupReach(const SurveyTables& tables)
      : tables_(tables), linked_(static_cast<size_t>(tables.station_count())) {
    const auto observations = tables.observations();
    for (size_t r = 1; r < observations.size(); ++r) {
      const ObsRow& obs = observations[r];
      if (obs.kind != ObsKind::AngleSet && obs.kind != ObsKind::Sight) continue;
      const int32_t at = StationOf(tables, obs.at);
      if (at == 0) continue;
      setups_.insert(at);
      for (const int32_t row : {obs.back, obs.kind == ObsKind::AngleSet ? obs.fore : 0}) {
        const int32_t t = StationOf(tables, row);
        if (t == 0 || t == at) continue;
        linked_[static_cast<size_t>(at)].insert(t);
        linked_[static_cast<size_t>(t)].insert(at);
        if (Known(t)) sighted_[at].insert(t);
      }
    }
  }

  // The note of a station not computed, or "" when the setups have nothing particular to say.
  std::string Note(int32_t s) const {
    // A point sighted only: its setups' rows tell what they lack.
    if (setups_.count(s) == 0) return {};
    const auto found = sighted_.find(s);
    const size_t known = found == sighted_.end() ? 0 : found->second.size();
    if (known >= 2) {
      return "the known points sighted do not fit its angles and distances (a wrong name, a "
             "blunder, or a resection near the circle through them)";
    }
    if (known == 1 && !InChain(s)) return "one known point sighted; a free station needs two";
    // A chain of setups through stations not computed that ends on one known station. Every
    // station of the chain shares the answer, found once.
    if (chain_ends_.count(s) == 0) {
      std::vector<int32_t> chain{s};
      std::set<int32_t> seen{s};
      std::set<int32_t> ends;
      for (size_t i = 0; i < chain.size(); ++i) {
        for (const int32_t t : linked_[static_cast<size_t>(chain[i])]) {
          if (Known(t)) {
            ends.insert(t);
          } else if (seen.insert(t).second) {
            chain.push_back(t);
          }
        }
      }
      for (const int32_t u : chain) chain_ends_[u] = ends.size();
    }
    const size_t ends = chain_ends_.at(s);
    if (ends == 1) return "traverse open at one end: no known orientation";
    return {};
  }

 private:
  bool Known(int32_t s) const { return tables_.stations()[static_cast<size_t>(s)].coords_known; }
  // Whether the setup at s sights another setup still without coordinates.
  bool InChain(int32_t s) const {
    const auto& next = linked_[static_cast<size_t>(s)];
    return std::any_of(next.begin(), next.end(),
                       [&](int32_t t) { return !Known(t) && setups_.count(t) != 0; });
  }

  const SurveyTables& tables_;
  std::vector<std::set<int32_t>> linked_;
  std::set<int32_t> setups_;
  std::map<int32_t, std::set<int32_t>> sighted_;
  mutable std::map<int32_t, size_t> chain_ends_;
};

CheckSection NotComputedCheck(const CheckInput& input, const NetworkGraph& graph) {
  const SurveyTables& tables = *input.tables;
  CheckSection section =
      MakeSection("not_computed", "Stations not computed",
                  "every station without approximate coordinates, with the reason");
  if (input.seed_name.empty() || !input.approx_computed) return section;
  const int32_t seed = StationOf(tables, input.seed_name);
  int32_t known = 0;
  for (int32_t s = 1; s < tables.station_count(); ++s) {
    if (graph.Stands(s) && tables.stations()[static_cast<size_t>(s)].coords_known) ++known;
  }
  // Without a step budget the setups were fitted as frames, so a station left out is missing
  // something that its setups can name.
  const bool whole_network = input.step_budget == INT32_MAX;
  std::optional<SetupReach> reach;
  if (whole_network) reach.emplace(tables);
  for (int32_t s = 1; s < tables.station_count(); ++s) {
    if (!graph.Stands(s) || tables.stations()[static_cast<size_t>(s)].coords_known) continue;
    CheckRow& row = section.rows.emplace_back();
    row.stations = {NameOf(tables, s)};
    row.flagged = true;
    const auto& neighbours = graph.Neighbours(s);
    const bool next_to_known = std::any_of(
        neighbours.begin(), neighbours.end(),
        [&tables](int32_t n) { return tables.stations()[static_cast<size_t>(n)].coords_known; });
    if (seed == 0 || graph.Part(s) != graph.Part(seed)) {
      row.note = "not connected to the seed";
    } else if (known > input.step_budget || input.step_budget_ended) {
      row.note = "the step budget ended first";
    } else if (std::string why = whole_network ? reach->Note(s) : std::string(); !why.empty()) {
      row.note = std::move(why);
    } else if (next_to_known) {
      row.note = "reached by nothing usable (one azimuth, two distances, a refused intersection)";
    } else {
      row.note = "reached only through stations not computed";
    }
  }
  return section;
}

}  // namespace

double CoordinateAngle(const SurveyTables& tables, int32_t at, int32_t back, int32_t fore) {
  return Turned(KnownStation(tables, at), KnownStation(tables, back), KnownStation(tables, fore));
}

void CheckApproxCoordinates(const CheckInput& input, const CheckLimits& limits,
                            const NetworkGraph& graph, CheckReport& report) {
  report.sections.push_back(GrossCheck(input, limits, graph));
  report.sections.push_back(NotComputedCheck(input, graph));
}

}  // namespace fenwix

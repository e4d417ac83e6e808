#include "model/station_merging.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <vector>

namespace fenwix {

namespace {

// Cells are made this much wider than the tolerance, so that two stations closer than the
// tolerance always fall into the same or adjacent cells despite the rounding of the division.
constexpr double CELL_WIDENING = 1.0001;
// Largest cell number used; beyond it (a tolerance tiny against the coordinates) the cell
// numbers would lose their integer precision, and the pass compares every pair instead.
constexpr double MAX_CELL_NUMBER = 1e15;

bool TakesPart(const StationRecord& station) {
  return station.merged_into == STATION_NOT_MERGED && station.coords_known;
}

// The distance of the pair test, in the order of its terms, so that the grid and the plain scan
// agree to the last bit.
double PairDistance(const StationRecord& first, const StationRecord& other, bool two_dimensional) {
  const double dn = other.north - first.north;
  const double de = other.east - first.east;
  const double du = other.elevation - first.elevation;
  return two_dimensional ? std::sqrt(dn * dn + de * de) : std::sqrt(dn * dn + de * de + du * du);
}

bool IsCandidate(const SurveyTables& tables, int32_t first, int32_t other, double tolerance,
                 bool two_dimensional) {
  const StationRecord& station = tables.stations()[static_cast<size_t>(other)];
  return TakesPart(station) && PairDistance(tables.stations()[static_cast<size_t>(first)], station,
                                            two_dimensional) < tolerance;
}

// First candidate after `first` by walking the rest of the table.
int32_t ScanForCandidate(const SurveyTables& tables, int32_t first, double tolerance,
                         bool two_dimensional) {
  for (int32_t j = first + 1; j < tables.station_count(); ++j) {
    if (IsCandidate(tables, first, j, tolerance, two_dimensional)) return j;
  }
  return 0;
}

int32_t Ask(const SurveyTables& tables, int32_t first, int32_t candidate,
            const SimilarStationsQuestion& ask) {
  switch (ask(tables.stations()[static_cast<size_t>(first)],
              tables.stations()[static_cast<size_t>(candidate)])) {
    case MergeAnswer::Cancel:
      return MERGE_CANCELLED;
    case MergeAnswer::Different:
      return MERGE_NONE;
    case MergeAnswer::SameKeepFirst:
      return -candidate;
    case MergeAnswer::SameKeepSecond:
      return candidate;
  }
  return MERGE_NONE;
}

// The stations that take part, bucketed by square cells of the north/east plane, each bucket
// in table order. A station's candidates lie in its own cell or the eight around it (the 3D
// distance is never shorter than the horizontal one), so a pass costs about the stations and
// their close neighbours instead of every pair.
class NearbyStations {
 public:
  NearbyStations(const SurveyTables& tables, double tolerance) : cell_(tolerance * CELL_WIDENING) {
    for (int32_t i = 1; i < tables.station_count(); ++i) {
      const StationRecord& station = tables.stations()[static_cast<size_t>(i)];
      if (!TakesPart(station)) continue;
      // A station without finite coordinates is never closer than anything.
      if (!std::isfinite(station.north) || !std::isfinite(station.east)) continue;
      const double cn = std::floor(station.north / cell_);
      const double ce = std::floor(station.east / cell_);
      if (!(std::fabs(cn) < MAX_CELL_NUMBER && std::fabs(ce) < MAX_CELL_NUMBER)) {
        usable_ = false;
        return;
      }
      cells_[Key{static_cast<int64_t>(cn), static_cast<int64_t>(ce)}].push_back(i);
    }
  }

  bool usable() const { return usable_; }

  int32_t FirstCandidate(const SurveyTables& tables, int32_t first, double tolerance,
                         bool two_dimensional) const {
    const StationRecord& station = tables.stations()[static_cast<size_t>(first)];
    if (!std::isfinite(station.north) || !std::isfinite(station.east)) return 0;
    const auto cn = static_cast<int64_t>(std::floor(station.north / cell_));
    const auto ce = static_cast<int64_t>(std::floor(station.east / cell_));
    int32_t best = 0;
    for (int64_t dn = -1; dn <= 1; ++dn) {
      for (int64_t de = -1; de <= 1; ++de) {
        const auto cell = cells_.find(Key{cn + dn, ce + de});
        if (cell == cells_.end()) continue;
        const std::vector<int32_t>& members = cell->second;
        for (auto j = std::upper_bound(members.begin(), members.end(), first);
             j != members.end() && (best == 0 || *j < best); ++j) {
          if (IsCandidate(tables, first, *j, tolerance, two_dimensional)) {
            best = *j;
            break;
          }
        }
      }
    }
    return best;
  }

 private:
  struct Key {
    int64_t north;
    int64_t east;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    size_t operator()(const Key& k) const {
      return std::hash<int64_t>{}(k.north) * 1000003u ^ std::hash<int64_t>{}(k.east);
    }
  };
  double cell_;
  bool usable_ = true;
  std::unordered_map<Key, std::vector<int32_t>, KeyHash> cells_;
};

// Marks `dropped` as replaced by `kept`, and moves every station that pointed at `dropped` over
// to `kept`, so that merged_into always names a station that stands for itself.
void Repoint(SurveyTables& tables, std::vector<std::vector<int32_t>>& merged_here, int32_t dropped,
             int32_t kept) {
  tables.station(dropped).merged_into = kept;
  std::vector<int32_t>& moved = merged_here[static_cast<size_t>(dropped)];
  std::vector<int32_t>& target = merged_here[static_cast<size_t>(kept)];
  for (const int32_t s : moved) {
    tables.station(s).merged_into = kept;
    target.push_back(s);
  }
  target.push_back(dropped);
  moved.clear();
  moved.shrink_to_fit();
}

}  // namespace

int32_t TestStationPair(const SurveyTables& tables, int32_t first, double tolerance,
                        bool two_dimensional, const SimilarStationsQuestion& ask) {
  if (first < 1 || first >= tables.station_count()) return MERGE_NONE;
  const int32_t candidate = ScanForCandidate(tables, first, tolerance, two_dimensional);
  if (candidate == 0) return MERGE_NONE;
  return Ask(tables, first, candidate, ask);
}

bool MergeSimilarStations(SurveyTables& tables, double tolerance, bool two_dimensional,
                          const SimilarStationsQuestion& ask) {
  // A distance is never below zero (nor below NaN), so nothing can be offered.
  if (!(tolerance > 0.0)) return true;
  const NearbyStations nearby(tables, tolerance);

  // Who points at whom, so that re-pointing after a merge touches only those stations.
  std::vector<std::vector<int32_t>> merged_here(static_cast<size_t>(tables.station_count()));
  for (int32_t s = 1; s < tables.station_count(); ++s) {
    const int32_t into = tables.stations()[static_cast<size_t>(s)].merged_into;
    if (into >= 1 && into < tables.station_count()) {
      merged_here[static_cast<size_t>(into)].push_back(s);
    }
  }

  // The last station is never the first of a pair.
  for (int32_t i = 1; i < tables.station_count() - 1; ++i) {
    if (!TakesPart(tables.stations()[static_cast<size_t>(i)])) continue;
    const int32_t candidate = nearby.usable()
                                  ? nearby.FirstCandidate(tables, i, tolerance, two_dimensional)
                                  : ScanForCandidate(tables, i, tolerance, two_dimensional);
    if (candidate == 0) continue;
    const int32_t result = Ask(tables, i, candidate, ask);
    if (result == MERGE_CANCELLED) return false;
    if (result == MERGE_NONE) continue;
    if (result < 0) {
      Repoint(tables, merged_here, -result, i);
    } else {
      Repoint(tables, merged_here, i, result);
    }
  }
  return true;
}

}  // namespace fenwix

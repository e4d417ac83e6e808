#include "approx/observation_index.h"

#include <algorithm>
#include <numeric>

namespace fenwix {

ObservationIndex::ObservationIndex(const SurveyTables& tables) {
  const std::span<const ObsRow> observations = tables.observations();
  links_.resize(observations.size());
  for (size_t r = 1; r < observations.size(); ++r) {
    const ObsRow& obs = observations[r];
    if (obs.kind != ObsKind::GpsVector && obs.kind != ObsKind::AngleSet) continue;
    Links& links = links_[r];
    links.from = obs.at;
    links.target = obs.fore;
    if (obs.kind == ObsKind::AngleSet) links.reference = obs.back;
  }
  const int32_t stations = tables.station_count();
  Build(stations_, stations);
  Build(from_target_, stations, &Links::target);
  Build(from_reference_, stations, &Links::reference);
}

void ObservationIndex::Build(PerStation& lists, int32_t station_count) {
  lists.start.assign(static_cast<size_t>(station_count) * ROLES + 1, 0);
  for (const Links& links : links_) {
    if (links.from > 0) ++lists.start[Slot(links.from, AS_FROM) + 1];
    if (links.target > 0) ++lists.start[Slot(links.target, AS_TARGET) + 1];
    if (links.reference > 0) ++lists.start[Slot(links.reference, AS_REFERENCE) + 1];
  }
  std::partial_sum(lists.start.begin(), lists.start.end(), lists.start.begin());
  lists.entries.resize(static_cast<size_t>(lists.start.back()));
  std::vector<int64_t> next(lists.start.begin(), lists.start.end() - 1);
  for (size_t r = 0; r < links_.size(); ++r) {
    const Links& links = links_[r];
    const Entry entry{links, static_cast<int32_t>(r)};
    if (links.from > 0) {
      lists.entries[static_cast<size_t>(next[Slot(links.from, AS_FROM)]++)] = entry;
    }
    if (links.target > 0) {
      lists.entries[static_cast<size_t>(next[Slot(links.target, AS_TARGET)]++)] = entry;
    }
    if (links.reference > 0) {
      lists.entries[static_cast<size_t>(next[Slot(links.reference, AS_REFERENCE)]++)] = entry;
    }
  }
}

void ObservationIndex::Build(PerPair& pairs, int32_t station_count, int32_t Links::*second) {
  pairs.start.assign(static_cast<size_t>(station_count) + 1, 0);
  for (const Links& links : links_) {
    if (links.from > 0 && links.*second > 0) ++pairs.start[static_cast<size_t>(links.from) + 1];
  }
  std::partial_sum(pairs.start.begin(), pairs.start.end(), pairs.start.begin());
  std::vector<std::pair<int32_t, int32_t>> grouped(static_cast<size_t>(pairs.start.back()));
  std::vector<int32_t> next(pairs.start.begin(), pairs.start.end() - 1);
  for (size_t r = 0; r < links_.size(); ++r) {
    const Links& links = links_[r];
    if (links.from > 0 && links.*second > 0) {
      grouped[static_cast<size_t>(next[static_cast<size_t>(links.from)]++)] = {
          links.*second, static_cast<int32_t>(r)};
    }
  }
  // Sorting each station's few records, rather than all records by pair, keeps the work near
  // linear and the memory it touches small.
  for (size_t s = 1; s + 1 < pairs.start.size(); ++s) {
    std::sort(grouped.begin() + pairs.start[s], grouped.begin() + pairs.start[s + 1]);
  }
  pairs.seconds.resize(grouped.size());
  pairs.records.resize(grouped.size());
  for (size_t i = 0; i < grouped.size(); ++i) {
    pairs.seconds[i] = grouped[i].first;
    pairs.records[i] = grouped[i].second;
  }
}

std::span<const ObservationIndex::Entry> ObservationIndex::Row(Role role, int32_t s) const {
  const size_t slot = Slot(s, role);
  if (s < 1 || slot + 1 >= stations_.start.size()) return {};
  const auto begin = static_cast<size_t>(stations_.start[slot]);
  const auto end = static_cast<size_t>(stations_.start[slot + 1]);
  return std::span<const Entry>(stations_.entries).subspan(begin, end - begin);
}

std::span<const int32_t> ObservationIndex::Find(const PerPair& pairs, int32_t first,
                                                int32_t second) {
  if (first < 1 || second < 1 || static_cast<size_t>(first) + 1 >= pairs.start.size()) return {};
  const auto group_begin = pairs.seconds.begin() + pairs.start[static_cast<size_t>(first)];
  const auto group_end = pairs.seconds.begin() + pairs.start[static_cast<size_t>(first) + 1];
  const auto range = std::equal_range(group_begin, group_end, second);
  const auto begin = static_cast<size_t>(range.first - pairs.seconds.begin());
  const auto end = static_cast<size_t>(range.second - pairs.seconds.begin());
  return std::span<const int32_t>(pairs.records).subspan(begin, end - begin);
}

std::span<const int32_t> ObservationIndex::Between(int32_t from, int32_t target) const {
  return Find(from_target_, from, target);
}

std::span<const int32_t> ObservationIndex::FromWithReference(int32_t from,
                                                             int32_t reference) const {
  return Find(from_reference_, from, reference);
}

}  // namespace fenwix

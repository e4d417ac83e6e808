#include "approx/observation_index.h"

#include <algorithm>
#include <numeric>

namespace fenwix {

namespace {

uint64_t PairKey(int32_t first, int32_t second) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(first)) << 32) |
         static_cast<uint64_t>(static_cast<uint32_t>(second));
}

}  // namespace

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
  Build(from_, stations, &Links::from);
  Build(target_, stations, &Links::target);
  Build(reference_, stations, &Links::reference);
  Build(from_target_, &Links::target);
  Build(from_reference_, &Links::reference);
}

void ObservationIndex::Build(PerStation& lists, int32_t station_count, int32_t Links::*field) {
  lists.start.assign(static_cast<size_t>(station_count) + 1, 0);
  for (const Links& links : links_) {
    const int32_t s = links.*field;
    if (s > 0) ++lists.start[static_cast<size_t>(s) + 1];
  }
  std::partial_sum(lists.start.begin(), lists.start.end(), lists.start.begin());
  lists.entries.resize(static_cast<size_t>(lists.start.back()));
  std::vector<int32_t> next(lists.start.begin(), lists.start.end() - 1);
  for (size_t r = 0; r < links_.size(); ++r) {
    const int32_t s = links_[r].*field;
    if (s > 0) {
      lists.entries[static_cast<size_t>(next[static_cast<size_t>(s)]++)] = static_cast<int32_t>(r);
    }
  }
}

void ObservationIndex::Build(PerPair& pairs, int32_t Links::*second) {
  std::vector<std::pair<uint64_t, int32_t>> sorted;
  for (size_t r = 0; r < links_.size(); ++r) {
    const Links& links = links_[r];
    if (links.from > 0 && links.*second > 0) {
      sorted.emplace_back(PairKey(links.from, links.*second), static_cast<int32_t>(r));
    }
  }
  // Records were added in record order, so the sort keeps it within every pair.
  std::sort(sorted.begin(), sorted.end());
  pairs.keys.reserve(sorted.size());
  pairs.records.reserve(sorted.size());
  for (const auto& [key, record] : sorted) {
    pairs.keys.push_back(key);
    pairs.records.push_back(record);
  }
}

std::span<const int32_t> ObservationIndex::Row(const PerStation& lists, int32_t s) {
  if (s < 1 || static_cast<size_t>(s) + 1 >= lists.start.size()) return {};
  const auto begin = static_cast<size_t>(lists.start[static_cast<size_t>(s)]);
  const auto end = static_cast<size_t>(lists.start[static_cast<size_t>(s) + 1]);
  return std::span<const int32_t>(lists.entries).subspan(begin, end - begin);
}

std::span<const int32_t> ObservationIndex::Find(const PerPair& pairs, int32_t first,
                                                int32_t second) {
  if (first < 1 || second < 1) return {};
  const uint64_t key = PairKey(first, second);
  const auto range = std::equal_range(pairs.keys.begin(), pairs.keys.end(), key);
  const auto begin = static_cast<size_t>(range.first - pairs.keys.begin());
  const auto end = static_cast<size_t>(range.second - pairs.keys.begin());
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

#include "checks/network_graph.h"

#include <array>
#include <numeric>

#include "checks/check_support.h"

namespace fenwix {

NetworkGraph::NetworkGraph(const SurveyTables& tables) {
  const size_t count = static_cast<size_t>(tables.station_count());
  stands_.resize(count);
  parent_.resize(count);
  std::iota(parent_.begin(), parent_.end(), 0);
  uses_.assign(count, 0);
  last_use_.assign(count, 0);
  neighbours_.resize(count);
  for (size_t s = 1; s < count; ++s) {
    stands_[s] = tables.stations()[s].merged_into == STATION_NOT_MERGED;
  }
  const auto& observations = tables.observations();
  for (size_t r = 1; r < observations.size(); ++r) {
    const ObsRow& obs = observations[r];
    std::array<int32_t, 3> named = {check_support::StationOf(tables, obs.at),
                                    check_support::StationOf(tables, obs.fore),
                                    check_support::StationOf(tables, obs.back)};
    for (size_t k = 0; k < named.size(); ++k) {
      const int32_t s = named[k];
      if (s == 0) continue;
      bool again = false;
      for (size_t j = 0; j < k; ++j) again = again || named[j] == s;
      if (again) continue;
      ++uses_[Index(s)];
      last_use_[Index(s)] = static_cast<int32_t>(r);
    }
    // The occupied station sees the others.
    for (size_t k = 1; k < named.size(); ++k) {
      if (named[0] == 0 || named[k] == 0 || named[k] == named[0]) continue;
      Join(named[0], named[k]);
      neighbours_[Index(named[0])].push_back(named[k]);
      neighbours_[Index(named[k])].push_back(named[0]);
    }
  }
}

int32_t NetworkGraph::Root(int32_t s) const {
  while (parent_[Index(s)] != s) {
    parent_[Index(s)] = parent_[Index(parent_[Index(s)])];
    s = parent_[Index(s)];
  }
  return s;
}

int32_t NetworkGraph::Part(int32_t s) const {
  return Root(s);
}

void NetworkGraph::Join(int32_t a, int32_t b) {
  a = Root(a);
  b = Root(b);
  if (a == b) return;
  if (a > b) std::swap(a, b);
  parent_[Index(b)] = a;
}

}  // namespace fenwix

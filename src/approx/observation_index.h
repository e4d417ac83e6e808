#pragma once
// The observation records that carry positions (GPS vectors and angle sets), indexed by the
// stations they name, so that the propagation reads only the records of the stations it works
// on. Every list keeps record order.
//
// A record goes from its from station (at) to its target (fore: a vector's rover, an angle set's
// foresight); an angle set also has a reference (back, the backsight). A name not given is row
// 0 and is left out.

#include <cstdint>
#include <span>
#include <vector>

#include "model/large_block.h"
#include "model/survey_tables.h"

namespace fenwix {

class ObservationIndex {
 public:
  // Reads the observation table once. Single sights and records without a kind are left out: they
  // link no two stations.
  explicit ObservationIndex(const SurveyTables& tables);

  // The station rows a record names: from station, target and reference (0 for none).
  struct Links {
    int32_t from = 0;
    int32_t target = 0;
    int32_t reference = 0;
  };
  // A record in a station's list, with the stations it names: the propagation walks these lists
  // for the neighbours of a station, and on a large network a copy beside the record number
  // saves a cache miss per record over looking the names up by record.
  struct Entry : Links {
    int32_t record = 0;
  };
  // Records whose from station is s.
  std::span<const Entry> FromStation(int32_t s) const { return Row(AS_FROM, s); }
  // Records whose target is s.
  std::span<const Entry> ToTarget(int32_t s) const { return Row(AS_TARGET, s); }
  // Angle sets whose reference is s.
  std::span<const Entry> WithReference(int32_t s) const { return Row(AS_REFERENCE, s); }
  // On a large network each station's place in the index and its lists are cache misses, met
  // in the order the propagation visits stations. It knows that order a few stations ahead and
  // asks for them early: first the places (where the lists start), then the lists themselves.
  void PrefetchPlace(int32_t s) const {
    PrefetchMemory(stations_.start.data() + Slot(s, AS_FROM));
    PrefetchMemory(from_target_.start.data() + s);
  }
  void PrefetchLists(int32_t s) const {
    for (const Role role : {AS_FROM, AS_TARGET, AS_REFERENCE}) {
      PrefetchMemory(stations_.entries.data() + stations_.start[Slot(s, role)]);
    }
  }
  // Records from station `from` to station `target`.
  std::span<const int32_t> Between(int32_t from, int32_t target) const;
  // Angle sets at station `from` whose reference is `reference`.
  std::span<const int32_t> FromWithReference(int32_t from, int32_t reference) const;

  // Station rows of a record's target and reference (0 when a name was not given).
  int32_t target_of(int32_t record) const { return links_[static_cast<size_t>(record)].target; }
  int32_t reference_of(int32_t record) const {
    return links_[static_cast<size_t>(record)].reference;
  }

 private:
  // The roles a station has in a record. A station's three lists lie side by side, so that
  // visiting it reads one stretch of memory: the records in which station s has role r are
  // entries[start[ROLES * s + r], start[ROLES * s + r + 1]).
  enum Role { AS_FROM, AS_TARGET, AS_REFERENCE, ROLES };
  static size_t Slot(int32_t s, Role role) {
    return static_cast<size_t>(s) * ROLES + static_cast<size_t>(role);
  }
  struct PerStation {
    std::vector<int64_t> start;
    std::vector<Entry> entries;
  };
  // Lists per station pair, grouped by the first station as PerStation is: the group of station
  // s is [start[s], start[s+1]), sorted by (second station, record), so that a pair is found
  // by a search within one small group.
  struct PerPair {
    std::vector<int32_t> start;
    std::vector<int32_t> seconds;
    std::vector<int32_t> records;
  };

  std::span<const Entry> Row(Role role, int32_t s) const;
  static std::span<const int32_t> Find(const PerPair& pairs, int32_t first, int32_t second);
  void Build(PerStation& lists, int32_t station_count);
  void Build(PerPair& pairs, int32_t station_count, int32_t Links::*second);

  std::vector<Links> links_;
  PerStation stations_;
  PerPair from_target_;
  PerPair from_reference_;
};

}  // namespace fenwix

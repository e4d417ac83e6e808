#pragma once
// Observations that point at one unknown station from known stations, gathered for an
// intersection: azimuths, slope distances and zenith angles, each list holding at most one entry
// per known station, first come first kept.

#include <cstdint>
#include <vector>

namespace fenwix {

// Azimuths kept: two are enough for the one intersection of rays.
inline constexpr int PENDING_AZIMUTH_CAPACITY = 2;
// Slope distances kept.
inline constexpr int PENDING_DISTANCE_CAPACITY = 10;
// Zenith angles kept.
inline constexpr int PENDING_ZENITH_CAPACITY = 10;

// A value observed at a known station.
struct PendingEntry {
  int32_t station;
  double value;
};

class PendingList {
 public:
  explicit PendingList(int capacity) : capacity_(capacity) {}
  // Adds the entry unless the station already has one or the list is full.
  void Add(int32_t station, double value);
  // The entry of the station, or nullptr.
  const PendingEntry* Of(int32_t station) const;
  const std::vector<PendingEntry>& entries() const { return entries_; }
  int size() const { return static_cast<int>(entries_.size()); }

 private:
  int capacity_;
  std::vector<PendingEntry> entries_;
};

struct PendingObservations {
  PendingList azimuths{PENDING_AZIMUTH_CAPACITY};    // from the known station to the unknown, rad
  PendingList distances{PENDING_DISTANCE_CAPACITY};  // slope distances, meters
  PendingList zeniths{PENDING_ZENITH_CAPACITY};      // seen from the known station, radians
};

}  // namespace fenwix

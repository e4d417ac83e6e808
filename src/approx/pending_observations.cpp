#include "approx/pending_observations.h"

namespace fenwix {

void PendingList::Add(int32_t station, double value) {
  if (size() >= capacity_ || Of(station) != nullptr) return;
  entries_.push_back(PendingEntry{station, value});
}

const PendingEntry* PendingList::Of(int32_t station) const {
  for (const PendingEntry& entry : entries_) {
    if (entry.station == station) return &entry;
  }
  return nullptr;
}

}  // namespace fenwix

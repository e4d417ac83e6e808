#pragma once
// The station graph over every observation kind: which stations observations join, how many
// observations name each station, and the connected parts.

#include <cstdint>
#include <vector>

#include "model/survey_tables.h"

namespace fenwix {

class NetworkGraph {
 public:
  explicit NetworkGraph(const SurveyTables& tables);

  // Whether row s stands for itself (was not merged into another).
  bool Stands(int32_t s) const { return stands_[Index(s)]; }
  // A representative row of the part that holds s.
  int32_t Part(int32_t s) const;
  // Observations that name s (an observation naming it twice counts once).
  int32_t Uses(int32_t s) const { return uses_[Index(s)]; }
  // The observation row that named s last.
  int32_t OnlyObservation(int32_t s) const { return last_use_[Index(s)]; }
  // Stations joined to s by an observation, each as often as observations join them.
  const std::vector<int32_t>& Neighbours(int32_t s) const { return neighbours_[Index(s)]; }

 private:
  static size_t Index(int32_t s) { return static_cast<size_t>(s); }
  int32_t Root(int32_t s) const;
  void Join(int32_t a, int32_t b);

  std::vector<bool> stands_;
  mutable std::vector<int32_t> parent_;
  std::vector<int32_t> uses_;
  std::vector<int32_t> last_use_;
  std::vector<std::vector<int32_t>> neighbours_;
};

}  // namespace fenwix

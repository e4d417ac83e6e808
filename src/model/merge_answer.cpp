#include "model/merge_answer.h"

namespace fenwix {

std::optional<MergeAnswer> KeptAnswer(const std::vector<PairAnswer>& answers,
                                      std::string_view first, std::string_view second) {
  for (const PairAnswer& answer : answers) {
    const bool in_order = answer.keep == first && answer.drop == second;
    const bool reversed = answer.keep == second && answer.drop == first;
    if (!in_order && !reversed) continue;
    if (answer.different) return MergeAnswer::Different;
    return in_order ? MergeAnswer::SameKeepFirst : MergeAnswer::SameKeepSecond;
  }
  return std::nullopt;
}

std::optional<PairAnswer> KeepAnswer(MergeAnswer answer, std::string_view first,
                                     std::string_view second) {
  switch (answer) {
    case MergeAnswer::Different:
      return PairAnswer{std::string(first), std::string(second), true};
    case MergeAnswer::SameKeepFirst:
      return PairAnswer{std::string(first), std::string(second), false};
    case MergeAnswer::SameKeepSecond:
      return PairAnswer{std::string(second), std::string(first), false};
    case MergeAnswer::Cancel:
      break;
  }
  return std::nullopt;
}

}  // namespace fenwix

#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fenwix {

// The person's answer about two stations whose coordinates nearly coincide.
enum class MergeAnswer {
  Cancel,          // stop the whole conversion
  Different,       // "Stations Are &Different"
  SameKeepFirst,   // same point; the first station of the pair stays
  SameKeepSecond,  // same point; the second station stays
};

// An answer kept for a pair of station names, whichever of the two is asked about first: the
// same point (keep one name, drop the other) or different points.
struct PairAnswer {
  std::string keep;  // for different points, one of the names
  std::string drop;  // and the other
  bool different = false;

  bool operator==(const PairAnswer&) const = default;
};

// The answer kept for the pair (first, second) in either order, or nothing.
std::optional<MergeAnswer> KeptAnswer(const std::vector<PairAnswer>& answers,
                                      std::string_view first, std::string_view second);

// The answer about (first, second) as a kept answer; nothing for Cancel.
std::optional<PairAnswer> KeepAnswer(MergeAnswer answer, std::string_view first,
                                     std::string_view second);

}  // namespace fenwix

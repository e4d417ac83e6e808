#pragma once

namespace fenwix {

// The person's answer about two stations whose coordinates nearly coincide.
enum class MergeAnswer {
  Cancel,          // stop the whole conversion
  Different,       // "Stations Are &Different"
  SameKeepFirst,   // same point; the first station of the pair stays
  SameKeepSecond,  // same point; the second station stays
};

}  // namespace fenwix

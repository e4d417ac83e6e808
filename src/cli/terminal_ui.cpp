#include "cli/terminal_ui.h"

#include <fmt/format.h>

#include <string>

#include "app/messages.h"
#include "geodesy/angles.h"

namespace fenwix {

void TerminalUi::ShowMessage(int32_t id, const std::string& text) {
  const bool success = id == MSG_SUCCESS || id == MSG_SUCCESS_APPROX;
  fmt::print(success ? out_ : err_, "{}\n", text);
}

MergeAnswer TerminalUi::AskSimilarStations(const StationRecord& first,
                                           const StationRecord& second) {
  switch (policy_) {
    case MergePolicy::Different:
      return MergeAnswer::Different;
    case MergePolicy::KeepFirst:
      return MergeAnswer::SameKeepFirst;
    case MergePolicy::KeepSecond:
      return MergeAnswer::SameKeepSecond;
    case MergePolicy::Ask:
      break;
  }
  fmt::print(err_, "Found two stations with coordinates that are similar.\n");
  for (const StationRecord* station : {&first, &second}) {
    fmt::print(err_, "  {}  North: {:.3f}  East: {:.3f}  Elev: {:.3f}\n", station->name,
               RoundToDecimals(station->north, 3), RoundToDecimals(station->east, 3),
               RoundToDecimals(station->elevation, 3));
  }
  for (;;) {
    fmt::print(err_, "Same point keeping [1] {}, keeping [2] {}, [d]ifferent, or [c]ancel? ",
               first.name, second.name);
    std::fflush(err_);
    char line[256];
    if (std::fgets(line, sizeof line, in_) == nullptr) return MergeAnswer::Cancel;
    switch (line[0]) {
      case '1':
        return MergeAnswer::SameKeepFirst;
      case '2':
        return MergeAnswer::SameKeepSecond;
      case 'd':
      case 'D':
        return MergeAnswer::Different;
      case 'c':
      case 'C':
        return MergeAnswer::Cancel;
      default:
        break;
    }
  }
}

}  // namespace fenwix

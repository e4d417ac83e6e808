#include "cli/terminal_ui.h"

#include <fmt/format.h>

#include <algorithm>
#include <string>

#include "app/messages.h"
#include "cli/print_text.h"
#include "geodesy/angles.h"
#include "model/text_excerpt.h"

namespace fenwix {

void PrintProblem(std::string_view text) {
  PrintText(stderr, "{}{}\n", MESSAGE_PREFIX, EscapeControls(text));
}

void TerminalUi::ShowMessage(MessageId id, const std::string& text) {
  shown_.push_back(id);
  if (IsSuccessMessage(id)) {
    PrintText(out_, "{}\n", EscapeControls(text));
  } else {
    PrintText(err_, "{}{}\n", MESSAGE_PREFIX, EscapeControls(text));
  }
}

bool TerminalUi::Showed(MessageId id) const {
  return std::find(shown_.begin(), shown_.end(), id) != shown_.end();
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
  PrintText(err_, "{}Found two stations with coordinates that are similar.\n", MESSAGE_PREFIX);
  for (const StationRecord* station : {&first, &second}) {
    PrintText(err_, "  {}  North: {:.3f}  East: {:.3f}  Elev: {:.3f}\n",
              EscapeControls(station->name), RoundToDecimals(station->north, 3),
              RoundToDecimals(station->east, 3), RoundToDecimals(station->elevation, 3));
  }
  for (;;) {
    PrintText(err_, "{}Same point keeping [1] {}, keeping [2] {}, [d]ifferent, or [c]ancel? ",
              MESSAGE_PREFIX, EscapeControls(first.name), EscapeControls(second.name));
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

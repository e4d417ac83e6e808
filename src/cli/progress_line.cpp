#include "cli/progress_line.h"
#include "cli/print_text.h"

#include <fmt/format.h>

#include <algorithm>

namespace fenwix {

namespace {
// Columns a progress line may take, wider than the longest phase's line.
constexpr int LINE_WIDTH = 60;
}  // namespace

void ProgressLineUi::ShowMessage(MessageId id, const std::string& text) {
  Clear();
  TerminalUi::ShowMessage(id, text);
}

MergeAnswer ProgressLineUi::AskSimilarStations(const StationRecord& first,
                                               const StationRecord& second) {
  Clear();
  return TerminalUi::AskSimilarStations(first, second);
}

bool ProgressLineUi::ReportProgress(RunPhase phase, double done) {
  if (!shown_) return true;
  const int percent = std::clamp(static_cast<int>(done * 100.0), 0, 100);
  const int key = static_cast<int>(phase) * 1000 + percent;
  if (key == last_) return true;
  last_ = key;
  const std::string line = fmt::format("fenwix-convert: {} {:3}%", RunPhaseText(phase), percent);
  if (escape_codes_) {
    PrintText(err_, "\r{}\x1b[K", line);
  } else {
    // Blanks over whatever a longer line of an earlier phase left on the right.
    PrintText(err_, "\r{:<{}}", line, LINE_WIDTH);
  }
  std::fflush(err_);
  return true;
}

void ProgressLineUi::Clear() {
  if (last_ < 0) return;
  if (escape_codes_) {
    PrintText(err_, "\r\x1b[K");
  } else {
    PrintText(err_, "\r{:{}}\r", "", LINE_WIDTH);
  }
  std::fflush(err_);
  last_ = -1;
}

}  // namespace fenwix

#include "cli/progress_line.h"

#include <fmt/format.h>

#include <algorithm>

namespace fenwix {

void ProgressLineUi::ShowMessage(int32_t id, const std::string& text) {
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
  fmt::print(err_, "\rfenwix-convert: {} {:3}%\x1b[K", RunPhaseText(phase), percent);
  std::fflush(err_);
  return true;
}

void ProgressLineUi::Clear() {
  if (last_ < 0) return;
  fmt::print(err_, "\r\x1b[K");
  std::fflush(err_);
  last_ = -1;
}

}  // namespace fenwix

#pragma once
// A one-line progress display on a terminal: the phase and its percentage, rewritten in place,
// and cleared before any other text so that messages and questions start on a clean line.

#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/terminal_ui.h"

namespace fenwix {

// Inputs up to this size convert in well under a second: no progress line for them.
inline constexpr int64_t PROGRESS_LINE_MIN_BYTES = 4 * 1024 * 1024;

class ProgressLineUi : public TerminalUi {
 public:
  // The line is drawn on err only when shown is true (a terminal and a large input); with
  // escape_codes false it is redrawn over with blanks instead of erased by an escape code.
  ProgressLineUi(MergePolicy policy, std::FILE* in, std::FILE* out, std::FILE* err, bool shown,
                 bool escape_codes = true)
      : TerminalUi(policy, in, out, err), err_(err), shown_(shown), escape_codes_(escape_codes) {}

  void ShowMessage(MessageId id, const std::string& text) override;
  MergeAnswer AskSimilarStations(const StationRecord& first, const StationRecord& second) override;
  bool ReportProgress(RunPhase phase, double done) override;

 private:
  void Clear();

  std::FILE* err_;
  bool shown_;
  bool escape_codes_;
  int last_ = -1;  // phase * 1000 + percent of the line on screen, -1 when none is
};

}  // namespace fenwix

#pragma once
// The one way the core reaches the person: the Qt dialog, the terminal front end and the tests
// each implement it.

#include <cstdint>
#include <string>

#include "app/message_id.h"
#include "app/run_phase.h"
#include "model/merge_answer.h"
#include "model/records.h"

namespace fenwix {

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // A numbered message, already formatted (at most 519 bytes, but for the few short sentences
  // the final message adds after them). Shown with an OK button and the warning icon; returns
  // when the person has seen it.
  virtual void ShowMessage(MessageId id, const std::string& text) = 0;
  // The wait cursor around long steps; calls nest.
  virtual void BeginWait() = 0;
  virtual void EndWait() = 0;
  // Two stations whose local coordinates nearly coincide; first has the lower table index.
  virtual MergeAnswer AskSimilarStations(const StationRecord& first,
                                         const StationRecord& second) = 0;
  // Why AskSimilarStations answers without putting the question to anyone, in words for a
  // warning; empty when the person answers, or chose beforehand the answer for every pair.
  virtual std::string UnaskedReason() const { return std::string(); }
  // How far the run has come: the phase and the part of it done, 0 to 1. Called often (every
  // chunk read, every step of the propagation); false asks the run to stop at once, leaving any
  // earlier output file as it was.
  virtual bool ReportProgress(RunPhase /*phase*/, double /*done*/) { return true; }
};

// Shows the wait cursor for the life of the object.
class WaitCursor {
 public:
  explicit WaitCursor(UserInterface& ui) : ui_(ui) { ui_.BeginWait(); }
  ~WaitCursor() { ui_.EndWait(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  UserInterface& ui_;
};

}  // namespace fenwix

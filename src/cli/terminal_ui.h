#pragma once
// The terminal face of UserInterface: messages on standard error, each starting with
// "fenwix-convert: " (the final success message on standard output) and the similar-stations
// question answered by option or at the prompt.

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/user_interface.h"

namespace fenwix {

// Start of every message that fenwix-convert writes to standard error.
inline constexpr const char* MESSAGE_PREFIX = "fenwix-convert: ";

// Writes text to standard error after MESSAGE_PREFIX, on a line of its own, with its control
// characters escaped: names from field files and job files are shown, never obeyed.
void PrintProblem(std::string_view text);

enum class MergePolicy { Ask, Different, KeepFirst, KeepSecond };

class TerminalUi : public UserInterface {
 public:
  TerminalUi(MergePolicy policy, std::FILE* in, std::FILE* out, std::FILE* err)
      : policy_(policy), in_(in), out_(out), err_(err) {}

  void ShowMessage(MessageId id, const std::string& text) override;
  void BeginWait() override {}
  void EndWait() override {}
  MergeAnswer AskSimilarStations(const StationRecord& first, const StationRecord& second) override;

  // True when the message with this number has been shown.
  bool Showed(MessageId id) const;
  // Why the policy answers every pair without anyone having chosen it; empty when someone did.
  void set_unasked_reason(std::string reason) { unasked_reason_ = std::move(reason); }
  std::string UnaskedReason() const override { return unasked_reason_; }

 private:
  std::vector<MessageId> shown_;
  std::string unasked_reason_;
  MergePolicy policy_;
  std::FILE* in_;
  std::FILE* out_;
  std::FILE* err_;
};

}  // namespace fenwix

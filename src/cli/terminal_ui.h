#pragma once
// The terminal face of UserInterface: messages on standard error (the final success message on
// standard output) and the similar-stations question answered by option or at the prompt.

#include <cstdio>

#include "app/user_interface.h"

namespace fenwix {

enum class MergePolicy { Ask, Different, KeepFirst, KeepSecond };

class TerminalUi : public UserInterface {
 public:
  TerminalUi(MergePolicy policy, std::FILE* in, std::FILE* out, std::FILE* err)
      : policy_(policy), in_(in), out_(out), err_(err) {}

  void ShowMessage(int32_t id, const std::string& text) override;
  void BeginWait() override {}
  void EndWait() override {}
  MergeAnswer AskSimilarStations(const StationRecord& first, const StationRecord& second) override;

 private:
  MergePolicy policy_;
  std::FILE* in_;
  std::FILE* out_;
  std::FILE* err_;
};

}  // namespace fenwix

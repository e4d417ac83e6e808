#pragma once
// A UserInterface for tests: records every message and answers the similar-stations question
// from a script.

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "app/user_interface.h"

namespace fenwix::testing {

class RecordingUi : public UserInterface {
 public:
  struct Message {
    MessageId id;
    std::string text;
  };
  struct Question {
    std::string first;
    std::string second;
  };

  void ShowMessage(MessageId id, const std::string& text) override {
    messages.push_back({id, text});
  }
  void BeginWait() override { ++wait_depth, ++wait_calls; }
  void EndWait() override { --wait_depth; }
  MergeAnswer AskSimilarStations(const StationRecord& first, const StationRecord& second) override {
    questions.push_back({first.name, second.name});
    if (answers.empty()) return MergeAnswer::Different;
    const MergeAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::string UnaskedReason() const override { return unasked_reason; }

  std::vector<MessageId> MessageIds() const {
    std::vector<MessageId> ids;
    for (const Message& m : messages) ids.push_back(m.id);
    return ids;
  }

  std::vector<Message> messages;
  std::vector<Question> questions;
  std::deque<MergeAnswer> answers;
  // Set to answer as a rule does, without asking anyone.
  std::string unasked_reason;
  int wait_depth = 0;
  int wait_calls = 0;
};

}  // namespace fenwix::testing

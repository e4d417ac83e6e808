#include "model/reading_edits.h"

#include <algorithm>
#include <utility>

namespace fenwix {

std::string_view ElementName(EditedElement element) {
  switch (element) {
    case EditedElement::Vector:
      return "Vector";
    case EditedElement::Observation:
      return "Observation";
    case EditedElement::Station:
      return "Station";
  }
  return "";
}

bool TiesPointToItself(ObsKind kind, bool has_angle, std::string_view at, std::string_view fore,
                       std::string_view back) {
  switch (kind) {
    case ObsKind::GpsVector:
      return at == fore;
    case ObsKind::Sight:
      return at == back;
    case ObsKind::AngleSet:
      if (!has_angle) return at == fore;
      return at == fore || at == back || fore == back;
    case ObsKind::None:
      break;
  }
  return false;
}

void ReadingEdits::AddLeaveOut(LeaveOut leave_out) {
  leave_out_at_.emplace(LineKey(leave_out.file, leave_out.line),
                        static_cast<int32_t>(leave_outs_.size()));
  leave_outs_.push_back(std::move(leave_out));
  used_.push_back(0);
}

void ReadingEdits::AddNameChange(NameChange change) {
  const auto index = static_cast<int32_t>(changes_.size());
  if (change.line > 0) {
    // One element only: without its file it names no element, and is kept but never applies.
    if (change.file >= 0) element_changes_[LineKey(change.file, change.line)].push_back(index);
    changes_.push_back(std::move(change));
    return;
  }
  NameTargets& targets = change_of_[change.from];
  if (change.file < 0) {
    if (targets.every < 0) targets.every = index;
  } else if (std::none_of(targets.by_file.begin(), targets.by_file.end(),
                          [&](const auto& own) { return own.first == change.file; })) {
    targets.by_file.emplace_back(change.file, index);
  }
  changes_.push_back(std::move(change));
}

void ReadingEdits::BeginReading() {
  used_.assign(leave_outs_.size(), 0);
  file_ = 0;
  left_out_.clear();
  self_ties_.clear();
}

bool ReadingEdits::LeavesOut(EditedElement element, int32_t line) {
  const auto found = leave_out_at_.find(LineKey(file_, line));
  if (found == leave_out_at_.end()) return false;
  // One element per line: a second one starting there is read.
  const auto i = static_cast<size_t>(found->second);
  if (used_[i] != 0) return false;
  used_[i] = 1;
  left_out_.push_back(LeftOutElement{element, file_, line, leave_outs_[i].reason});
  return true;
}

void ReadingEdits::LeftOutAlong(int32_t line) {
  const auto found = leave_out_at_.find(LineKey(file_, line));
  if (found != leave_out_at_.end()) used_[static_cast<size_t>(found->second)] = 1;
}

std::string_view ReadingEdits::ReadName(std::string_view name, int32_t element_line) const {
  if (element_line > 0 && !element_changes_.empty()) {
    const auto own = element_changes_.find(LineKey(file_, element_line));
    if (own != element_changes_.end()) {
      for (const int32_t change : own->second) {
        const NameChange& c = changes_[static_cast<size_t>(change)];
        if (c.from == name) return c.to;
      }
    }
  }
  const auto found = change_of_.find(name);
  if (found == change_of_.end()) return name;
  // A change for this file wins over one for every file.
  for (const auto& [file, change] : found->second.by_file) {
    if (file == file_) return changes_[static_cast<size_t>(change)].to;
  }
  const int32_t every = found->second.every;
  return every >= 0 ? std::string_view(changes_[static_cast<size_t>(every)].to) : name;
}

void ReadingEdits::KeepSelfTie(const ObsRecord& record, int32_t line) {
  self_ties_.push_back(SelfTie{record, file_, line});
}

std::vector<LeaveOut> ReadingEdits::Unused() const {
  std::vector<LeaveOut> unused;
  for (size_t i = 0; i < leave_outs_.size(); ++i) {
    if (used_[i] == 0) unused.push_back(leave_outs_[i]);
  }
  return unused;
}

}  // namespace fenwix

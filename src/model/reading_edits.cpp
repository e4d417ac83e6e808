#include "model/reading_edits.h"

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
  leave_outs_.push_back(std::move(leave_out));
  used_.push_back(0);
}

void ReadingEdits::AddNameChange(NameChange change) {
  changes_.push_back(std::move(change));
}

void ReadingEdits::BeginReading() {
  used_.assign(leave_outs_.size(), 0);
  file_ = 0;
  left_out_.clear();
  self_ties_.clear();
}

// A job has a handful of edits, so a search per structural element costs nothing next to
// reading it.
bool ReadingEdits::LeavesOut(EditedElement element, int32_t line) {
  for (size_t i = 0; i < leave_outs_.size(); ++i) {
    const LeaveOut& leave_out = leave_outs_[i];
    if (leave_out.file != file_ || leave_out.line != line) continue;
    // One element per line: a second one starting there is read.
    for (const LeftOutElement& done : left_out_) {
      if (done.file == file_ && done.line == line) return false;
    }
    used_[i] = 1;
    left_out_.push_back(LeftOutElement{element, file_, line, leave_out.reason});
    return true;
  }
  return false;
}

std::string_view ReadingEdits::ReadName(std::string_view name) const {
  // A change for this file wins over one for every file.
  const NameChange* found = nullptr;
  for (const NameChange& change : changes_) {
    if (change.from != name) continue;
    if (change.file == file_) return change.to;
    if (change.file < 0 && found == nullptr) found = &change;
  }
  return found != nullptr ? std::string_view(found->to) : name;
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

#pragma once
// The surveyor's corrections to the field files, applied while they are read, so that a field
// file stays as the collector wrote it: elements left out (a bad vector, one bad reading, a
// whole setup) and station names read as other names (a mistyped "p12" read as "P12").
//
// The result of reading with edits equals reading the files with the same changes made by
// hand: a left-out element is skipped from its start tag to its end tag, the text around it
// joining as it would once the element is cut out; a renamed name is replaced before anything
// else sees it.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/records.h"

namespace fenwix {

// The elements that can be left out.
enum class EditedElement : uint8_t { Vector, Observation, Station };

// "Vector", "Observation" or "Station".
std::string_view ElementName(EditedElement element);

struct LeaveOut {
  int32_t file = 0;  // index of the field file among the inputs, in reading order
  int32_t line = 0;  // line the element starts on, counted from 1
  std::string reason;
};

struct NameChange {
  std::string from;
  std::string to;
  int32_t file = -1;  // index of the field file it applies to; -1 for every file
  // The line of that file where the one element it renames in starts (an "Observation": a
  // sight labelled with the wrong point); 0 for every element. Needs a file.
  int32_t line = 0;
};

// Whether an observation of this kind with these station names joins a point to itself (an
// angle set does when any two of its three stations coincide, or without an angle when its two
// ends do). An empty name counts as a name.
bool TiesPointToItself(ObsKind kind, bool has_angle, std::string_view at, std::string_view fore,
                       std::string_view back);

// An element that was left out, as the output lists it.
struct LeftOutElement {
  EditedElement element = EditedElement::Observation;
  int32_t file = 0;
  int32_t line = 0;
  std::string reason;
};

// An observation that a name change made into a tie of a point to itself, under the names it
// was recorded with; it is kept as comment lines, as a merge keeps one.
struct SelfTie {
  ObsRecord record;
  int32_t file = 0;
  int32_t line = 0;
};

class ReadingEdits {
 public:
  // Set before reading; changes between readings only through these.
  void AddLeaveOut(LeaveOut leave_out);
  void AddNameChange(NameChange change);
  bool empty() const { return leave_outs_.empty() && changes_.empty(); }
  bool changes_names() const { return !changes_.empty(); }
  const std::vector<LeaveOut>& leave_outs() const { return leave_outs_; }
  const std::vector<NameChange>& name_changes() const { return changes_; }

  // Forgets what the last reading found; the edits themselves stay.
  void BeginReading();
  // The reader is at the start of field file `file`.
  void BeginFile(int32_t file) { file_ = file; }
  int32_t current_file() const { return file_; }

  // True when an element starting on this line of the current file is to be left out: the
  // first such element of the line is, and is listed in left_out().
  bool LeavesOut(EditedElement element, int32_t line);
  // An element starting on this line of the current file is left out already, with the element
  // around it or with the setup before it: a leave-out of the line is moot. It is taken as found
  // (the first element of the line is the one it meant) but not listed in left_out(), where the
  // element that took it along stands for it.
  void LeftOutAlong(int32_t line);
  // The name a name of the current file is read as (itself when no change applies), inside the
  // element starting on element_line: a change of that one element wins over the others.
  std::string_view ReadName(std::string_view name, int32_t element_line = 0) const;
  // Keeps an observation that a name change turned into a tie of a point to itself.
  void KeepSelfTie(const ObsRecord& record, int32_t line);

  // What the last reading found, in reading order.
  const std::vector<LeftOutElement>& left_out() const { return left_out_; }
  const std::vector<SelfTie>& self_ties() const { return self_ties_; }
  // The leave-outs whose line started no element of their kind, in the order given.
  std::vector<LeaveOut> Unused() const;

 private:
  // Names are looked up by hash with the text the reader holds, without copying it.
  struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
  };
  // Where a name's changes are: the first for every file, and per file the first for it.
  struct NameTargets {
    int32_t every = -1;
    std::vector<std::pair<int32_t, int32_t>> by_file;  // (file, change), first per file
  };
  static uint64_t LineKey(int32_t file, int32_t line) {
    return static_cast<uint64_t>(static_cast<uint32_t>(file)) << 32 | static_cast<uint32_t>(line);
  }

  std::vector<LeaveOut> leave_outs_;
  std::vector<uint8_t> used_;
  // The first leave-out of each (file, line); a job leaves out thousands of elements, and every
  // structural element of every field file asks.
  std::unordered_map<uint64_t, int32_t> leave_out_at_;
  std::vector<NameChange> changes_;
  std::unordered_map<std::string, NameTargets, NameHash, std::equal_to<>> change_of_;
  // The changes of one element each, by (file, line).
  std::unordered_map<uint64_t, std::vector<int32_t>> element_changes_;
  int32_t file_ = 0;
  std::vector<LeftOutElement> left_out_;
  std::vector<SelfTie> self_ties_;
};

}  // namespace fenwix

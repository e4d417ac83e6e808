#pragma once
// Values of a field file that were read, but may not mean what the reading made of them: a unit
// indicator the reader does not know, a packed angle with 60 minutes or more, a number field
// with a decimal comma. Each is read as before (the output does not change); the warning says
// where it is, what was assumed and how to say otherwise, and the front ends show it. Beside
// them, in the same list, what the conversion did without a word from the person: elements it
// left out of the adjustment file, similar stations it answered for.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/source_location.h"

namespace fenwix {

// What a warning is about. Only a Misread warning speaks of a value that may have been read
// wrongly; the others say what happened to something that was read right.
enum class WarningKind : uint8_t {
  Misread,  // a value read, that may not mean what the reading made of it
  LeftOut,  // an element the adjustment file cannot carry, left out of it
  Unasked,  // two similar stations kept apart or merged without the person's answer
};
inline constexpr size_t WARNING_KINDS = 3;

struct ReadingWarning {
  SourceLocation source;  // the field file and the XML line of the element; line 0 for none
  std::string element;    // its name, e.g. "DistanceUnitIndicator"
  std::string text;       // its text as found, cut to a readable length
  std::string problem;    // what is wrong with it, e.g. "has a decimal comma"
  std::string assumed;    // how it was read, e.g. "read as 225"
  std::string advice;     // what to do about it
  WarningKind kind = WarningKind::Misread;
  std::vector<std::string> stations;  // the stations it is about, where it names any
};

// One line: `file:line: Element "text" problem: assumed. advice`, the file named as in files
// (the conversion's field files, in reading order); without a line, the note alone.
std::string WarningLine(const ReadingWarning& warning, const std::vector<std::string>& files);
// The same without the file and line, as a check report row shows it.
std::string WarningNote(const ReadingWarning& warning);

class ReadingWarnings {
 public:
  // Warnings kept in full; a job with a fault in every number still counts the others.
  static constexpr size_t MAX_KEPT = 1000;
  // Bytes of an element's text shown in a warning.
  static constexpr size_t MAX_TEXT_BYTES = 40;

  void Clear();
  // The field file that the warnings added next belong to: its index in the conversion's files.
  void set_file(int32_t file) { file_ = file; }
  int32_t current_file() const { return file_; }
  void Add(int32_t line, std::string_view element, std::string_view text, std::string problem,
           std::string assumed, std::string advice);
  // A warning of any kind, wherever it is; kept while there is room, else only counted.
  void Add(ReadingWarning warning);

  // Once MAX_KEPT are kept, a reader only counts the others, without composing their text.
  bool full() const { return kept_.size() >= MAX_KEPT; }
  void CountUnkept(WarningKind kind = WarningKind::Misread) {
    ++count_;
    ++kind_counts_[static_cast<size_t>(kind)];
  }

  const std::vector<ReadingWarning>& kept() const { return kept_; }
  // Every warning, kept or not.
  int64_t count() const { return count_; }
  int64_t count(WarningKind kind) const { return kind_counts_[static_cast<size_t>(kind)]; }

  // Set when a value that a Misread warning speaks of went into a record the adjustment file
  // holds (not only into one left out of it).
  void MarkMisreadRecorded() { misread_recorded_ = true; }
  bool misread_recorded() const { return misread_recorded_; }

 private:
  int32_t file_ = 0;
  std::vector<ReadingWarning> kept_;
  int64_t count_ = 0;
  std::array<int64_t, WARNING_KINDS> kind_counts_{};
  bool misread_recorded_ = false;
};

}  // namespace fenwix

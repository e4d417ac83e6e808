#pragma once
// Where a record or a raw reading came from: which field file of the conversion, and the line
// of its element there; for a fault found inside a line (a document that stops being XML), also
// its column.

#include <compare>
#include <cstdint>
#include <string>
#include <vector>

namespace fenwix {

struct SourceLocation {
  int32_t file = 0;    // index into the conversion's field files, in reading order
  int32_t line = 0;    // line of the element's start, counted from 1; 0 when unknown
  int32_t column = 0;  // of a fault, counted from 1; 0 for an element

  bool known() const { return line > 0; }
  // Reading order: by file, then by line.
  friend auto operator<=>(const SourceLocation&, const SourceLocation&) = default;
};

// What a listing calls each field file: its base name where no other file of the job has the
// same one, else the name as given. One file alone is named as given.
std::vector<std::string> FileLabels(const std::vector<std::string>& files);

// "12" in a one-file job (as listings always showed lines), "day2.xml:12" with several files;
// empty when the line is unknown.
std::string SourceText(const SourceLocation& source, const std::vector<std::string>& labels);

// The names of the field files as one text: "a.xml" or "a.xml, b.xml".
std::string JoinFileNames(const std::vector<std::string>& files);

}  // namespace fenwix

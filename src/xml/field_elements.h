#pragma once
// The elements of a field file that a job can leave out (Vector, Observation, Station), each with
// the line its start tag is on and what it holds, so that an edit made on one version of the
// file can find its element again in the next: the same element is the same kind with the same
// stations and values, wherever the collector's export put it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/reading_edits.h"

namespace fenwix {

struct FieldElement {
  int32_t line = 0;  // of the start tag, counted from 1
  EditedElement kind = EditedElement::Observation;
  // The kind, then every field inside the element as NAME=TEXT in the file's order, the text
  // with its surrounding blanks taken off: "Vector BasePoint=B1 RoverPoint=P2 DX=12.3456 ...".
  std::string content;
};

// The elements of the field file at path in the order of their lines; the first of a line
// only, as a leave-out takes the first element starting on its line. Nothing, with the reason,
// when the file is not a regular file, cannot be read or is not well formed.
std::optional<std::vector<FieldElement>> ReadFieldElements(const std::string& path,
                                                           std::string* reason = nullptr);

}  // namespace fenwix

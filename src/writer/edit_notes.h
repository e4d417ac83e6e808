#pragma once
// Comment lines that tell a reader of the output what the surveyor's edits took out of the
// field files: every left-out element with its file, line and reason, and every observation
// that a name change made into a tie of a point to itself, kept as comment lines.

#include <cstdint>
#include <string>
#include <vector>

#include "model/reading_edits.h"
#include "writer/output_file.h"

namespace fenwix {

// Writes nothing when the last reading with these edits left nothing out. file_names holds the
// name of each field file by its index. Fails when the file's error indicator is set
// afterwards.
Status WriteEditNotes(OutputFile& out, const ReadingEdits& edits,
                      const std::vector<std::string>& file_names);

}  // namespace fenwix

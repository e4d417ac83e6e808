#pragma once
// The head of the output file: datum, network type, units and default standard deviations.
// Each writer fails (StatusKind::WriteFailed) when the file's error indicator is set after its
// writing.

#include <cstdint>
#include <string_view>
#include <vector>

#include "writer/output_file.h"
#include "writer/writer_state.h"

namespace fenwix {

// The field delimiter of every record line; fields are separated by the delimiter and a blank.
inline constexpr char DELIMITER = ';';

Status WriteHeader(OutputFile& out, const WriterState& state);
Status WriteUnits(OutputFile& out, LinearUnit linear_unit, AngleUnit angle_unit);
Status WriteDefaultSds(OutputFile& out, const WriterState& state);
// Puts a comment line before the head of a file whose input was not read to its end (the XML
// file is not well formed): it says so and names the XML file, the line and column of the
// fault and the reader's message. Fails when the head has already left the buffer.
Status WriteIncompleteNote(OutputFile& out, std::string_view xml_path, std::string_view message,
                           int64_t line, int64_t column);
// A field file of several that was not read to its end, and where its fault is.
struct IncompleteInput {
  std::string_view path;
  std::string_view message;
  int64_t line = 0;
  int64_t column = 0;
};
// The note of a conversion of several field files: one comment line naming every incomplete
// one, saying that the others were read in full.
Status WriteIncompleteNote(OutputFile& out, const std::vector<IncompleteInput>& files);
// Appends a name or description as one field of a record line. Line breaks, tabs and other
// control characters (a blank <PointNumber/> takes the indentation after it as its value) are
// written as blanks, so a field can never break the line structure of the file.
void AppendFieldText(fmt::memory_buffer& line, std::string_view text);

// One "$OBS_DESC" line, or nothing at all when the text is empty.
void WriteObsDescription(OutputFile& out, char delimiter, std::string_view text);

}  // namespace fenwix

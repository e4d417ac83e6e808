#include "writer/edit_notes.h"

#include <fmt/format.h>

#include <iterator>
#include <string_view>

#include "writer/header_writer.h"
#include "writer/record_writer.h"
#include "writer/writer_state.h"

namespace fenwix {

namespace {

std::string_view FileName(const std::vector<std::string>& file_names, int32_t file) {
  return file >= 0 && static_cast<size_t>(file) < file_names.size()
             ? std::string_view(file_names[static_cast<size_t>(file)])
             : std::string_view("?");
}

// One comment line; names and reasons come from a job file that anyone may have written, so
// their control characters are blanked and a reason can never end the comment.
void WriteNote(OutputFile& out, std::string_view lead, std::string_view file, int32_t line,
               std::string_view tail) {
  fmt::memory_buffer note;
  note.append(lead);
  AppendFieldText(note, file);
  fmt::format_to(std::back_inserter(note), " line {}", line);
  AppendFieldText(note, tail);
  out.WriteLine(std::string_view(note.data(), note.size()), 1);
}

}  // namespace

Status WriteEditNotes(OutputFile& out, const ReadingEdits& edits,
                      const std::vector<std::string>& file_names) {
  if (edits.left_out().empty() && edits.self_ties().empty()) return Status();
  if (!edits.left_out().empty()) {
    out.Write("! Left out of the field files by the job file (file, line, element, reason):\n");
    for (const LeftOutElement& left : edits.left_out()) {
      std::string tail = ": ";
      tail += ElementName(left.element);
      if (!left.reason.empty()) tail += ": " + left.reason;
      WriteNote(out, "! LEFT OUT ", FileName(file_names, left.file), left.line, tail);
    }
  }
  for (const SelfTie& tie : edits.self_ties()) {
    WriteNote(out, "! Joins a station to itself once names are changed: ",
              FileName(file_names, tie.file), tie.line, "; kept as a comment, in its own units:");
    out.set_line_prefix("! ", true);
    const ObsRecord& obs = tie.record;
    switch (obs.kind) {
      case ObsKind::GpsVector:
        WriteGpsRecord(out, obs.linear_unit, obs);
        break;
      case ObsKind::Sight:
        WriteSightRecords(out, obs.linear_unit, obs.angle_unit, obs);
        break;
      case ObsKind::AngleSet:
        WriteAngleSetRecord(out, obs.linear_unit, obs.angle_unit, obs);
        break;
      case ObsKind::None:
        break;
    }
    out.set_line_prefix({});
  }
  return out.status();
}

}  // namespace fenwix

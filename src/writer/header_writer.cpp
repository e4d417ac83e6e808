#include "writer/header_writer.h"

#include <algorithm>

#include "model/units.h"
#include "writer/fixed_decimal.h"

namespace fenwix {

Status WriteHeader(OutputFile& out, const WriterState& state) {
  out.Print("{}\n", "! The data in this file will be associated with this Datum.");
  out.Write("$DATUM\n");
  out.Print("  {}\n", state.output_datum_name);
  out.Print("  {:.4f}\n", state.output_datum_a);
  out.Print("  {:.7f}\n\n", state.output_datum_inv_f);
  if (out.error()) return out.status();
  out.Write("$NETTYP\n3\n\n");
  return out.status();
}

Status WriteUnits(OutputFile& out, LinearUnit linear_unit, AngleUnit angle_unit) {
  const char* linear = "M";
  if (linear_unit == LinearUnit::InternationalFoot) linear = "I";
  if (linear_unit == LinearUnit::UsFoot) linear = "U";
  const char* angle = angle_unit == AngleUnit::Gons ? "G" : "D";
  out.Print("$UNITS\n{}\n{}\n1\n\n", linear, angle);
  return out.status();
}

Status WriteDefaultSds(OutputFile& out, const WriterState& state) {
  out.Print("{}\n{}\n", "! Default observation SD's. Remove or change these to 0.0 to disable.",
            "! These values can be redefined or disabled anywhere in the file.");
  out.Print("{}\n{:.3f}\n\n", "$G_AZ_SD", state.default_angle_sd);
  out.Print("{}\n{:.3f}\n\n", "$G_HOR_SD", state.default_angle_sd);
  out.Print("{}\n{:.3f}\n\n", "$G_ZEN_SD", state.default_zenith_sd);
  out.Print("{}\n{:.5f}\n\n", "$G_CRD_SD", state.default_coord_sd);
  return out.status();
}

Status WriteIncompleteNote(OutputFile& out, std::string_view xml_path, std::string_view message,
                           int64_t line, int64_t column) {
  fmt::memory_buffer note;
  fmt::format_to(std::back_inserter(note), "! INCOMPLETE FILE: the Topcon XML file ");
  AppendFieldText(note, xml_path);
  fmt::format_to(std::back_inserter(note), " is not well formed (");
  AppendFieldText(note, message);
  fmt::format_to(std::back_inserter(note),
                 " at line {}, column {}); only the data read before that point are here.\n", line,
                 column);
  if (!out.Prepend(std::string_view(note.data(), note.size()))) return out.WriteFailure();
  return Status();
}

Status WriteIncompleteNote(OutputFile& out, const std::vector<IncompleteInput>& files) {
  fmt::memory_buffer note;
  fmt::format_to(std::back_inserter(note), "! INCOMPLETE FILES:");
  for (size_t i = 0; i < files.size(); ++i) {
    fmt::format_to(std::back_inserter(note), "{} the Topcon XML file ", i == 0 ? "" : ";");
    AppendFieldText(note, files[i].path);
    fmt::format_to(std::back_inserter(note), " is not well formed (");
    AppendFieldText(note, files[i].message);
    fmt::format_to(std::back_inserter(note), " at line {}, column {})", files[i].line,
                   files[i].column);
  }
  fmt::format_to(std::back_inserter(note),
                 "; only the data read before those points are here, and every other file in "
                 "full.\n");
  if (!out.Prepend(std::string_view(note.data(), note.size()))) return out.WriteFailure();
  return Status();
}

void AppendFieldText(fmt::memory_buffer& line, std::string_view text) {
  const auto is_control = [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  };
  // Names and descriptions almost never hold a control character: then they go in whole.
  if (std::none_of(text.begin(), text.end(), is_control)) {
    AppendBytes(line, text);
    return;
  }
  for (const char c : text) line.push_back(is_control(c) ? ' ' : c);
}

void WriteObsDescription(OutputFile& out, char delimiter, std::string_view text) {
  if (text.empty()) return;
  fmt::memory_buffer line;
  AppendBytes(line, "$OBS_DESC");
  line.push_back(delimiter);
  line.push_back(' ');
  AppendFieldText(line, text);
  out.WriteLine(std::string_view(line.data(), line.size()), 1);
}

}  // namespace fenwix

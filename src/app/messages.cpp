#include "app/messages.h"

#include <array>
#include <utility>

namespace fenwix {

namespace {

constexpr std::array<std::pair<MessageId, std::string_view>, 32> STRING_TABLE{{
    {MSG_ABOUT_MENU, "About Fenwix..."},
    {MSG_WRITE_ERROR, "File write error %s"},
    {MSG_NO_MEMORY, "Unable to allocate the required memory"},
    {STR_XML_FILTER, "Topcon XML File (*.xml)|*.xml|All Files (*.*)| *.*||"},
    {STR_XML_TITLE, "Select Topcon XML File"},
    {STR_OUTPUT_FILTER, "ASCII (Text) File (*.txt)|*.txt|All Files (*.*)| *.*||"},
    {STR_OUTPUT_TITLE, "Enter/Select An Output File"},
    {MSG_SEED_NOT_FOUND,
     "Cannot find station '%s' in file %s\n\nOnly observations will be extracted."},
    {MSG_NO_XML_NAME, "Please enter the 'Topcon' *.xml file name to convert"},
    {MSG_NO_OUTPUT_NAME, "Please enter a 'TRIVANTO' File name"},
    {MSG_CANNOT_OPEN, "Cannot open file %s: %s"},
    {MSG_CANNOT_READ, "Cannot read file %s: %s"},
    {MSG_READ_INCOMPLETE,
     "The Topcon XML file %s could not be read completely: %s at line %d, column %d.\n\nThe "
     "results in %s hold only the data read before that point."},
    {MSG_OUTPUT_IS_INPUT,
     "The output file %s is the Topcon XML file itself. Please choose another output file "
     "name."},
    {MSG_PACKED_ANGLE,
     "Please enter the angle as DD.MMSSsssss: degrees, then two digits of minutes and the "
     "seconds, both below 60 (45.3015 is 45 degrees 30 minutes 15 seconds)."},
    {MSG_NO_SEED_NAME,
     "Please enter the name of the station whose coordinates are given, or untick \"Compute "
     "approx for each station.\""},
    {MSG_SETTINGS_NOT_SAVED,
     "The settings could not be saved in %s, so the next start will not show these entries. "
     "Check that this file and its folder can be written. This message is not shown again "
     "until the settings have been saved once."},
    {MSG_INPUT_TWICE,
     "The Topcon XML file %s is named twice (the second time as %s). Please name each field "
     "file once."},
    {MSG_OUTPUT_IS_XML,
     "The output file %s is an XML document, not an adjustment file, and is not replaced. "
     "Please choose another output file name."},
    {MSG_FILES_INCOMPLETE,
     "Not every Topcon XML file could be read completely: %s.\n\nThe results in %s hold the "
     "data read before those points, and every other file in full."},
    {MSG_JOB_REFUSED, "Cannot use the job file %s: %s"},
    {MSG_LEAVE_OUT_NOT_FOUND,
     "Line %d of the field file %s starts no Vector, Observation or Station element, so the "
     "job file cannot leave it out. Nothing was written. Check the line in the job file's "
     "\"leave_out\" list."},
    {MSG_FIELD_FILE_CHANGED,
     "The field file %s has changed since the job file was saved (its SHA-256 fingerprint "
     "differs), and the job file's edits point at its lines. Nothing was written. Check the "
     "edits of this file and drop those that no longer fit, then save the job file again."},
    {MSG_NAME_CLASH,
     "Line %d of the field file %s names the station %s, the name written for the station "
     "\"%s\" of line %d of %s, whose own name a record cannot carry. The two would become one "
     "station, so nothing was written. Give one of them a name of its own with a rename in the "
     "job file."},
    {MSG_MERGE_NO_STATION,
     "The job file's \"merges\" name %s, which no field file of the job holds (after its "
     "renames), so the answer can apply to nothing. Nothing was written. Check the names in the "
     "job file's \"merges\" list."},
    {MSG_SUCCESS_APPROX,
     "Success - the results are in %s.\n\nThe field observations have been extracted.\n\nThe "
     "approximate coordinates could not be computed for %d stations. Non-computed stations "
     "will have coordinates of zero in the results file. You should provide approximate "
     "coordinates for these stations.\n\nThe results file can now be loaded into TRIVANTO for "
     "further processing."},
    {MSG_CANCELLED, "Operation cancelled"},
    {MSG_SUCCESS,
     "Success - the results are in %s.\n\nThe field observations have been extracted.\n\n The "
     "results file can now be loaded into TRIVANTO for further processing."},
    {MSG_ENTER_NUMBER, "Please enter a number."},
    {MSG_NUMBER_RANGE, "Please enter a number between %1 and %2."},
    {MSG_TOO_LONG, "Please enter no more than %1 characters."},
    {MSG_NO_NUMBER, ""},
}};

}  // namespace

std::string_view MessageText(MessageId id) {
  for (const auto& [number, text] : STRING_TABLE) {
    if (number == id) return text;
  }
  return {};
}

MessageSubject SubjectOf(MessageId id) {
  switch (id) {
    case MSG_CANNOT_READ:
    case MSG_NO_XML_NAME:
    case MSG_INPUT_TWICE:
      return MessageSubject::FieldFiles;
    case MSG_CANNOT_OPEN:
    case MSG_NO_OUTPUT_NAME:
    case MSG_OUTPUT_IS_INPUT:
    case MSG_OUTPUT_IS_XML:
      return MessageSubject::OutputFile;
    default:
      return MessageSubject::None;
  }
}

bool IsSuccessMessage(MessageId id) {
  return id == MSG_SUCCESS || id == MSG_SUCCESS_APPROX;
}

std::string CutUtf8(std::string text, size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  size_t end = max_bytes;
  // Step back over continuation bytes so that the cut falls before a lead byte.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

std::string FormatFieldMessage(MessageId id, std::string_view first, std::string_view second) {
  std::string text(MessageText(id));
  for (const auto& [placeholder, value] :
       {std::pair{std::string_view("%1"), first}, std::pair{std::string_view("%2"), second}}) {
    const size_t at = text.find(placeholder);
    if (at != std::string::npos) text.replace(at, placeholder.size(), value);
  }
  return text;
}

}  // namespace fenwix

#pragma once
// Reads the element events of a Topcon XML file: the values of GPS vectors, station setups and
// the readings of each "Observation", with where they are in the file and warnings of values that
// may have been misread. What is read goes on, field by field as it comes, to the reduction that
// forms the records of the tables (reduce/reduction.h).

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/reading_edits.h"
#include "model/reading_log.h"
#include "model/reading_warnings.h"
#include "model/station_names.h"
#include "model/survey_tables.h"
#include "reduce/reduction.h"
#include "xml/element_names.h"
#include "xml/number_reading.h"

namespace fenwix {

// Open structural elements tracked; deeper ones are ignored, start and end alike.
inline constexpr int32_t MAX_STATE_DEPTH = 100;
// Longest element text read as a value (4 KiB). Names and numbers are far shorter; a name is
// copied into every record that mentions it, so an unbounded one could multiply the file's size
// many times over in memory.
inline constexpr size_t MAX_VALUE_BYTES = 4096;

class XmlContentHandler {
 public:
  // Every conversion gets a fresh handler, so nothing of an earlier conversion carries over:
  // the setup, the groups and the sequencing flags start as at program start. The field files
  // of one conversion go through the same handler one after the other, as one job.
  explicit XmlContentHandler(SurveyTables& tables);
  // The text being gathered may point into the handler itself.
  XmlContentHandler(const XmlContentHandler&) = delete;
  XmlContentHandler& operator=(const XmlContentHandler&) = delete;

  // The next field file starts: no element is open (an earlier file may have stopped part-way)
  // and no setup carries on into it. Records and sequencing otherwise continue as in one file.
  void BeginFile();
  // Reading stopped, at the end of the document or at a fault: nothing read is held back.
  void EndInput() { reduction_.EndInput(); }

  // With a log, every reading of a recognised type is also kept as it came, and every record
  // gets the file and line it started on (the file being the log's current one). The log must
  // outlive the parse; without one (the default) nothing of this is done.
  void AttachLog(ReadingLog* log) { reduction_.AttachLog(log); }
  // With warnings, every value that may have been misread is also reported there, with its XML
  // line; the value is read the same either way.
  void AttachWarnings(ReadingWarnings* warnings) {
    warnings_ = warnings;
    reduction_.AttachWarnings(warnings);
  }
  // What the job is in, as the person says: angles as packed DD.MMSSsssss (code 10) or gons
  // (11); distances and heights without a "USFeet" indicator in meters (1), US survey feet (2)
  // or international feet (0). The defaults read the job as it has always been read.
  void SetJobUnits(LinearUnit linear_unit, AngleUnit angle_unit);
  // With edits, elements are left out and names read as others while reading (see
  // ReadingEdits). The edits must outlive the parse; without them nothing of this is done.
  void AttachEdits(ReadingEdits* edits) {
    edits_ = edits != nullptr && !edits->empty() ? edits : nullptr;
    reduction_.AttachEdits(edits_);
  }
  // With replacements, a station name that a record cannot carry (";", a control character,
  // nothing but blanks) is read under a name of its own, kept there with where it was first
  // read, and warned of once. Without them names are read as they stand.
  void AttachNameReplacements(NameReplacements* replacements) { replacements_ = replacements; }
  // Whether the handler asks for the line of element starts (with a log or edits).
  bool wants_lines() const { return reduction_.wants_lines(); }
  // The reader's way to tell the line of the element being started or ended; asked only when
  // wants_lines().
  using LineSource = int64_t (*)(void* context);
  void SetLineSource(LineSource source, void* context) {
    line_source_ = source;
    line_context_ = context;
  }

  // Element events, a start with its local name (any namespace prefix removed). Each element
  // start or end first hands on the text gathered since the previous one. The document being
  // well formed, an end closes the element started last, so it needs no name.
  void OnStartElement(std::string_view local_name);
  // The same start with its name already told apart (KnownNameOf).
  void OnStartElement(KnownName name);
  void OnEndElement();
  // A piece of character data. The pieces between two element tags, however the parser splits
  // them (entity references, CDATA sections, comments, buffer ends), form one value.
  //
  // With lasting set, the caller vouches that the bytes stay where they are until it calls
  // KeepPendingText (or the next element start or end, if that comes first): a value that comes
  // in one such piece, as nearly every value does, is then read where it lies, not copied.
  void OnCharacters(std::string_view text, bool lasting = false);
  // The bytes of the pieces handed on as lasting are about to move: the text gathered from them
  // is copied to the handler's own buffer.
  void KeepPendingText() {
    if (text_data_ != text_buffer_.data()) {
      if (text_size_ > 0) std::memcpy(text_buffer_.data(), text_data_, text_size_);
      text_data_ = text_buffer_.data();
    }
  }
  // The document was read to its end: the groups of the last setup are written, and the setup
  // ends there.
  void OnEndDocument();

  // Whether character data can change anything now. Text is only ever read as the value of the
  // current child name, and it is what empties that name; with no child name current it does
  // nothing at all, so a reader may leave it out until the next element start or end.
  bool TextMatters() const { return child_name_ != ChildName::None && skipped_depth_ == 0; }

  // Set once a value grew past MAX_VALUE_BYTES. The value is dropped; the reader ends the parse
  // there as a fault of the document.
  bool value_too_long() const { return value_too_long_; }

  using ChildName = fenwix::ChildName;

 private:
  void HandText();
  bool WantsText() const;
  void VectorText(std::string_view text);
  void StationText(std::string_view text);
  void ObservationText(std::string_view text);
  // Number and angle fields, warning of what may be a misread.
  double Number(std::string_view text);
  // A number that must lie in its field's range, else nothing (see Measured in the source).
  std::optional<double> Measured(std::string_view text, FieldRange range);
  std::optional<double> Angle(std::string_view text);
  void DistanceIndicator(std::string_view text);
  void AngleIndicator(std::string_view text);
  // Whether a warning found now is to be written out: false without a list of warnings, and
  // when the list is full (the warning is then only counted).
  bool WarningWanted();
  // Whether a value read since the last call was warned of as possibly misread.
  bool TakeMisread() { return std::exchange(misread_, false); }
  void WarnTextlessNumber();
  void Warn(std::string_view text, bool trim, std::string problem, std::string assumed,
            std::string advice);
  SourceLocation CurrentSource() const;
  // Whether the element starting now is left out by the edits; if so it is skipped whole.
  bool LeftOut(ElementState state);
  // A name as the edits have it read, and as a record can carry it.
  std::string_view Named(std::string_view text) {
    const std::string_view name = edits_ != nullptr ? edits_->ReadName(text, element_line_) : text;
    return replacements_ != nullptr ? Carried(name) : name;
  }
  std::string_view Carried(std::string_view name);

  // What is read goes here.
  Reduction reduction_;
  ReadingWarnings* warnings_ = nullptr;
  LinearUnit job_linear_unit_ = LinearUnit::Meter;
  AngleUnit job_angle_unit_ = AngleUnit::Degrees;
  ReadingEdits* edits_ = nullptr;
  NameReplacements* replacements_ = nullptr;
  LineSource line_source_ = nullptr;
  void* line_context_ = nullptr;
  bool misread_ = false;
  bool vector_misread_ = false;
  // Set when the open "Observation" had its horizontal angle refused.
  bool direction_refused_ = false;
  // Where the open "Vector", "Station" or "Observation" started: a name change of one element
  // applies to the names read inside it.
  int32_t element_line_ = 0;

  // Element state.
  ChildName child_name_ = ChildName::None;
  std::array<ElementState, MAX_STATE_DEPTH> states_{};
  int32_t depth_ = -1;
  // Structural elements open beyond the stack; they are ignored until they close.
  int64_t ignored_depth_ = 0;
  // Elements open inside a left-out element, itself included; everything is skipped until 0.
  int64_t skipped_depth_ = 0;
  // For every open element, whether it is structural (1) or not (0), innermost last.
  std::vector<uint8_t> open_structural_;

  // Text gathered since the last element tag: never more than a value's limit.
  std::array<char, MAX_VALUE_BYTES> text_buffer_{};
  // Where that text is: the buffer, or the caller's bytes of a single lasting piece.
  const char* text_data_ = text_buffer_.data();
  size_t text_size_ = 0;
  bool text_pending_ = false;
  // Whether the pending text will be read; unread text is not kept.
  bool text_wanted_ = false;
  // Set when a keyword text grew longer than any keyword; it is handed on as empty.
  bool text_overlong_ = false;
  bool value_too_long_ = false;

  // Set while readings are not read: before the first "ObsType", and after one that names no
  // sight of its own ("BacksightPoint" or an unknown type).
  bool skip_fields_ = true;
};

}  // namespace fenwix

#pragma once
// Turns the element events of a Topcon XML file into observation records: GPS vectors field by
// field, and the total-station observations of each setup gathered into a backsight group and a
// foresight group whose readings are averaged.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/reading_edits.h"
#include "model/reading_log.h"
#include "model/reading_warnings.h"
#include "model/station_names.h"
#include "model/survey_tables.h"

namespace fenwix {

// Structural elements that occupy an entry of the state stack.
inline constexpr int32_t STATE_DATA = 101;
inline constexpr int32_t STATE_PROJECT = 111;
inline constexpr int32_t STATE_VECTOR = 112;
inline constexpr int32_t STATE_POINT = 113;
inline constexpr int32_t STATE_STATION = 114;
inline constexpr int32_t STATE_OBSERVATION = 121;
// Open structural elements tracked; deeper ones are ignored, start and end alike.
inline constexpr int32_t MAX_STATE_DEPTH = 100;
// Longest element text read as a value (4 KiB). Names and numbers are far shorter; a name is
// copied into every record that mentions it, so an unbounded one could multiply the file's size
// many times over in memory.
inline constexpr size_t MAX_VALUE_BYTES = 4096;

// group_state values: which kind of observation came last.
inline constexpr int32_t GROUP_NONE = -1;
inline constexpr int32_t GROUP_BACKSIGHT = 1;
inline constexpr int32_t GROUP_FORESIGHT = 2;
inline constexpr int32_t GROUP_SHOTSIGHT = 3;
inline constexpr int32_t GROUP_BACKSIGHT_POINT = 4;

// The current instrument setup.
struct StationSetup {
  std::string station_point;
  // As read, in the units of the file; converted only when a record is written.
  double instrument_height = 0.0;
  // Set when the instrument height was warned of as possibly misread.
  bool misread = false;
};

// The readings gathered for one sighted point: sums and counts, each average with its own count.
struct ObsGroup {
  std::string point_number;
  // The point number as the file wrote it, kept only while names are changed.
  std::string point_as_read;
  int32_t linear_unit = LINEAR_UNIT_METER;
  double target_height_sum = 0.0;  // meters
  double direction_sum = 0.0;      // radians
  double zenith_sum = 0.0;         // radians
  double slope_dist_sum = 0.0;     // meters
  int32_t target_height_count = 0;
  int32_t direction_count = 0;
  int32_t zenith_count = 0;
  int32_t slope_dist_count = 0;
  // The first direction added. Later readings are kept within half a turn of it, so that
  // readings on both sides of the circle's zero (or of the backsight's wrap point) average to
  // the direction they share instead of one half a turn away.
  double first_direction = 0.0;
  // Set when a reading was moved by a full turn towards first_direction; the mean is then
  // brought back into the group's range.
  bool direction_turned = false;
  // The first observation that gave the group a field (kept only with a log).
  SourceLocation first_source;
  // Observations typed into the group, and where the first of them started: a group that
  // measured nothing a record can carry is left out with a warning naming that line.
  int32_t observations = 0;
  SourceLocation first_observation;
  // Set when a value read into the group was warned of as possibly misread.
  bool misread = false;
};

struct ObsAccumulator {
  double current_direction = 0.0;  // the last horizontal angle read, radians
  ObsGroup backsight;
  ObsGroup foresight;
};

class XmlContentHandler {
 public:
  // Every conversion gets a fresh handler, so nothing of an earlier conversion carries over:
  // the setup, the groups and the sequencing flags start as at program start. The field files
  // of one conversion go through the same handler one after the other, as one job.
  explicit XmlContentHandler(SurveyTables& tables);

  // The next field file starts: no element is open (an earlier file may have stopped part-way)
  // and no setup carries on into it. Records and sequencing otherwise continue as in one file.
  void BeginFile();

  // With a log, every reading of a recognised type is also kept as it came, and every record
  // gets the file and line it started on (the file being the log's current one). The log must
  // outlive the parse; without one (the default) nothing of this is done.
  void AttachLog(ReadingLog* log) { log_ = log; }
  // With warnings, every value that may have been misread is also reported there, with its XML
  // line; the value is read the same either way.
  void AttachWarnings(ReadingWarnings* warnings) { warnings_ = warnings; }
  // What the job is in, as the person says: angles as packed DD.MMSSsssss (code 10) or gons
  // (11); distances and heights without a "USFeet" indicator in meters (1), US survey feet (2)
  // or international feet (0). The defaults read the job as it has always been read.
  void SetJobUnits(int32_t linear_unit, int32_t angle_unit);
  // With edits, elements are left out and names read as others while reading (see
  // ReadingEdits). The edits must outlive the parse; without them nothing of this is done.
  void AttachEdits(ReadingEdits* edits) {
    edits_ = edits != nullptr && !edits->empty() ? edits : nullptr;
  }
  // With replacements, a station name that a record cannot carry (";", a control character,
  // nothing but blanks) is read under a name of its own, kept there with where it was first
  // read, and warned of once. Without them names are read as they stand.
  void AttachNameReplacements(NameReplacements* replacements) { replacements_ = replacements; }
  // Whether the handler asks for the line of element starts (with a log or edits).
  bool wants_lines() const { return log_ != nullptr || edits_ != nullptr; }
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
  void OnEndElement();
  // A piece of character data. The pieces between two element tags, however the parser splits
  // them (entity references, CDATA sections, comments, buffer ends), form one value.
  void OnCharacters(std::string_view text);
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

  // Names of the elements whose text this handler reads; ChildName::None stands for an empty or
  // unrecognised name.
  enum class ChildName : int32_t {
    None,
    BasePoint,
    RoverPoint,
    Type,
    DX,
    DY,
    DZ,
    SX,
    SY,
    SZ,
    CXY,
    CXZ,
    CYZ,
    StationPoint,
    InstrumentHeight,
    ObsType,
    PointNumber,
    PrismHeight,
    HorizontalAngle,
    ZenithAngle,
    SlopeDistance,
    DistanceUnitIndicator,
    AngleUnitIndicator,
  };

 private:
  void HandText();
  bool WantsText() const;
  void VectorText(std::string_view text);
  void StationText(std::string_view text);
  void ObservationText(std::string_view text);
  void ObsTypeText(std::string_view text);
  void AddZenith(ObsGroup& group, double zenith);
  // Number and angle fields, warning of what may be a misread.
  double Number(std::string_view text);
  double Angle(std::string_view text);
  void DistanceIndicator(ObsGroup& group, std::string_view text);
  void AngleIndicator(std::string_view text);
  // Whether a warning found now is to be written out: false without a list of warnings, and
  // when the list is full (the warning is then only counted).
  bool WarningWanted();
  // Whether a value read since the last call was warned of as possibly misread.
  bool TakeMisread() { return std::exchange(misread_, false); }
  // Records the vector that ends here, or warns that the adjustment file leaves it out.
  void EndVector();
  // Warns that a group of observations measured nothing a record can carry.
  void WarnNothingObserved(const ObsGroup& group, std::string_view element);
  // Marks the warned values of a group written now as recorded.
  void NoteMisread(const ObsGroup& group);
  void WarnTextlessNumber();
  void Warn(std::string_view text, bool trim, std::string problem, std::string assumed,
            std::string advice);
  void ResetGroups();
  void WriteSingleSight();
  // Writes the foresight group as an angle set, then starts both groups afresh, or only the
  // foresight group when the same backsight goes on serving further foresight points.
  void WriteAngleSet(bool keep_backsight = false);
  // Writes the foresight group still open when a setup ends (a new "Station" or the end of the
  // file), so that a setup without a closing backsight still gives its observations. An open
  // backsight group is the closing check of a round already written and stays unwritten.
  void EndSetup();
  // Appends the working observation, and where it started to the log.
  void Record(SourceLocation source, std::string_view at_as_read = {},
              std::string_view fore_as_read = {}, std::string_view back_as_read = {});
  SourceLocation CurrentSource() const;
  // Whether the element starting now is left out by the edits; if so it is skipped whole.
  bool LeftOut(int32_t state);
  // A name as the edits have it read, and as a record can carry it.
  std::string_view Named(std::string_view text) {
    const std::string_view name = edits_ != nullptr ? edits_->ReadName(text) : text;
    return replacements_ != nullptr ? Carried(name) : name;
  }
  std::string_view Carried(std::string_view name);
  // True when the name changes made the working observation a tie of a point to itself that
  // its recorded names were not; it is then kept aside by the edits instead of recorded.
  bool KeptAsSelfTie(SourceLocation source, std::string_view at, std::string_view fore,
                     std::string_view back);

  SurveyTables& tables_;
  ReadingLog* log_ = nullptr;
  ReadingWarnings* warnings_ = nullptr;
  int32_t job_linear_unit_ = LINEAR_UNIT_METER;
  int32_t job_angle_unit_ = ANGLE_UNIT_CODE_DEGREES;
  ReadingEdits* edits_ = nullptr;
  NameReplacements* replacements_ = nullptr;
  LineSource line_source_ = nullptr;
  void* line_context_ = nullptr;
  // The reading of the open "Observation" element, kept when its type is recognised (filled
  // without a log too: plain stores cost less than a test per field).
  RawReading reading_;
  bool reading_typed_ = false;
  SourceLocation vector_source_;
  bool misread_ = false;
  bool vector_misread_ = false;

  // Element state.
  ChildName child_name_ = ChildName::None;
  std::array<int32_t, MAX_STATE_DEPTH> states_{};
  int32_t depth_ = -1;
  // Structural elements open beyond the stack; they are ignored until they close.
  int64_t ignored_depth_ = 0;
  // Elements open inside a left-out element, itself included; everything is skipped until 0.
  int64_t skipped_depth_ = 0;
  // Set after a left-out "Station": its setup's observations are left out with it up to the
  // next "Station" or the end of the file.
  bool skipping_setup_ = false;
  // Names as the file wrote them, kept only while names are changed, for an observation that
  // the change makes a tie of a point to itself.
  std::string station_as_read_;
  std::string base_as_read_;
  std::string rover_as_read_;
  // For every open element, whether it is structural (1) or not (0), innermost last.
  std::vector<uint8_t> open_structural_;

  // Text gathered since the last element tag: never more than a value's limit.
  std::array<char, MAX_VALUE_BYTES> text_buffer_{};
  size_t text_size_ = 0;
  bool text_pending_ = false;
  // Whether the pending text will be read; unread text is not kept.
  bool text_wanted_ = false;
  // Set when a keyword text grew longer than any keyword; it is handed on as empty.
  bool text_overlong_ = false;
  bool value_too_long_ = false;

  // Setup and sequencing.
  StationSetup station_setup_;
  ObsAccumulator accumulator_;
  int32_t group_state_ = GROUP_NONE;
  bool skip_fields_ = true;
  bool in_backsight_ = false;
};

}  // namespace fenwix

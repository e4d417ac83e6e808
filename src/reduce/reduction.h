#pragma once
// Forms the records of the observation table from a job's raw readings as they are read: a GPS
// vector as one record, and the total-station readings of each setup gathered into a backsight
// group and a foresight group, reduced to face one and averaged into single sights and angle
// sets. The job's edits are applied here too: left-out elements and ties of a point to itself
// that renames made. The readings come in the order of the field file, field by field, so a big
// job streams through without being held.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/reading_edits.h"
#include "model/reading_log.h"
#include "model/reading_warnings.h"
#include "model/survey_tables.h"
#include "reduce/raw_readings.h"

namespace fenwix {

// Which kind of observation came last.
enum class GroupState : uint8_t { None, Backsight, Foresight, Shotsight, BacksightPoint };

// The current instrument setup.
struct StationSetup {
  std::string station_point;
  // As read, in the units of the file; converted only when a record is written.
  double instrument_height = 0.0;
  // Set when the instrument height was warned of as possibly misread.
  bool misread = false;
};

// A horizontal angle read without a zenith angle: its face is not known from the reading.
struct LooseDirection {
  double direction = 0.0;  // radians as read
  SourceLocation source;   // the "Observation" element
};

// The readings gathered for one sighted point: sums and counts, each average with its own count.
struct ObsGroup {
  std::string point_number;
  // The point number as the file wrote it, kept only while names are changed.
  std::string point_as_read;
  LinearUnit linear_unit = LinearUnit::Meter;
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
  // The first observation that gave the group a field (kept only with a log or edits).
  SourceLocation first_source;
  // Observations typed into the group, and where the first of them started: a group that
  // measured nothing a record can carry is left out with a warning naming that line.
  int32_t observations = 0;
  SourceLocation first_observation;
  // Set when a value read into the group was warned of as possibly misread.
  bool misread = false;
  // Horizontal angles read without a zenith angle, not yet in the direction sums.
  std::vector<LooseDirection> loose;
};

// A record held back until its setup ends: an angle set whose round has no backsight direction
// yet, or whose directions need the face the whole setup was read in; and, while any is held,
// each backsight group as it closes, for the rounds before it to turn from.
struct HeldRecord {
  bool backsight_end = false;
  int32_t round = 0;
  ObsRecord obs;
  SourceLocation source;
  std::string at_as_read;
  std::string fore_as_read;
  std::string back_as_read;
  ObsGroup fore;
  ObsGroup back;
};

struct ObsAccumulator {
  double current_direction = 0.0;  // the last horizontal angle read, radians
  ObsGroup backsight;
  ObsGroup foresight;
};

class Reduction {
 public:
  explicit Reduction(SurveyTables& tables) : tables_(tables) {}

  // With a log, every typed reading is also kept as it came, and every record gets the file and
  // line it started on. The log must outlive the reduction.
  void AttachLog(ReadingLog* log) { log_ = log; }
  // With warnings, records left out and misread values recorded are reported there.
  void AttachWarnings(ReadingWarnings* warnings) { warnings_ = warnings; }
  // With edits, elements are left out and ties of a point to itself kept aside.
  void AttachEdits(ReadingEdits* edits) { edits_ = edits; }
  // The units of the job's records (see XmlContentHandler::SetJobUnits); the groups start anew.
  void SetJobUnits(LinearUnit linear_unit, AngleUnit angle_unit);

  const ReadingLog* log() const { return log_; }
  const ReadingEdits* edits() const { return edits_; }
  // Whether readings and records are told where they started (with a log or edits).
  bool wants_lines() const { return log_ != nullptr || edits_ != nullptr; }
  // The field file being read, as the log or the edits count it.
  int32_t current_file() const;

  // Whether the edits leave out the element starting on `line` (a left-out "Station" takes its
  // setup's observations with it, up to the next "Station"). Asked only with edits.
  bool LeavesOut(EditedElement element, int32_t line);
  // Whether a station name is taken: by a station of the tables, or by a name read but not yet
  // recorded.
  bool NameTaken(std::string_view name) const;

  // The next field file starts; no setup carries on into it.
  void BeginFile();
  // The field file was read to its end: the open groups are written and the setup ends.
  void EndDocument();
  // Reading stopped without an end of the document (a file that stops being XML): the records
  // held back in the open setup are recorded, so that nothing read before the fault is lost.
  void EndInput() { ReleaseHeld(); }

  // A GPS vector: its names as the record carries them and as the file wrote them.
  void BeginVector(SourceLocation source);
  void VectorName(bool rover, std::string_view name, std::string_view as_read);
  void VectorType(std::string_view text);
  void VectorValue(VectorField field, double value);
  // Records the vector, or warns that the adjustment file leaves it out.
  void EndVector(bool misread);

  // An instrument setup ("Station"): the open foresight group is written first.
  void BeginSetup(SourceLocation source);
  // A "StationPoint" starts: the setup begins anew before its name is read, so that the name
  // of the setup before no longer counts as taken.
  void NewStationPoint();
  void SetupStation(std::string_view name, std::string_view as_read, bool misread);
  // In the units of the file.
  void SetupHeight(double height, bool misread);

  // One reading ("Observation"): its kind, then its fields in the order of the file.
  void BeginReading(SourceLocation source);
  void Sight(SightKind kind);
  void SightPoint(std::string_view name, std::string_view as_read);
  // Lengths in the unit in force for the group (see SetDistanceUnit); angles in radians.
  void PrismHeight(double height);
  void SlopeDistance(double distance);
  void HorizontalAngle(double angle);
  void ZenithAngle(double zenith);
  // The unit the distances of the current group are given in.
  LinearUnit distance_unit() const { return Group().linear_unit; }
  void SetDistanceUnit(LinearUnit unit) { Group().linear_unit = unit; }
  // A field of the reading was read; `misread` when its value was warned of.
  void FieldRead(bool misread);
  void EndReading();

 private:
  ObsGroup& Group() { return in_backsight_ ? accumulator_.backsight : accumulator_.foresight; }
  const ObsGroup& Group() const {
    return in_backsight_ ? accumulator_.backsight : accumulator_.foresight;
  }
  void AddZenith(ObsGroup& group, double zenith);
  // Adds a direction reduced to face one to the group's sums, in the group's range.
  static void AddDirection(ObsGroup& group, double direction, bool backsight);
  // The group with its loose directions added where the group's own readings tell their face;
  // false when some are left loose.
  static bool TellFacesFromGroup(ObsGroup& group, bool backsight);
  // Records the held records of the setup, their faces and backsights settled, with warnings
  // for the horizontal angles that cannot be.
  void ReleaseHeld();
  // The face the whole setup was read in, or FACE_UNKNOWN when it was read in both or a
  // loose direction of a point disagrees with another reading of it by more than a quarter turn.
  uint8_t SetupFace() const;
  // The loose directions of a held group added in `face`, or warned of and dropped.
  void SettleLoose(ObsGroup& group, bool backsight, uint8_t face);
  void WarnFaceUnknown(const LooseDirection& loose, const ObsGroup& group, bool backsight);
  void WarnNoBacksight(const HeldRecord& first, int32_t angles);
  void ResetGroups();
  // The backsight group as a single sight from the station to the backsight point.
  void WriteSingleSight();
  // Writes the foresight group as an angle set, then starts both groups afresh, or only the
  // foresight group when the same backsight goes on serving further foresight points.
  void WriteAngleSet(bool keep_backsight = false);
  // Writes the foresight group still open when a setup ends (a new "Station" or the end of the
  // file), so that a setup without a closing backsight still gives its observations. An open
  // backsight group is the closing check of a round already written and stays unwritten.
  void EndSetup();
  // Warns that a group of observations measured nothing a record can carry.
  void WarnNothingObserved(const ObsGroup& group, std::string_view element);
  // Marks the warned values of a group written now as recorded.
  void NoteMisread(const ObsGroup& group);
  // Appends the working observation, and where it started to the log.
  void Record(SourceLocation source, std::string_view at_as_read = {},
              std::string_view fore_as_read = {}, std::string_view back_as_read = {});
  // True when the name changes made the working observation a tie of a point to itself that
  // its recorded names were not; it is then kept aside by the edits instead of recorded.
  bool KeptAsSelfTie(SourceLocation source, std::string_view at, std::string_view fore,
                     std::string_view back);

  SurveyTables& tables_;
  ReadingLog* log_ = nullptr;
  ReadingWarnings* warnings_ = nullptr;
  ReadingEdits* edits_ = nullptr;
  LinearUnit job_linear_unit_ = LinearUnit::Meter;
  AngleUnit job_angle_unit_ = AngleUnit::Degrees;
  // The reading of the open "Observation" element, kept when its type is recognised (filled
  // without a log too: plain stores cost less than a test per field).
  RawReading reading_;
  bool reading_typed_ = false;
  SourceLocation vector_source_;
  // Set after a left-out "Station": its setup's observations are left out with it up to the
  // next "Station" or the end of the file.
  bool skipping_setup_ = false;
  // Names as the file wrote them, kept only while names are changed, for an observation that
  // the change makes a tie of a point to itself.
  std::string station_as_read_;
  std::string base_as_read_;
  std::string rover_as_read_;
  StationSetup station_setup_;
  ObsAccumulator accumulator_;
  // Records held back in the current setup, in the order they would have been recorded.
  std::vector<HeldRecord> held_;
  // Faces read with a zenith angle in the current setup (bit 1 face one, bit 2 face two), and
  // the first raw direction with a zenith to each point, for telling loose directions' faces.
  uint8_t setup_faces_ = 0;
  std::vector<std::pair<std::string, double>> setup_pointings_;
  // Counts the backsight groups of the setup: a round is the foresights after one of them.
  int32_t round_ = 0;
  // Lines of loose directions already warned of in the setup.
  std::vector<int32_t> warned_lines_;
  // The horizontal angle and zenith angle of the reading being read, when it gave them.
  bool reading_has_direction_ = false;
  bool reading_has_zenith_ = false;
  // A zenith angle read before the reading's horizontal angle: its group and the direction that
  // goes with it once the reading turns out to give a horizontal angle.
  ObsGroup* zenith_group_ = nullptr;
  double zenith_direction_ = 0.0;
  GroupState group_state_ = GroupState::None;
  bool in_backsight_ = false;
};

}  // namespace fenwix

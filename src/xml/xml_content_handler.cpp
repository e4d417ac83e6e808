#include "xml/xml_content_handler.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>

#include "geodesy/angles.h"
#include "xml/number_reading.h"

namespace fenwix {

namespace {

using ChildName = XmlContentHandler::ChildName;

// Keyword values are at most 14 bytes ("BacksightPoint"); an ObsType or unit text longer than
// this bound matches none of them, so no more of it is kept.
constexpr size_t KEYWORD_TEXT_LIMIT = 32;

// Every element start and end asks this, and most names are fields: one branch on the length
// rules out all but at most two comparisons.
int32_t StateOf(std::string_view name) {
  switch (name.size()) {
    case 4:
      if (name == "data") return STATE_DATA;
      break;
    case 5:
      if (name == "Point") return STATE_POINT;
      break;
    case 6:
      if (name == "Vector") return STATE_VECTOR;
      break;
    case 7:
      if (name == "Project") return STATE_PROJECT;
      if (name == "Station") return STATE_STATION;
      break;
    case 11:
      if (name == "Observation") return STATE_OBSERVATION;
      break;
    default:
      break;
  }
  return 0;
}

ChildName ChildNameOf(std::string_view name) {
  switch (name.size()) {
    case 2:
      if (name == "DX") return ChildName::DX;
      if (name == "DY") return ChildName::DY;
      if (name == "DZ") return ChildName::DZ;
      if (name == "SX") return ChildName::SX;
      if (name == "SY") return ChildName::SY;
      if (name == "SZ") return ChildName::SZ;
      break;
    case 3:
      if (name == "CXY") return ChildName::CXY;
      if (name == "CXZ") return ChildName::CXZ;
      if (name == "CYZ") return ChildName::CYZ;
      break;
    case 4:
      if (name == "Type") return ChildName::Type;
      break;
    case 7:
      if (name == "ObsType") return ChildName::ObsType;
      break;
    case 9:
      if (name == "BasePoint") return ChildName::BasePoint;
      break;
    case 10:
      if (name == "RoverPoint") return ChildName::RoverPoint;
      break;
    case 11:
      if (name == "PointNumber") return ChildName::PointNumber;
      if (name == "PrismHeight") return ChildName::PrismHeight;
      if (name == "ZenithAngle") return ChildName::ZenithAngle;
      break;
    case 12:
      if (name == "StationPoint") return ChildName::StationPoint;
      break;
    case 13:
      if (name == "SlopeDistance") return ChildName::SlopeDistance;
      break;
    case 15:
      if (name == "HorizontalAngle") return ChildName::HorizontalAngle;
      break;
    case 16:
      if (name == "InstrumentHeight") return ChildName::InstrumentHeight;
      break;
    case 18:
      if (name == "AngleUnitIndicator") return ChildName::AngleUnitIndicator;
      break;
    case 21:
      if (name == "DistanceUnitIndicator") return ChildName::DistanceUnitIndicator;
      break;
    default:
      break;
  }
  return ChildName::None;
}

bool IsVectorField(ChildName name) {
  return name >= ChildName::BasePoint && name <= ChildName::CYZ;
}

bool IsStationField(ChildName name) {
  return name == ChildName::StationPoint || name == ChildName::InstrumentHeight;
}

bool IsObservationField(ChildName name) {
  return name >= ChildName::ObsType;
}

bool IsKeywordField(ChildName name) {
  return name == ChildName::ObsType || name == ChildName::DistanceUnitIndicator ||
         name == ChildName::AngleUnitIndicator;
}

bool IsNumberField(ChildName name) {
  return (name >= ChildName::DX && name <= ChildName::CYZ) || name == ChildName::InstrumentHeight ||
         name == ChildName::PrismHeight ||
         (name >= ChildName::HorizontalAngle && name <= ChildName::SlopeDistance);
}

// The element name of a field, for warnings.
std::string_view FieldName(ChildName name) {
  static constexpr std::string_view NAMES[] = {"",
                                               "BasePoint",
                                               "RoverPoint",
                                               "Type",
                                               "DX",
                                               "DY",
                                               "DZ",
                                               "SX",
                                               "SY",
                                               "SZ",
                                               "CXY",
                                               "CXZ",
                                               "CYZ",
                                               "StationPoint",
                                               "InstrumentHeight",
                                               "ObsType",
                                               "PointNumber",
                                               "PrismHeight",
                                               "HorizontalAngle",
                                               "ZenithAngle",
                                               "SlopeDistance",
                                               "DistanceUnitIndicator",
                                               "AngleUnitIndicator"};
  const auto index = static_cast<size_t>(name);
  return index < std::size(NAMES) ? NAMES[index] : std::string_view();
}

// Largest angle in gons that a reading of the circle can give.
constexpr double FULL_CIRCLE_GONS = 400.0;
// Minutes in a degree and seconds in a minute: packed digits at or above it are not DD.MMSS.
constexpr double SEXAGESIMAL_BASE = 60.0;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A unit indicator as compared leniently: lower case, without blanks, '_' or '-'. Indicator
// texts are keywords of at most KEYWORD_TEXT_LIMIT bytes.
std::string Folded(std::string_view text) {
  std::string folded;
  for (const char c : text) {
    if (IsBlank(c) || c == '_' || c == '-') continue;
    folded += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return folded;
}

bool AnyOf(std::string_view folded, std::initializer_list<std::string_view> spellings) {
  for (const std::string_view spelling : spellings) {
    if (folded == spelling) return true;
  }
  return false;
}

// The unit a distance indicator names, however spelled; -1 for one not known.
int32_t DistanceUnitNamed(std::string_view text) {
  const std::string folded = Folded(text);
  if (AnyOf(folded, {"m", "meter", "meters", "metre", "metres", "metric"})) {
    return LINEAR_UNIT_METER;
  }
  if (AnyOf(folded, {"usfeet", "usfoot", "usft", "ussurveyfeet", "ussurveyfoot", "surveyfeet",
                     "surveyfoot"})) {
    return LINEAR_UNIT_US_FOOT;
  }
  if (AnyOf(folded, {"feet", "foot", "ft", "intfeet", "intfoot", "intft", "ift",
                     "internationalfeet", "internationalfoot"})) {
    return LINEAR_UNIT_INTERNATIONAL_FOOT;
  }
  return -1;
}

// The angle unit an angle indicator names, however spelled; -1 for one not known.
int32_t AngleUnitNamed(std::string_view text) {
  const std::string folded = Folded(text);
  if (folded == "dms") return ANGLE_UNIT_CODE_DEGREES;
  if (AnyOf(folded, {"gon", "gons", "grad", "grads", "gradian", "gradians"})) {
    return ANGLE_UNIT_CODE_GONS;
  }
  return -1;
}

std::string_view LinearUnitName(int32_t code) {
  if (code == LINEAR_UNIT_US_FOOT) return "US survey feet";
  if (code == LINEAR_UNIT_INTERNATIONAL_FOOT) return "international feet";
  return "meters";
}

std::string_view AngleUnitName(int32_t code) {
  return code == ANGLE_UNIT_CODE_GONS ? "gons" : "DD.MMSSsssss";
}

// Shortest decimal text that reads back as value.
std::string Decimal(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// An angle in degrees as degrees, minutes and seconds to a tenth, e.g. 124°16'30".
std::string DegreesMinutesSeconds(double degrees) {
  // Tenths of an arc-second in a degree.
  constexpr double TENTHS_PER_DEGREE = 36000.0;
  const double magnitude = std::fabs(degrees);
  if (!(magnitude < 1e9)) return Decimal(degrees) + "°";
  const auto tenths = static_cast<int64_t>(std::llround(magnitude * TENTHS_PER_DEGREE));
  std::string text = degrees < 0.0 ? "-" : "";
  text += std::to_string(tenths / 36000) + "°" + std::to_string(tenths / 600 % 60) + "'" +
          std::to_string(tenths % 600 / 10);
  if (tenths % 10 != 0) text += "." + std::to_string(tenths % 10);
  return text + "\"";
}

constexpr std::string_view DISTANCE_ADVICE =
    "If the job is in feet, say which: --distance-unit ft (international) or usft (US survey), "
    "or Options → Distance unit";
constexpr std::string_view GON_ADVICE =
    "If the job's angles are gons, say so: --angle-unit gon, or Options → Angle unit";
constexpr std::string_view DMS_ADVICE =
    "If the job's angles are DD.MMSSsssss, say so: --angle-unit dms, or Options → Angle unit";

// Out-of-range input (a packed angle near the limit of a double, sums of such values) can make
// a conversion overflow; such a value is as unusable as an unreadable number and counts as 0.
double Finite(double value) {
  return std::isfinite(value) ? value : 0.0;
}

double Mean(double sum, int32_t count) {
  return Finite(sum / count);
}

// Mean direction of a group, in the range its readings were reduced to: [low, low + 2π).
double MeanDirection(const ObsGroup& group, double low) {
  double mean = Mean(group.direction_sum, group.direction_count);
  if (group.direction_turned) {
    if (mean < low) {
      mean += TWO_PI;
    } else if (mean >= low + TWO_PI) {
      mean -= TWO_PI;
    }
  }
  return mean;
}

}  // namespace

XmlContentHandler::XmlContentHandler(SurveyTables& tables) : tables_(tables) {}

void XmlContentHandler::SetJobUnits(int32_t linear_unit, int32_t angle_unit) {
  job_linear_unit_ = linear_unit;
  job_angle_unit_ = angle_unit;
  ResetGroups();
}

bool XmlContentHandler::WarningWanted() {
  if (warnings_ == nullptr) return false;
  misread_ = true;
  if (!warnings_->full()) return true;
  warnings_->CountUnkept();
  return false;
}

// The line of a text handed on at the tag after it: that tag's line, less the line ends inside
// the text (an empty element's value is the blank text that follows it). Numbers are shown
// without the blanks around them; unit indicators as they are, blanks being their fault.
void XmlContentHandler::Warn(std::string_view text, bool trim, std::string problem,
                             std::string assumed, std::string advice) {
  const auto line_ends = static_cast<int32_t>(std::count(text.begin(), text.end(), '\n'));
  const int32_t line = std::max(1, CurrentSource().line - line_ends);
  warnings_->Add(line, FieldName(child_name_), trim ? Trimmed(text) : text, std::move(problem),
                 std::move(assumed), std::move(advice));
}

// An empty number element right before its parent's end tag (`<DZ/></Vector>`) has no text at
// all, not even blanks, so Number never sees it: the field stays without a value.
void XmlContentHandler::WarnTextlessNumber() {
  if (!IsNumberField(child_name_) || !WantsText() || !WarningWanted()) {
    return;
  }
  Warn({}, true, "is empty", "left without a value", "Check this field in the job");
}

double XmlContentHandler::Number(std::string_view text) {
  const NumberText read = ReadNumberText(text);
  if (read.fault == NumberFault::None || !WarningWanted()) return read.value;
  const std::string assumed = "read as " + Decimal(read.value);
  switch (read.fault) {
    case NumberFault::Empty:
      Warn(text, true, "is empty", assumed, "Check this field in the job");
      break;
    case NumberFault::DecimalComma:
      Warn(text, true, "has a decimal comma", assumed + ", the comma taken for a decimal point",
           "If it is a thousands separator, or to be sure, export the job with a decimal point");
      break;
    case NumberFault::TrailingText:
      Warn(text, true, read.value == 0.0 ? "is not a number" : "has text after the number", assumed,
           "Check this field in the job");
      break;
    case NumberFault::OutOfRange:
      Warn(text, true, "is beyond the range of a number", assumed, "Check this field in the job");
      break;
    case NumberFault::None:
      break;
  }
  return read.value;
}

// A horizontal or zenith angle in the job's angle unit, in radians.
double XmlContentHandler::Angle(std::string_view text) {
  const double value = Number(text);
  if (job_angle_unit_ == ANGLE_UNIT_CODE_GONS) {
    if (warnings_ != nullptr && std::fabs(value) > FULL_CIRCLE_GONS && WarningWanted()) {
      Warn(text, true, "is more than 400 gons", "read as " + Decimal(value) + " gons",
           std::string(DMS_ADVICE));
    }
    return Finite(GonsToRadians(value));
  }
  const double radians = Finite(DmsToRadians(value));
  if (warnings_ != nullptr) {
    const Dms parts = SplitDms(std::fabs(value));
    if ((parts.minutes >= SEXAGESIMAL_BASE || parts.seconds >= SEXAGESIMAL_BASE) &&
        WarningWanted()) {
      Warn(text, true,
           "has " + Decimal(parts.minutes) + " minutes and " + Decimal(std::floor(parts.seconds)) +
               " seconds, which is no DD.MMSSsssss angle",
           "read as " + DegreesMinutesSeconds(radians * DEGREES_PER_RADIAN) +
               ", the minutes and seconds added",
           std::string(GON_ADVICE) + "; decimal degrees cannot be read");
    }
  }
  return radians;
}

// Only the exact text "USFeet" changes the unit, and, in a job said to be in feet, a spelling
// of meters; every other text leaves the unit in force, which is worth a warning when the text
// names another unit or none that is known.
void XmlContentHandler::DistanceIndicator(ObsGroup& group, std::string_view text) {
  if (text == "USFeet") {
    group.linear_unit = LINEAR_UNIT_US_FOOT;
    return;
  }
  const int32_t named = text_overlong_ ? -1 : DistanceUnitNamed(text);
  if (named == LINEAR_UNIT_METER && job_linear_unit_ != LINEAR_UNIT_METER) {
    group.linear_unit = LINEAR_UNIT_METER;
  }
  if (warnings_ == nullptr || named == group.linear_unit || !WarningWanted()) return;
  std::string problem = "is neither \"USFeet\" nor meters";
  if (named == LINEAR_UNIT_US_FOOT) problem = "is not exactly \"USFeet\"";
  if (named == LINEAR_UNIT_INTERNATIONAL_FOOT) problem = "says feet";
  if (named == LINEAR_UNIT_METER) problem = "says meters";
  Warn(text, false, std::move(problem),
       "its distances and heights read as " + std::string(LinearUnitName(group.linear_unit)),
       std::string(DISTANCE_ADVICE));
}

// The indicator never changes how angles are read; only the job's angle unit does.
void XmlContentHandler::AngleIndicator(std::string_view text) {
  if (warnings_ == nullptr) return;
  const int32_t named = text_overlong_ ? -1 : AngleUnitNamed(text);
  if (named == job_angle_unit_ || !WarningWanted()) return;
  std::string problem = "is not \"DMS\"";
  if (named == ANGLE_UNIT_CODE_GONS) problem = "says gons";
  if (named == ANGLE_UNIT_CODE_DEGREES) problem = "says DD.MMSSsssss";
  Warn(text, false, std::move(problem),
       "angles read as " + std::string(AngleUnitName(job_angle_unit_)),
       std::string(job_angle_unit_ == ANGLE_UNIT_CODE_GONS ? DMS_ADVICE : GON_ADVICE));
}

void XmlContentHandler::OnStartElement(std::string_view local_name) {
  if (skipped_depth_ > 0) {
    ++skipped_depth_;
    return;
  }
  const int32_t state = StateOf(local_name);
  // A left-out element is skipped before the text in front of it is handed on: the text on
  // both sides joins, as it does once the element is cut out of the file.
  if (edits_ != nullptr && state != 0 && LeftOut(state)) {
    skipped_depth_ = 1;
    return;
  }
  HandText();
  open_structural_.push_back(state != 0 ? 1 : 0);
  if (state == 0) {
    child_name_ = ChildNameOf(local_name);
    return;
  }
  if (ignored_depth_ > 0 || depth_ + 1 >= MAX_STATE_DEPTH) {
    ++ignored_depth_;
    return;
  }
  ++depth_;
  states_[static_cast<size_t>(depth_)] = state;
  if (state == STATE_VECTOR) {
    tables_.SetObsKind(ObsKind::GpsVector);
    tables_.SetObsUnit(LINEAR_UNIT_METER);
    tables_.SetObsUnit(ANGLE_UNIT_CODE_DEGREES);
    // Asked of every vector: one that lacks a component is left out with its line.
    vector_source_ = CurrentSource();
    vector_misread_ = false;
    if (edits_ != nullptr) {
      base_as_read_.clear();
      rover_as_read_.clear();
    }
  } else if (state == STATE_STATION) {
    EndSetup();
    station_setup_ = StationSetup{};
    station_as_read_.clear();
    ResetGroups();
    if (log_ != nullptr) log_->BeginSetup(CurrentSource());
  } else if (state == STATE_OBSERVATION && log_ != nullptr) {
    reading_ = RawReading{};
    reading_.source = CurrentSource();
    reading_.setup = log_->current_setup();
    reading_typed_ = false;
  } else if (state == STATE_OBSERVATION) {
    reading_.source = CurrentSource();
  }
}

bool XmlContentHandler::LeftOut(int32_t state) {
  EditedElement element = EditedElement::Observation;
  if (state == STATE_STATION) {
    skipping_setup_ = false;
    element = EditedElement::Station;
  } else if (state == STATE_VECTOR) {
    element = EditedElement::Vector;
  } else if (state != STATE_OBSERVATION) {
    return false;
  } else if (skipping_setup_) {
    return true;
  }
  if (!edits_->LeavesOut(element, CurrentSource().line)) return false;
  if (element == EditedElement::Station) skipping_setup_ = true;
  return true;
}

void XmlContentHandler::OnEndElement() {
  if (skipped_depth_ > 0) {
    --skipped_depth_;
    return;
  }
  HandText();
  if (open_structural_.empty()) return;
  const bool structural = open_structural_.back() != 0;
  open_structural_.pop_back();
  if (!structural) return;
  // Documents are well formed, so a structural end closes the innermost structural start: an
  // ignored one while any is open.
  if (ignored_depth_ > 0) {
    --ignored_depth_;
    return;
  }
  if (depth_ < 0) return;
  WarnTextlessNumber();
  const int32_t state = states_[static_cast<size_t>(depth_)];
  --depth_;
  if (state == STATE_VECTOR) {
    EndVector();
  } else if (state == STATE_OBSERVATION && log_ != nullptr && reading_typed_) {
    log_->AddReading(reading_);
    reading_typed_ = false;
  }
}

// The writer gives no record to a vector without all three components. It is recorded all the
// same (the approximate coordinates take what it has), and the warning says that the adjustment
// file and the checks of its repeats go without it.
void XmlContentHandler::EndVector() {
  const ObsRecord& obs = tables_.current_observation();
  std::string missing;
  for (const auto& [value, name] : {std::pair{obs.dx, "DX"}, {obs.dy, "DY"}, {obs.dz, "DZ"}}) {
    if (value != MISSING_VALUE) continue;
    missing += missing.empty() ? name : std::string(" and ") + name;
  }
  if (!missing.empty() && warnings_ != nullptr) {
    ReadingWarning warning;
    warning.source = SourceLocation{warnings_->current_file(), vector_source_.line};
    warning.element = "Vector";
    warning.problem = "from " + obs.at_name + " to " + obs.fore_name + " has no " + missing;
    warning.assumed = "left out of the adjustment file and of the checks of its repeats";
    warning.advice = "Check this vector in the job";
    warning.kind = WarningKind::LeftOut;
    warning.stations = {obs.at_name, obs.fore_name};
    warnings_->Add(std::move(warning));
  } else if (vector_misread_ && warnings_ != nullptr) {
    warnings_->MarkMisreadRecorded();
  }
  Record(vector_source_, base_as_read_, rover_as_read_);
}

void XmlContentHandler::WarnNothingObserved(const ObsGroup& group, std::string_view element) {
  if (group.observations == 0 || warnings_ == nullptr) return;
  ReadingWarning warning;
  warning.source = SourceLocation{warnings_->current_file(), group.first_observation.line};
  warning.element = element;
  warning.text = group.point_number;
  warning.problem = "has no zenith angle and no slope distance";
  warning.assumed = "left out of the adjustment file, with any horizontal angle it has";
  warning.advice = "Check this observation in the job";
  warning.kind = WarningKind::LeftOut;
  warning.stations = {station_setup_.station_point, group.point_number};
  warnings_->Add(std::move(warning));
}

void XmlContentHandler::NoteMisread(const ObsGroup& group) {
  if (warnings_ != nullptr && (group.misread || station_setup_.misread)) {
    warnings_->MarkMisreadRecorded();
  }
}

void XmlContentHandler::Record(SourceLocation source, std::string_view at_as_read,
                               std::string_view fore_as_read, std::string_view back_as_read) {
  if (edits_ != nullptr && edits_->changes_names() &&
      KeptAsSelfTie(source, at_as_read, fore_as_read, back_as_read)) {
    return;
  }
  tables_.RecordObservation();
  if (log_ != nullptr) log_->AddRecordSource(source);
}

bool XmlContentHandler::KeptAsSelfTie(SourceLocation source, std::string_view at,
                                      std::string_view fore, std::string_view back) {
  const ObsRecord& obs = tables_.current_observation();
  const bool angle = obs.horiz_angle != MISSING_VALUE;
  if (!TiesPointToItself(obs.kind, angle, obs.at_name, obs.fore_name, obs.back_name) ||
      TiesPointToItself(obs.kind, angle, at, fore, back)) {
    return false;
  }
  // The stations it names still enter the table where the record would have put them.
  for (const std::string* name : {&obs.at_name, &obs.fore_name, &obs.back_name}) {
    if (!name->empty()) tables_.AddStation(*name);
  }
  ObsRecord kept = obs;
  kept.at_name = at;
  kept.fore_name = fore;
  kept.back_name = back;
  edits_->KeepSelfTie(kept, source.line);
  return true;
}

// The name itself when a record carries it (a name that is fine costs one pass over its bytes),
// else the name written in its place. The element's line is that of the tag after the text,
// less the line ends inside it.
std::string_view XmlContentHandler::Carried(std::string_view name) {
  const NameFault fault = StationNameFault(name);
  if (fault == NameFault::None) {
    if (!replacements_->empty()) replacements_->ReadAsItStands(name, CurrentSource());
    return name;
  }
  SourceLocation source = CurrentSource();
  const auto line_ends = static_cast<int32_t>(std::count(name.begin(), name.end(), '\n'));
  source.line = std::max(1, source.line - line_ends);
  // A name is taken by a station of the tables, and by the names read but not yet recorded.
  const auto taken = [this](std::string_view other) {
    const ObsRecord& obs = tables_.current_observation();
    return tables_.StationIndex(other) != 0 || other == obs.at_name || other == obs.fore_name ||
           other == obs.back_name || other == station_setup_.station_point ||
           other == accumulator_.backsight.point_number ||
           other == accumulator_.foresight.point_number;
  };
  bool first = false;
  const std::string& written = replacements_->Replace(name, source, taken, first);
  // The name is read as it stands and only written under another, so unlike a value that may
  // have been misread it does not mark its record (nor the run's exit status).
  if (first && warnings_ != nullptr) {
    if (warnings_->full()) {
      warnings_->CountUnkept();
    } else {
      warnings_->Add(source.line, FieldName(child_name_), VisibleName(name),
                     std::string(NameFaultText(fault)), "written as " + written,
                     "Give it a name of its own with a rename in the job file");
    }
  }
  return written;
}

SourceLocation XmlContentHandler::CurrentSource() const {
  SourceLocation source;
  if (log_ != nullptr) {
    source.file = log_->current_file();
  } else if (edits_ != nullptr) {
    source.file = edits_->current_file();
  }
  if (line_source_ == nullptr) return source;
  const int64_t line = line_source_(line_context_);
  source.line = line > INT32_MAX ? INT32_MAX : static_cast<int32_t>(line);
  return source;
}

void XmlContentHandler::OnCharacters(std::string_view text) {
  if (skipped_depth_ > 0) return;
  if (!text_pending_) {
    text_pending_ = true;
    text_wanted_ = WantsText();
    text_overlong_ = false;
    text_size_ = 0;
  }
  if (!text_wanted_ || text_overlong_ || text.empty()) return;
  const bool keyword = IsKeywordField(child_name_);
  if (text.size() > (keyword ? KEYWORD_TEXT_LIMIT : MAX_VALUE_BYTES) - text_size_) {
    text_size_ = 0;
    if (keyword) {
      // Too long for any keyword: an empty text stands for it, as it matches none either.
      text_overlong_ = true;
    } else {
      value_too_long_ = true;
      text_wanted_ = false;
    }
    return;
  }
  std::memcpy(text_buffer_.data() + text_size_, text.data(), text.size());
  text_size_ += text.size();
}

bool XmlContentHandler::WantsText() const {
  if (depth_ < 0 || child_name_ == ChildName::None) return false;
  switch (states_[static_cast<size_t>(depth_)]) {
    case STATE_VECTOR:
      return IsVectorField(child_name_);
    case STATE_STATION:
      return IsStationField(child_name_);
    case STATE_OBSERVATION:
      return child_name_ == ChildName::ObsType ||
             (!skip_fields_ && IsObservationField(child_name_));
    default:
      return false;
  }
}

// Hands the text gathered since the last tag to the field that the current child names. An
// element without text of its own leaves its name current, so the text after its end tag
// (usually white space) becomes its value; any text empties the child name.
void XmlContentHandler::HandText() {
  if (!text_pending_) return;
  text_pending_ = false;
  if (text_wanted_) {
    const std::string_view text(text_buffer_.data(), text_size_);
    switch (states_[static_cast<size_t>(depth_)]) {
      case STATE_VECTOR:
        VectorText(text);
        break;
      case STATE_STATION:
        StationText(text);
        break;
      case STATE_OBSERVATION:
        ObservationText(text);
        break;
      default:
        break;
    }
  }
  text_size_ = 0;
  child_name_ = ChildName::None;
}

void XmlContentHandler::VectorText(std::string_view text) {
  switch (child_name_) {
    case ChildName::BasePoint:
      tables_.SetObsName(OBS_NAME_AT, Named(text));
      if (edits_ != nullptr) base_as_read_ = text;
      break;
    case ChildName::RoverPoint:
      tables_.SetObsName(OBS_NAME_FORE, Named(text));
      if (edits_ != nullptr) rover_as_read_ = text;
      break;
    case ChildName::Type:
      tables_.SetObsName(OBS_NAME_DESCRIPTION, text);
      break;
    case ChildName::DX:
      tables_.SetObsValue(OBS_VALUE_X, Number(text));
      break;
    case ChildName::DY:
      tables_.SetObsValue(OBS_VALUE_Y, Number(text));
      break;
    case ChildName::DZ:
      tables_.SetObsValue(OBS_VALUE_Z, Number(text));
      break;
    case ChildName::SX:
      tables_.SetObsSigma(OBS_VALUE_X, Number(text));
      break;
    case ChildName::SY:
      tables_.SetObsSigma(OBS_VALUE_Y, Number(text));
      break;
    case ChildName::SZ:
      tables_.SetObsSigma(OBS_VALUE_Z, Number(text));
      break;
    case ChildName::CXY:
      tables_.SetObsCorrelation(OBS_VALUE_X, Number(text));
      break;
    case ChildName::CYZ:
      tables_.SetObsCorrelation(OBS_VALUE_Y, Number(text));
      break;
    case ChildName::CXZ:
      tables_.SetObsCorrelation(OBS_VALUE_Z, Number(text));
      break;
    default:
      break;
  }
  vector_misread_ = TakeMisread() || vector_misread_;
}

void XmlContentHandler::StationText(std::string_view text) {
  if (child_name_ == ChildName::StationPoint) {
    // A new station point starts a new setup: a height given before it is dropped.
    station_setup_ = StationSetup{};
    station_setup_.station_point = Named(text);
    if (edits_ != nullptr) station_as_read_ = text;
    if (log_ != nullptr) log_->SetSetupStation(station_setup_.station_point);
  } else if (child_name_ == ChildName::InstrumentHeight) {
    station_setup_.instrument_height = Number(text);
  }
  station_setup_.misread = TakeMisread() || station_setup_.misread;
}

void XmlContentHandler::ObservationText(std::string_view text) {
  if (child_name_ == ChildName::ObsType) {
    ObsTypeText(text);
    return;
  }
  if (skip_fields_) return;
  ObsGroup& group = in_backsight_ ? accumulator_.backsight : accumulator_.foresight;
  switch (child_name_) {
    case ChildName::DistanceUnitIndicator:
      DistanceIndicator(group, text);
      break;
    case ChildName::AngleUnitIndicator:
      AngleIndicator(text);
      break;
    case ChildName::PointNumber: {
      const std::string_view name = Named(text);
      // A foresight to another point starts a group of its own: readings to two different
      // points averaged together would give an angle to neither.
      if (!in_backsight_ && !group.point_number.empty() && group.point_number != name &&
          (group.direction_count > 0 || group.zenith_count > 0 || group.slope_dist_count > 0 ||
           group.target_height_count > 0)) {
        WriteAngleSet(true);
        // This observation is the new group's first.
        group.observations = 1;
        group.first_observation = reading_.source;
      }
      group.point_number = name;
      if (edits_ != nullptr) group.point_as_read = text;
      if (log_ != nullptr) reading_.point = log_->NameIndex(name);
      break;
    }
    case ChildName::PrismHeight: {
      const double height = Number(text) / LinearFactor(group.linear_unit);
      group.target_height_sum += height;
      ++group.target_height_count;
      reading_.prism_height = height;
      reading_.linear_unit = static_cast<uint8_t>(group.linear_unit);
      break;
    }
    case ChildName::SlopeDistance: {
      const double distance = Number(text) / LinearFactor(group.linear_unit);
      group.slope_dist_sum += distance;
      ++group.slope_dist_count;
      reading_.slope_dist = distance;
      reading_.linear_unit = static_cast<uint8_t>(group.linear_unit);
      break;
    }
    case ChildName::HorizontalAngle:
      accumulator_.current_direction = Angle(text);
      reading_.horiz_angle = accumulator_.current_direction;
      break;
    case ChildName::ZenithAngle: {
      const double zenith = Angle(text);
      AddZenith(group, zenith);
      reading_.zenith = zenith;
      reading_.face = zenith > PI ? FACE_TWO : FACE_ONE;
      break;
    }
    default:
      break;
  }
  group.misread = TakeMisread() || group.misread;
  if (wants_lines() && !group.first_source.known()) group.first_source = reading_.source;
}

void XmlContentHandler::ObsTypeText(std::string_view text) {
  if (log_ != nullptr) {
    reading_typed_ = true;
    if (text == "Backsight") {
      reading_.type = ReadingType::Backsight;
    } else if (text == "Foresight") {
      reading_.type = ReadingType::Foresight;
    } else if (text == "Shotsight") {
      reading_.type = ReadingType::Shotsight;
    } else {
      reading_typed_ = false;
    }
  }
  skip_fields_ = true;
  if (text == "Backsight") {
    if (group_state_ == GROUP_FORESIGHT || group_state_ == GROUP_SHOTSIGHT) WriteAngleSet();
    in_backsight_ = true;
    skip_fields_ = false;
    group_state_ = GROUP_BACKSIGHT;
  } else if (text == "BacksightPoint") {
    group_state_ = GROUP_BACKSIGHT_POINT;
  } else if (text == "Foresight" || text == "Shotsight") {
    if (group_state_ == GROUP_BACKSIGHT) WriteSingleSight();
    in_backsight_ = false;
    skip_fields_ = false;
    group_state_ = text == "Foresight" ? GROUP_FORESIGHT : GROUP_SHOTSIGHT;
  }
  if (!skip_fields_) {
    ObsGroup& group = in_backsight_ ? accumulator_.backsight : accumulator_.foresight;
    if (group.observations++ == 0) group.first_observation = reading_.source;
  }
}

// A zenith angle and the direction read with it. A face-two reading (zenith past π) is reduced
// to face one: the zenith mirrored and the direction turned by half a circle. Backsight
// directions are kept in [π, 3π) and foresight directions in [0, 2π), so that a backsight near
// the circle's zero averages across it.
void XmlContentHandler::AddZenith(ObsGroup& group, double zenith) {
  double face = 0.0;
  if (zenith > PI) {
    zenith = TWO_PI - zenith;
    face = PI;
  }
  group.zenith_sum += zenith;
  ++group.zenith_count;

  const bool backsight = &group == &accumulator_.backsight;
  double direction = accumulator_.current_direction - face;
  if (backsight) {
    if (direction < PI) direction += TWO_PI;
  } else {
    if (direction < 0.0) direction += TWO_PI;
  }
  if (group.direction_count == 0) {
    group.first_direction = direction;
  } else {
    const double off = direction - group.first_direction;
    if (std::fabs(off) > PI) {
      direction = Finite(direction - TWO_PI * std::round(off / TWO_PI));
      group.direction_turned = true;
    }
  }
  group.direction_sum += direction;
  ++group.direction_count;
}

void XmlContentHandler::ResetGroups() {
  accumulator_ = ObsAccumulator{};
  accumulator_.backsight.linear_unit = job_linear_unit_;
  accumulator_.foresight.linear_unit = job_linear_unit_;
}

// The backsight group as a single sight from the station to the backsight point. The group is
// kept: it is the reference of the angle set that follows.
void XmlContentHandler::WriteSingleSight() {
  const ObsGroup& back = accumulator_.backsight;
  tables_.SetObsKind(ObsKind::Sight);
  tables_.SetObsName(OBS_NAME_AT, station_setup_.station_point);
  tables_.SetObsName(OBS_NAME_BACK, back.point_number);
  tables_.SetObsUnit(back.linear_unit);
  tables_.SetObsUnit(job_angle_unit_);
  if (back.zenith_count > 0) {
    tables_.SetObsValue(OBS_VALUE_ZENITH, Mean(back.zenith_sum, back.zenith_count));
  }
  if (back.slope_dist_count > 0) {
    tables_.SetObsValue(OBS_VALUE_SLOPE_DIST, Mean(back.slope_dist_sum, back.slope_dist_count));
  }
  if (back.zenith_count > 0 || back.slope_dist_count > 0) {
    if (back.target_height_count > 0) {
      tables_.SetObsHeight(false, Mean(back.target_height_sum, back.target_height_count));
    }
    tables_.SetObsHeight(true,
                         Finite(station_setup_.instrument_height / LinearFactor(back.linear_unit)));
    NoteMisread(back);
    Record(back.first_source, station_as_read_, {}, back.point_as_read);
  } else {
    WarnNothingObserved(back, "Backsight");
  }
}

// The foresight group as an angle set from the backsight point to the foresight point; the
// record's linear unit is the backsight group's. The groups start afresh afterwards.
void XmlContentHandler::WriteAngleSet(bool keep_backsight) {
  const ObsGroup& back = accumulator_.backsight;
  const ObsGroup& fore = accumulator_.foresight;
  tables_.SetObsKind(ObsKind::AngleSet);
  tables_.SetObsName(OBS_NAME_AT, station_setup_.station_point);
  tables_.SetObsName(OBS_NAME_FORE, fore.point_number);
  tables_.SetObsName(OBS_NAME_BACK, back.point_number);
  tables_.SetObsUnit(back.linear_unit);
  tables_.SetObsUnit(job_angle_unit_);
  if (fore.direction_count > 0) {
    const double reference = back.direction_count >= 1 ? MeanDirection(back, PI) : 0.0;
    double angle = MeanDirection(fore, 0.0) - reference;
    if (angle < 0.0) angle += TWO_PI;
    tables_.SetObsValue(OBS_VALUE_HORIZ_ANGLE, Finite(angle));
  }
  if (fore.zenith_count > 0) {
    tables_.SetObsValue(OBS_VALUE_ZENITH, Mean(fore.zenith_sum, fore.zenith_count));
  }
  if (fore.slope_dist_count > 0) {
    tables_.SetObsValue(OBS_VALUE_SLOPE_DIST, Mean(fore.slope_dist_sum, fore.slope_dist_count));
  }
  if (fore.zenith_count > 0 || fore.slope_dist_count > 0) {
    if (fore.target_height_count > 0) {
      tables_.SetObsHeight(false, Mean(fore.target_height_sum, fore.target_height_count));
    }
    tables_.SetObsHeight(true,
                         Finite(station_setup_.instrument_height / LinearFactor(back.linear_unit)));
    NoteMisread(fore);
    if (fore.direction_count > 0) NoteMisread(back);
    Record(fore.first_source, station_as_read_, fore.point_as_read, back.point_as_read);
  } else {
    WarnNothingObserved(fore, "Foresight");
  }
  if (keep_backsight) {
    // The unit in force carries on to the next point's readings.
    const int32_t unit = accumulator_.foresight.linear_unit;
    accumulator_.foresight = ObsGroup{};
    accumulator_.foresight.linear_unit = unit;
  } else {
    ResetGroups();
  }
}

void XmlContentHandler::EndSetup() {
  if (group_state_ == GROUP_FORESIGHT || group_state_ == GROUP_SHOTSIGHT) WriteAngleSet();
}

void XmlContentHandler::OnEndDocument() {
  HandText();
  EndSetup();
  station_setup_ = StationSetup{};
  ResetGroups();
  skipping_setup_ = false;
}

void XmlContentHandler::BeginFile() {
  child_name_ = ChildName::None;
  depth_ = -1;
  ignored_depth_ = 0;
  skipped_depth_ = 0;
  skipping_setup_ = false;
  open_structural_.clear();
  text_size_ = 0;
  text_pending_ = false;
  text_wanted_ = false;
  text_overlong_ = false;
  value_too_long_ = false;
  reading_typed_ = false;
  station_setup_ = StationSetup{};
  ResetGroups();
}

}  // namespace fenwix

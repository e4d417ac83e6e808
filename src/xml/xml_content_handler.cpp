#include "xml/xml_content_handler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "geodesy/angles.h"
#include "reduce/face_reduction.h"
#include "xml/number_reading.h"
#include "xml/reading_text.h"

namespace fenwix {

namespace {

// Keyword values are at most 14 bytes ("BacksightPoint"); an ObsType or unit text longer than
// this bound matches none of them, so no more of it is kept.
constexpr size_t KEYWORD_TEXT_LIMIT = 32;

// The elements a job file can leave out.
bool IsEditable(ElementState state) {
  return state == ElementState::Station || state == ElementState::Vector ||
         state == ElementState::Observation;
}

}  // namespace

XmlContentHandler::XmlContentHandler(SurveyTables& tables) : reduction_(tables) {}

void XmlContentHandler::SetJobUnits(LinearUnit linear_unit, AngleUnit angle_unit) {
  job_linear_unit_ = linear_unit;
  job_angle_unit_ = angle_unit;
  reduction_.SetJobUnits(linear_unit, angle_unit);
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
// A number in the range of its field; a value beyond it is refused (left out) with a warning,
// and the conversion's exit status says that a value of the field file is not in the output.
std::optional<double> XmlContentHandler::Measured(std::string_view text, FieldRange range) {
  const double value = Number(text);
  if (InFieldRange(value, range)) return value;
  if (warnings_ == nullptr) return std::nullopt;
  warnings_->MarkMisreadRecorded();
  if (!WarningWanted()) return std::nullopt;
  std::string problem = "is beyond \u00b11e9, more than any distance or height of a survey";
  if (range == FieldRange::Angle) problem = "is beyond \u00b11e6, more than any angle";
  if (range == FieldRange::Sd) problem = "is a standard deviation below 1e-9 or above 1e6";
  Warn(text, true, std::move(problem), "left out", "Check this field in the job");
  return std::nullopt;
}
// A horizontal or zenith angle in the job's angle unit, in radians; nothing when refused.
std::optional<double> XmlContentHandler::Angle(std::string_view text) {
  const std::optional<double> measured = Measured(text, FieldRange::Angle);
  if (!measured) return std::nullopt;
  const double value = *measured;
  if (job_angle_unit_ == AngleUnit::Gons) {
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
void XmlContentHandler::DistanceIndicator(std::string_view text) {
  if (text == "USFeet") {
    reduction_.SetDistanceUnit(LinearUnit::UsFoot);
    return;
  }
  const std::optional<LinearUnit> named =
      text_overlong_ ? std::optional<LinearUnit>() : DistanceUnitNamed(text);
  const auto names = [&named](LinearUnit unit) { return named.has_value() && *named == unit; };
  if (names(LinearUnit::Meter) && job_linear_unit_ != LinearUnit::Meter) {
    reduction_.SetDistanceUnit(LinearUnit::Meter);
  }
  const LinearUnit unit = reduction_.distance_unit();
  if (warnings_ == nullptr || names(unit) || !WarningWanted()) return;
  std::string problem = "is neither \"USFeet\" nor meters";
  if (names(LinearUnit::UsFoot)) problem = "is not exactly \"USFeet\"";
  if (names(LinearUnit::InternationalFoot)) problem = "says feet";
  if (names(LinearUnit::Meter)) problem = "says meters";
  Warn(text, false, std::move(problem),
       "its distances and heights read as " + std::string(LinearUnitName(unit)),
       std::string(DISTANCE_ADVICE));
}

// The indicator never changes how angles are read; only the job's angle unit does.
void XmlContentHandler::AngleIndicator(std::string_view text) {
  if (warnings_ == nullptr) return;
  const std::optional<AngleUnit> named =
      text_overlong_ ? std::optional<AngleUnit>() : AngleUnitNamed(text);
  const auto names = [&named](AngleUnit unit) { return named.has_value() && *named == unit; };
  if (names(job_angle_unit_) || !WarningWanted()) return;
  std::string problem = "is not \"DMS\"";
  if (names(AngleUnit::Gons)) problem = "says gons";
  if (names(AngleUnit::Degrees)) problem = "says DD.MMSSsssss";
  Warn(text, false, std::move(problem),
       "angles read as " + std::string(AngleUnitName(job_angle_unit_)),
       std::string(job_angle_unit_ == AngleUnit::Gons ? DMS_ADVICE : GON_ADVICE));
}
void XmlContentHandler::OnStartElement(std::string_view local_name) {
  OnStartElement(KnownName{StateOf(local_name), ChildNameOf(local_name)});
}

void XmlContentHandler::OnStartElement(KnownName name) {
  const ElementState state = name.state;
  if (skipped_depth_ > 0) {
    ++skipped_depth_;
    // An element inside a left-out one goes with it; a leave-out of its own is moot.
    if (IsEditable(state)) edits_->LeftOutAlong(CurrentSource().line);
    return;
  }
  // A left-out element is skipped before the text in front of it is handed on: the text on
  // both sides joins, as it does once the element is cut out of the file.
  if (edits_ != nullptr && state != ElementState::None && LeftOut(state)) {
    skipped_depth_ = 1;
    return;
  }
  HandText();
  open_structural_.push_back(state != ElementState::None ? 1 : 0);
  if (state == ElementState::None) {
    child_name_ = name.child;
    return;
  }
  if (ignored_depth_ > 0 || depth_ + 1 >= MAX_STATE_DEPTH) {
    ++ignored_depth_;
    return;
  }
  ++depth_;
  states_[static_cast<size_t>(depth_)] = state;
  if (IsEditable(state)) element_line_ = CurrentSource().line;
  if (state == ElementState::Vector) {
    reduction_.BeginVector(CurrentSource());
    vector_misread_ = false;
  } else if (state == ElementState::Station) {
    reduction_.BeginSetup(reduction_.log() != nullptr ? CurrentSource() : SourceLocation{});
  } else if (state == ElementState::Observation) {
    direction_refused_ = false;
    reduction_.BeginReading(CurrentSource());
  }
}

// The edits decide; only the elements they can leave out are asked about.
bool XmlContentHandler::LeftOut(ElementState state) {
  EditedElement element = EditedElement::Observation;
  if (state == ElementState::Station) {
    element = EditedElement::Station;
  } else if (state == ElementState::Vector) {
    element = EditedElement::Vector;
  } else if (state != ElementState::Observation) {
    return false;
  }
  return reduction_.LeavesOut(element, CurrentSource().line);
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
  const ElementState state = states_[static_cast<size_t>(depth_)];
  --depth_;
  if (IsEditable(state)) element_line_ = 0;
  if (state == ElementState::Vector) {
    reduction_.EndVector(vector_misread_);
  } else if (state == ElementState::Observation) {
    reduction_.EndReading();
  }
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
  const auto taken = [this](std::string_view other) { return reduction_.NameTaken(other); };
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
  source.file = reduction_.current_file();
  if (line_source_ == nullptr) return source;
  const int64_t line = line_source_(line_context_);
  source.line = line > INT32_MAX ? INT32_MAX : static_cast<int32_t>(line);
  return source;
}
void XmlContentHandler::OnCharacters(std::string_view text, bool lasting) {
  if (skipped_depth_ > 0) return;
  if (!text_pending_) {
    text_pending_ = true;
    text_wanted_ = WantsText();
    text_overlong_ = false;
    text_size_ = 0;
    text_data_ = text_buffer_.data();
  }
  if (!text_wanted_ || text_overlong_ || text.empty()) return;
  const bool keyword = IsKeywordField(child_name_);
  if (text.size() > (keyword ? KEYWORD_TEXT_LIMIT : MAX_VALUE_BYTES) - text_size_) {
    text_size_ = 0;
    text_data_ = text_buffer_.data();
    if (keyword) {
      // Too long for any keyword: an empty text stands for it, as it matches none either.
      text_overlong_ = true;
    } else {
      value_too_long_ = true;
      text_wanted_ = false;
    }
    return;
  }
  if (text_size_ == 0 && lasting) {
    text_data_ = text.data();
    text_size_ = text.size();
    return;
  }
  KeepPendingText();
  std::memcpy(text_buffer_.data() + text_size_, text.data(), text.size());
  text_size_ += text.size();
}
bool XmlContentHandler::WantsText() const {
  if (depth_ < 0 || child_name_ == ChildName::None) return false;
  switch (states_[static_cast<size_t>(depth_)]) {
    case ElementState::Vector:
      return IsVectorField(child_name_);
    case ElementState::Station:
      return IsStationField(child_name_);
    case ElementState::Observation:
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
    const std::string_view text(text_data_, text_size_);
    switch (states_[static_cast<size_t>(depth_)]) {
      case ElementState::Vector:
        VectorText(text);
        break;
      case ElementState::Station:
        StationText(text);
        break;
      case ElementState::Observation:
        ObservationText(text);
        break;
      default:
        break;
    }
  }
  text_size_ = 0;
  text_data_ = text_buffer_.data();
  child_name_ = ChildName::None;
}
void XmlContentHandler::VectorText(std::string_view text) {
  switch (child_name_) {
    case ChildName::BasePoint:
      reduction_.VectorName(false, Named(text), text);
      break;
    case ChildName::RoverPoint:
      reduction_.VectorName(true, Named(text), text);
      break;
    case ChildName::Type:
      reduction_.VectorType(text);
      break;
    case ChildName::DX:
      if (const auto value = Measured(text, FieldRange::Length)) {
        reduction_.VectorValue(VectorField::DX, *value);
      }
      break;
    case ChildName::DY:
      if (const auto value = Measured(text, FieldRange::Length)) {
        reduction_.VectorValue(VectorField::DY, *value);
      }
      break;
    case ChildName::DZ:
      if (const auto value = Measured(text, FieldRange::Length)) {
        reduction_.VectorValue(VectorField::DZ, *value);
      }
      break;
    case ChildName::SX:
      if (const auto value = Measured(text, FieldRange::Sd)) {
        reduction_.VectorValue(VectorField::SX, *value);
      }
      break;
    case ChildName::SY:
      if (const auto value = Measured(text, FieldRange::Sd)) {
        reduction_.VectorValue(VectorField::SY, *value);
      }
      break;
    case ChildName::SZ:
      if (const auto value = Measured(text, FieldRange::Sd)) {
        reduction_.VectorValue(VectorField::SZ, *value);
      }
      break;
    case ChildName::CXY:
      reduction_.VectorValue(VectorField::CXY, Number(text));
      break;
    case ChildName::CYZ:
      reduction_.VectorValue(VectorField::CYZ, Number(text));
      break;
    case ChildName::CXZ:
      reduction_.VectorValue(VectorField::CXZ, Number(text));
      break;
    default:
      break;
  }
  vector_misread_ = TakeMisread() || vector_misread_;
}

void XmlContentHandler::StationText(std::string_view text) {
  if (child_name_ == ChildName::StationPoint) {
    reduction_.NewStationPoint();
    const std::string_view name = Named(text);
    reduction_.SetupStation(name, text, TakeMisread());
  } else if (child_name_ == ChildName::InstrumentHeight) {
    // A refused height leaves the setup's height at 0, and its records marked as misread.
    const double height = Measured(text, FieldRange::Length).value_or(0.0);
    reduction_.SetupHeight(height, TakeMisread());
  }
}

void XmlContentHandler::ObservationText(std::string_view text) {
  if (child_name_ == ChildName::ObsType) {
    SightKind kind = SightKind::Other;
    if (text == "Backsight") {
      kind = SightKind::Backsight;
    } else if (text == "BacksightPoint") {
      kind = SightKind::BacksightPoint;
    } else if (text == "Foresight") {
      kind = SightKind::Foresight;
    } else if (text == "Shotsight") {
      kind = SightKind::Shotsight;
    }
    // Only a sight's own readings are read; a "BacksightPoint" and any other type read nothing.
    skip_fields_ = kind == SightKind::Other || kind == SightKind::BacksightPoint;
    reduction_.Sight(kind);
    return;
  }
  if (skip_fields_) return;
  switch (child_name_) {
    case ChildName::DistanceUnitIndicator:
      DistanceIndicator(text);
      break;
    case ChildName::AngleUnitIndicator:
      AngleIndicator(text);
      break;
    case ChildName::PointNumber:
      reduction_.SightPoint(Named(text), text);
      break;
    case ChildName::PrismHeight:
      if (const auto height = Measured(text, FieldRange::Length)) reduction_.PrismHeight(*height);
      break;
    case ChildName::SlopeDistance:
      if (const auto distance = Measured(text, FieldRange::Length)) {
        reduction_.SlopeDistance(*distance);
      }
      break;
    case ChildName::HorizontalAngle:
      if (const auto angle = Angle(text)) {
        reduction_.HorizontalAngle(*angle);
      } else {
        direction_refused_ = true;
      }
      break;
    case ChildName::ZenithAngle:
      // A zenith angle carries the reading's direction into its group: after a refused
      // horizontal angle it would carry the reading before's.
      if (direction_refused_) {
        if (warnings_ != nullptr && WarningWanted()) {
          Warn(text, true, "follows a horizontal angle left out",
               "left out with it, as the direction of this reading is not known",
               "Check this observation in the job");
        }
      } else if (const auto zenith = Angle(text)) {
        reduction_.ZenithAngle(*zenith);
      }
      break;
    default:
      break;
  }
  reduction_.FieldRead(TakeMisread());
}

void XmlContentHandler::OnEndDocument() {
  HandText();
  reduction_.EndDocument();
}

void XmlContentHandler::BeginFile() {
  child_name_ = ChildName::None;
  depth_ = -1;
  ignored_depth_ = 0;
  skipped_depth_ = 0;
  open_structural_.clear();
  text_size_ = 0;
  text_data_ = text_buffer_.data();
  text_pending_ = false;
  text_wanted_ = false;
  text_overlong_ = false;
  value_too_long_ = false;
  reduction_.BeginFile();
}

}  // namespace fenwix

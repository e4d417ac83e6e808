#include "xml/xml_content_handler.h"

#include <cmath>
#include <cstring>

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
  return name == ChildName::ObsType || name == ChildName::DistanceUnitIndicator;
}

// Out-of-range input (a packed angle near the limit of a double, sums of such values) can make
// a conversion overflow; such a value is as unusable as an unreadable number and counts as 0.
double Finite(double value) {
  return std::isfinite(value) ? value : 0.0;
}

double ReadAngle(std::string_view text) {
  return Finite(DmsToRadians(ReadNumber(text)));
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

void XmlContentHandler::OnStartElement(std::string_view local_name) {
  HandText();
  const int32_t state = StateOf(local_name);
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
    if (log_ != nullptr) vector_source_ = CurrentSource();
  } else if (state == STATE_STATION) {
    EndSetup();
    station_setup_ = StationSetup{};
    ResetGroups();
    if (log_ != nullptr) log_->BeginSetup(CurrentSource());
  } else if (state == STATE_OBSERVATION && log_ != nullptr) {
    reading_ = RawReading{};
    reading_.source = CurrentSource();
    reading_.setup = log_->current_setup();
    reading_typed_ = false;
  }
}

void XmlContentHandler::OnEndElement() {
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
  const int32_t state = states_[static_cast<size_t>(depth_)];
  --depth_;
  if (state == STATE_VECTOR) {
    Record(vector_source_);
  } else if (state == STATE_OBSERVATION && log_ != nullptr && reading_typed_) {
    log_->AddReading(reading_);
    reading_typed_ = false;
  }
}

void XmlContentHandler::Record(SourceLocation source) {
  tables_.RecordObservation();
  if (log_ != nullptr) log_->AddRecordSource(source);
}

SourceLocation XmlContentHandler::CurrentSource() const {
  SourceLocation source;
  if (log_ != nullptr) source.file = log_->current_file();
  if (line_source_ == nullptr) return source;
  const int64_t line = line_source_(line_context_);
  source.line = line > INT32_MAX ? INT32_MAX : static_cast<int32_t>(line);
  return source;
}

void XmlContentHandler::OnCharacters(std::string_view text) {
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
      tables_.SetObsName(OBS_NAME_AT, text);
      break;
    case ChildName::RoverPoint:
      tables_.SetObsName(OBS_NAME_FORE, text);
      break;
    case ChildName::Type:
      tables_.SetObsName(OBS_NAME_DESCRIPTION, text);
      break;
    case ChildName::DX:
      tables_.SetObsValue(OBS_VALUE_X, ReadNumber(text));
      break;
    case ChildName::DY:
      tables_.SetObsValue(OBS_VALUE_Y, ReadNumber(text));
      break;
    case ChildName::DZ:
      tables_.SetObsValue(OBS_VALUE_Z, ReadNumber(text));
      break;
    case ChildName::SX:
      tables_.SetObsSigma(OBS_VALUE_X, ReadNumber(text));
      break;
    case ChildName::SY:
      tables_.SetObsSigma(OBS_VALUE_Y, ReadNumber(text));
      break;
    case ChildName::SZ:
      tables_.SetObsSigma(OBS_VALUE_Z, ReadNumber(text));
      break;
    case ChildName::CXY:
      tables_.SetObsCorrelation(OBS_VALUE_X, ReadNumber(text));
      break;
    case ChildName::CYZ:
      tables_.SetObsCorrelation(OBS_VALUE_Y, ReadNumber(text));
      break;
    case ChildName::CXZ:
      tables_.SetObsCorrelation(OBS_VALUE_Z, ReadNumber(text));
      break;
    default:
      break;
  }
}

void XmlContentHandler::StationText(std::string_view text) {
  if (child_name_ == ChildName::StationPoint) {
    // A new station point starts a new setup: a height given before it is dropped.
    station_setup_ = StationSetup{};
    station_setup_.station_point = text;
    if (log_ != nullptr) log_->SetSetupStation(text);
  } else if (child_name_ == ChildName::InstrumentHeight) {
    station_setup_.instrument_height = ReadNumber(text);
  }
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
      if (text == "USFeet") group.linear_unit = LINEAR_UNIT_US_FOOT;
      break;
    case ChildName::PointNumber:
      // A foresight to another point starts a group of its own: readings to two different
      // points averaged together would give an angle to neither.
      if (!in_backsight_ && !group.point_number.empty() && group.point_number != text &&
          (group.direction_count > 0 || group.zenith_count > 0 || group.slope_dist_count > 0 ||
           group.target_height_count > 0)) {
        WriteAngleSet(true);
      }
      group.point_number = text;
      if (log_ != nullptr) reading_.point = log_->NameIndex(text);
      break;
    case ChildName::PrismHeight: {
      const double height = ReadNumber(text) / LinearFactor(group.linear_unit);
      group.target_height_sum += height;
      ++group.target_height_count;
      reading_.prism_height = height;
      reading_.linear_unit = static_cast<uint8_t>(group.linear_unit);
      break;
    }
    case ChildName::SlopeDistance: {
      const double distance = ReadNumber(text) / LinearFactor(group.linear_unit);
      group.slope_dist_sum += distance;
      ++group.slope_dist_count;
      reading_.slope_dist = distance;
      reading_.linear_unit = static_cast<uint8_t>(group.linear_unit);
      break;
    }
    case ChildName::HorizontalAngle:
      accumulator_.current_direction = ReadAngle(text);
      reading_.horiz_angle = accumulator_.current_direction;
      break;
    case ChildName::ZenithAngle: {
      const double zenith = ReadAngle(text);
      AddZenith(group, zenith);
      reading_.zenith = zenith;
      reading_.face = zenith > PI ? FACE_TWO : FACE_ONE;
      break;
    }
    default:
      break;
  }
  if (log_ != nullptr && !group.first_source.known()) group.first_source = reading_.source;
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
}

// The backsight group as a single sight from the station to the backsight point. The group is
// kept: it is the reference of the angle set that follows.
void XmlContentHandler::WriteSingleSight() {
  const ObsGroup& back = accumulator_.backsight;
  tables_.SetObsKind(ObsKind::Sight);
  tables_.SetObsName(OBS_NAME_AT, station_setup_.station_point);
  tables_.SetObsName(OBS_NAME_BACK, back.point_number);
  tables_.SetObsUnit(back.linear_unit);
  tables_.SetObsUnit(ANGLE_UNIT_CODE_DEGREES);
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
    Record(back.first_source);
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
  tables_.SetObsUnit(ANGLE_UNIT_CODE_DEGREES);
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
    Record(fore.first_source);
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
}

void XmlContentHandler::BeginFile() {
  child_name_ = ChildName::None;
  depth_ = -1;
  ignored_depth_ = 0;
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

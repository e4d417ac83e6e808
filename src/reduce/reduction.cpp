#include "reduce/reduction.h"

#include <cmath>
#include <string>
#include <utility>

#include "geodesy/angles.h"
#include "reduce/face_reduction.h"

namespace fenwix {

namespace {

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

constexpr double QUARTER_TURN = PI / 2.0;

// The difference of two directions brought into [-π, π).
double Turned(double difference) {
  return difference - TWO_PI * std::floor((difference + PI) / TWO_PI);
}

uint8_t FaceBit(uint8_t face) {
  return face == FACE_TWO ? 2 : 1;
}

}  // namespace

void Reduction::SetJobUnits(LinearUnit linear_unit, AngleUnit angle_unit) {
  job_linear_unit_ = linear_unit;
  job_angle_unit_ = angle_unit;
  ResetGroups();
}

int32_t Reduction::current_file() const {
  if (log_ != nullptr) return log_->current_file();
  if (edits_ != nullptr) return edits_->current_file();
  return 0;
}

bool Reduction::LeavesOut(EditedElement element, int32_t line) {
  if (element == EditedElement::Station) {
    skipping_setup_ = false;
  } else if (element == EditedElement::Observation && skipping_setup_) {
    edits_->LeftOutAlong(line);
    return true;
  }
  if (!edits_->LeavesOut(element, line)) return false;
  if (element == EditedElement::Station) skipping_setup_ = true;
  return true;
}

bool Reduction::NameTaken(std::string_view name) const {
  const ObsRecord& obs = tables_.current_observation();
  if (tables_.StationIndex(name) != 0 || name == obs.at_name || name == obs.fore_name ||
      name == obs.back_name || name == station_setup_.station_point ||
      name == accumulator_.backsight.point_number || name == accumulator_.foresight.point_number) {
    return true;
  }
  for (const HeldRecord& held : held_) {
    if (name == held.obs.fore_name || name == held.obs.back_name ||
        name == held.back.point_number) {
      return true;
    }
  }
  return false;
}

void Reduction::BeginFile() {
  ReleaseHeld();
  reading_typed_ = false;
  skipping_setup_ = false;
  station_setup_ = StationSetup{};
  ResetGroups();
}

void Reduction::EndDocument() {
  EndSetup();
  station_setup_ = StationSetup{};
  ResetGroups();
  skipping_setup_ = false;
}

void Reduction::BeginVector(SourceLocation source) {
  tables_.SetObsKind(ObsKind::GpsVector);
  tables_.SetObsLinearUnit(LinearUnit::Meter);
  tables_.SetObsAngleUnit(AngleUnit::Degrees);
  // Asked of every vector: one that lacks a component is left out with its line.
  vector_source_ = source;
  if (edits_ != nullptr) {
    base_as_read_.clear();
    rover_as_read_.clear();
  }
}

void Reduction::VectorName(bool rover, std::string_view name, std::string_view as_read) {
  tables_.SetObsName(rover ? ObsNameField::Fore : ObsNameField::At, name);
  if (edits_ != nullptr) (rover ? rover_as_read_ : base_as_read_) = as_read;
}

void Reduction::VectorType(std::string_view text) {
  tables_.SetObsName(ObsNameField::Description, text);
}

void Reduction::VectorValue(VectorField field, double value) {
  switch (field) {
    case VectorField::DX:
      tables_.SetObsValue(ObsValueField::X, value);
      break;
    case VectorField::DY:
      tables_.SetObsValue(ObsValueField::Y, value);
      break;
    case VectorField::DZ:
      tables_.SetObsValue(ObsValueField::Z, value);
      break;
    case VectorField::SX:
      tables_.SetObsSigma(VectorAxis::X, value);
      break;
    case VectorField::SY:
      tables_.SetObsSigma(VectorAxis::Y, value);
      break;
    case VectorField::SZ:
      tables_.SetObsSigma(VectorAxis::Z, value);
      break;
    case VectorField::CXY:
      tables_.SetObsCorrelation(VectorCorrelation::XY, value);
      break;
    case VectorField::CYZ:
      tables_.SetObsCorrelation(VectorCorrelation::YZ, value);
      break;
    case VectorField::CXZ:
      tables_.SetObsCorrelation(VectorCorrelation::XZ, value);
      break;
  }
}

// The writer gives no record to a vector without all three components. It is recorded all the
// same (the approximate coordinates take what it has), and the warning says that the adjustment
// file and the checks of its repeats go without it.
void Reduction::EndVector(bool misread) {
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
  } else if (misread && warnings_ != nullptr) {
    warnings_->MarkMisreadRecorded();
  }
  Record(vector_source_, base_as_read_, rover_as_read_);
}

void Reduction::BeginSetup(SourceLocation source) {
  EndSetup();
  station_setup_ = StationSetup{};
  station_as_read_.clear();
  ResetGroups();
  if (log_ != nullptr) log_->BeginSetup(source);
}

void Reduction::NewStationPoint() {
  // A new station point starts a new setup: a height given before it is dropped.
  station_setup_ = StationSetup{};
}

void Reduction::SetupStation(std::string_view name, std::string_view as_read, bool misread) {
  station_setup_.station_point = name;
  if (edits_ != nullptr) station_as_read_ = as_read;
  if (log_ != nullptr) log_->SetSetupStation(station_setup_.station_point);
  station_setup_.misread = misread;
}

void Reduction::SetupHeight(double height, bool misread) {
  station_setup_.instrument_height = height;
  station_setup_.misread = misread || station_setup_.misread;
}

void Reduction::BeginReading(SourceLocation source) {
  if (log_ != nullptr) {
    reading_ = RawReading{};
    reading_.setup = log_->current_setup();
    reading_typed_ = false;
  }
  reading_.source = source;
  reading_has_direction_ = false;
  reading_has_zenith_ = false;
  zenith_group_ = nullptr;
}

void Reduction::Sight(SightKind kind) {
  if (log_ != nullptr) {
    reading_typed_ = true;
    if (kind == SightKind::Backsight) {
      reading_.type = ReadingType::Backsight;
    } else if (kind == SightKind::Foresight) {
      reading_.type = ReadingType::Foresight;
    } else if (kind == SightKind::Shotsight) {
      reading_.type = ReadingType::Shotsight;
    } else {
      reading_typed_ = false;
    }
  }
  bool fields = false;
  if (kind == SightKind::Backsight) {
    if (group_state_ == GroupState::Foresight || group_state_ == GroupState::Shotsight) {
      WriteAngleSet();
    }
    in_backsight_ = true;
    fields = true;
    group_state_ = GroupState::Backsight;
  } else if (kind == SightKind::BacksightPoint) {
    group_state_ = GroupState::BacksightPoint;
  } else if (kind == SightKind::Foresight || kind == SightKind::Shotsight) {
    if (group_state_ == GroupState::Backsight) WriteSingleSight();
    in_backsight_ = false;
    fields = true;
    group_state_ = kind == SightKind::Foresight ? GroupState::Foresight : GroupState::Shotsight;
  }
  if (fields) {
    ObsGroup& group = Group();
    if (group.observations++ == 0) group.first_observation = reading_.source;
  }
}

void Reduction::SightPoint(std::string_view name, std::string_view as_read) {
  ObsGroup& group = Group();
  // A foresight to another point starts a group of its own: readings to two different points
  // averaged together would give an angle to neither.
  if (!in_backsight_ && !group.point_number.empty() && group.point_number != name &&
      (group.direction_count > 0 || group.zenith_count > 0 || group.slope_dist_count > 0 ||
       group.target_height_count > 0 || !group.loose.empty())) {
    WriteAngleSet(true);
    // This observation is the new group's first.
    group.observations = 1;
    group.first_observation = reading_.source;
  }
  group.point_number = name;
  if (edits_ != nullptr) group.point_as_read = as_read;
  if (log_ != nullptr) reading_.point = log_->NameIndex(name);
}

void Reduction::PrismHeight(double height) {
  ObsGroup& group = Group();
  height /= LinearFactor(group.linear_unit);
  group.target_height_sum += height;
  ++group.target_height_count;
  reading_.prism_height = height;
  reading_.linear_unit = group.linear_unit;
}

void Reduction::SlopeDistance(double distance) {
  ObsGroup& group = Group();
  distance /= LinearFactor(group.linear_unit);
  group.slope_dist_sum += distance;
  ++group.slope_dist_count;
  reading_.slope_dist = distance;
  reading_.linear_unit = group.linear_unit;
}

void Reduction::HorizontalAngle(double angle) {
  accumulator_.current_direction = angle;
  reading_.horiz_angle = angle;
  reading_has_direction_ = true;
}

void Reduction::ZenithAngle(double zenith) {
  AddZenith(Group(), zenith);
  reading_has_zenith_ = true;
  reading_.zenith = zenith;
  reading_.face = FaceOf(zenith);
}

void Reduction::FieldRead(bool misread) {
  ObsGroup& group = Group();
  group.misread = misread || group.misread;
  if (wants_lines() && !group.first_source.known()) group.first_source = reading_.source;
}

void Reduction::EndReading() {
  if (zenith_group_ != nullptr) {
    if (reading_has_direction_) {
      AddDirection(*zenith_group_, zenith_direction_, zenith_group_ == &accumulator_.backsight);
    }
    zenith_group_ = nullptr;
  }
  // A direction without a zenith angle waits for its face to be told when its group is written.
  if (reading_has_direction_ && !reading_has_zenith_ && group_state_ != GroupState::None &&
      group_state_ != GroupState::BacksightPoint) {
    Group().loose.push_back(LooseDirection{accumulator_.current_direction, reading_.source});
  }
  if (log_ != nullptr && reading_typed_) {
    log_->AddReading(reading_);
    reading_typed_ = false;
  }
}

// A zenith angle and the direction read with it. A face-two reading is reduced to face one: the
// zenith mirrored and the direction turned by half a circle. Backsight directions are kept in
// [π, 3π) and foresight directions in [0, 2π), so that a backsight near the circle's zero
// averages across it.
void Reduction::AddZenith(ObsGroup& group, double zenith) {
  const uint8_t face = FaceOf(zenith);
  group.zenith_sum += FaceOneZenith(zenith, face);
  ++group.zenith_count;

  const bool backsight = &group == &accumulator_.backsight;
  if (group.direction_count == 0 && !group.point_number.empty()) {
    setup_pointings_.emplace_back(group.point_number,
                                  FaceOneDirection(accumulator_.current_direction, face));
  }
  setup_faces_ |= FaceBit(face);
  if (!reading_has_direction_) {
    // The direction read before this zenith angle goes with it only if the reading gives a
    // horizontal angle of its own (after the zenith angle): a reading without one has no
    // direction, and the one before belongs to another reading.
    zenith_direction_ = FaceOneDirection(accumulator_.current_direction, face);
    zenith_group_ = &group;
    return;
  }
  AddDirection(group, FaceOneDirection(accumulator_.current_direction, face), backsight);
}

void Reduction::AddDirection(ObsGroup& group, double direction, bool backsight) {
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

void Reduction::ResetGroups() {
  ++round_;
  zenith_group_ = nullptr;
  accumulator_ = ObsAccumulator{};
  accumulator_.backsight.linear_unit = job_linear_unit_;
  accumulator_.foresight.linear_unit = job_linear_unit_;
}

// The backsight group is kept: it is the reference of the angle set that follows.
void Reduction::WriteSingleSight() {
  const ObsGroup& back = accumulator_.backsight;
  // The rounds held back may turn from this group, which closes them.
  if (!held_.empty()) {
    HeldRecord& end = held_.emplace_back();
    end.backsight_end = true;
    end.round = round_;
    end.back = back;
    end.back_as_read = back.point_as_read;
  }
  tables_.SetObsKind(ObsKind::Sight);
  tables_.SetObsName(ObsNameField::At, station_setup_.station_point);
  tables_.SetObsName(ObsNameField::Back, back.point_number);
  tables_.SetObsLinearUnit(back.linear_unit);
  tables_.SetObsAngleUnit(job_angle_unit_);
  if (back.zenith_count > 0) {
    tables_.SetObsValue(ObsValueField::Zenith, Mean(back.zenith_sum, back.zenith_count));
  }
  if (back.slope_dist_count > 0) {
    tables_.SetObsValue(ObsValueField::SlopeDist, Mean(back.slope_dist_sum, back.slope_dist_count));
  }
  if (back.zenith_count > 0 || back.slope_dist_count > 0) {
    if (back.target_height_count > 0) {
      tables_.SetObsHeight(false, Mean(back.target_height_sum, back.target_height_count));
    }
    tables_.SetObsHeight(true,
                         Finite(station_setup_.instrument_height / LinearFactor(back.linear_unit)));
    NoteMisread(back);
    Record(back.first_source, station_as_read_, {}, back.point_as_read);
  } else if (back.loose.empty()) {
    WarnNothingObserved(back, "Backsight");
  }
}

// The angle set runs from the backsight point to the foresight point; the record's linear unit
// is the backsight group's.
void Reduction::WriteAngleSet(bool keep_backsight) {
  const ObsGroup& back = accumulator_.backsight;
  const ObsGroup& fore = accumulator_.foresight;
  tables_.SetObsKind(ObsKind::AngleSet);
  tables_.SetObsName(ObsNameField::At, station_setup_.station_point);
  tables_.SetObsName(ObsNameField::Fore, fore.point_number);
  tables_.SetObsName(ObsNameField::Back, back.point_number);
  tables_.SetObsLinearUnit(back.linear_unit);
  tables_.SetObsAngleUnit(job_angle_unit_);
  // Directions read without a zenith angle join the sums where the group's other readings tell
  // their face; any other waits for the setup's end, and so does a set whose round has no
  // backsight direction (yet: its closing backsight may give one).
  ObsGroup told_fore;
  ObsGroup told_back;
  const ObsGroup* f = &fore;
  const ObsGroup* b = &back;
  bool hold = false;
  if (!fore.loose.empty()) {
    told_fore = fore;
    hold = !TellFacesFromGroup(told_fore, false);
    f = &told_fore;
  }
  const bool turned = f->direction_count > 0 || !f->loose.empty();
  if (turned && !back.loose.empty()) {
    told_back = back;
    hold = !TellFacesFromGroup(told_back, true) || hold;
    b = &told_back;
  }
  hold = hold || (turned && b->direction_count == 0);
  if (f->direction_count > 0 && !hold) {
    const double reference = MeanDirection(*b, PI);
    double angle = MeanDirection(*f, 0.0) - reference;
    if (angle < 0.0) angle += TWO_PI;
    tables_.SetObsValue(ObsValueField::HorizAngle, Finite(angle));
  }
  if (fore.zenith_count > 0) {
    tables_.SetObsValue(ObsValueField::Zenith, Mean(fore.zenith_sum, fore.zenith_count));
  }
  if (fore.slope_dist_count > 0) {
    tables_.SetObsValue(ObsValueField::SlopeDist, Mean(fore.slope_dist_sum, fore.slope_dist_count));
  }
  if (fore.zenith_count > 0 || fore.slope_dist_count > 0 || !fore.loose.empty()) {
    if (fore.target_height_count > 0) {
      tables_.SetObsHeight(false, Mean(fore.target_height_sum, fore.target_height_count));
    }
    tables_.SetObsHeight(true,
                         Finite(station_setup_.instrument_height / LinearFactor(back.linear_unit)));
    NoteMisread(fore);
    if (turned) NoteMisread(back);
    if (hold) {
      HeldRecord& held = held_.emplace_back();
      held.round = round_;
      held.obs = tables_.current_observation();
      held.source = fore.first_source;
      held.at_as_read = station_as_read_;
      held.fore_as_read = fore.point_as_read;
      held.back_as_read = back.point_as_read;
      held.fore = *f;
      held.back = *b;
    } else {
      Record(fore.first_source, station_as_read_, fore.point_as_read, back.point_as_read);
    }
  } else {
    WarnNothingObserved(fore, "Foresight");
  }
  if (keep_backsight) {
    // The unit in force carries on to the next point's readings.
    const LinearUnit unit = accumulator_.foresight.linear_unit;
    accumulator_.foresight = ObsGroup{};
    accumulator_.foresight.linear_unit = unit;
  } else {
    ResetGroups();
  }
}

void Reduction::EndSetup() {
  if (group_state_ == GroupState::Foresight || group_state_ == GroupState::Shotsight) {
    WriteAngleSet();
  } else if (group_state_ == GroupState::Backsight && !held_.empty()) {
    // The closing backsight of the last round.
    HeldRecord& end = held_.emplace_back();
    end.backsight_end = true;
    end.round = round_;
    end.back = accumulator_.backsight;
    end.back_as_read = accumulator_.backsight.point_as_read;
  }
  ReleaseHeld();
}

bool Reduction::TellFacesFromGroup(ObsGroup& group, bool backsight) {
  if (group.direction_count == 0) return false;
  // Face one reduced, the group's readings lie near their mean; a loose direction read in the
  // same face lies near it too, one read in the other half a turn away.
  const double mean = MeanDirection(group, backsight ? PI : 0.0);
  std::vector<LooseDirection> loose;
  loose.swap(group.loose);
  for (const LooseDirection& l : loose) {
    const bool same = std::fabs(Turned(l.direction - mean)) <= QUARTER_TURN;
    AddDirection(group, same ? l.direction : l.direction - PI, backsight);
  }
  return true;
}

uint8_t Reduction::SetupFace() const {
  if (setup_faces_ == 3) return FACE_UNKNOWN;
  const uint8_t face = setup_faces_ == 2 ? FACE_TWO : FACE_ONE;
  const double turn = face == FACE_TWO ? PI : 0.0;
  // In one face, every reading of a point lies near every other.
  std::vector<std::pair<const std::string*, double>> pointings;
  for (const auto& [point, direction] : setup_pointings_) {
    pointings.emplace_back(&point, direction + turn);
  }
  for (const HeldRecord& held : held_) {
    for (const ObsGroup* group : {&held.fore, &held.back}) {
      for (const LooseDirection& l : group->loose) {
        for (const auto& [point, direction] : pointings) {
          if (*point == group->point_number &&
              std::fabs(Turned(l.direction - direction)) > QUARTER_TURN) {
            return FACE_UNKNOWN;
          }
        }
        pointings.emplace_back(&group->point_number, l.direction);
      }
    }
  }
  return face;
}

void Reduction::SettleLoose(ObsGroup& group, bool backsight, uint8_t face) {
  std::vector<LooseDirection> loose;
  loose.swap(group.loose);
  for (const LooseDirection& l : loose) {
    if (face == FACE_UNKNOWN) {
      WarnFaceUnknown(l, group, backsight);
    } else {
      AddDirection(group, FaceOneDirection(l.direction, face), backsight);
    }
  }
}

void Reduction::ReleaseHeld() {
  if (!held_.empty()) {
    const uint8_t face = SetupFace();
    for (HeldRecord& held : held_) {
      SettleLoose(held.fore, false, face);
      SettleLoose(held.back, true, face);
    }
    // The first held set of each round left without a backsight, and the angles it loses.
    const HeldRecord* unturned = nullptr;
    int32_t unturned_angles = 0;
    for (size_t i = 0; i < held_.size(); ++i) {
      HeldRecord& held = held_[i];
      if (held.backsight_end) continue;
      ObsRecord& obs = held.obs;
      if (held.fore.direction_count > 0) {
        const ObsGroup* reference = held.back.direction_count > 0 ? &held.back : nullptr;
        if (reference == nullptr) {
          // The round's closing backsight, the next backsight group of the setup.
          for (size_t k = i + 1; k < held_.size(); ++k) {
            if (!held_[k].backsight_end) continue;
            if (held_[k].back.direction_count > 0) {
              reference = &held_[k].back;
              obs.back_name = reference->point_number;
              held.back_as_read = held_[k].back_as_read;
            }
            break;
          }
        }
        if (reference != nullptr) {
          double angle = MeanDirection(held.fore, 0.0) - MeanDirection(*reference, PI);
          if (angle < 0.0) angle += TWO_PI;
          obs.horiz_angle = Finite(angle);
        } else {
          if (unturned != nullptr && unturned->round != held.round) {
            WarnNoBacksight(*unturned, unturned_angles);
            unturned = nullptr;
          }
          if (unturned == nullptr) {
            unturned = &held;
            unturned_angles = 0;
          }
          unturned_angles += held.fore.direction_count;
          // Without a backsight the set names none: its zenith and distance are sights.
          obs.back_name.clear();
        }
      }
      if (obs.horiz_angle == MISSING_VALUE && obs.zenith == MISSING_VALUE &&
          obs.slope_dist == MISSING_VALUE) {
        continue;
      }
      tables_.current_observation() = obs;
      Record(held.source, held.at_as_read, held.fore_as_read, held.back_as_read);
    }
    if (unturned != nullptr) WarnNoBacksight(*unturned, unturned_angles);
    held_.clear();
  }
  setup_faces_ = 0;
  setup_pointings_.clear();
  warned_lines_.clear();
}

void Reduction::WarnFaceUnknown(const LooseDirection& loose, const ObsGroup& group,
                                bool backsight) {
  if (warnings_ == nullptr) return;
  for (const int32_t line : warned_lines_) {
    if (line == loose.source.line) return;
  }
  warned_lines_.push_back(loose.source.line);
  ReadingWarning warning;
  warning.source = SourceLocation{warnings_->current_file(), loose.source.line};
  warning.element = backsight ? "Backsight" : "Foresight";
  warning.text = group.point_number;
  warning.problem = "has a horizontal angle without a zenith angle in a setup read in both faces";
  warning.assumed =
      "its face cannot be told: the horizontal angle is left out of the adjustment file";
  warning.advice = "Check this observation in the job";
  warning.kind = WarningKind::LeftOut;
  warning.stations = {station_setup_.station_point, group.point_number};
  warnings_->Add(std::move(warning));
}

void Reduction::WarnNoBacksight(const HeldRecord& first, int32_t angles) {
  if (warnings_ == nullptr) return;
  ReadingWarning warning;
  warning.source = SourceLocation{warnings_->current_file(), first.fore.first_observation.line};
  warning.element = "Foresight";
  warning.text = first.fore.point_number;
  warning.problem = "is in a round with no backsight reading";
  warning.assumed = "the round's " + std::to_string(angles) + " horizontal angle" +
                    (angles == 1 ? "" : "s") +
                    " left out of the adjustment file, its zenith angles and distances kept";
  warning.advice = "Keep a backsight reading of the round in the job";
  warning.kind = WarningKind::LeftOut;
  warning.stations = {first.obs.at_name, first.fore.point_number};
  warnings_->Add(std::move(warning));
}

void Reduction::WarnNothingObserved(const ObsGroup& group, std::string_view element) {
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

void Reduction::NoteMisread(const ObsGroup& group) {
  if (warnings_ != nullptr && (group.misread || station_setup_.misread)) {
    warnings_->MarkMisreadRecorded();
  }
}

void Reduction::Record(SourceLocation source, std::string_view at_as_read,
                       std::string_view fore_as_read, std::string_view back_as_read) {
  if (edits_ != nullptr && edits_->changes_names() &&
      KeptAsSelfTie(source, at_as_read, fore_as_read, back_as_read)) {
    return;
  }
  tables_.RecordObservation();
  if (log_ != nullptr) log_->AddRecordSource(source);
}

bool Reduction::KeptAsSelfTie(SourceLocation source, std::string_view at, std::string_view fore,
                              std::string_view back) {
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

}  // namespace fenwix

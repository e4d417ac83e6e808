#include "model/survey_tables.h"

namespace fenwix {

SurveyTables::SurveyTables() {
  ResetTables();
}

void SurveyTables::ResetTables() {
  observations_.clear();
  stations_.clear();
  name_index_.clear();
  observations_.emplace_back();
  stations_.emplace_back();
}

bool SurveyTables::AddStation(std::string_view name) {
  if (name_index_.find(name) != name_index_.end()) return false;
  ClearStation(current_station_);
  current_station_.name = std::string(name);
  const auto index = static_cast<int32_t>(stations_.size());
  stations_.push_back(current_station_);
  name_index_.emplace(current_station_.name, index);
  return true;
}

void SurveyTables::RecordObservation() {
  const ObsRecord& obs = current_observation_;
  if (!obs.at_name.empty()) AddStation(obs.at_name);
  if (!obs.fore_name.empty()) AddStation(obs.fore_name);
  if (!obs.back_name.empty()) AddStation(obs.back_name);
  observations_.push_back(obs);
}

int32_t SurveyTables::StationIndex(std::string_view name) const {
  const auto found = name_index_.find(name);
  return found == name_index_.end() ? 0 : found->second;
}

int32_t SurveyTables::FindStation(std::string_view name) {
  const int32_t index = StationIndex(name);
  if (index != 0) station(index).coords_known = true;
  return index;
}

void SurveyTables::SetObsKind(ObsKind kind) {
  ClearObservation(current_observation_);
  current_observation_.kind = kind;
}

void SurveyTables::SetObsName(int32_t code, std::string_view text) {
  ObsRecord& obs = current_observation_;
  switch (code) {
    case OBS_NAME_AT:
      obs.at_name = text;
      break;
    case OBS_NAME_FORE:
      obs.fore_name = text;
      break;
    case OBS_NAME_BACK:
      obs.back_name = text;
      break;
    case OBS_NAME_DESCRIPTION:
      obs.description = text;
      break;
    default:
      break;
  }
}

int32_t SurveyTables::SetObsUnit(int32_t code) {
  if (code >= LINEAR_UNIT_INTERNATIONAL_FOOT && code <= LINEAR_UNIT_US_FOOT) {
    current_observation_.linear_unit = code;
  } else if (code == ANGLE_UNIT_CODE_DEGREES || code == ANGLE_UNIT_CODE_GONS) {
    current_observation_.angle_unit = code;
  }
  return code;
}

void SurveyTables::SetObsValue(int32_t code, double value) {
  ObsRecord& obs = current_observation_;
  switch (obs.kind) {
    case ObsKind::GpsVector:
      if (code == OBS_VALUE_X) obs.dx = value;
      if (code == OBS_VALUE_Y) obs.dy = value;
      if (code == OBS_VALUE_Z) obs.dz = value;
      break;
    case ObsKind::AngleSet:
      if (code == OBS_VALUE_HORIZ_ANGLE) obs.horiz_angle = value;
      [[fallthrough]];
    case ObsKind::Sight:
      if (code == OBS_VALUE_ZENITH) obs.zenith = value;
      if (code == OBS_VALUE_SLOPE_DIST) obs.slope_dist = value;
      break;
    case ObsKind::None:
      break;
  }
}

void SurveyTables::SetObsSigma(int32_t code, double value) {
  ObsRecord& obs = current_observation_;
  if (obs.kind != ObsKind::GpsVector) return;
  if (code == OBS_VALUE_X) obs.sx = value;
  if (code == OBS_VALUE_Y) obs.sy = value;
  if (code == OBS_VALUE_Z) obs.sz = value;
}

void SurveyTables::SetObsCorrelation(int32_t code, double value) {
  ObsRecord& obs = current_observation_;
  if (obs.kind != ObsKind::GpsVector) return;
  // Code 10 is the YZ term and code 11 the XZ term.
  if (code == OBS_VALUE_X) obs.cxy = value;
  if (code == OBS_VALUE_Y) obs.cyz = value;
  if (code == OBS_VALUE_Z) obs.cxz = value;
}

void SurveyTables::SetObsHeight(bool is_instrument, double value) {
  if (is_instrument) {
    current_observation_.instr_height = value;
  } else {
    current_observation_.target_height = value;
  }
}

}  // namespace fenwix

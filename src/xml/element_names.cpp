#include "xml/element_names.h"

#include <iterator>

namespace fenwix {

// Every element start and end asks this, and most names are fields: one branch on the length
// rules out all but at most two comparisons.
ElementState StateOf(std::string_view name) {
  switch (name.size()) {
    case 4:
      if (name == "data") return ElementState::Data;
      break;
    case 5:
      if (name == "Point") return ElementState::Point;
      break;
    case 6:
      if (name == "Vector") return ElementState::Vector;
      break;
    case 7:
      if (name == "Project") return ElementState::Project;
      if (name == "Station") return ElementState::Station;
      break;
    case 11:
      if (name == "Observation") return ElementState::Observation;
      break;
    default:
      break;
  }
  return ElementState::None;
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

}  // namespace fenwix

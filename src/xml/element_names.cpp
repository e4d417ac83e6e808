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

namespace {

// Whether the text at name is word exactly (its NUL included). The bytes are compared one at a
// time, so none past the name's own end is read.
template <size_t N>
bool Is(const char* name, const char (&word)[N]) {
  for (size_t i = 0; i < N; ++i) {
    if (name[i] != word[i]) return false;
  }
  return true;
}

constexpr KnownName State(ElementState state) {
  return {state, ChildName::None};
}
constexpr KnownName Child(ChildName child) {
  return {ElementState::None, child};
}

// The two-letter fields: a vector component or its standard deviation.
KnownName Component(const char* rest, ChildName x, ChildName y, ChildName z) {
  ChildName child = ChildName::None;
  switch (rest[0]) {
    case 'X':
      child = x;
      break;
    case 'Y':
      child = y;
      break;
    case 'Z':
      child = z;
      break;
    default:
      return {};  // also the end of a one-letter name: nothing past it is read
  }
  return rest[1] == '\0' ? Child(child) : KnownName{};
}

}  // namespace

// The first byte picks the few names that can match; the rest is compared with them only.
KnownName KnownNameOf(const char* name) {
  const char* rest = name + 1;
  switch (name[0]) {
    case 'A':
      if (Is(rest, "ngleUnitIndicator")) return Child(ChildName::AngleUnitIndicator);
      break;
    case 'B':
      if (Is(rest, "asePoint")) return Child(ChildName::BasePoint);
      break;
    case 'C':
      if (Is(rest, "XY")) return Child(ChildName::CXY);
      if (Is(rest, "XZ")) return Child(ChildName::CXZ);
      if (Is(rest, "YZ")) return Child(ChildName::CYZ);
      break;
    case 'D':
      if (rest[0] == 'i') {
        if (Is(rest, "istanceUnitIndicator")) return Child(ChildName::DistanceUnitIndicator);
        break;
      }
      return Component(rest, ChildName::DX, ChildName::DY, ChildName::DZ);
    case 'H':
      if (Is(rest, "orizontalAngle")) return Child(ChildName::HorizontalAngle);
      break;
    case 'I':
      if (Is(rest, "nstrumentHeight")) return Child(ChildName::InstrumentHeight);
      break;
    case 'O':
      if (Is(rest, "bsType")) return Child(ChildName::ObsType);
      if (Is(rest, "bservation")) return State(ElementState::Observation);
      break;
    case 'P':
      if (Is(rest, "ointNumber")) return Child(ChildName::PointNumber);
      if (Is(rest, "oint")) return State(ElementState::Point);
      if (Is(rest, "rismHeight")) return Child(ChildName::PrismHeight);
      if (Is(rest, "roject")) return State(ElementState::Project);
      break;
    case 'R':
      if (Is(rest, "overPoint")) return Child(ChildName::RoverPoint);
      break;
    case 'S':
      if (rest[0] == 't') {
        if (Is(rest, "tationPoint")) return Child(ChildName::StationPoint);
        if (Is(rest, "tation")) return State(ElementState::Station);
        break;
      }
      if (Is(rest, "lopeDistance")) return Child(ChildName::SlopeDistance);
      return Component(rest, ChildName::SX, ChildName::SY, ChildName::SZ);
    case 'T':
      if (Is(rest, "ype")) return Child(ChildName::Type);
      break;
    case 'V':
      if (Is(rest, "ector")) return State(ElementState::Vector);
      break;
    case 'Z':
      if (Is(rest, "enithAngle")) return Child(ChildName::ZenithAngle);
      break;
    case 'd':
      if (Is(rest, "ata")) return State(ElementState::Data);
      break;
    default:
      break;
  }
  return {};
}

}  // namespace fenwix

#pragma once
// The names of the elements a Topcon XML field file is read by: the structural elements that
// hold a vector, a setup or a reading, and the fields whose text is read.

#include <cstdint>
#include <string_view>

namespace fenwix {

// Structural elements that occupy an entry of the reader's state stack; None stands for a field
// or an unknown name.
enum class ElementState : uint8_t { None, Data, Project, Vector, Point, Station, Observation };

// Names of the elements whose text is read; ChildName::None stands for an empty or
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

// The structural state an element name opens.
ElementState StateOf(std::string_view name);
ChildName ChildNameOf(std::string_view name);

// What an element name is to the reader: the state it opens, or the field it names (at most one
// of the two is not None).
struct KnownName {
  ElementState state = ElementState::None;
  ChildName child = ChildName::None;
};
// The same answer as StateOf and ChildNameOf, for a name ending at its first NUL byte, in one
// pass that reads no further than the first byte that rules out every known name. Every element
// start asks this, and the names of a job are short and few.
KnownName KnownNameOf(const char* name);
// The element name of a field, for warnings.
std::string_view FieldName(ChildName name);

inline bool IsVectorField(ChildName name) {
  return name >= ChildName::BasePoint && name <= ChildName::CYZ;
}

inline bool IsStationField(ChildName name) {
  return name == ChildName::StationPoint || name == ChildName::InstrumentHeight;
}

inline bool IsObservationField(ChildName name) {
  return name >= ChildName::ObsType;
}

inline bool IsKeywordField(ChildName name) {
  return name == ChildName::ObsType || name == ChildName::DistanceUnitIndicator ||
         name == ChildName::AngleUnitIndicator;
}

inline bool IsNumberField(ChildName name) {
  return (name >= ChildName::DX && name <= ChildName::CYZ) || name == ChildName::InstrumentHeight ||
         name == ChildName::PrismHeight ||
         (name >= ChildName::HorizontalAngle && name <= ChildName::SlopeDistance);
}

}  // namespace fenwix

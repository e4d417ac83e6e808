#pragma once
// The station table and the observation table, with the working observation that the XML reader
// fills field by field. Row 0 of each table is a cleared placeholder; index 0 means "no row".

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/record_array.h"
#include "model/records.h"

namespace fenwix {

// The names of the working observation (see ObsRecord).
enum class ObsNameField : uint8_t { At, Fore, Back, Description };
// The measured values of the working observation: a total-station observation's angles and
// distance, a GPS vector's components.
enum class ObsValueField : uint8_t { HorizAngle, Zenith, SlopeDist, X, Y, Z };
// The component of a GPS vector whose standard deviation is given.
enum class VectorAxis : uint8_t { X, Y, Z };
// The pair of components of a GPS vector whose correlation is given.
enum class VectorCorrelation : uint8_t { XY, YZ, XZ };

class SurveyTables {
 public:
  SurveyTables();

  // Empties both tables and appends the cleared placeholder rows.
  void ResetTables();

  // Appends a cleared station with this name unless a row already has it; true when added.
  bool AddStation(std::string_view name);
  // Adds the stations that the working observation names (at, fore, back; empty names are
  // skipped), then appends it as a row that refers to them.
  void RecordObservation();
  // Makes room for the observation rows that an input of this many bytes may hold, so that a
  // large job's table is not moved while it fills. A guess, never a limit: the table still grows
  // past it, and when the memory is not there nothing is reserved.
  void ExpectInputBytes(uint64_t bytes);
  // Index of the station with exactly this name, or 0. Does not change the table.
  int32_t StationIndex(std::string_view name) const;
  // As StationIndex, and marks the row found as having known coordinates.
  int32_t FindStation(std::string_view name);

  void SetObsKind(ObsKind kind);
  void SetObsName(ObsNameField field, std::string_view text);
  void SetObsLinearUnit(LinearUnit unit);
  void SetObsAngleUnit(AngleUnit unit);
  // A value the kind of the working observation cannot carry is ignored, as are a vector's
  // deviations and correlations on any other kind.
  void SetObsValue(ObsValueField field, double value);
  void SetObsSigma(VectorAxis axis, double value);
  void SetObsCorrelation(VectorCorrelation pair, double value);
  void SetObsHeight(bool is_instrument, double value);

  const std::vector<StationRecord>& stations() const { return stations_; }
  // Coordinates and merge marks may change; names must not (the name index depends on them).
  StationRecord& station(int32_t index) { return stations_[static_cast<size_t>(index)]; }
  std::span<const ObsRow> observations() const { return observations_; }
  // The name of station row `index` ("" for row 0, the row of a name not given).
  const std::string& name(int32_t index) const {
    return stations_[static_cast<size_t>(index)].name;
  }
  // The description of an observation row ("" when it has none).
  std::string_view description(const ObsRow& row) const {
    return descriptions_[static_cast<size_t>(row.description)];
  }
  // Starts loading the stations of observation row `index` (when there is one), so that a pass
  // through the table that reads their names finds them in the cache a few rows later.
  void PrefetchStationsOf(size_t index) const;
  // Observation row `index` with the names of its stations and its description, as the
  // reader assembled it.
  ObsRecord Observation(int32_t index) const;
  ObsRecord& current_observation() { return current_observation_; }
  const ObsRecord& current_observation() const { return current_observation_; }

  // Row counts including the placeholder rows.
  int32_t station_count() const { return static_cast<int32_t>(stations_.size()); }
  int32_t observation_count() const { return static_cast<int32_t>(observations_.size()); }

 private:
  // A slot of the name index: the row of a station, the low half of its name's hash (a cheap
  // first test), and a name of at most SHORT_NAME_BYTES bytes in full, so that most names are
  // matched without reading the row. Row 0 marks an empty slot.
  struct NameSlot {
    uint64_t short_name = 0;
    int32_t row = 0;
    uint32_t hash_tag = 0;
  };
  static constexpr size_t SHORT_NAME_BYTES = 7;
  // The name and its length packed into one word, or 0 when it is longer than SHORT_NAME_BYTES.
  static uint64_t ShortName(std::string_view name);
  static size_t NameHash(std::string_view name);
  // The slot holding name, or the empty slot where it would go.
  size_t FindSlot(std::string_view name, size_t hash) const;
  // The row of the station with this name, added when no row has it yet.
  int32_t StationRow(std::string_view name);
  // The index of this description in descriptions_, added when new.
  int32_t DescriptionIndex(const std::string& text);
  // Doubles the index and places every station again.
  void GrowIndex();
  // Starts loading the index slot of a name that RecordObservation will look up: the slot is
  // a cache miss on a large job, and the fields read in between hide it.
  void PrefetchName(std::string_view name) const;

  std::vector<StationRecord> stations_;
  RecordArray<ObsRow> observations_;
  ObsRecord current_observation_;
  // Every distinct observation description once, "" first, and the index of each.
  std::vector<std::string> descriptions_;
  std::unordered_map<std::string, int32_t> description_index_;
  int32_t last_description_ = 0;
  // Station name to row, open addressing with linear probing, at most three quarters full. A
  // lookup touches one slot (and the row only for a long name), not a chain of nodes. The first
  // row with a name is the only one, names being unique.
  std::vector<NameSlot> name_slots_;
  size_t named_count_ = 0;
};

}  // namespace fenwix

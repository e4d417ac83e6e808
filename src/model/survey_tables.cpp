#include "model/survey_tables.h"

#include <cstring>
#include <exception>
#include <functional>
#include <utility>

#include "model/large_block.h"

namespace fenwix {

namespace {

// Slots of an empty name index; a power of two, as every later size.
constexpr size_t INITIAL_NAME_SLOTS = 64;
// Fewer bytes of XML than a collector writes for one GPS vector or one angle set with its
// readings, so that a guess from the file size is rarely short. Memory reserved and never used
// costs address space only.
constexpr uint64_t INPUT_BYTES_PER_OBSERVATION = 256;
// Fewer bytes than a job spends per station named (its point record and the observations that
// name it), with the same purpose. The station table's memory is taken from the system only
// where rows are written, so room reserved and never used costs address space only.
constexpr uint64_t INPUT_BYTES_PER_STATION = 1024;

// The low half of a name's hash: the bits that place it in any index below 2^32 slots, so that
// the index grows without hashing the names again (which would read every station row).
uint32_t HashTag(size_t hash) {
  return static_cast<uint32_t>(hash);
}

}  // namespace

SurveyTables::SurveyTables() {
  ResetTables();
}

void SurveyTables::ResetTables() {
  observations_.clear();
  stations_.clear();
  name_slots_.assign(INITIAL_NAME_SLOTS, NameSlot{});
  named_count_ = 0;
  descriptions_.assign(1, std::string());
  description_index_.clear();
  description_index_.emplace(std::string(), 0);
  last_description_ = 0;
  observations_.push_back(ObsRow{});
  stations_.emplace_back();
}

// Most station names are short: their packed word is already unique, and a few multiplies mix
// every one of its bits into the low ones that place it, which costs less than hashing the bytes.
size_t SurveyTables::NameHash(std::string_view name) {
  uint64_t word = ShortName(name);
  if (word == 0) return std::hash<std::string_view>{}(name);
  word ^= word >> 33;
  word *= 0xff51afd7ed558ccdULL;
  word ^= word >> 33;
  word *= 0xc4ceb9fe1a85ec53ULL;
  word ^= word >> 33;
  return static_cast<size_t>(word);
}

uint64_t SurveyTables::ShortName(std::string_view name) {
  if (name.size() > SHORT_NAME_BYTES) return 0;
  // The bytes, zero-padded, and the length plus one in the last byte: two names give the same
  // word only when they are equal, and no short name gives 0. Shifted in one at a time, as the
  // bytes stored and read back as a word would wait on each other.
  uint64_t word = static_cast<uint64_t>(name.size() + 1) << (8 * SHORT_NAME_BYTES);
  for (size_t i = 0; i < name.size(); ++i) {
    word |= static_cast<uint64_t>(static_cast<unsigned char>(name[i])) << (8 * i);
  }
  return word;
}

size_t SurveyTables::FindSlot(std::string_view name, size_t hash) const {
  const size_t mask = name_slots_.size() - 1;
  const uint32_t tag = HashTag(hash);
  const uint64_t short_name = ShortName(name);
  // The index is never full, so an empty slot always ends the probe.
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const NameSlot& slot = name_slots_[i];
    if (slot.row == 0) return i;
    if (slot.hash_tag != tag || slot.short_name != short_name) continue;
    if (short_name != 0 || stations_[static_cast<size_t>(slot.row)].name == name) return i;
  }
}

void SurveyTables::GrowIndex() {
  std::vector<NameSlot> old_slots(name_slots_.size() * 2);
  name_slots_.swap(old_slots);
  const size_t mask = name_slots_.size() - 1;
  const bool tags_place = mask <= UINT32_MAX;
  for (const NameSlot& slot : old_slots) {
    if (slot.row == 0) continue;
    size_t i =
        (tags_place ? slot.hash_tag : NameHash(stations_[static_cast<size_t>(slot.row)].name)) &
        mask;
    while (name_slots_[i].row != 0) i = (i + 1) & mask;
    name_slots_[i] = slot;
  }
}

bool SurveyTables::AddStation(std::string_view name) {
  const auto rows = stations_.size();
  StationRow(name);
  return stations_.size() != rows;
}

int32_t SurveyTables::StationRow(std::string_view name) {
  // A moved-from table has no slots at all.
  if (name_slots_.empty()) name_slots_.assign(INITIAL_NAME_SLOTS, NameSlot{});
  const size_t hash = NameHash(name);
  const size_t slot = FindSlot(name, hash);
  if (name_slots_[slot].row != 0) return name_slots_[slot].row;
  StationRecord added;
  added.name = name;
  const auto row = static_cast<int32_t>(stations_.size());
  stations_.push_back(std::move(added));
  name_slots_[slot] = NameSlot{ShortName(name), row, HashTag(hash)};
  ++named_count_;
  if (named_count_ * 4 > name_slots_.size() * 3) GrowIndex();
  return row;
}

int32_t SurveyTables::DescriptionIndex(const std::string& text) {
  // A moved-from table has no list at all.
  if (descriptions_.empty()) {
    descriptions_.assign(1, std::string());
    description_index_.emplace(std::string(), 0);
    last_description_ = 0;
  }
  // Records mostly repeat the description of the record before them.
  if (descriptions_[static_cast<size_t>(last_description_)] == text) return last_description_;
  const auto [found, added] =
      description_index_.try_emplace(text, static_cast<int32_t>(descriptions_.size()));
  if (added) descriptions_.push_back(text);
  last_description_ = found->second;
  return last_description_;
}

void SurveyTables::RecordObservation() {
  const ObsRecord& obs = current_observation_;
  ObsRow row = ObsRow::Pack(obs);
  if (!obs.at_name.empty()) row.at = StationRow(obs.at_name);
  if (!obs.fore_name.empty()) row.fore = StationRow(obs.fore_name);
  if (!obs.back_name.empty()) row.back = StationRow(obs.back_name);
  if (!obs.description.empty()) row.description = DescriptionIndex(obs.description);
  observations_.push_back(row);
}

void SurveyTables::ExpectInputBytes(uint64_t bytes) {
  observations_.try_reserve(observations_.size() +
                            static_cast<size_t>(bytes / INPUT_BYTES_PER_OBSERVATION));
  try {
    stations_.reserve(stations_.size() + static_cast<size_t>(bytes / INPUT_BYTES_PER_STATION));
  } catch (const std::exception&) {
    // Only a guess: the table grows as it fills.
  }
}

ObsRecord SurveyTables::Observation(int32_t index) const {
  const ObsRow& row = observations_[static_cast<size_t>(index)];
  ObsRecord obs;
  static_cast<ObsValues&>(obs) = row.Values();
  obs.at_name = name(row.at);
  obs.fore_name = name(row.fore);
  obs.back_name = name(row.back);
  obs.description = description(row);
  return obs;
}

int32_t SurveyTables::StationIndex(std::string_view name) const {
  if (name_slots_.empty()) return 0;
  return name_slots_[FindSlot(name, NameHash(name))].row;
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

void SurveyTables::PrefetchName(std::string_view name) const {
  if (name_slots_.empty()) return;
  PrefetchMemory(&name_slots_[NameHash(name) & (name_slots_.size() - 1)]);
}

void SurveyTables::PrefetchStationsOf(size_t index) const {
  if (index >= observations_.size()) return;
  const ObsRow& row = observations_[index];
  PrefetchMemory(&stations_[static_cast<size_t>(row.at)]);
  PrefetchMemory(&stations_[static_cast<size_t>(row.fore)]);
  PrefetchMemory(&stations_[static_cast<size_t>(row.back)]);
}

void SurveyTables::SetObsName(ObsNameField field, std::string_view text) {
  ObsRecord& obs = current_observation_;
  switch (field) {
    case ObsNameField::At:
      obs.at_name = text;
      PrefetchName(text);
      break;
    case ObsNameField::Fore:
      obs.fore_name = text;
      PrefetchName(text);
      break;
    case ObsNameField::Back:
      obs.back_name = text;
      PrefetchName(text);
      break;
    case ObsNameField::Description:
      obs.description = text;
      break;
  }
}

void SurveyTables::SetObsLinearUnit(LinearUnit unit) {
  current_observation_.linear_unit = unit;
}

void SurveyTables::SetObsAngleUnit(AngleUnit unit) {
  current_observation_.angle_unit = unit;
}

void SurveyTables::SetObsValue(ObsValueField field, double value) {
  ObsRecord& obs = current_observation_;
  switch (obs.kind) {
    case ObsKind::GpsVector:
      if (field == ObsValueField::X) obs.dx = value;
      if (field == ObsValueField::Y) obs.dy = value;
      if (field == ObsValueField::Z) obs.dz = value;
      break;
    case ObsKind::AngleSet:
      if (field == ObsValueField::HorizAngle) obs.horiz_angle = value;
      [[fallthrough]];
    case ObsKind::Sight:
      if (field == ObsValueField::Zenith) obs.zenith = value;
      if (field == ObsValueField::SlopeDist) obs.slope_dist = value;
      break;
    case ObsKind::None:
      break;
  }
}

void SurveyTables::SetObsSigma(VectorAxis axis, double value) {
  ObsRecord& obs = current_observation_;
  if (obs.kind != ObsKind::GpsVector) return;
  switch (axis) {
    case VectorAxis::X:
      obs.sx = value;
      break;
    case VectorAxis::Y:
      obs.sy = value;
      break;
    case VectorAxis::Z:
      obs.sz = value;
      break;
  }
}

void SurveyTables::SetObsCorrelation(VectorCorrelation pair, double value) {
  ObsRecord& obs = current_observation_;
  if (obs.kind != ObsKind::GpsVector) return;
  switch (pair) {
    case VectorCorrelation::XY:
      obs.cxy = value;
      break;
    case VectorCorrelation::YZ:
      obs.cyz = value;
      break;
    case VectorCorrelation::XZ:
      obs.cxz = value;
      break;
  }
}

void SurveyTables::SetObsHeight(bool is_instrument, double value) {
  if (is_instrument) {
    current_observation_.instr_height = value;
  } else {
    current_observation_.target_height = value;
  }
}

}  // namespace fenwix

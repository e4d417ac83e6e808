#include "app/settings_file.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "app/conversion_request.h"
#include "app/field_validation.h"
#include "app/file_problem.h"
#include "app/messages.h"
#include "platform/file_access.h"
#include "platform/guarded_write.h"
#include "platform/utf8_path.h"

namespace fenwix {

namespace {

// Largest size of a number a settings record holds: beyond every field's range (the grid's
// 1e8 m the widest), within reach of no other kind of file's bytes read as a number.
constexpr double SETTINGS_VALUE_REACH = 1e9;

// Field offsets and sizes of the record.
constexpr size_t OFFSET_COMPUTE_GEODETIC = 0;
constexpr size_t OFFSET_COMPUTE_LOCAL = 1;
constexpr size_t OFFSET_DATUM_NAME = 2;
constexpr size_t OFFSET_DATUM_A = 24;
constexpr size_t OFFSET_DATUM_INV_F = 32;
constexpr size_t OFFSET_SEED_NAME = 40;
constexpr size_t OFFSET_SEED_LATITUDE = 56;
constexpr size_t OFFSET_SEED_LONGITUDE = 64;
constexpr size_t OFFSET_SEED_HEIGHT = 72;
constexpr size_t OFFSET_SEED_NORTH = 80;
constexpr size_t OFFSET_SEED_EAST = 88;
constexpr size_t OFFSET_SEED_ELEVATION = 96;
constexpr size_t OFFSET_MERGE_TOLERANCE = 104;
constexpr size_t OFFSET_TWO_D = 112;
constexpr size_t OFFSET_OUTPUT_PATH = 113;
constexpr size_t OFFSET_XML_PATH = 373;
constexpr size_t NAME_FIELD_SIZE = 16;
constexpr size_t OUTPUT_PATH_FIELD_SIZE = 260;
constexpr size_t XML_PATH_FIELD_SIZE = 763;

void PutDouble(SettingsRecord& record, size_t offset, double value) {
  uint64_t bits = std::bit_cast<uint64_t>(value);
  for (size_t i = 0; i < 8; ++i) {
    record[offset + i] = static_cast<unsigned char>(bits & 0xFF);
    bits >>= 8;
  }
}

double GetDouble(const SettingsRecord& record, size_t offset) {
  uint64_t bits = 0;
  for (size_t i = 0; i < 8; ++i) bits |= static_cast<uint64_t>(record[offset + i]) << (8 * i);
  return std::bit_cast<double>(bits);
}

// Copies at most field_size - 1 bytes, never splitting a UTF-8 character: a cut that would
// fall inside a character ends the text before that character.
void PutName(SettingsRecord& record, size_t offset, size_t field_size, const std::string& text) {
  size_t length = std::min(text.size(), field_size - 1);
  if (length < text.size()) {
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  }
  std::memcpy(record.data() + offset, text.data(), length);
}

// A path too long for its field is stored empty: a cut path would name another file.
void PutPath(SettingsRecord& record, size_t offset, size_t field_size, const std::string& text) {
  if (text.size() >= field_size || text.find('\0') != std::string::npos) return;
  std::memcpy(record.data() + offset, text.data(), text.size());
}

std::string GetText(const SettingsRecord& record, size_t offset, size_t field_size) {
  const auto* begin = reinterpret_cast<const char*>(record.data() + offset);
  return std::string(begin, strnlen(begin, field_size));
}

}  // namespace

SettingsRecord EncodeSettings(const ConversionSettings& settings) {
  SettingsRecord record{};
  record[OFFSET_COMPUTE_GEODETIC] = settings.compute_geodetic ? 1 : 0;
  record[OFFSET_COMPUTE_LOCAL] = settings.compute_local ? 1 : 0;
  PutName(record, OFFSET_DATUM_NAME, NAME_FIELD_SIZE, settings.approx_datum_name);
  PutDouble(record, OFFSET_DATUM_A, settings.approx_datum_a);
  PutDouble(record, OFFSET_DATUM_INV_F, settings.approx_datum_inv_f);
  PutName(record, OFFSET_SEED_NAME, NAME_FIELD_SIZE, settings.seed_name);
  PutDouble(record, OFFSET_SEED_LATITUDE, settings.seed_latitude);
  PutDouble(record, OFFSET_SEED_LONGITUDE, settings.seed_longitude);
  PutDouble(record, OFFSET_SEED_HEIGHT, settings.seed_height);
  PutDouble(record, OFFSET_SEED_NORTH, settings.seed_north);
  PutDouble(record, OFFSET_SEED_EAST, settings.seed_east);
  PutDouble(record, OFFSET_SEED_ELEVATION, settings.seed_elevation);
  PutDouble(record, OFFSET_MERGE_TOLERANCE, settings.merge_tolerance);
  record[OFFSET_TWO_D] = settings.tolerance_mode == TOLERANCE_MODE_2D ? 1 : 0;
  // The record has room for one field file: the first (the list of several is kept apart).
  PutPath(record, OFFSET_XML_PATH, XML_PATH_FIELD_SIZE,
          settings.xml_paths.empty() ? std::string() : settings.xml_paths.front());
  PutPath(record, OFFSET_OUTPUT_PATH, OUTPUT_PATH_FIELD_SIZE, settings.output_path);
  return record;
}

void DecodeSettings(const SettingsRecord& record, ConversionSettings& settings) {
  settings.approx_datum_name = GetText(record, OFFSET_DATUM_NAME, NAME_FIELD_SIZE);
  settings.approx_datum_a = GetDouble(record, OFFSET_DATUM_A);
  settings.approx_datum_inv_f = GetDouble(record, OFFSET_DATUM_INV_F);
  settings.seed_name = GetText(record, OFFSET_SEED_NAME, NAME_FIELD_SIZE);
  settings.seed_latitude = GetDouble(record, OFFSET_SEED_LATITUDE);
  settings.seed_longitude = GetDouble(record, OFFSET_SEED_LONGITUDE);
  settings.seed_height = GetDouble(record, OFFSET_SEED_HEIGHT);
  settings.seed_north = GetDouble(record, OFFSET_SEED_NORTH);
  settings.seed_east = GetDouble(record, OFFSET_SEED_EAST);
  settings.seed_elevation = GetDouble(record, OFFSET_SEED_ELEVATION);
  settings.merge_tolerance = GetDouble(record, OFFSET_MERGE_TOLERANCE);
  settings.tolerance_mode = record[OFFSET_TWO_D] != 0 ? TOLERANCE_MODE_2D : TOLERANCE_MODE_3D;
  settings.compute_local = record[OFFSET_COMPUTE_LOCAL] != 0;
  settings.compute_geodetic = record[OFFSET_COMPUTE_GEODETIC] != 0;
  settings.xml_paths.clear();
  std::string xml_path = GetText(record, OFFSET_XML_PATH, XML_PATH_FIELD_SIZE);
  if (!xml_path.empty()) settings.xml_paths.push_back(std::move(xml_path));
  settings.output_path = GetText(record, OFFSET_OUTPUT_PATH, OUTPUT_PATH_FIELD_SIZE);
}

Status LoadSettings(ConversionSettings& settings, const std::string& path) {
  // The system's reason, asked again (a folder opens, but reads nothing).
  const auto unreadable = [&path] {
    const int error = ReadError(path);
    return Status(
        StatusKind::Unreadable,
        FormatMessage(MSG_CANNOT_READ, path, FileProblemText(error != 0 ? error : EIO, path)));
  };
  SettingsRecord record{};
  int open_error = 0;
  std::FILE* file = OpenForReading(path, open_error);
  if (file == nullptr) return unreadable();
  // A short file leaves the rest of the record zero; a read that fails part-way sets nothing.
  (void)std::fread(record.data(), 1, record.size(), file);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return unreadable();
  DecodeSettings(record, settings);
  return Status();
}

Status LoadSettingsFile(ConversionSettings& settings, const std::string& path) {
  ConversionSettings read = settings;
  if (Status loaded = LoadSettings(read, path); loaded.failed()) return loaded;
  const auto refused = [&path](const std::string& why) {
    return Status::Refused("The file " + path + " is not a Fenwix settings file (" + why +
                           "); the settings are left as they were.");
  };
  int open_error = 0;
  std::FILE* file = OpenForReading(path, open_error);
  if (file == nullptr) return refused("it cannot be read again");
  std::string head(SETTINGS_RECORD_SIZE + 1, '\0');
  head.resize(std::fread(head.data(), 1, head.size(), file));
  std::fclose(file);
  if (head.size() > SETTINGS_RECORD_SIZE) {
    return refused("it is longer than the " + std::to_string(SETTINGS_RECORD_SIZE) +
                   "-byte record");
  }
  // A record starts with two flag bytes, 0 or 1; a document is told as the write guard tells it.
  if (StartsAsXmlDocument(path)) return refused("it is an XML document");
  // A value out of its field's range is shown as it is, for the person to mend at the next
  // command; one beyond any field's reach (a NaN, 1e68) is no typed value but bytes of
  // another kind of file.
  const struct {
    const char* name;
    double value;
  } numbers[] = {
      {"latitude", read.seed_latitude},
      {"longitude", read.seed_longitude},
      {"height", read.seed_height},
      {"north", read.seed_north},
      {"east", read.seed_east},
      {"elevation", read.seed_elevation},
      {"merge tolerance", read.merge_tolerance},
      {"semi-major axis", read.approx_datum_a},
      {"inverse flattening", read.approx_datum_inv_f},
  };
  for (const auto& number : numbers) {
    // Written so that NaN fails too.
    if (!(std::fabs(number.value) <= SETTINGS_VALUE_REACH)) {
      return refused(std::string("its ") + number.name + " " + FormatFieldNumber(number.value) +
                     " is beyond any field's reach of " + FormatFieldNumber(SETTINGS_VALUE_REACH));
    }
  }
  settings = std::move(read);
  return Status();
}

Status SaveSettings(const ConversionSettings& settings, const std::string& path) {
  const SettingsRecord record = EncodeSettings(settings);
  const int error = WriteWholeFile(
      path, std::string_view(reinterpret_cast<const char*>(record.data()), record.size()));
  if (error == 0) return Status();
  return Status(StatusKind::WriteFailed, path + ": " + FileProblemText(error, path));
}

std::string FolderOfPath(const std::string& path) {
  size_t begin = 0;
  size_t end = path.size();
  const auto is_trimmed = [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 1 && byte <= 32;
  };
  while (begin < end && is_trimmed(path[begin])) ++begin;
  while (end > begin && is_trimmed(path[end - 1])) --end;
  while (end > begin && !IsPathSeparator(path[end - 1])) --end;
  return path.substr(begin, end - begin);
}

std::string DefaultSettingsPath() {
  return AppFolder() + SETTINGS_FILE_NAME;
}

}  // namespace fenwix

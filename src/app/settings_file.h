#pragma once
// The dialog's settings between runs: one 1136-byte binary record, "Fenwix.cfg" (where it
// lives: app/settings_location.h).

#include <array>
#include <cstdint>
#include <string>

#include "app/platform_paths.h"
#include "model/status.h"

namespace fenwix {

struct ConversionSettings;

inline constexpr size_t SETTINGS_RECORD_SIZE = 1136;
inline constexpr const char* SETTINGS_FILE_NAME = "Fenwix.cfg";

using SettingsRecord = std::array<unsigned char, SETTINGS_RECORD_SIZE>;

// The record of the members that the file holds.
SettingsRecord EncodeSettings(const ConversionSettings& settings);
// Sets the members from a record; nothing is validated here.
void DecodeSettings(const SettingsRecord& record, ConversionSettings& settings);

// Reads the file at path into the members; a short file reads its missing tail as zeros. A file
// that cannot be opened or read changes nothing and comes back Unreadable, its text the whole
// "Cannot read file" sentence.
Status LoadSettings(ConversionSettings& settings, const std::string& path);
// LoadSettings for a file that must be a settings record: one longer than the record, one that
// opens like an XML document (a field file chosen by mistake) or one holding a number no field
// of the dialog takes (a latitude of 1e68, a NaN) is Refused, naming the file and the reason,
// and changes nothing. Shorter records read as LoadSettings reads them.
Status LoadSettingsFile(ConversionSettings& settings, const std::string& path);
// Writes the members to path; WriteFailed, with the system's reason, when it cannot be written.
Status SaveSettings(const ConversionSettings& settings, const std::string& path);

// The folder part of a path, keeping its separator; empty for a bare name.
std::string FolderOfPath(const std::string& path);
// AppFolder() + "Fenwix.cfg".
std::string DefaultSettingsPath();

}  // namespace fenwix

#pragma once
// The one store of the program's own settings (QSettings): remembered choices that are not
// part of the dialog's configuration file.

#include <memory>

#include <QSettings>

namespace fenwix {

// Organisation and application name of the store. Settings that earlier versions kept under
// the organisation "Fenwix" are copied in once, the first time the store is opened, so that
// nothing a user set is lost.
inline constexpr char SETTINGS_ORGANIZATION[] = "fenwix";
inline constexpr char SETTINGS_APPLICATION[] = "fenwix";

// The store under the application's names when it has some (tests set their own), else under
// SETTINGS_ORGANIZATION and SETTINGS_APPLICATION.
std::unique_ptr<QSettings> ProgramSettings();

// Copies into settings every key of legacy that settings lacks, unless that was done before
// (a key in settings remembers it) or both name one store.
void ReadLegacySettingsOnce(const QSettings& legacy, QSettings& settings);

}  // namespace fenwix

#include "gui/program_settings.h"

#include <QCoreApplication>
#include <QString>

namespace fenwix {

namespace {

// Set in the store once the settings of the earlier organisation name have been read.
const QString LEGACY_READ_KEY = QStringLiteral("settings/legacyStoreRead");

}  // namespace

void ReadLegacySettingsOnce(const QSettings& legacy, QSettings& settings) {
  if (settings.value(LEGACY_READ_KEY, false).toBool()) return;
  // Where names are not case-sensitive (the Windows registry) both names are one store.
  if (legacy.fileName().compare(settings.fileName(), Qt::CaseInsensitive) != 0) {
    for (const QString& key : legacy.allKeys()) {
      if (!settings.contains(key)) settings.setValue(key, legacy.value(key));
    }
  }
  settings.setValue(LEGACY_READ_KEY, true);
}

std::unique_ptr<QSettings> ProgramSettings() {
  if (!QCoreApplication::organizationName().isEmpty()) return std::make_unique<QSettings>();
  auto settings = std::make_unique<QSettings>(QString::fromLatin1(SETTINGS_ORGANIZATION),
                                              QString::fromLatin1(SETTINGS_APPLICATION));
  ReadLegacySettingsOnce(
      QSettings(QStringLiteral("Fenwix"), QString::fromLatin1(SETTINGS_APPLICATION)), *settings);
  return settings;
}

}  // namespace fenwix

#include "gui/settings_places.h"

#include <QStandardPaths>
#include <QString>

#include "app/platform_paths.h"
#include "app/settings_location.h"
#include "gui/program_settings.h"

namespace fenwix {

namespace {

const QString UNSAVED_KEY = QStringLiteral("settingsFile/unsavedPath");

}  // namespace

std::string UserSettingsFolder() {
  return (QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
          QStringLiteral("/fenwix/"))
      .toStdString();
}

std::string ChosenSettingsPath() {
  return ChooseSettingsPath(AppFolder(), UserSettingsFolder(), FolderIsWritable);
}

bool TellAboutSettingsSave(const std::string& path, bool saved) {
  const std::unique_ptr<QSettings> store = ProgramSettings();
  QSettings& settings = *store;
  const QString name = QString::fromStdString(path);
  if (saved) {
    if (settings.contains(UNSAVED_KEY)) settings.remove(UNSAVED_KEY);
    return false;
  }
  if (settings.value(UNSAVED_KEY).toString() == name) return false;
  settings.setValue(UNSAVED_KEY, name);
  return true;
}

}  // namespace fenwix

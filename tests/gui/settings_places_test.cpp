// A settings file that cannot be written is reported on the first Close, not on the next.

#include "gui/settings_places.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>
#include <vector>

#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>

#include "app/messages.h"
#include "app/settings_file.h"
#include "gui/convert_window.h"
#include "gui/gui_test_support.h"
#include "gui/program_settings.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

TEST(SettingsPlaces, AnUnwritableSettingsFileIsReportedOnceUntilASaveSucceeds) {
  QStandardPaths::setTestModeEnabled(true);  // the user's own QSettings stay untouched
  testing::ScratchFolder scratch("fenwix-places-");
  testing::WriteFile(scratch.path() / "plain-file", "");
  const std::string blocked = scratch.path().string() + "/plain-file/Fenwix.cfg";
  const std::string free = scratch.path().string() + "/fenwix/Fenwix.cfg";

  for (const auto& [path, expected_messages] : {std::pair{blocked, 1u}, std::pair{blocked, 0u},
                                                std::pair{free, 0u}, std::pair{blocked, 1u}}) {
    ConvertWindow window(path);
    std::vector<MessageId> messages;
    window.SetMessageHook([&](MessageId id, const std::string&) { messages.push_back(id); });
    window.show();
    test::Click(window.findChild<QPushButton*>(QStringLiteral("closeButton")));
    EXPECT_EQ(messages.size(), expected_messages) << path;
    for (MessageId id : messages) EXPECT_EQ(id, MSG_SETTINGS_NOT_SAVED);
    EXPECT_FALSE(window.isVisible());
  }
  EXPECT_EQ(std::filesystem::file_size(free), SETTINGS_RECORD_SIZE);
  TellAboutSettingsSave(blocked, true);
}

TEST(SettingsPlaces, SettingsOfTheEarlierOrganisationNameAreReadOnce) {
  testing::ScratchFolder scratch("fenwix-store-");
  const QString key = QStringLiteral("approx/computeEveryReachableStation");
  QSettings legacy(QString::fromStdString((scratch.path() / "old.ini").string()),
                   QSettings::IniFormat);
  QSettings settings(QString::fromStdString((scratch.path() / "new.ini").string()),
                     QSettings::IniFormat);
  legacy.setValue(key, true);
  legacy.setValue(QStringLiteral("kept"), 1);
  settings.setValue(QStringLiteral("kept"), 2);
  ReadLegacySettingsOnce(legacy, settings);
  EXPECT_TRUE(settings.value(key).toBool());
  EXPECT_EQ(settings.value(QStringLiteral("kept")).toInt(), 2);
  legacy.setValue(key, false);
  ReadLegacySettingsOnce(legacy, settings);
  EXPECT_TRUE(settings.value(key).toBool());
}

}  // namespace
}  // namespace fenwix

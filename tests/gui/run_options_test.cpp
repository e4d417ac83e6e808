// The window's run: the "Compute every reachable station" entry, remembered in the program's
// settings.

#include <gtest/gtest.h>

#include <QAction>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "gui/convert_window.h"
#include "gui/reach_option.h"

namespace fenwix {
namespace {

class RunOptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Program settings go to a test location, never the person's own.
    QStandardPaths::setTestModeEnabled(true);
    QSettings("Fenwix", "fenwix").remove(EVERY_STATION_SETTING);
  }
  std::string SettingsPath() const { return (dir_.path() + "/Fenwix.cfg").toStdString(); }
  QTemporaryDir dir_;
};

TEST_F(RunOptionsTest, EveryStationEntryIsOffByDefaultAndRemembered) {
  {
    ConvertWindow window(SettingsPath());
    auto* every = window.findChild<QAction*>(QStringLiteral("everyStationAction"));
    ASSERT_NE(every, nullptr);
    EXPECT_TRUE(every->isCheckable());
    EXPECT_FALSE(every->isChecked());
    EXPECT_EQ(window.dialog().max_steps, PROPAGATION_STEP_CAP);
    every->trigger();
    EXPECT_EQ(window.dialog().max_steps, 0);
  }
  ConvertWindow again(SettingsPath());
  EXPECT_TRUE(again.findChild<QAction*>(QStringLiteral("everyStationAction"))->isChecked());
  EXPECT_EQ(again.dialog().max_steps, 0);
}

}  // namespace
}  // namespace fenwix

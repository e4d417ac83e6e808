// The weight profiles dialog, its settings and the profile in use in the main window.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <utility>

#include "gui/convert_window.h"
#include "gui/weight_option.h"
#include "gui/weight_profiles_dialog.h"
#include "gui_test_support.h"

namespace fenwix {
namespace {

class WeightProfilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(
        QStringLiteral("fenwix-weights-%1").arg(QCoreApplication::applicationPid()));
    QCoreApplication::setApplicationName(QStringLiteral("fenwix"));
    QSettings().clear();
  }
  void TearDown() override {
    const QString file = QSettings().fileName();
    QFile::remove(file);
    QDir().rmdir(QFileInfo(file).path());
  }
  QTemporaryDir dir_;
};

TEST_F(WeightProfilesTest, RefusedFieldKeepsTheFocusAndProfilesAreKept) {
  WeightProfilesDialog dialog({{"Default", {}}}, QStringLiteral("Default"));
  QStringList messages;
  dialog.SetMessageHook([&](const QString& text) { messages << text; });
  dialog.SetNameAsker([](const QString&, const QString&) { return QStringLiteral("TS-1"); });
  dialog.show();
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  auto* scale = dialog.findChild<QLineEdit*>(QStringLiteral("gnssScaleEdit"));
  auto* angle = dialog.findChild<QLineEdit*>(QStringLiteral("angleSdEdit"));
  for (const char* bad : {"0", "-1", "x"}) {
    test::Type(scale, QString::fromLatin1(bad));
    angle->setFocus();
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Rejected) << bad;
    EXPECT_TRUE(scale->hasFocus()) << bad;
  }
  EXPECT_EQ(messages.size(), 3);
  test::Type(scale, QStringLiteral("3"));
  test::Click(dialog.findChild<QPushButton*>(QStringLiteral("addProfileButton")));
  test::Type(angle, QStringLiteral("1"));
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  ASSERT_EQ(dialog.profiles().size(), 2u);
  EXPECT_EQ(dialog.profiles()[0].profile.gnss.scale, 3.0);
  EXPECT_EQ(dialog.profiles()[1].name, "TS-1");
  EXPECT_EQ(dialog.profiles()[1].profile.instrument.angle_sd, 1.0);
  EXPECT_EQ(dialog.current(), 1);

  SaveWeightProfiles({dialog.profiles(), QStringLiteral("TS-1")});
  const StoredWeightProfiles stored = LoadWeightProfiles();
  EXPECT_EQ(stored.profiles, dialog.profiles());
  // The window puts the stored profile in use and names it; the record stays untouched.
  ConvertWindow window((dir_.path() + "/Fenwix.cfg").toStdString());
  EXPECT_EQ(window.dialog().request.weight_profile, dialog.profiles()[1]);
  EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("weightProfileLabel"))->text(),
            QStringLiteral("Weighting: TS-1"));
  EXPECT_FALSE(QFile::exists(dir_.path() + "/Fenwix.cfg"));
}

// Every field of a profile is stored under its settings key and shown in its edit: a profile
// with a value of its own in each field reads the same from both, in the fields' order.
TEST_F(WeightProfilesTest, EveryFieldHasItsSettingsKeyAndItsEdit) {
  const std::pair<const char*, const char*> fields[] = {
      {"angleSd", "angleSdEdit"},
      {"zenithSd", "zenithSdEdit"},
      {"distanceSdMm", "distanceSdEdit"},
      {"distancePpm", "distancePpmEdit"},
      {"instrumentCentering", "instrumentCenteringEdit"},
      {"targetCentering", "targetCenteringEdit"},
      {"gnssScale", "gnssScaleEdit"},
      {"gnssHorizontalCentering", "gnssHorizontalEdit"},
      {"gnssVerticalCentering", "gnssVerticalEdit"},
      {"gnssFallbackSd", "gnssFallbackEdit"}};
  const NamedWeightProfile named{"P", {{1.5, 2.5, 3.5, 4.5, 5.5, 6.5}, {7.5, 8.5, 9.5, 10.5}}};
  SaveWeightProfiles({{named}, QStringLiteral("P")});
  WeightProfilesDialog dialog({named}, QStringLiteral("P"));
  QSettings settings;
  settings.beginReadArray(QStringLiteral("weights/profiles"));
  settings.setArrayIndex(0);
  QStringList stored;
  for (const auto& [key, edit] : fields) {
    stored << settings.value(QString::fromLatin1(key)).toString();
    EXPECT_EQ(dialog.findChild<QLineEdit*>(QString::fromLatin1(edit))->text().toStdString(),
              stored.back().toStdString())
        << key;
  }
  EXPECT_EQ(stored.join(QLatin1Char(' ')),
            QStringLiteral("1.5 2.5 3.5 4.5 5.5 6.5 7.5 8.5 9.5 10.5"));
  EXPECT_EQ(LoadWeightProfiles().profiles.front(), named);
}

}  // namespace
}  // namespace fenwix

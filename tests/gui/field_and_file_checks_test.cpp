// What a first-time user meets in the window: a ticked box without a seed name, packed angles
// with 60 minutes, messages about files, the save dialog, the two boxes told apart and the
// similar-stations window; each refusal beside the value that passes.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <tuple>

#include "app/messages.h"
#include "gui/convert_window.h"
#include "gui/gui_test_support.h"
#include "gui/similar_stations_dialog.h"

namespace fenwix {
namespace {

TEST(FieldAndFileChecks, RefusalsLeaveThePersonOnTheFieldAndTheWindowsTellTheirValuesApart) {
  QTemporaryDir dir;
  ConvertWindow window((dir.path() + "/Fenwix.cfg").toStdString());
  std::vector<std::pair<int32_t, std::string>> messages;
  window.SetMessageHook([&](int32_t id, const std::string& text) {
    messages.push_back({id, text});
  });
  window.show();
  const auto edit = [&](const char* name) { return window.findChild<QLineEdit*>(name); };
  const auto convert = [&] {
    messages.clear();
    test::Click(window.findChild<QPushButton*>("convertButton"));
    return messages.empty() ? 0 : messages.back().first;
  };
  const auto expect_selected = [&](const char* name) {
    EXPECT_EQ(window.focusWidget(), edit(name)) << name;
    EXPECT_EQ(edit(name)->selectedText(), edit(name)->text()) << name;
  };
  const QString missing = dir.path() + "/missing.xml";
  test::Type(edit("xmlFileEdit"), missing);
  test::Type(edit("outputFileEdit"), dir.path() + "/out.txt");

  // A ticked box needs a seed; the packed angle needs minutes and seconds below 60.
  test::Click(window.findChild<QCheckBox*>("computeGeodeticCheck"));
  EXPECT_EQ(convert(), MSG_NO_SEED_NAME);
  expect_selected("stationNameEdit");
  test::Type(edit("stationNameEdit"), "BASE");
  for (const char* latitude : {"45.75", "45.5960"}) {
    test::Type(edit("latitudeEdit"), latitude);
    EXPECT_EQ(convert(), MSG_PACKED_ANGLE) << latitude;
    expect_selected("latitudeEdit");
  }
  test::Type(edit("latitudeEdit"), "45.5959999");

  // Messages about files give the reason and select the name of the file.
  EXPECT_EQ(convert(), MSG_CANNOT_READ);
  EXPECT_EQ(messages.back().second, "Cannot read file " + missing.toStdString() + ": no such file");
  expect_selected("xmlFileEdit");
  test::Type(edit("xmlFileEdit"), QStringLiteral(FENWIX_TEST_DATA "/app/merge_job.xml"));
  test::Type(edit("outputFileEdit"), dir.path() + "/none/out.txt");
  EXPECT_EQ(convert(), MSG_CANNOT_OPEN);
  EXPECT_NE(messages.back().second.find(": no such folder"), std::string::npos);
  expect_selected("outputFileEdit");

  // The output Browse is a save dialog whose columns show whole dates.
  QFileDialog chooser;
  PrepareFileDialog(chooser, MakeFileRequest(FileKind::Output, "", dir.path().toStdString()));
  EXPECT_EQ(chooser.acceptMode(), QFileDialog::AcceptSave);
  QTreeView* list = chooser.findChild<QTreeView*>();
  ASSERT_NE(list, nullptr);
  const int date_width =
      list->fontMetrics().horizontalAdvance(QStringLiteral("12/31/2026 11:59 PM"));
  EXPECT_GT(list->header()->sectionSize(3), date_width);

  // The two boxes keep their text and say which coordinates they compute.
  for (const auto& [box, label, purpose] :
       {std::tuple{"computeLocalCheck", "Local (m):", "Compute local coordinates"},
        std::tuple{"computeGeodeticCheck", "Geodetic:", "Compute geodetic coordinates"}}) {
    auto* check = window.findChild<QCheckBox*>(box);
    EXPECT_EQ(check->text(), "Compute approx for each station.");
    EXPECT_EQ(check->accessibleName(), purpose);
    EXPECT_EQ(check->toolTip(), purpose);
    bool labelled = false;
    for (const QLabel* shown : window.findChildren<QLabel*>()) labelled |= shown->text() == label;
    EXPECT_TRUE(labelled) << label;
  }

  // The similar stations: the distance as tested and the tolerance, read-only to the eye.
  StationRecord first, second;
  first.north = 100.0;
  second.north = 100.003;
  second.elevation = 0.5;
  SimilarStationsDialog question(first, second, 0.01, true);
  auto* distance = question.findChild<QLineEdit*>("distance");
  EXPECT_EQ(distance->text(), "0.003");
  EXPECT_EQ(question.findChild<QLineEdit*>("tolerance")->text(), "0.010");
  EXPECT_EQ(question.findChild<QLineEdit*>("firstElev")->text(), "0.000");
  EXPECT_EQ(distance->palette().color(QPalette::Base), distance->palette().color(QPalette::Window));
  bool two_d = false;
  for (const QLabel* shown : question.findChildren<QLabel*>())
    two_d |= shown->text() == "2D distance:";
  EXPECT_TRUE(two_d);
}

}  // namespace
}  // namespace fenwix

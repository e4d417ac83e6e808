// A first-time user's refusals and windows: a ticked box without a seed, packed angles with 60
// minutes, file messages, the save dialog, the two boxes told apart, the similar stations.

#include <gtest/gtest.h>

#include <algorithm>

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

TEST(FieldAndFileChecks, RefusalsSelectTheFieldAndWindowsTellTheirValuesApart) {
  QTemporaryDir dir;
  ConvertWindow window((dir.path() + "/Fenwix.cfg").toStdString());
  std::string text;
  window.SetMessageHook([&](MessageId, const std::string& shown) { text = shown; });
  window.show();
  const auto edit = [&](const char* name) { return window.findChild<QLineEdit*>(name); };
  // Converts; the message starts with start and field is left selected.
  const auto refused = [&](const std::string& start, const char* field) {
    text.clear();
    test::Click(window.findChild<QPushButton*>("convertButton"));
    EXPECT_EQ(text.substr(0, start.size()), start);
    EXPECT_EQ(window.focusWidget(), edit(field)) << field;
    EXPECT_EQ(edit(field)->selectedText(), edit(field)->text()) << field;
  };
  test::Type(edit("xmlFileEdit"), dir.path() + "/none.xml");
  test::Type(edit("outputFileEdit"), dir.path() + "/no/out.txt");
  test::Click(window.findChild<QCheckBox*>("computeGeodeticCheck"));
  refused("Please enter the name of the station", "stationNameEdit");
  test::Type(edit("stationNameEdit"), "BASE");
  for (const char* bad : {"45.75", "45.5960"}) {
    test::Type(edit("latitudeEdit"), bad);
    refused("Please enter the angle as DD.MMSSsssss", "latitudeEdit");
  }
  test::Type(edit("latitudeEdit"), "45.5959999");  // the control: it passes
  refused("Cannot read file " + dir.filePath("none.xml").toStdString() + ": no such file",
          "xmlFileEdit");
  test::Type(edit("xmlFileEdit"), QStringLiteral(FENWIX_TEST_DATA "/app/merge_job.xml"));
  refused("Cannot open file " + dir.filePath("no/out.txt").toStdString() + ": no such folder",
          "outputFileEdit");

  QFileDialog chooser;
  PrepareFileDialog(chooser, MakeFileRequest(FileKind::Output, "", dir.path().toStdString()));
  const QTreeView* list = chooser.findChild<QTreeView*>();
  EXPECT_GT(list->header()->sectionSize(3),
            list->fontMetrics().horizontalAdvance("31 Dec 2026 23:59:59"));

  for (const auto& [box, label, purpose] :
       {std::tuple{"computeLocalCheck", "Local (m):", "Compute local coordinates"},
        std::tuple{"computeGeodeticCheck", "Geodetic:", "Compute geodetic coordinates"}}) {
    const auto* check = window.findChild<QCheckBox*>(box);
    EXPECT_EQ(check->text(), "Compute approx for each station.");
    EXPECT_EQ(check->accessibleName(), purpose);
    EXPECT_EQ(check->toolTip(), purpose);
    const QList<QLabel*> labels = window.findChildren<QLabel*>();
    EXPECT_TRUE(
        std::any_of(labels.begin(), labels.end(), [&](auto* l) { return l->text() == label; }));
  }

  StationRecord first, second;
  second.north = 0.003;
  second.elevation = 0.5;
  SimilarStationsDialog question(first, second, 0.01, true);
  EXPECT_EQ(question.findChild<QLineEdit*>("distance")->text(), "0.003");  // 2D, as tested
}

}  // namespace
}  // namespace fenwix

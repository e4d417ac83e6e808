// The question about two nearly coincident stations: what it shows and what each answer means.

#include "gui/similar_stations_dialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include "gui/convert_window.h"
#include "gui/gui_test_support.h"

namespace fenwix {
namespace {

StationRecord Station(const char* name, const char* description, double north, double east,
                      double elevation) {
  StationRecord station;
  station.name = name;
  station.description = description;
  station.north = north;
  station.east = east;
  station.elevation = elevation;
  return station;
}

const StationRecord FIRST = Station("CP12", "iron pin", 5012.34567, 7020.0004, 101.25);
const StationRecord SECOND = Station("CP12A", "<b>nail</b> in curb", 5012.3461, -0.0004, 101.2);

template <typename Control>
Control* Find(QWidget& dialog, const char* name) {
  auto* control = dialog.findChild<Control*>(QString::fromLatin1(name));
  EXPECT_NE(control, nullptr) << name;
  return control;
}

TEST(SimilarStationsDialog, ShowsBothStationsRoundedToMillimeters) {
  SimilarStationsDialog dialog(FIRST, SECOND, 0.05, false);
  EXPECT_EQ(dialog.windowTitle(), "Found two stations with coordinates that are similar");
  EXPECT_EQ(Find<QLabel>(dialog, "explanationLabel")->text(),
            "Stations shown below appear to be the same point. If they are the same, select the "
            "one to be used. Linear units are meters.");
  const std::pair<const char*, const char*> fields[] = {
      {"firstName", "CP12"},    {"firstNorth", "5012.346"}, {"firstEast", "7020.000"},
      {"firstElev", "101.250"}, {"secondName", "CP12A"},    {"secondNorth", "5012.346"},
      {"secondEast", "0.000"},  {"secondElev", "101.200"},  {"distance", "7020.001"},
      {"tolerance", "0.050"}};
  for (const auto& [name, text] : fields) {
    QLineEdit* field = Find<QLineEdit>(dialog, name);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->text(), text) << name;
    EXPECT_TRUE(field->isReadOnly()) << name;
    EXPECT_EQ(field->palette().color(QPalette::Base), field->palette().color(QPalette::Window));
  }
  EXPECT_EQ(Find<QLabel>(dialog, "firstDescription")->text(), "iron pin");
  // A description comes from the input file and is shown as plain text.
  QLabel* second_description = Find<QLabel>(dialog, "secondDescription");
  EXPECT_EQ(second_description->text(), "<b>nail</b> in curb");
  EXPECT_EQ(second_description->textFormat(), Qt::PlainText);

  EXPECT_EQ(Find<QRadioButton>(dialog, "useFirstRadio")->text(), "Use station:");
  EXPECT_TRUE(Find<QRadioButton>(dialog, "useFirstRadio")->isChecked());
  EXPECT_FALSE(Find<QRadioButton>(dialog, "useSecondRadio")->isChecked());
  EXPECT_EQ(Find<QPushButton>(dialog, "sameButton")->text(), "Stations Are The &Same");
  EXPECT_EQ(Find<QPushButton>(dialog, "differentButton")->text(), "Stations Are &Different");
  EXPECT_EQ(Find<QPushButton>(dialog, "cancelButton")->text(), "Cancel");
}

// Opens the dialog modally, lets answer press its buttons, and returns the result.
MergeAnswer AskWith(const std::function<void(QWidget&)>& answer) {
  SimilarStationsDialog dialog(FIRST, SECOND, 0.05, false);
  test::AnswerNextModal([&](QWidget* modal) {
    ASSERT_EQ(modal, &dialog);
    answer(*modal);
  });
  return dialog.Ask();
}

TEST(SimilarStationsDialog, EachButtonGivesItsAnswer) {
  EXPECT_EQ(AskWith([](QWidget& d) { test::Click(Find<QPushButton>(d, "sameButton")); }),
            MergeAnswer::SameKeepFirst);
  EXPECT_EQ(AskWith([](QWidget& d) {
              test::Click(Find<QRadioButton>(d, "useSecondRadio"));
              test::Click(Find<QPushButton>(d, "sameButton"));
            }),
            MergeAnswer::SameKeepSecond);
  EXPECT_EQ(AskWith([](QWidget& d) {
              test::Click(Find<QRadioButton>(d, "useSecondRadio"));
              test::Click(Find<QPushButton>(d, "differentButton"));
            }),
            MergeAnswer::Different);
  EXPECT_EQ(AskWith([](QWidget& d) { test::Click(Find<QPushButton>(d, "cancelButton")); }),
            MergeAnswer::Cancel);
  EXPECT_EQ(AskWith([](QWidget& d) { QTest::keyClick(&d, Qt::Key_Escape); }), MergeAnswer::Cancel);
  EXPECT_EQ(AskWith([](QWidget& d) { d.close(); }), MergeAnswer::Cancel);
}

TEST(SimilarStationsDialog, TheWindowAsksThroughIt) {
  QTemporaryDir dir;
  ConvertWindow window((dir.path() + "/Fenwix.cfg").toStdString());
  window.show();
  bool asked = false;
  test::AnswerNextModal([&](QWidget* modal) {
    ASSERT_NE(qobject_cast<SimilarStationsDialog*>(modal), nullptr);
    asked = true;
    EXPECT_EQ(Find<QLineEdit>(*modal, "secondName")->text(), "CP12A");
    test::Click(Find<QRadioButton>(*modal, "useSecondRadio"));
    test::Click(Find<QPushButton>(*modal, "sameButton"));
  });
  EXPECT_EQ(window.AskSimilarStations(FIRST, SECOND), MergeAnswer::SameKeepSecond);
  EXPECT_TRUE(asked);
}

}  // namespace
}  // namespace fenwix

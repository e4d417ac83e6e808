// The check report end to end: fenwix-convert writes each form, parsed here as a script or a
// browser would read it, and the dialog shows the report after a conversion.

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTreeView>
#include <QXmlStreamReader>

#include "gui/convert_window.h"
#include "gui/gui_test_support.h"
#include "gui/report_model.h"

namespace fenwix {
namespace {

// Two vectors A-B that disagree by 5 cm in DZ, the second without standard deviations.
constexpr const char* JOB =
    "<?xml version=\"1.0\"?>\n<data>\n"
    "<Vector><BasePoint>A</BasePoint><RoverPoint>B</RoverPoint><DX>100.0</DX><DY>50.0</DY>"
    "<DZ>10.0</DZ><SX>0.002</SX><SY>0.002</SY><SZ>0.004</SZ></Vector>\n"
    "<Vector><BasePoint>B</BasePoint><RoverPoint>A</RoverPoint><DX>-100.0</DX><DY>-50.0</DY>"
    "<DZ>-10.05</DZ></Vector>\n</data>\n";

QByteArray Read(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteJob(const QTemporaryDir& dir) {
  QFile job(dir.filePath("job.xml"));
  return job.open(QIODevice::WriteOnly) && job.write(JOB) > 0;
}

struct Finished {
  int status;
  QString errors;
};

Finished Convert(const QTemporaryDir& dir, const QStringList& extra) {
  QProcess process;
  process.start(
      QStringLiteral(FENWIX_CONVERT_EXE),
      QStringList{dir.filePath("job.xml"), dir.filePath("out.txt"), "--merge", "different"} +
          extra);
  process.waitForFinished();
  return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
}

TEST(CheckReportForms, EachFormParsesAndTheOutputStaysTheSame) {
  QTemporaryDir dir;
  ASSERT_TRUE(WriteJob(dir));
  ASSERT_EQ(Convert(dir, {}).status, 0);
  const QByteArray plain = Read(dir.filePath("out.txt"));

  for (const char* name : {"r.json", "r.html", "r.txt"}) {
    ASSERT_EQ(Convert(dir, {"--report", dir.filePath(name)}).status, 0) << name;
    EXPECT_EQ(Read(dir.filePath("out.txt")), plain) << name;
  }
  const QJsonObject json = QJsonDocument::fromJson(Read(dir.filePath("r.json"))).object();
  const QJsonArray checks = json["checks"].toArray();
  ASSERT_EQ(checks.size(), 14);
  int flagged = 0;
  QStringList flagged_checks;
  int suspects = 0;
  for (const QJsonValue& check : checks) {
    EXPECT_TRUE(check["limits"].isObject());
    // Suspects restate the flagged rows of the checks and are not counted with them.
    if (check["name"].toString() == u"suspects") {
      suspects = check["flagged"].toInt();
      continue;
    }
    for (const QJsonValue& row : check["rows"].toArray()) {
      if (!row["flagged"].toBool()) continue;
      ++flagged;
      flagged_checks << check["name"].toString();
      QStringList stations;
      for (const QJsonValue& station : row["stations"].toArray()) stations << station.toString();
      stations.sort();
      EXPECT_EQ(stations, QStringList({"A", "B"}));
      EXPECT_FALSE(row["lines"].toArray().isEmpty());
    }
  }
  EXPECT_EQ(flagged_checks, QStringList({"repeated_vectors", "vectors_without_sd"}));
  EXPECT_EQ(json["flagged_rows"].toInt(), flagged);

  // The page is well-formed markup; its highlighted rows are the flagged ones.
  QXmlStreamReader html(Read(dir.filePath("r.html")));
  int highlighted = 0;
  while (!html.atEnd()) {
    if (html.readNext() == QXmlStreamReader::StartElement && html.name() == u"tr" &&
        html.attributes().value("class") == u"flagged") {
      ++highlighted;
    }
  }
  EXPECT_FALSE(html.hasError()) << html.errorString().toStdString();
  // The summary table highlights each check with flagged rows as well.
  EXPECT_EQ(suspects, 1);
  EXPECT_EQ(highlighted, flagged + suspects + 3);
  EXPECT_EQ(Read(dir.filePath("r.txt")).count("\n*  "), flagged + suspects);

  // A report that cannot be written: its own message, the output as before.
  const Finished refused = Convert(dir, {"--report", dir.filePath("missing/r.json")});
  EXPECT_EQ(refused.status, 5);
  EXPECT_TRUE(refused.errors.startsWith("fenwix-convert: cannot write the check report"));
  EXPECT_EQ(Read(dir.filePath("out.txt")), plain);
  // A report named like the output file would replace it: refused before anything is written.
  EXPECT_EQ(Convert(dir, {"--report", dir.filePath("out.txt")}).status, 2);
  EXPECT_EQ(Read(dir.filePath("out.txt")), plain);
}

TEST(CheckReportWindow, ShownAfterEachConversionAndSaved) {
  QTemporaryDir dir;
  ASSERT_TRUE(WriteJob(dir));
  ConvertWindow window(dir.filePath("Fenwix.cfg").toStdString());
  std::string final_message;
  window.SetMessageHook([&](MessageId, const std::string& text) { final_message = text; });
  window.show();
  auto* report_action = window.findChild<QAction*>("checkReportAction");
  ASSERT_NE(report_action, nullptr);
  EXPECT_FALSE(report_action->isEnabled());
  test::Type(window.findChild<QLineEdit*>("xmlFileEdit"), dir.filePath("job.xml"));
  test::Type(window.findChild<QLineEdit*>("outputFileEdit"), dir.filePath("out.txt"));
  test::Click(window.findChild<QPushButton*>("convertButton"));

  ASSERT_NE(window.report_window(), nullptr);
  EXPECT_TRUE(window.report_window()->isVisible());
  EXPECT_TRUE(report_action->isEnabled());
  EXPECT_NE(final_message.find("The check report flagged 2 rows."), std::string::npos);
  EXPECT_TRUE(window.report_window()->report().IsStationFlagged("B"));
  const QString shown = window.report_window()->findChild<QTextBrowser*>()->toPlainText();
  EXPECT_TRUE(shown.contains("Flagged rows: 2"));
  window.report_window()->SetSaveChooser([&] { return std::optional(dir.filePath("saved.html")); });
  test::Click(window.report_window()->findChild<QPushButton*>("saveReportButton"));
  EXPECT_TRUE(Read(dir.filePath("saved.html")).contains("Flagged rows: 2"));

  // The open window follows each run, as a window of its own that is minimised alone; a run
  // that wrote nothing leaves the earlier report, marked as such.
  EXPECT_EQ(window.report_window()->windowType(), Qt::Window);
  ASSERT_TRUE(QFile::copy(dir.filePath("job.xml"), dir.filePath("next.xml")));
  for (const char* input : {"next.xml", "missing.xml"}) {
    test::Type(window.findChild<QLineEdit*>("xmlFileEdit"), dir.filePath(input));
    test::Click(window.findChild<QPushButton*>("convertButton"));
    EXPECT_TRUE(window.report_window()->windowTitle().contains("next.xml")) << input;
  }
  EXPECT_TRUE(window.report_window()->windowTitle().endsWith("(an earlier conversion)"));
}

// Checks of loop closures with these numbers of rows S0, S1, ..., the first three flagged.
CheckReport LoopReport(std::initializer_list<int> sizes) {
  CheckReport report;
  for (const int size : sizes) {
    CheckSection& section = report.sections.emplace_back();
    section.name = "loop_closures";
    section.rows.resize(static_cast<size_t>(size));
    for (size_t i = 0; i < section.rows.size(); ++i) {
      section.rows[i].stations = {"S" + std::to_string(i)};
      section.rows[i].flagged = i < 3;
    }
  }
  return report;
}

// A report of a hundred thousand rows: the window lists the flagged ones and a page of passing
// ones, pages in more on demand, and a chosen row reaches the listener as itself.
TEST(CheckReportWindow, HoldsALargeReportWithoutBuildingEveryRow) {
  const CheckReport report = LoopReport({100000});
  ReportWindow window;
  const CheckRow* chosen = nullptr;
  QObject::connect(&window, &ReportWindow::RowChosen, [&](const CheckRow& row) { chosen = &row; });
  window.ShowReport(report);
  window.show();
  ReportModel& model = *window.model();
  const QModelIndex checks = model.index(0, 0);
  // The flagged rows, a page and the more-row: nothing is paged in unasked.
  const int shown = model.rowCount(checks);
  EXPECT_GE(shown, 3 + ReportModel::PAGE_ROWS);
  EXPECT_LE(shown, 3 + 4 * ReportModel::PAGE_ROWS);
  EXPECT_TRUE(model.data(model.index(2, 0, checks)).toString().startsWith("* S2"));
  model.ShowMore(checks);
  EXPECT_EQ(model.rowCount(checks), shown + ReportModel::PAGE_ROWS);
  window.view()->setCurrentIndex(model.index(7, 1, checks));
  ASSERT_NE(chosen, nullptr);
  EXPECT_EQ(chosen->stations, std::vector<std::string>{"S7"});
}

// Every row of every check is reached, not only those of the last open one: a click on a
// check's more-row shows its next rows, the first chosen in its place. A whole check has none.
TEST(CheckReportWindow, EveryRowIsReachedThroughTheMoreRowOfItsCheck) {
  const int rows = 3 + 5 * ReportModel::PAGE_ROWS + 50;
  const CheckReport report = LoopReport({rows, 40, 900});
  ReportWindow window;
  std::vector<std::string> chosen;
  QObject::connect(&window, &ReportWindow::RowChosen,
                   [&](const CheckRow& row) { chosen.push_back(row.stations.front()); });
  window.ShowReport(report);
  window.show();
  QTreeView& view = *window.view();
  ReportModel& model = *window.model();
  const QModelIndex first = model.index(0, 0);
  EXPECT_EQ(model.rowCount(model.index(1, 0)), 40);
  for (int clicks = 0; clicks < 10 && model.HasMoreRow(0); ++clicks) {
    const int shown = model.ShownRows(0);
    const QModelIndex more = model.index(shown, 0, first);
    ASSERT_EQ(model.RowAt(more), nullptr);
    EXPECT_TRUE(more.data().toString().contains(QString::number(rows - shown)));
    view.scrollTo(more);
    chosen.clear();
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(more).center());
    QCoreApplication::processEvents();
    EXPECT_EQ(chosen, std::vector<std::string>{"S" + std::to_string(shown)});
    ASSERT_EQ(view.currentIndex().row(), shown);
  }
  EXPECT_EQ(model.rowCount(first), rows);
}

// File:line is never cut, also in a row far down a long check that the view has not measured
// and past WHERE_CHARS (then listed whole in the tooltip); a long note is cut in the middle.
TEST(CheckReportWindow, ColumnsFitTheirTextAndALongNoteIsCutInTheMiddle) {
  CheckReport report = LoopReport({1500});
  report.files = {"/a/first-day-of-the-campaign.xml", "/b/second-day-of-the-campaign.xml"};
  std::vector<CheckRow>& rows = report.sections[0].rows;
  for (CheckRow& row : rows) row.flagged = true, row.sources = {{0, 5}};
  rows[0].note = std::string(400, 'n') + " the end";
  rows[1498].sources = {{0, 1}, {1, 2}, {0, 3}, {1, 4}, {0, 5}};
  rows[1499].sources = {{1, 1234567}, {1, 7654321}};
  ReportWindow window;
  window.ShowReport(report);
  window.show();
  const QTreeView& view = *window.view();
  const QModelIndex check = window.model()->index(0, 0);
  for (const int row : {0, 1498, 1499}) {
    const QModelIndex where = window.model()->index(row, ReportModel::WHERE, check);
    EXPECT_LE(view.sizeHintForIndex(where).width(), view.columnWidth(ReportModel::WHERE)) << row;
  }
  const QModelIndex five = window.model()->index(1498, ReportModel::WHERE, check);
  EXPECT_TRUE(five.data().toString().endsWith("campaign.xml:1 +4 more"));
  EXPECT_TRUE(five.data(Qt::ToolTipRole).toString().endsWith("campaign.xml:5"));
  EXPECT_EQ(view.textElideMode(), Qt::ElideMiddle);
  const QModelIndex note = window.model()->index(0, ReportModel::NOTE, check);
  EXPECT_EQ(note.data(Qt::ToolTipRole).toString().toStdString(), rows[0].note);
}

}  // namespace
}  // namespace fenwix

namespace fenwix {
namespace {

// The button offers the position the seed check found only while the seed disagrees, and
// hands over the very numbers offered.
TEST(CheckReportWindow, OffersTheNetworksSeedPositionOnlyWhenAsked) {
  ReportWindow window;
  window.show();
  auto* button = window.findChild<QPushButton*>("useSeedButton");
  ASSERT_NE(button, nullptr);
  std::vector<std::pair<double, double>> taken;
  QObject::connect(&window, &ReportWindow::SeedTaken, [&](double latitude, double longitude) {
    taken.emplace_back(latitude, longitude);
  });
  struct Case {
    std::optional<std::pair<double, double>> offer;
    bool shown;
  };
  for (const Case& c : {Case{std::pair(41.3128608, 9.4421293), true}, Case{std::nullopt, false}}) {
    window.OfferSeed(c.offer);
    EXPECT_EQ(button->isVisible(), c.shown);
  }
  window.OfferSeed(std::pair(41.3128608, 9.4421293));
  test::Click(button);
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_DOUBLE_EQ(taken[0].first, 41.3128608);
  EXPECT_DOUBLE_EQ(taken[0].second, 9.4421293);
}

}  // namespace
}  // namespace fenwix

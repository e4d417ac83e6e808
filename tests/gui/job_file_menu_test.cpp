// The job file in the dialog: a reading left out from the check report window, saved in the
// job file, applied by the next conversion and put back; the title names the job and its
// unsaved changes.

#include <gtest/gtest.h>

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "gui/convert_window.h"
#include "gui/gui_test_support.h"

namespace fenwix {
namespace {

QByteArray Read(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The item of the report's row list for this XML line.
QTreeWidgetItem* RowOfLine(QTreeWidget* rows, int line) {
  for (int i = 0; i < rows->topLevelItemCount(); ++i) {
    if (rows->topLevelItem(i)->text(2) == QString::number(line)) return rows->topLevelItem(i);
  }
  return nullptr;
}

TEST(JobFileMenu, LeaveOutFromTheReportIsSavedAppliedAndPutBack) {
  QTemporaryDir dir;
  ASSERT_TRUE(QFile::copy(QStringLiteral(FENWIX_TEST_DATA "/../../examples/checked-job.xml"),
                          dir.filePath("day1.xml")));
  ConvertWindow window(dir.filePath("Fenwix.cfg").toStdString());
  window.SetMessageHook([](int32_t, const std::string&) {});
  window.SetSketchOffer([] { return false; });
  window.show();
  const QString title = window.windowTitle();
  window.dialog().xml_paths = {dir.filePath("day1.xml").toStdString()};
  window.dialog().output_path = dir.filePath("net.txt").toStdString();
  window.dialog().seed_name = "B1";
  window.dialog().compute_local = 1;
  window.dialog().merge_tolerance = 0.001;  // P3 and P3-CHK, 3 mm apart, are not asked about
  window.ExchangeToControls();
  test::Click(window.findChild<QPushButton*>("convertButton"));
  ASSERT_NE(window.report_window(), nullptr);
  const QByteArray plain = Read(dir.filePath("net.txt"));

  auto* rows = window.report_window()->findChild<QTreeWidget*>("reportRows");
  ASSERT_NE(rows, nullptr);
  QTreeWidgetItem* row = RowOfLine(rows, 48);
  ASSERT_NE(row, nullptr);
  rows->setCurrentItem(row);
  const QString reason = window.report_window()->findChild<QLineEdit*>("leaveOutReason")->text();
  EXPECT_TRUE(reason.startsWith("Stations seen once")) << reason.toStdString();
  test::Click(window.report_window()->findChild<QPushButton*>("leaveOutButton"));
  EXPECT_EQ(row->text(4), "left out");
  EXPECT_TRUE(window.isWindowModified());
  EXPECT_NE(window.windowTitle(), title);

  ASSERT_TRUE(window.job_menu()->SaveAs(dir.filePath("net.fenwix")));
  EXPECT_FALSE(window.isWindowModified());
  EXPECT_TRUE(window.windowTitle().startsWith("net.fenwix"));
  const QByteArray job = Read(dir.filePath("net.fenwix"));
  EXPECT_TRUE(job.contains("\"file\": \"day1.xml\",\n      \"line\": 48,")) << job.toStdString();

  test::Click(window.findChild<QPushButton*>("convertButton"));
  const QByteArray edited = Read(dir.filePath("net.txt"));
  EXPECT_TRUE(edited.contains("! LEFT OUT " + dir.filePath("day1.xml").toUtf8() + " line 48"));
  EXPECT_NE(edited, plain);

  rows = window.report_window()->findChild<QTreeWidget*>("reportRows");
  rows->setCurrentItem(RowOfLine(rows, 76));
  EXPECT_FALSE(window.job_menu()->IsLeftOut(SourceLocation{0, 76}));
  window.job_menu()->PutBack(SourceLocation{0, 48});
  test::Click(window.findChild<QPushButton*>("convertButton"));
  EXPECT_EQ(Read(dir.filePath("net.txt")), plain);
  EXPECT_TRUE(window.isWindowModified());
}

}  // namespace
}  // namespace fenwix

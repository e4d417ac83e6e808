// The job file in the dialog: a reading left out from the check report window, saved, applied
// by the next conversion and put back; a rename made from a row of look-alike names; the title
// with the job and its unsaved changes; the weighting label; a changed field file's edits.

#include <functional>
#include <memory>
#include <optional>

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeView>
#include <QTreeWidget>

#include "app/messages.h"
#include "gui/convert_window.h"
#include "gui/gui_test_support.h"
#include "gui/report_model.h"
#include "gui/report_window.h"
#include "platform/file_access.h"

namespace fenwix {
namespace {

QByteArray Read(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Clicks the report tree's row that names this XML line alone, as the person would; its index.
QModelIndex ChooseLine(ReportWindow& report, int line) {
  const ReportModel& model = *report.model();
  for (int s = 0; s < model.rowCount(); ++s) {
    const QModelIndex check = model.index(s, 0);
    for (int r = 0; r < model.rowCount(check); ++r) {
      if (model.index(r, ReportModel::WHERE, check).data() != QString::number(line)) continue;
      const QModelIndex row = model.index(r, ReportModel::STATIONS, check);
      report.view()->scrollTo(row);
      QTest::mouseClick(report.view()->viewport(), Qt::LeftButton, {},
                        report.view()->visualRect(row).center());
      return row;
    }
  }
  return {};
}

QString Mark(const QModelIndex& row) {
  return row.sibling(row.row(), ReportModel::EDIT).data().toString();
}

TEST(JobFileMenu, LeaveOutFromTheReportIsSavedAppliedAndPutBack) {
  QTemporaryDir dir;
  ASSERT_TRUE(QFile::copy(QStringLiteral(FENWIX_TEST_DATA "/jobs/checked-job.xml"),
                          dir.filePath("day1.xml")));
  ConvertWindow window(dir.filePath("Fenwix.cfg").toStdString());
  window.SetMessageHook([](MessageId, const std::string&) {});
  window.SetSketchOffer([] { return false; });
  window.show();
  const QString title = window.windowTitle();
  window.dialog().request.xml_paths = {dir.filePath("day1.xml").toStdString()};
  window.dialog().request.output_path = dir.filePath("net.txt").toStdString();
  window.dialog().request.seed_name = "B1";
  window.dialog().request.compute_local = true;
  window.dialog().request.merge_tolerance =
      0.001;  // P3 and P3-CHK, 3 mm apart, are not asked about
  window.ExchangeToControls();
  test::Click(window.findChild<QPushButton*>("convertButton"));
  ASSERT_NE(window.report_window(), nullptr);
  const QByteArray plain = Read(dir.filePath("net.txt"));

  ReportWindow& report = *window.report_window();
  const QModelIndex row = ChooseLine(report, 48);
  ASSERT_TRUE(row.isValid());
  // Line 48's target is a side shot: listed among the stations seen once, not flagged.
  EXPECT_FALSE(row.data().toString().startsWith("* ")) << "a listed, unflagged row";
  EXPECT_EQ(report.view()->currentIndex().row(), row.row());
  const QString reason = report.findChild<QLineEdit*>("leaveOutReason")->text();
  EXPECT_TRUE(reason.startsWith("Stations seen once: ")) << reason.toStdString();
  EXPECT_FALSE(report.findChild<QPushButton*>("putBackRowButton")->isEnabled());
  EXPECT_EQ(Mark(row), "");
  test::Click(report.findChild<QPushButton*>("leaveOutButton"));
  ASSERT_EQ(window.job_menu()->session().job().leave_out.size(), 1u);
  EXPECT_EQ(window.job_menu()->session().job().leave_out[0].reason, reason.toStdString());
  EXPECT_EQ(Mark(row), "left out");
  EXPECT_TRUE(row.data(Qt::FontRole).value<QFont>().strikeOut());
  EXPECT_FALSE(report.findChild<QPushButton*>("leaveOutButton")->isEnabled());
  EXPECT_TRUE(report.findChild<QPushButton*>("putBackRowButton")->isEnabled());
  EXPECT_TRUE(window.isWindowModified());
  EXPECT_NE(window.windowTitle(), title);

  ASSERT_TRUE(window.job_menu()->SaveAs(dir.filePath("net.fenwix")));
  EXPECT_FALSE(window.isWindowModified());
  EXPECT_TRUE(window.windowTitle().startsWith("net.fenwix"));
  const QByteArray job = Read(dir.filePath("net.fenwix"));
  EXPECT_TRUE(job.contains("\"file\": \"day1.xml\",\n      \"line\": 48,")) << job.toStdString();

  test::Click(window.findChild<QPushButton*>("convertButton"));
  const QByteArray edited = Read(dir.filePath("net.txt"));
  // Named from the job file's folder, as the command line names it; no folder of the disk.
  EXPECT_TRUE(edited.contains("! LEFT OUT day1.xml line 48")) << edited.toStdString();
  EXPECT_NE(edited, plain);

  // Line 76 stays flagged and in; line 48, put back from the Edits window, is marked no more.
  const QModelIndex other = ChooseLine(report, 76);
  ASSERT_TRUE(other.isValid());
  EXPECT_EQ(Mark(other), "");
  EXPECT_TRUE(report.findChild<QPushButton*>("leaveOutButton")->isEnabled());
  window.job_menu()->ShowEdits();
  QTreeWidget* edits = window.job_menu()->edits_window()->list();
  ASSERT_EQ(edits->topLevelItemCount(), 1);
  edits->setCurrentItem(edits->topLevelItem(0));
  test::Click(window.job_menu()->edits_window()->findChild<QPushButton*>("putBackButton"));
  EXPECT_FALSE(window.job_menu()->IsLeftOut(SourceLocation{0, 48}));
  test::Click(window.findChild<QPushButton*>("convertButton"));
  EXPECT_EQ(Read(dir.filePath("net.txt")), plain);
  EXPECT_TRUE(window.isWindowModified());

  // A file put first in the list after the run: the report's line 76 is still day1.xml's.
  window.dialog().request.xml_paths.insert(window.dialog().request.xml_paths.begin(),
                                           dir.filePath("day0.xml").toStdString());
  ChooseLine(report, 76);
  test::Click(report.findChild<QPushButton*>("leaveOutButton"));
  ASSERT_EQ(window.job_menu()->session().job().leave_out.size(), 1u);
  EXPECT_EQ(window.job_menu()->session().job().leave_out[0].file,
            dir.filePath("day1.xml").toStdString());
}

// A network whose vector C-a (line 5) names A in lower case: "a" is seen once, "A" twice.
TEST(JobFileMenu, RenameFromALookAlikeRowIsAddedToTheJobAndApplied) {
  QTemporaryDir dir;
  QFile xml(dir.filePath("day1.xml"));
  ASSERT_TRUE(xml.open(QIODevice::WriteOnly));
  const auto vector = [&xml](const char* base, const char* rover, const char* d) {
    xml.write(QStringLiteral("<Vector><BasePoint>%1</BasePoint><RoverPoint>%2</RoverPoint>%3"
                             "<SX>0.002</SX><SY>0.002</SY><SZ>0.004</SZ></Vector>\n")
                  .arg(base, rover, d)
                  .toUtf8());
  };
  xml.write("<?xml version=\"1.0\"?>\n<data>\n");
  vector("A", "B", "<DX>100.0</DX><DY>50.0</DY><DZ>10.0</DZ>");
  vector("B", "C", "<DX>-20.0</DX><DY>80.0</DY><DZ>1.0</DZ>");
  vector("C", "a", "<DX>-30.0</DX><DY>-130.0</DY><DZ>-11.0</DZ>");
  vector("A", "C", "<DX>80.0</DX><DY>130.0</DY><DZ>11.0</DZ>");
  xml.write("</data>\n");
  xml.close();
  ConvertWindow window(dir.filePath("Fenwix.cfg").toStdString());
  window.SetMessageHook([](MessageId, const std::string&) {});
  window.SetSketchOffer([] { return false; });
  window.show();
  window.dialog().request.xml_paths = {dir.filePath("day1.xml").toStdString()};
  window.dialog().request.output_path = dir.filePath("net.txt").toStdString();
  window.ExchangeToControls();
  test::Click(window.findChild<QPushButton*>("convertButton"));
  ASSERT_NE(window.report_window(), nullptr);
  ReportWindow& report = *window.report_window();
  const auto look_alike_rows = [&report] {
    for (const CheckSection& section : report.report().sections) {
      if (section.name == "look_alike_names") return static_cast<int>(section.rows.size());
    }
    return -1;
  };
  ASSERT_EQ(look_alike_rows(), 1);
  auto* rename = report.findChild<QPushButton*>("renameButton");
  ASSERT_NE(rename, nullptr);
  ASSERT_TRUE(ChooseLine(report, 5).isValid());  // "a" seen once: nothing to rename there
  EXPECT_FALSE(rename->isEnabled());

  QModelIndex row;
  for (int s = 0; s < report.model()->rowCount() && !row.isValid(); ++s) {
    const QModelIndex check = report.model()->index(s, 0);
    if (report.report().sections[static_cast<size_t>(s)].name == "look_alike_names") {
      row = report.model()->index(0, 0, check);
    }
  }
  report.view()->setCurrentIndex(row);
  ASSERT_TRUE(rename->isEnabled());
  QString offered;
  test::AnswerNextModal([&offered](QWidget* dialog) {
    offered = dialog->findChild<QComboBox*>()->currentText();
    qobject_cast<QDialog*>(dialog)->accept();
  });
  test::Click(rename);
  EXPECT_EQ(offered, "A") << "the name not seen once";
  EXPECT_EQ(window.job_menu()->session().job().renames, (std::vector<JobRename>{{"a", "A", ""}}));
  EXPECT_TRUE(window.isWindowModified());
  EXPECT_EQ(Mark(row), "a read as A");
  window.job_menu()->ShowEdits();
  EXPECT_EQ(window.job_menu()->edits_window()->list()->topLevelItem(0)->text(0), "a read as A");

  test::Click(window.findChild<QPushButton*>("convertButton"));
  EXPECT_EQ(look_alike_rows(), 0);
}

// Two field files beside a job file, in program settings of their own (the Default profile).
class JobFileMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(
        QStringLiteral("fenwix-job-menu-%1").arg(QCoreApplication::applicationPid()));
    QSettings().clear();
    QFile::copy(QStringLiteral(FENWIX_TEST_DATA "/jobs/checked-job.xml"), Path("day1.xml"));
    QFile::copy(QStringLiteral(FENWIX_TEST_DATA "/app/small_job.xml"), Path("day2.xml"));
    window_ = std::make_unique<ConvertWindow>(Path("Fenwix.cfg").toStdString());
    window_->SetMessageHook([this](MessageId id, const std::string&) { messages_.push_back(id); });
  }
  QString Path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }
  // Opens the job file made of a data file with two words replaced.
  bool Open(const char* data, const std::string& first, const std::string& second) {
    QFile job(Path("job.fenwix"));
    return job.open(QIODevice::WriteOnly) &&
           job.write(Read(QStringLiteral(FENWIX_TEST_DATA "/job/") + data)
                         .replace("FIRST", first.c_str())
                         .replace("SECOND", second.c_str())) > 0 &&
           job.flush() && window_->job_menu()->Open(Path("job.fenwix"));
  }

  QTemporaryDir dir_;
  std::unique_ptr<ConvertWindow> window_;
  std::vector<MessageId> messages_;
};

// The label names what the next conversion weights each file with, after Open and after New.
TEST_F(JobFileMenuTest, WeightingLabelFollowsTheJobsInstruments) {
  const char* cases[][3] = {{"TS1", "TS1", "TS1"},
                            {"TS1", "", "per file (TS1, Default)"},
                            {"TS1", "TS2", "per file (TS1, TS2)"}};
  auto* label = window_->findChild<QLabel*>(QStringLiteral("weightProfileLabel"));
  for (const auto& [first, second, named] : cases) {
    ASSERT_TRUE(Open("instruments.fenwix", first, second)) << named;
    EXPECT_EQ(label->text(), QStringLiteral("Weighting: ") + named);
    ASSERT_TRUE(window_->job_menu()->BeforeConversion());
    EXPECT_EQ(window_->dialog().request.file_instruments.size(), *named == 'p' ? 2u : 0u) << named;
    window_->job_menu()->New();
    EXPECT_EQ(label->text(), QStringLiteral("Weighting: Default")) << named;
  }
}

// A job whose saved fingerprint of day1.xml no longer matches: the offer names the file, kept
// edits refuse the conversion, dropping takes only that file's edits and renews its fingerprint.
TEST_F(JobFileMenuTest, ChangedFieldFileOffersToDropItsEdits) {
  int error = 0;
  const std::string day1 = *FileSha256(Path("day1.xml").toStdString(), error);
  QStringList asked;  // kept the first two times, dropped the third
  window_->job_menu()->SetStaleEditsQuestion([&](const QString& text) {
    asked << text;
    return asked.size() == 3;
  });
  ASSERT_TRUE(Open("stale.fenwix", day1, ""));
  EXPECT_TRUE(asked.isEmpty());  // the clean control: every fingerprint matches
  const JobSession& session = window_->job_menu()->session();
  for (const bool dropped : {false, true}) {
    ASSERT_TRUE(Open("stale.fenwix", std::string(64, '0'), ""));
    EXPECT_TRUE(asked.back().contains(Path("day1.xml") + " has changed since"));
    EXPECT_EQ(window_->job_menu()->BeforeConversion(), dropped);
    EXPECT_EQ(session.job().leave_out.size() + session.job().renames.size(), dropped ? 2u : 4u);
    EXPECT_EQ(session.job().inputs[0].sha256 == day1, dropped);
    const QTreeWidget* edits = window_->job_menu()->edits_window()->list();
    int marked = 0;  // the rows of day1.xml's edits in the Edits window
    for (int i = 0; i < edits->topLevelItemCount(); ++i)
      marked += !edits->topLevelItem(i)->icon(1).isNull();
    EXPECT_EQ(marked, dropped ? 0 : 2);
  }
  EXPECT_EQ(asked.size(), 3);  // asked again before the refused conversion, not after dropping
  EXPECT_EQ(messages_, std::vector<MessageId>{MSG_FIELD_FILE_CHANGED});
  EXPECT_TRUE(session.job().renames[0].from == "S1" && session.job().leave_out[0].line == 23);
  // A changed file taken off the list is not read: nothing to ask before converting.
  ASSERT_TRUE(Open("stale.fenwix", std::string(64, '0'), ""));
  window_->dialog().request.xml_paths.erase(window_->dialog().request.xml_paths.begin());
  EXPECT_TRUE(window_->job_menu()->BeforeConversion());
  EXPECT_EQ(asked.size(), 4);  // on opening only
}

// Every way of dropping the job in hand asks about its unsaved edits first: Cancel keeps the
// job and the window, Discard goes on, Save writes the job file and goes on. A job without
// unsaved changes is never asked about.
TEST_F(JobFileMenuTest, UnsavedChangesAreNeverDroppedWithoutAsking) {
  using Answer = JobFileMenu::UnsavedAnswer;
  JobFileMenu& menu = *window_->job_menu();
  {
    QFile other(Path("other.fenwix"));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly) &&
                other.write(R"({"fenwix_project": 1, "inputs": [{"path": "day2.xml"}]})") > 0);
  }
  ASSERT_TRUE(menu.Open(Path("other.fenwix")));  // the recent list's first entry from now on
  menu.SetPathChooser([this](bool save) {
    return std::optional<QString>(Path(save ? "saved.fenwix" : "other.fenwix"));
  });
  QStringList asked;
  Answer answer = Answer::Cancel;
  menu.SetUnsavedQuestion([&](const QString& text) {
    asked << text;
    return answer;
  });
  const std::function<void()> ways[] = {
      [&] { window_->findChild<QAction*>("newJobAction")->trigger(); },
      [&] { window_->findChild<QAction*>("openJobAction")->trigger(); },
      [&] { window_->findChild<QMenu*>("recentJobsMenu")->actions().first()->trigger(); },
      [&] { test::Click(window_->findChild<QPushButton*>("closeButton")); },
      [&] { QTest::keyClick(window_.get(), Qt::Key_Escape); },
  };
  for (size_t way = 0; way < std::size(ways); ++way) {
    for (const Answer given : {Answer::Cancel, Answer::Discard, Answer::Save}) {
      SCOPED_TRACE(testing::Message() << "way " << way << " answer " << static_cast<int>(given));
      menu.New();
      window_->show();
      QFile::remove(Path("saved.fenwix"));
      window_->dialog().request.xml_paths = {Path("day1.xml").toStdString()};
      window_->ExchangeToControls();
      menu.LeaveOut(SourceLocation{0, 48}, QStringLiteral("checked twice"));
      ASSERT_TRUE(menu.HasUnsavedChanges());
      asked.clear();
      answer = given;
      ways[way]();
      ASSERT_EQ(asked, QStringList{"Save changes to Untitled?"});
      const bool job_kept = menu.session().job().leave_out.size() == 1;
      const bool window_open = window_->isVisible();
      // New and Open drop the left-out reading; Close and Escape close the window.
      const bool went_on = way < 3 ? !job_kept : !window_open;
      EXPECT_EQ(went_on, given != Answer::Cancel);
      if (given == Answer::Cancel) {
        EXPECT_TRUE(job_kept && window_open && menu.HasUnsavedChanges());
      }
      EXPECT_EQ(QFile::exists(Path("saved.fenwix")), given == Answer::Save);
      if (given == Answer::Save) {
        EXPECT_TRUE(Read(Path("saved.fenwix")).contains("\"line\": 48")) << "the edit saved";
      }
    }
    // The clean control: nothing unsaved, nothing asked, the way goes on.
    menu.New();
    window_->show();
    asked.clear();
    ways[way]();
    EXPECT_TRUE(asked.isEmpty()) << "way " << way;
  }
  // Options typed into a saved job's fields are unsaved changes of that job too.
  window_->show();
  ASSERT_TRUE(menu.Open(Path("other.fenwix")));
  EXPECT_FALSE(menu.HasUnsavedChanges()) << "a job just opened";
  window_->findChild<QLineEdit*>("stationNameEdit")->setText(QStringLiteral("B7"));
  asked.clear();
  answer = Answer::Cancel;
  window_->findChild<QAction*>("newJobAction")->trigger();
  EXPECT_EQ(asked, QStringList{"Save changes to other.fenwix?"});
  EXPECT_EQ(menu.session().path(), Path("other.fenwix").toStdString());
}

}  // namespace
}  // namespace fenwix

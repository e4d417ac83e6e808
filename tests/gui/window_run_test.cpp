// The window's run: the Options entries remembered in the program's settings, and a conversion
// on its worker thread whose similar-stations question the window asks while the run waits,
// with the controls disabled, and whose Cancel keeps the old output.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <vector>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "app/messages.h"
#include "gui/convert_window.h"
#include "gui/gui_test_support.h"
#include "gui/reach_option.h"
#include "gui/unit_options.h"
#include "gui/weight_option.h"
#include "network_conversion.h"

namespace fenwix {
namespace {

class RunOptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Program settings go to a test location, never the person's own, and under names of this
    // process alone: ctest runs each test as a process, in parallel with the others.
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(
        QStringLiteral("fenwix-test-%1").arg(QCoreApplication::applicationPid()));
    QCoreApplication::setApplicationName(QStringLiteral("fenwix"));
    QSettings().remove(EVERY_STATION_SETTING);
    QSettings().remove(ADJUSTMENT_TEST_SETTING);
    QSettings().remove(ANGLE_UNIT_SETTING);
    QSettings().remove(DISTANCE_UNIT_SETTING);
  }
  void TearDown() override {
    const QString file = QSettings().fileName();
    QFile::remove(file);
    QDir().rmdir(QFileInfo(file).path());
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
    EXPECT_EQ(window.dialog().request.max_steps, PROPAGATION_STEP_CAP);
    every->trigger();
    EXPECT_EQ(window.dialog().request.max_steps, 0);
  }
  ConvertWindow again(SettingsPath());
  EXPECT_TRUE(again.findChild<QAction*>(QStringLiteral("everyStationAction"))->isChecked());
  EXPECT_EQ(again.dialog().request.max_steps, 0);
}

TEST_F(RunOptionsTest, JobUnitsAreDegreesAndMetersUntilChosenThenRemembered) {
  {
    ConvertWindow window(SettingsPath());
    EXPECT_EQ(window.dialog().request.job_angle_unit, AngleUnit::Degrees);
    EXPECT_EQ(window.dialog().request.job_linear_unit, LinearUnit::Meter);
    window.findChild<QAction*>(QStringLiteral("angleUnitMenu_gon"))->trigger();
    window.findChild<QAction*>(QStringLiteral("distanceUnitMenu_ft"))->trigger();
  }
  ConvertWindow again(SettingsPath());
  EXPECT_TRUE(again.findChild<QAction*>(QStringLiteral("angleUnitMenu_gon"))->isChecked());
  EXPECT_FALSE(again.findChild<QAction*>(QStringLiteral("angleUnitMenu_dms"))->isChecked());
  EXPECT_EQ(again.dialog().request.job_angle_unit, AngleUnit::Gons);
  EXPECT_EQ(again.dialog().request.job_linear_unit, LinearUnit::InternationalFoot);
}

// A closed triangle of vectors with their standard deviations: a network the test can adjust.
const char* const TRIANGLE_JOB =
    "<?xml version=\"1.0\"?>\n<data>\n"
    "<Vector><BasePoint>A</BasePoint><RoverPoint>B</RoverPoint><Type>Fixed</Type><DX>300.0</DX>"
    "<DY>-120.0</DY><DZ>40.0</DZ><SX>0.003</SX><SY>0.003</SY><SZ>0.005</SZ></Vector>\n"
    "<Vector><BasePoint>B</BasePoint><RoverPoint>C</RoverPoint><Type>Fixed</Type><DX>-80.0</DX>"
    "<DY>260.0</DY><DZ>-15.0</DZ><SX>0.003</SX><SY>0.003</SY><SZ>0.005</SZ></Vector>\n"
    "<Vector><BasePoint>A</BasePoint><RoverPoint>C</RoverPoint><Type>Fixed</Type><DX>220.002</DX>"
    "<DY>140.0</DY><DZ>25.0</DZ><SX>0.003</SX><SY>0.003</SY><SZ>0.005</SZ></Vector>\n</data>\n";

// Ticked (the default), the report opens with the test and the window shows its line; unticked,
// neither, even when the dialog's flag was set behind the entry's back; the choice is kept.
TEST_F(RunOptionsTest, AdjustmentTestEntryIsOnByDefaultAndRemembered) {
  const std::string input = (dir_.path() + "/triangle.xml").toStdString();
  std::ofstream(input) << TRIANGLE_JOB;
  ConvertWindow window(SettingsPath());
  window.SetMessageHook([](MessageId, const std::string&) {});
  window.dialog().request.xml_paths = {input};
  window.dialog().request.output_path = (dir_.path() + "/triangle.txt").toStdString();
  window.dialog().request.seed_name = "A";
  window.dialog().request.compute_local = true;
  window.ExchangeToControls();
  auto* entry = window.findChild<QAction*>(QStringLiteral("adjustmentTestAction"));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->text(), "Test the network by adjustment");
  for (const bool ticked : {true, false}) {
    if (entry->isChecked() != ticked) entry->trigger();
    window.dialog().request.adjustment_test = true;
    test::Click(window.findChild<QPushButton*>(QStringLiteral("convertButton")));
    ASSERT_NE(window.report_window(), nullptr);
    EXPECT_EQ(window.report_window()->report().sections.front().name == "adjustment", ticked);
    const auto* line =
        window.report_window()->findChild<QLabel*>(QStringLiteral("adjustmentSummaryLabel"));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->isHidden(), !ticked);
    EXPECT_EQ(line->text().startsWith("Adjustment test: the global test"), ticked);
  }
  ConvertWindow again(SettingsPath());
  EXPECT_FALSE(again.findChild<QAction*>(QStringLiteral("adjustmentTestAction"))->isChecked());
  EXPECT_FALSE(again.dialog().request.adjustment_test);
  again.findChild<QAction*>(QStringLiteral("adjustmentTestAction"))->trigger();
}

// A network measured to 1″ and converted with the 5″ profile in use offers its own precision;
// taken, the job's profile reads about 1″ and the job counts as changed, and the offer is gone
// until the next run. The vector triangle, three degrees of freedom, offers nothing.
TEST_F(RunOptionsTest, EstimatedPrecisionIsOfferedWhereReliableAndTakenOnce) {
  const bench::NetworkLayout layout = bench::SmallSeededLayout(2);
  const bench::GeneratedNetwork net = bench::GenerateNetwork(layout);
  const std::string network = (dir_.path() + "/net.xml").toStdString();
  ASSERT_TRUE(bench::WriteNetworkXml(network, net));
  const std::string triangle = (dir_.path() + "/triangle.xml").toStdString();
  std::ofstream(triangle) << TRIANGLE_JOB;
  for (const bool reliable : {true, false}) {
    ConvertWindow window(SettingsPath());
    window.SetMessageHook([](MessageId, const std::string&) {});
    const std::string output = (dir_.path() + "/out.txt").toStdString();
    if (reliable) {
      bench::PrepareNetworkConversion(window.dialog(), net, network, output, true, false);
      window.dialog().request.weight_profile = ProfileInUse(LoadWeightProfiles());
    } else {
      window.dialog().request.xml_paths = {triangle};
      window.dialog().request.output_path = output;
      window.dialog().request.seed_name = "A";
      window.dialog().request.compute_local = true;
    }
    window.ExchangeToControls();
    ASSERT_DOUBLE_EQ(window.dialog().request.weight_profile.profile.instrument.angle_sd, 5.0);
    test::Click(window.findChild<QPushButton*>(QStringLiteral("convertButton")));
    ASSERT_NE(window.report_window(), nullptr);
    QPushButton* use = window.report_window()->estimated_precision_button();
    EXPECT_EQ(use->text(), "Use the estimated precision");
    EXPECT_EQ(use->isHidden(), !reliable);
    if (!reliable) continue;
    test::Click(use);
    const double angle = window.dialog().request.weight_profile.profile.instrument.angle_sd;
    double r = 0.0;
    for (const GroupFactor& g : window.dialog().run.adjustment_result.groups) {
      if (g.kind == AdjustedKind::HorizontalAngle) r = g.redundancy;
    }
    ASSERT_GE(r, 10.0);
    EXPECT_NEAR(angle, layout.angle_sd, 3.0 * layout.angle_sd / std::sqrt(2.0 * r));
    EXPECT_FALSE(use->isEnabled());
    EXPECT_TRUE(window.job_menu()->session().modified());
    const auto* status = window.report_window()->findChild<QLabel*>(QStringLiteral("reportStatus"));
    EXPECT_TRUE(status->text().startsWith(QStringLiteral("Precision of the job: ")) &&
                status->text().contains(QString::fromUtf8("horizontal angles 5\u2033 \u2192 ")))
        << status->text().toStdString();
    test::Click(use);
    EXPECT_DOUBLE_EQ(window.dialog().request.weight_profile.profile.instrument.angle_sd, angle);
  }
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// BASE reaches P2 and P2B, one mark 2 mm apart: the merge pass asks about them.
const char* const SIMILAR_JOB =
    "<?xml version=\"1.0\"?>\n<data><Project/>\n"
    "<Vector><BasePoint>BASE</BasePoint><RoverPoint>P2</RoverPoint><Type>Fixed</Type>"
    "<DX>-75.000</DX><DY>210.000</DY><DZ>-30.000</DZ></Vector>\n"
    "<Vector><BasePoint>BASE</BasePoint><RoverPoint>P2B</RoverPoint><Type>Fixed</Type>"
    "<DX>-75.002</DX><DY>210.000</DY><DZ>-30.000</DZ></Vector>\n</data>\n";

// The question reaches the window from the worker; answered "different", the run ends with
// success, or, when Cancel was pressed while it was open, with "Operation cancelled".
TEST_F(RunOptionsTest, MergeQuestionFromTheWorkerIsAskedInTheWindow) {
  for (const bool cancel : {false, true}) {
    ConvertWindow window(SettingsPath());
    std::vector<MessageId> messages;
    window.SetMessageHook([&](MessageId id, const std::string&) { messages.push_back(id); });
    const std::string input = (dir_.path() + "/job.xml").toStdString();
    const std::string output = (dir_.path() + "/job.txt").toStdString();
    std::ofstream(input) << SIMILAR_JOB;
    std::ofstream(output) << "old";
    window.dialog().request.xml_paths = {input};
    window.dialog().request.output_path = output;
    window.dialog().request.seed_name = "BASE";
    window.dialog().request.compute_local = true;
    window.ExchangeToControls();
    window.show();
    auto* convert = window.findChild<QPushButton*>(QStringLiteral("convertButton"));
    const auto bar = [&] {
      return window.findChild<QProgressBar*>(QStringLiteral("runProgressBar"));
    };
    int asked = 0;
    test::AnswerNextModal([&](QWidget* modal) {
      ++asked;
      EXPECT_EQ(modal->objectName(), "similarStationsDialog");
      EXPECT_FALSE(convert->isEnabled());
      EXPECT_TRUE(bar()->isVisible());
      if (cancel) window.findChild<QPushButton*>(QStringLiteral("cancelRunButton"))->click();
      test::Click(modal->findChild<QPushButton*>(QStringLiteral("differentButton")));
    });
    test::Click(convert);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(convert->isEnabled());
    EXPECT_FALSE(bar()->isVisible());
    if (cancel) {
      EXPECT_EQ(messages, std::vector<MessageId>{MSG_CANCELLED});
      EXPECT_EQ(Contents(output), "old");
    } else {
      // Every station computed: the plain success message.
      EXPECT_EQ(messages, std::vector<MessageId>{MSG_SUCCESS});
      EXPECT_EQ(bar()->value(), 100);
      EXPECT_NE(Contents(output), "old");
    }
  }
}

}  // namespace
}  // namespace fenwix

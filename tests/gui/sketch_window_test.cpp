// The sketch window rendered offscreen: it draws something, and fitting shows every station; a
// line's context menu leaves out and puts back the elements drawn on it.

#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

#include "gui/convert_window.h"
#include "gui/gui_test_support.h"
#include "gui/sketch_view.h"
#include "gui/sketch_window.h"

namespace fenwix {
namespace {

// A ring of stations 2 km across, each tied to the next and to the seed at its centre.
SketchModel Ring(int count) {
  SketchModel model;
  model.has_coordinates = true;
  model.xml_name = "ring.xml";
  model.stations.push_back(
      SketchStation{1, "SEED", {}, 100000.0, 100000.0, 0.0, SketchSymbol::Seed, {}});
  for (int i = 0; i < count; ++i) {
    const double a = 2 * M_PI * i / count;
    model.stations.push_back(SketchStation{i + 2,
                                           "R" + std::to_string(i),
                                           {},
                                           100000.0 + 1000.0 * std::cos(a),
                                           100000.0 + 1000.0 * std::sin(a),
                                           10.0,
                                           SketchSymbol::Computed,
                                           {}});
    model.lines.push_back(SketchLine{0, i + 1, SketchLineKind::GpsVector, 1, 1, {}, {}, {}});
    model.lines.push_back(
        SketchLine{i + 1, (i + 1) % count + 1, SketchLineKind::TotalStation, 2, 1, {}, {}, {}});
  }
  model.frame = {99000.0, 101000.0, 99000.0, 101000.0, 500.0};
  return model;
}

int StationsInView(const SketchView& view) {
  int inside = 0;
  for (const SketchStation& s : view.model().stations) {
    inside += view.rect().contains(view.ToPixel(s.north, s.east).toPoint()) ? 1 : 0;
  }
  return inside;
}

TEST(SketchWindow, RendersTheNetworkAndFitShowsEveryStation) {
  SketchWindow window(Ring(24));
  window.show();
  SketchView& view = *window.view();
  view.FitToWindow();
  EXPECT_EQ(StationsInView(view), 25);

  QImage image(view.size(), QImage::Format_RGB32);
  {
    QPainter painter(&image);
    view.Render(painter, image.size());
  }
  // Ink where every symbol sits, and the labels of a sparse ring all drawn.
  for (const SketchStation& s : view.model().stations) {
    EXPECT_NE(image.pixel(view.ToPixel(s.north, s.east).toPoint()), qRgb(255, 255, 255)) << s.name;
  }
  EXPECT_EQ(view.labels_drawn(), 25);

  // Zoomed far in on one station the others leave the view; fitting brings them all back.
  view.ZoomAround(view.ToPixel(101000.0, 100000.0), 50.0);
  EXPECT_LT(StationsInView(view), 5);
  view.FitToWindow();
  EXPECT_EQ(StationsInView(view), 25);
}

// A station whose label would run under the north arrow in the top right corner, or under the
// legend in the top left, is drawn without it; the same station in open ground keeps its label.
TEST(SketchWindow, NoLabelUnderTheNorthArrowOrTheLegend) {
  // Where the ring's fit puts a pixel: the frame fixes the fit, whatever else the model holds.
  SketchWindow plain(Ring(24));
  plain.show();
  plain.view()->FitToWindow();
  const QSize size = plain.view()->size();
  const QPointF seed = plain.view()->ToPixel(100000.0, 100000.0);
  const double scale = plain.view()->scale();
  struct Case {
    const char* name;
    QPointF pixel;  // of the extra station
    int labels;
  };
  for (const Case& c : {Case{"under the arrow", QPointF(size.width() - 48.0, 40.0), 25},
                        Case{"under the legend", QPointF(30.0, 60.0), 25},
                        Case{"in open ground", seed + QPointF(0, -150.0), 26}}) {
    SCOPED_TRACE(c.name);
    SketchModel model = Ring(24);
    model.stations.push_back(SketchStation{30,
                                           "N9",
                                           {},
                                           100000.0 - (c.pixel.y() - seed.y()) / scale,
                                           100000.0 + (c.pixel.x() - seed.x()) / scale,
                                           0.0,
                                           SketchSymbol::Computed,
                                           {}});
    SketchWindow window(model);
    window.show();
    SketchView& view = *window.view();
    ASSERT_EQ(view.size(), size);
    view.FitToWindow();
    const QPointF at = view.ToPixel(model.stations.back().north, model.stations.back().east);
    ASSERT_NEAR(at.x(), c.pixel.x(), 0.5);
    ASSERT_NEAR(at.y(), c.pixel.y(), 0.5);
    QImage image(view.size(), QImage::Format_RGB32);
    {
      QPainter painter(&image);
      view.Render(painter, image.size());
    }
    EXPECT_EQ(view.labels_drawn(), c.labels);
  }
}

// The ellipses' exaggeration follows the zoom: at every zoom the largest ellipse spans between
// 40/2.5 and 40 pixels (one round step), unless it is drawn at its true size.
TEST(SketchWindow, EllipseExaggerationFollowsTheZoom) {
  SketchModel model = Ring(24);
  for (size_t i = 0; i < model.stations.size(); ++i) {
    SketchStation& s = model.stations[i];
    s.has_ellipse = true;
    s.ellipse_major = 0.002 + 0.0001 * static_cast<double>(i);  // the last: 4.4 mm
    s.ellipse_minor = 0.001;
  }
  const double largest = model.stations.back().ellipse_major;
  SketchWindow window(model);
  window.show();
  SketchView& view = *window.view();
  view.FitToWindow();
  QImage image(view.size(), QImage::Format_RGB32);
  double previous = 0.0;
  for (const double zoom : {1.0, 10.0, 7.0, 1000.0}) {
    SCOPED_TRACE(zoom);
    view.ZoomAround(view.ToPixel(100000.0, 100000.0), zoom);
    {
      QPainter painter(&image);
      view.Render(painter, image.size());
    }
    const double pixels = view.ellipse_factor() * largest * view.scale();
    if (view.ellipse_factor() > 1.0) {
      EXPECT_LE(pixels, 40.0 + 1e-9);
      EXPECT_GT(pixels, 40.0 / 2.5);
    } else {
      EXPECT_GT(pixels, 40.0 / 2.5);  // only so close does it come to its true size
    }
    if (previous > 0) {
      EXPECT_LT(view.ellipse_factor(), previous);
    }
    previous = view.ellipse_factor();
  }
}

TEST(SketchWindow, DialogEntrySaysWhyThereIsNothingToDraw) {
  ConvertWindow window("/nonexistent/Fenwix.cfg");
  auto* action = window.findChild<QAction*>(QStringLiteral("sketchAction"));
  ASSERT_NE(action, nullptr);
  EXPECT_FALSE(action->isEnabled());
  EXPECT_TRUE(action->text().contains(QStringLiteral("seed station")));
  window.ShowSketch();
  EXPECT_EQ(window.sketch_window(), nullptr);
}

// The menu's entries of one kind, by the XML line of their element.
std::map<int, QAction*> Entries(const QMenu& menu, const char* name) {
  std::map<int, QAction*> entries;
  for (QAction* action : menu.findChildren<QAction*>(name))
    entries[action->data().toPoint().y()] = action;
  return entries;
}

// The job with planted blunders converted with its sketch drawn, recording the reasons asked for.
class SketchLineMenu : public ::testing::Test {
 protected:
  void SetUp() override {
    window_.SetMessageHook([](MessageId, const std::string&) {});
    window_.SetSketchOffer([] { return true; });
    window_.dialog().request.xml_paths = {FENWIX_TEST_DATA "/jobs/planted-job.xml"};
    window_.dialog().request.output_path = dir_.filePath("net.txt").toStdString();
    window_.dialog().request.seed_name = "P10";
    window_.dialog().request.compute_local = true;
    // The per-record checks' suspect: the adjustment test has tests of its own.
    adjustment_ = window_.findChild<QAction*>(QStringLiteral("adjustmentTestAction"));
    ASSERT_NE(adjustment_, nullptr);
    turned_off_ = adjustment_->isChecked();
    if (turned_off_) adjustment_->trigger();
    window_.ExchangeToControls();
    test::Click(window_.findChild<QPushButton*>("convertButton"));
    ASSERT_NE(window_.sketch_window(), nullptr);
    view_ = window_.sketch_window()->view();
    view_->SetReasonAsker([this](const QString& where, const QString& reason) {
      asked_.push_back(where + " " + reason);
      return reason;
    });
  }
  void TearDown() override {
    if (turned_off_) adjustment_->trigger();
  }

  // The first line whose menu offers to leave out the element on this XML line, with that menu.
  std::pair<int, std::unique_ptr<QMenu>> MenuOfElement(int xml_line) {
    for (size_t i = 0; i < view_->model().lines.size(); ++i) {
      std::unique_ptr<QMenu> menu(view_->LineMenu({static_cast<int32_t>(i)}, nullptr));
      if (Entries(*menu, "leaveOutAction").count(xml_line))
        return {static_cast<int>(i), std::move(menu)};
    }
    return {-1, nullptr};
  }

  QTemporaryDir dir_;
  ConvertWindow window_{dir_.filePath("Fenwix.cfg").toStdString()};
  QAction* adjustment_ = nullptr;
  bool turned_off_ = false;
  SketchView* view_ = nullptr;
  std::vector<QString> asked_;
};

TEST_F(SketchLineMenu, LeavesOutTheSuspectVectorWithItsReasonAndPutsItBack) {
  // A file added in front since the sketch was drawn: its elements still name their own file.
  window_.dialog().request.xml_paths.insert(window_.dialog().request.xml_paths.begin(), "day0.xml");
  auto [line, menu] = MenuOfElement(15);
  ASSERT_GE(line, 0);
  EXPECT_TRUE(Entries(*menu, "leaveOutAction").at(15)->text().contains(", Static solution"));
  EXPECT_FALSE(Entries(*menu, "putBackAction").at(15)->isEnabled());
  Entries(*menu, "leaveOutAction").at(15)->trigger();
  const std::vector<JobLeaveOut>& left_out = window_.job_menu()->session().job().leave_out;
  ASSERT_EQ(left_out.size(), 1u);
  EXPECT_TRUE(left_out[0].file.ends_with("/planted-job.xml")) << left_out[0].file;
  EXPECT_EQ(left_out[0].line, 15);
  EXPECT_TRUE(left_out[0].reason.starts_with("Repeated GNSS vectors: ")) << left_out[0].reason;
  ASSERT_EQ(asked_.size(), 1u);
  EXPECT_EQ(asked_[0], "planted-job.xml:15 " + QString::fromStdString(left_out[0].reason));
  EXPECT_TRUE(view_->IsLineLeftOut(line));
  menu.reset(view_->LineMenu({line}, nullptr));
  EXPECT_FALSE(Entries(*menu, "leaveOutAction").at(15)->isEnabled());
  Entries(*menu, "putBackAction").at(15)->trigger();
  EXPECT_TRUE(window_.job_menu()->session().job().leave_out.empty());
  EXPECT_FALSE(view_->IsLineLeftOut(line));
}

TEST_F(SketchLineMenu, AnOpenSketchFollowsTheNextConversion) {
  window_.SetSketchOffer([] { return false; });
  const QPointer<SketchWindow> drawn = window_.sketch_window();
  test::Click(window_.findChild<QPushButton*>("convertButton"));
  EXPECT_TRUE(window_.sketch_window()->isVisible());
  EXPECT_FALSE(drawn && drawn->isVisible());
}

// The face-two reading that is a suspect, among the other readings of its averaged sets.
TEST_F(SketchLineMenu, AFacePairsLineOffersEachOfItsReadings) {
  const auto face = MenuOfElement(138);
  ASSERT_GE(face.first, 0);
  EXPECT_GE(Entries(*face.second, "leaveOutAction").size(), 2u);
}

// A ring drawn without a job behind it: its lines carry no element the job knows of.
class SketchRingLines : public ::testing::Test {
 protected:
  SketchRingLines() {
    ring_.SetLineEdits(LineEdits{[](SourceLocation, const QString&) { FAIL(); },
                                 [](SourceLocation) {},
                                 [](SourceLocation) { return false; },
                                 {},
                                 {},
                                 {}});
  }
  SketchWindow ring_{Ring(3)};
};

TEST_F(SketchRingLines, ALineWithoutAKnownElementOffersNothingToLeaveOut) {
  std::unique_ptr<QMenu> menu(ring_.view()->LineMenu({0}, nullptr));
  EXPECT_TRUE(Entries(*menu, "leaveOutAction").empty());
}

// A right press is left to the platform, which makes it the line's context menu only when the
// view did not take the press for itself; a left press starts a drag.
TEST_F(SketchRingLines, ARightPressIsLeftToThePlatformAndALeftPressStartsADrag) {
  for (const Qt::MouseButton button : {Qt::RightButton, Qt::LeftButton}) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), button, button, {});
    QCoreApplication::sendEvent(ring_.view(), &press);
    EXPECT_EQ(press.isAccepted(), button == Qt::LeftButton);
  }
}

TEST(SketchWindow, AMenuTitleLongerThanEveryEntryIsShownWhole) {
  SketchModel long_names = Ring(2);
  long_names.stations[1].name = std::string(60, 'W');
  SketchView named(long_names);
  std::unique_ptr<QMenu> menu(named.LineMenu({0}, nullptr));
  const QString title = menu->actions().front()->text();
  EXPECT_TRUE(title.endsWith(QString(60, 'W') + ", GNSS vector"));
  EXPECT_GT(menu->sizeHint().width(), menu->fontMetrics().horizontalAdvance(title) + 10);
}

}  // namespace
}  // namespace fenwix

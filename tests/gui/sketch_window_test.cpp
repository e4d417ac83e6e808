// The sketch window rendered offscreen: it draws something, and fitting shows every station.

#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QPainter>

#include "gui/convert_window.h"
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
    model.lines.push_back(SketchLine{0, i + 1, SketchLineKind::GpsVector, 1, 1, {}, {}});
    model.lines.push_back(
        SketchLine{i + 1, (i + 1) % count + 1, SketchLineKind::TotalStation, 2, 1, {}, {}});
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

TEST(SketchWindow, DialogEntrySaysWhyThereIsNothingToDraw) {
  ConvertWindow window("/nonexistent/Fenwix.cfg");
  auto* action = window.findChild<QAction*>(QStringLiteral("sketchAction"));
  ASSERT_NE(action, nullptr);
  EXPECT_FALSE(action->isEnabled());
  EXPECT_TRUE(action->text().contains(QStringLiteral("seed station")));
  window.ShowSketch();
  EXPECT_EQ(window.sketch_window(), nullptr);
}

}  // namespace
}  // namespace fenwix

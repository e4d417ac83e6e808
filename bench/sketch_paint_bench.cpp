// Painting the network sketch of a large job in the window, per frame, against painting every
// line of the job once with a bare QPainter::drawLines (no culling, no symbols, no labels).
//
//   cmake --preset bench -DFENWIX_BUILD_GUI=ON
//   cmake --build --preset bench -j2 --target sketch_paint_bench
//   QT_QPA_PLATFORM=offscreen build/bench/bench/sketch_paint_bench [rounds]
//
// The view is 1200 × 800 pixels. Full frames: fitted (the whole network in view), zoomed 8× and
// 64× around the centre (where a wheel turn leads). Wheel frames: one notch from fitted and its
// repaint, which shows the last full picture scaled until the wheel rests. Each round paints
// every case once, alternating; the medians are reported in milliseconds and as ratios to the
// bare drawing.

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include <QApplication>
#include <QImage>
#include <QLineF>
#include <QPainter>

#include <fmt/format.h>

#include "gui/sketch_view.h"
#include "large_network.h"
#include "sketch/sketch_model.h"

using fenwix::bench::Median;
using fenwix::bench::Milliseconds;

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qt_argc = 1;
  QApplication app(qt_argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;

  const fenwix::bench::LargeNetwork net = fenwix::bench::BuildLargeNetwork(20000, 100000, 10000);
  fenwix::SketchView view(
      fenwix::BuildSketch(net.tables, net.placements, {"large.xml"}, "2026-12-08"));
  view.resize(1200, 800);
  view.FitToWindow();
  QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
  const auto render = [&] {
    QPainter painter(&image);
    view.Render(painter, image.size());
  };
  const QPointF centre(600, 400);

  std::vector<double> bare, fitted, zoom8, zoom64, notch;
  for (int r = 0; r < rounds; ++r) {
    view.FitToWindow();
    bare.push_back(Milliseconds([&] {
      std::vector<QLineF> lines;
      lines.reserve(view.model().lines.size());
      for (const fenwix::SketchLine& line : view.model().lines) {
        const fenwix::SketchStation& a = view.model().stations[static_cast<size_t>(line.from)];
        const fenwix::SketchStation& b = view.model().stations[static_cast<size_t>(line.to)];
        lines.emplace_back(view.ToPixel(a.north, a.east), view.ToPixel(b.north, b.east));
      }
      QPainter painter(&image);
      painter.fillRect(image.rect(), Qt::white);
      painter.drawLines(lines.data(), static_cast<int>(lines.size()));
    }));
    fitted.push_back(Milliseconds(render));
    view.ZoomAround(centre, 8.0);
    zoom8.push_back(Milliseconds(render));
    view.ZoomAround(centre, 8.0);
    zoom64.push_back(Milliseconds(render));
    view.FitToWindow();
    {
      QPainter painter(&image);
      view.Paint(painter);  // the full picture that the wheel frames scale
    }
    notch.push_back(Milliseconds([&] {
      view.WheelZoom(centre, 1.0);
      QPainter painter(&image);
      view.Paint(painter);
    }));
    // Let the wheel rest, so that the next frames are full ones again.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    QApplication::processEvents();
  }
  const double base = Median(bare);
  fmt::print("stations {}, lines {}, view 1200 x 800\n", view.model().stations.size(),
             view.model().lines.size());
  fmt::print("bare drawLines, all lines (baseline)  {:7.1f} ms  1.00\n", base);
  const auto row = [&](const char* what, const std::vector<double>& v) {
    fmt::print("{:<38}{:7.1f} ms  {:.2f}\n", what, Median(v), Median(v) / base);
  };
  row("sketch frame, fitted", fitted);
  row("sketch frame, zoomed 8x", zoom8);
  row("sketch frame, zoomed 64x", zoom64);
  row("wheel notch from fitted (scaled)", notch);
  return 0;
}

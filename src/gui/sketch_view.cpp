#include "gui/sketch_view.h"

#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

#include "gui/sketch_precision.h"
#include "sketch/label_grid.h"

namespace fenwix {

namespace {

// Pixels kept free around the network when it is fitted to the window.
constexpr double FIT_MARGIN = 40.0;
// How near the pointer must rest to a station to show it, pixels.
constexpr double PICK_RADIUS = 8.0;
// How near the pointer must be to a line to pick it, pixels.
constexpr double LINE_PICK_RADIUS = 4.0;
// Half the size of a station symbol, pixels.
constexpr int SYMBOL_HALF = 6;
// Labels are tried only when no more stations than this are in view: beyond, they would cover
// each other anyway and finding that out costs more than it shows.
constexpr size_t MAX_LABELLED = 4000;
// Side of the cells that labels claim, pixels.
constexpr double LABEL_CELL = 2.5;
// Zoom range, pixels per meter: a 10,000 km network still fits, a millimetre still shows.
constexpr double MIN_SCALE = 1e-5;
constexpr double MAX_SCALE = 1e4;
// How long the wheel and the pointer must rest before the full picture is drawn again, ms.
constexpr int SETTLE_MS = 150;
// Antialiasing costs more than it shows once lines are this many.
constexpr size_t MAX_SMOOTH_LINES = 8000;

const QColor GPS_COLOUR(0x1f, 0x5f, 0xbf);
const QColor TS_COLOUR(0x1a, 0x8a, 0x3a);
// Stations and lines of flagged rows: a weaker colour, so that the eye goes to the suspects.
const QColor FLAG_COLOUR(0xf0, 0x8c, 0x28);
const QColor SUSPECT_COLOUR(0xd0, 0x00, 0x6f);
// Lines of the report row chosen in the report window.
const QColor SELECTED_COLOUR(0x00, 0xb4, 0xd8);
// Lines whose elements the job file leaves out since this conversion.
const QColor LEFT_OUT_COLOUR(0x9a, 0x9a, 0x9a);

void DrawSymbol(QPainter& p, SketchSymbol symbol, bool flagged, QPointF c) {
  const QColor ink = flagged ? FLAG_COLOUR : QColor(Qt::black);
  p.setPen(QPen(ink, 1.2));
  if (symbol == SketchSymbol::Seed) {
    p.setBrush(ink);
    const std::array<QPointF, 3> corners = {QPointF(c.x(), c.y() - 6),
                                            QPointF(c.x() + 5.5, c.y() + 4),
                                            QPointF(c.x() - 5.5, c.y() + 4)};
    p.drawPolygon(corners.data(), 3);
  } else {
    p.setBrush(symbol == SketchSymbol::Intersected
                   ? QColor(Qt::white)
                   : (flagged ? FLAG_COLOUR : QColor(0x33, 0x33, 0x33)));
    p.drawEllipse(c, 3.5, 3.5);
  }
}

// One image per symbol and flag, drawn once: stamping it is far cheaper than a path per station.
// Images rather than pixmaps: they need no display, also when they are freed at exit.
const QImage& SymbolImage(SketchSymbol symbol, bool flagged) {
  static std::array<QImage, 6> images;
  QImage& image = images[static_cast<size_t>(symbol) * 2 + (flagged ? 1 : 0)];
  if (image.isNull()) {
    image = QImage(2 * SYMBOL_HALF + 1, 2 * SYMBOL_HALF + 1, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    DrawSymbol(p, symbol, flagged, QPointF(SYMBOL_HALF + 0.5, SYMBOL_HALF + 0.5));
  }
  return image;
}

struct LegendEntry {
  const char* text;
  int kind;  // 0..2 a symbol (SketchSymbol), 3 GNSS, 4 total station, 5 flagged, 6 suspect
};
constexpr LegendEntry LEGEND_ENTRIES[] = {{"seed station", 0},
                                          {"computed station", 1},
                                          {"placed by intersection", 2},
                                          {"GNSS vector", 3},
                                          {"total station, from the instrument", 4},
                                          {"in a flagged row of the checks", 5},
                                          {"suspect observation", 6}};

// The legend's box in the top left corner: the entries and a line of counts.
QRectF LegendBox(const QFontMetricsF& metrics) {
  double text_width = 0;
  for (const LegendEntry& e : LEGEND_ENTRIES) {
    text_width = std::max(text_width, metrics.horizontalAdvance(QString::fromLatin1(e.text)));
  }
  const double line = metrics.height() + 4;
  return QRectF(8, 8, 48 + text_width, line * (std::size(LEGEND_ENTRIES) + 1) + 8);
}

// The north arrow's tip in the top right corner of a picture of the given width, and the box
// that the arrow and its "N" take: no label is drawn there.
QPointF NorthArrowTip(double width) {
  return QPointF(width - 28.0, 30.0);
}

QRectF NorthArrowBox(double width, const QFontMetricsF& metrics) {
  const double line = metrics.height() + 4;
  const QPointF tip = NorthArrowTip(width);
  return QRectF(tip.x() - 10, tip.y() - line - 2, 20, line + 2 + 31);
}

// Where the precision legend sits: under the main legend.
QPointF PrecisionLegendCorner(const QRectF& legend) {
  return QPointF(legend.left(), legend.bottom() + 6);
}

QString LabelText(const SketchStation& s) {
  QString text = QString::fromStdString(s.name);
  for (const std::string& merged : s.merged_names) text += " = " + QString::fromStdString(merged);
  return text;
}

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

QString LengthText(double meters) {
  return meters >= 1000.0 ? QStringLiteral("%1 km").arg(meters / 1000.0)
                          : QStringLiteral("%1 m").arg(meters);
}

}  // namespace

// "A → B, GNSS vector".
QString SketchLineTitle(const SketchModel& model, const SketchLine& line) {
  return Text(model.stations[static_cast<size_t>(line.from)].name) + QStringLiteral(" \u2192 ") +
         Text(model.stations[static_cast<size_t>(line.to)].name) +
         (line.kind == SketchLineKind::GpsVector ? QStringLiteral(", GNSS vector")
                                                 : QStringLiteral(", total-station sight"));
}

SketchView::SketchView(SketchModel model, QWidget* parent)
    : QWidget(parent), model_(std::move(model)) {
  setObjectName(QStringLiteral("sketchView"));
  setMouseTracking(true);
  setMinimumSize(320, 240);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::OpenHandCursor);
  settle_.setSingleShot(true);
  settle_.setInterval(SETTLE_MS);
  connect(&settle_, &QTimer::timeout, this, [this] {
    interacting_ = false;
    update();
  });
}

void SketchView::BeginInteraction() {
  interacting_ = true;
  settle_.start();
}

void SketchView::WheelZoom(QPointF anchor, double notches) {
  BeginInteraction();
  ZoomAround(anchor, std::pow(1.2, notches));
}

void SketchView::Paint(QPainter& painter) {
  if (!model_.has_coordinates) {
    Render(painter, size());
    return;
  }
  if (!interacting_ || cache_.isNull() || cache_.size() != size()) {
    cache_ = QPixmap(size());
    cache_.fill(Qt::white);
    QPainter network(&cache_);
    PaintLines(network, size());
    PaintStations(network, size());
    cache_scale_ = scale_;
    cache_north_ = centre_north_;
    cache_east_ = centre_east_;
    painter.drawPixmap(0, 0, cache_);
  } else {
    // The cached picture moved and scaled onto the current view: a point at pixel p of the
    // cache is now at centre + k (p - centre) + the shift of the view's centre.
    const double k = scale_ / cache_scale_;
    painter.fillRect(rect(), Qt::white);
    painter.save();
    painter.translate(width() / 2.0 + (cache_east_ - centre_east_) * scale_,
                      height() / 2.0 - (cache_north_ - centre_north_) * scale_);
    painter.scale(k, k);
    painter.translate(-width() / 2.0, -height() / 2.0);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawPixmap(0, 0, cache_);
    painter.restore();
  }
  PaintOverlays(painter, size());
}

void SketchView::FitToWindow() {
  const SketchFrame& f = model_.frame;
  // The network goes right of the legend, so that the legend covers none of it.
  const double left = std::max(FIT_MARGIN, LegendBox(QFontMetricsF(font())).right() + 12);
  const double w = std::max(1.0, width() - left - FIT_MARGIN);
  const double h = std::max(1.0, height() - 2 * FIT_MARGIN);
  scale_ = std::clamp(std::min(w / (f.max_east - f.min_east), h / (f.max_north - f.min_north)),
                      MIN_SCALE, MAX_SCALE);
  centre_north_ = (f.min_north + f.max_north) / 2;
  centre_east_ = (f.min_east + f.max_east) / 2 - (left - FIT_MARGIN) / 2 / scale_;
  fitted_ = true;
  update();
}

void SketchView::ZoomAround(QPointF anchor, double factor) {
  const double dx = anchor.x() - width() / 2.0;
  const double dy = anchor.y() - height() / 2.0;
  const double east = centre_east_ + dx / scale_;
  const double north = centre_north_ - dy / scale_;
  scale_ = std::clamp(scale_ * factor, MIN_SCALE, MAX_SCALE);
  centre_east_ = east - dx / scale_;
  centre_north_ = north + dy / scale_;
  update();
}

QPointF SketchView::ToPixel(double north, double east) const {
  return QPointF(width() / 2.0 + (east - centre_east_) * scale_,
                 height() / 2.0 - (north - centre_north_) * scale_);
}

int SketchView::StationAt(QPointF pixel) const {
  int best = -1;
  double best_distance = PICK_RADIUS * PICK_RADIUS;
  for (size_t i = 0; i < model_.stations.size(); ++i) {
    const QPointF d = ToPixel(model_.stations[i].north, model_.stations[i].east) - pixel;
    const double distance = QPointF::dotProduct(d, d);
    if (distance <= best_distance) best = static_cast<int>(i), best_distance = distance;
  }
  return best;
}

int SketchView::LineAt(QPointF pixel) const {
  const std::vector<int32_t> lines = LinesAt(pixel);
  return lines.empty() ? -1 : lines.front();
}

std::vector<int32_t> SketchView::LinesAt(QPointF pixel) const {
  std::vector<std::pair<double, int32_t>> near;
  for (size_t i = 0; i < model_.lines.size(); ++i) {
    const SketchLine& line = model_.lines[i];
    const SketchStation& a = model_.stations[static_cast<size_t>(line.from)];
    const SketchStation& b = model_.stations[static_cast<size_t>(line.to)];
    const QPointF p = ToPixel(a.north, a.east), q = ToPixel(b.north, b.east);
    const QPointF d = q - p;
    const double length2 = QPointF::dotProduct(d, d);
    const double t =
        length2 > 0 ? std::clamp(QPointF::dotProduct(pixel - p, d) / length2, 0.0, 1.0) : 0.0;
    const QPointF off = p + t * d - pixel;
    const double distance2 = QPointF::dotProduct(off, off);
    if (distance2 <= LINE_PICK_RADIUS * LINE_PICK_RADIUS) {
      near.emplace_back(distance2, static_cast<int32_t>(i));
    }
  }
  std::stable_sort(near.begin(), near.end(),
                   [](const auto& x, const auto& y) { return x.first < y.first; });
  std::vector<int32_t> lines;
  for (const auto& [distance2, i] : near) lines.push_back(i);
  return lines;
}

void SketchView::Render(QPainter& painter, QSize size) const {
  painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
  if (model_.has_coordinates) {
    // The view's transform is kept for the widget's size; a picture of another size shows the
    // same centre at the same scale.
    painter.save();
    painter.translate((size.width() - width()) / 2.0, (size.height() - height()) / 2.0);
    PaintLines(painter, size);
    PaintStations(painter, size);
    painter.restore();
  } else {
    painter.setPen(Qt::black);
    painter.drawText(QRect(QPoint(0, 0), size).adjusted(40, 40, -40, -40),
                     Qt::AlignCenter | Qt::TextWordWrap,
                     QString::fromUtf8(NO_COORDINATES_TEXT.data(),
                                       static_cast<int>(NO_COORDINATES_TEXT.size())));
  }
  PaintOverlays(painter, size);
}

void SketchView::PaintLines(QPainter& painter, QSize size) const {
  // The part of the plane in the picture, in meters, one symbol wider all round.
  const double margin = SYMBOL_HALF / scale_;
  const double half_w = size.width() / 2.0 / scale_ + margin;
  const double half_h = size.height() / 2.0 / scale_ + margin;
  const double east0 = centre_east_ - half_w, east1 = centre_east_ + half_w;
  const double north0 = centre_north_ - half_h, north1 = centre_north_ + half_h;

  std::vector<QLineF> gps, near_half, far_half, flagged, suspects, selected, left_out;
  // Uncontrolled lines, dotted: GNSS, total station, flagged, suspect.
  std::array<std::vector<QLineF>, 4> dotted;
  for (size_t i = 0; i < model_.lines.size(); ++i) {
    const SketchLine& line = model_.lines[i];
    const SketchStation& a = model_.stations[static_cast<size_t>(line.from)];
    const SketchStation& b = model_.stations[static_cast<size_t>(line.to)];
    if (std::max(a.east, b.east) < east0 || std::min(a.east, b.east) > east1 ||
        std::max(a.north, b.north) < north0 || std::min(a.north, b.north) > north1) {
      continue;
    }
    const QPointF p = ToPixel(a.north, a.east), q = ToPixel(b.north, b.east);
    // Under a pixel long: the symbols cover it.
    if (std::fabs(p.x() - q.x()) + std::fabs(p.y() - q.y()) < 1.0) continue;
    if (i < left_out_.size() && left_out_[i]) {
      left_out.emplace_back(p, q);
    } else if (line.flag.suspect) {
      (line.uncontrolled ? dotted[3] : suspects).emplace_back(p, q);
    } else if (line.flag.flagged) {
      (line.uncontrolled ? dotted[2] : flagged).emplace_back(p, q);
    } else if (line.relative_ratio > 1.0) {
      // Over its relative precision's allowance: the suspect colour.
      suspects.emplace_back(p, q);
    } else if (line.uncontrolled) {
      dotted[line.kind == SketchLineKind::GpsVector ? 0 : 1].emplace_back(p, q);
    } else if (line.kind == SketchLineKind::GpsVector) {
      gps.emplace_back(p, q);
    } else {
      const QPointF middle = (p + q) / 2;
      near_half.emplace_back(p, middle);
      far_half.emplace_back(middle, q);
    }
  }
  painter.setRenderHint(QPainter::Antialiasing, gps.size() + near_half.size() <= MAX_SMOOTH_LINES);
  const auto draw = [&](const std::vector<QLineF>& lines, const QPen& pen) {
    if (lines.empty()) return;
    painter.setPen(pen);
    painter.drawLines(lines.data(), static_cast<int>(lines.size()));
  };
  draw(gps, QPen(GPS_COLOUR, 1.0));
  draw(near_half, QPen(TS_COLOUR, 1.6));
  draw(far_half, QPen(TS_COLOUR, 0.8, Qt::DashLine));
  draw(dotted[0], DottedPen(GPS_COLOUR, 1.0));
  draw(dotted[1], DottedPen(TS_COLOUR, 1.6));
  draw(flagged, QPen(FLAG_COLOUR, 2.0));
  draw(dotted[2], DottedPen(FLAG_COLOUR, 2.0));
  draw(suspects, QPen(SUSPECT_COLOUR, 3.5));
  draw(dotted[3], DottedPen(SUSPECT_COLOUR, 3.5));
  // Over the others: a line that coincides with a left-out one still shows between the dashes.
  draw(left_out, QPen(LEFT_OUT_COLOUR, 1.5, Qt::DashLine));
  for (const int32_t i : selected_) {
    const SketchLine& line = model_.lines[static_cast<size_t>(i)];
    const SketchStation& a = model_.stations[static_cast<size_t>(line.from)];
    const SketchStation& b = model_.stations[static_cast<size_t>(line.to)];
    selected.emplace_back(ToPixel(a.north, a.east), ToPixel(b.north, b.east));
  }
  draw(selected, QPen(SELECTED_COLOUR, 6.0, Qt::SolidLine, Qt::RoundCap));
  if (!selected.empty()) {
    draw(selected, QPen(QColor(Qt::black), 1.0));
  }
}

void SketchView::SelectLines(std::vector<int32_t> lines) {
  if (!fitted_ && model_.has_coordinates) FitToWindow();
  selected_.clear();
  double north0 = 0, north1 = 0, east0 = 0, east1 = 0;
  for (const int32_t i : lines) {
    if (i < 0 || static_cast<size_t>(i) >= model_.lines.size()) continue;
    const SketchLine& line = model_.lines[static_cast<size_t>(i)];
    for (const int32_t end : {line.from, line.to}) {
      const SketchStation& s = model_.stations[static_cast<size_t>(end)];
      if (selected_.empty() && end == line.from) {
        north0 = north1 = s.north, east0 = east1 = s.east;
      }
      north0 = std::min(north0, s.north), north1 = std::max(north1, s.north);
      east0 = std::min(east0, s.east), east1 = std::max(east1, s.east);
    }
    selected_.push_back(i);
  }
  if (!selected_.empty()) {
    // Centred, and zoomed out when the lines do not fit in the window.
    centre_north_ = (north0 + north1) / 2, centre_east_ = (east0 + east1) / 2;
    const double fit = std::min(width() / std::max(east1 - east0, 1e-9),
                                height() / std::max(north1 - north0, 1e-9)) *
                       0.8;
    if (fit < scale_) scale_ = std::clamp(fit, MIN_SCALE, MAX_SCALE);
    fitted_ = true;
  }
  cache_ = QPixmap();
  update();
}

void SketchView::PaintStations(QPainter& painter, QSize size) const {
  const QRectF inside =
      QRectF(QPointF((width() - size.width()) / 2.0, (height() - size.height()) / 2.0),
             QSizeF(size))
          .adjusted(-SYMBOL_HALF, -SYMBOL_HALF, SYMBOL_HALF, SYMBOL_HALF);
  const double factor = ViewEllipseScale(model_, scale_);
  ellipse_factor_ = factor;
  PaintErrorEllipses(
      painter, model_, [this](double north, double east) { return ToPixel(north, east); }, scale_,
      factor, inside);
  std::vector<std::pair<size_t, QPointF>> shown;
  for (size_t i = 0; i < model_.stations.size(); ++i) {
    const SketchStation& s = model_.stations[i];
    const QPointF c = ToPixel(s.north, s.east);
    if (!inside.contains(c)) continue;
    painter.drawImage(QPointF(c.x() - SYMBOL_HALF, c.y() - SYMBOL_HALF),
                      SymbolImage(s.symbol, s.flag.flagged));
    shown.emplace_back(i, c);
  }
  labels_drawn_ = 0;
  if (shown.size() > MAX_LABELLED) return;
  std::stable_partition(shown.begin(), shown.end(), [&](const auto& entry) {
    return model_.stations[entry.first].symbol == SketchSymbol::Seed;
  });
  const QFontMetricsF metrics(painter.font());
  // Cells finer than the gap between a symbol and its label; no label covers a symbol.
  LabelGrid grid(inside.width(), inside.height(), LABEL_CELL);
  for (const auto& [i, c] : shown) {
    const QPointF at = c - inside.topLeft();
    grid.Block(at.x() - 3.5, at.y() - 3.5, at.x() + 3.5, at.y() + 3.5);
  }
  // The north arrow and the legends are drawn over the network: a label under them would be
  // hidden.
  const QRectF legend = LegendBox(metrics);
  for (const QRectF& box :
       {NorthArrowBox(size.width(), metrics), legend,
        PrecisionLegendBox(metrics, model_, factor, PrecisionLegendCorner(legend))}) {
    if (box.isEmpty()) continue;
    const QRectF at = box.translated(-inside.topLeft());
    grid.Block(at.left(), at.top(), at.right(), at.bottom());
  }
  painter.setPen(Qt::black);
  for (const auto& [i, c] : shown) {
    const QString text = LabelText(model_.stations[i]);
    const QPointF at(c.x() + SYMBOL_HALF + 1, c.y() - 3);
    const double x0 = at.x() - inside.left(), y1 = at.y() - inside.top() + metrics.descent();
    if (!grid.Claim(x0, y1 - metrics.height(), x0 + metrics.horizontalAdvance(text), y1)) continue;
    painter.drawText(at, text);
    ++labels_drawn_;
  }
}

void SketchView::PaintOverlays(QPainter& painter, QSize size) const {
  painter.setRenderHint(QPainter::Antialiasing);
  const QFontMetricsF metrics(painter.font());
  const double line = metrics.height() + 4;

  // Legend, top left.
  const QRectF box = LegendBox(metrics);
  painter.setPen(QColor(0x88, 0x88, 0x88));
  painter.setBrush(QColor(255, 255, 255, 230));
  painter.drawRect(box);
  double y = box.top() + 4 + line / 2;
  for (const LegendEntry& e : LEGEND_ENTRIES) {
    const QPointF c(box.left() + 20, y);
    if (e.kind <= 2) {
      DrawSymbol(painter, static_cast<SketchSymbol>(e.kind), false, c);
    } else if (e.kind == 4) {
      painter.setPen(QPen(TS_COLOUR, 1.6));
      painter.drawLine(c - QPointF(12, 0), c);
      painter.setPen(QPen(TS_COLOUR, 0.8, Qt::DashLine));
      painter.drawLine(c, c + QPointF(12, 0));
    } else {
      const QColor colour = e.kind == 3 ? GPS_COLOUR : (e.kind == 5 ? FLAG_COLOUR : SUSPECT_COLOUR);
      painter.setPen(QPen(colour, e.kind == 3 ? 1.0 : (e.kind == 5 ? 2.0 : 3.5)));
      painter.drawLine(c - QPointF(12, 0), c + QPointF(12, 0));
    }
    painter.setPen(Qt::black);
    painter.drawText(QPointF(box.left() + 40, y + metrics.ascent() / 2 - 1),
                     QString::fromLatin1(e.text));
    y += line;
  }
  painter.drawText(
      QPointF(box.left() + 8, y + metrics.ascent() / 2 - 1),
      QStringLiteral("%1 stations, %2 lines").arg(model_.stations.size()).arg(model_.lines.size()));
  PaintPrecisionLegend(painter, model_, model_.has_coordinates ? ellipse_factor_ : 0.0,
                       PrecisionLegendCorner(box));

  // North arrow, top right.
  const QPointF tip = NorthArrowTip(size.width());
  const std::array<QPointF, 3> left = {tip, tip + QPointF(-7, 30), tip + QPointF(0, 22)};
  const std::array<QPointF, 3> right = {tip, tip + QPointF(7, 30), tip + QPointF(0, 22)};
  painter.setPen(Qt::black);
  painter.setBrush(Qt::white);
  painter.drawPolygon(left.data(), 3);
  painter.setBrush(Qt::black);
  painter.drawPolygon(right.data(), 3);
  painter.drawText(QRectF(tip.x() - 10, tip.y() - line - 2, 20, line), Qt::AlignCenter,
                   QStringLiteral("N"));

  // Scale bar, bottom left: a round length of at most a quarter of the width.
  if (!model_.has_coordinates) return;
  const double meters = RoundScaleLength(size.width() / 4.0 / scale_);
  const double length = meters * scale_;
  const QPointF at(16.0, size.height() - 20.0);
  painter.setBrush(Qt::black);
  painter.drawRect(QRectF(at, QSizeF(length / 2, 5)));
  painter.setBrush(Qt::white);
  painter.drawRect(QRectF(at + QPointF(length / 2, 0), QSizeF(length / 2, 5)));
  painter.drawText(at + QPointF(0, -4), QStringLiteral("0"));
  const QString text = LengthText(meters);
  painter.drawText(at + QPointF(length - metrics.horizontalAdvance(text), -4), text);
}

void SketchView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Paint(painter);
}

void SketchView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!fitted_) FitToWindow();
}

void SketchView::wheelEvent(QWheelEvent* event) {
  // One notch is 120.
  WheelZoom(event->position(), event->angleDelta().y() / 120.0);
  event->accept();
}

void SketchView::mousePressEvent(QMouseEvent* event) {
  // Other buttons are left to the widget, which ignores them: a right press that is accepted
  // here would never become the line's context menu.
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  dragging_ = true;
  drag_from_ = event->position();
  setCursor(Qt::ClosedHandCursor);
}

void SketchView::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return;
  const QPointF moved = event->position() - drag_from_;
  drag_from_ = event->position();
  BeginInteraction();
  centre_east_ -= moved.x() / scale_;
  centre_north_ += moved.y() / scale_;
  update();
}

void SketchView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
  dragging_ = false;
  setCursor(Qt::OpenHandCursor);
}

bool SketchView::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QWidget::event(event);
  auto* help = static_cast<QHelpEvent*>(event);
  QString text;
  if (const int i = StationAt(help->pos()); i >= 0) {
    const SketchStation& s = model_.stations[static_cast<size_t>(i)];
    text = LabelText(s) + QStringLiteral("\nN %1\nE %2\nElev %3")
                              .arg(s.north, 0, 'f', 3)
                              .arg(s.east, 0, 'f', 3)
                              .arg(s.elevation, 0, 'f', 3);
    if (s.flag.flagged) text += "\n" + QString::fromStdString(s.flag.reason);
    text += EllipseTip(s);
  } else if (const int l = LineAt(help->pos()); l >= 0) {
    const SketchLine& line = model_.lines[static_cast<size_t>(l)];
    text = SketchLineTitle(model_, line);
    if (line.observation_count > 1)
      text += QStringLiteral(" (%1 records)").arg(line.observation_count);
    const std::string where = LineWhere(model_, line);
    if (!where.empty()) text += "\n" + QString::fromStdString(where);
    if (line.flag.flagged) text += "\n" + QString::fromStdString(line.flag.reason);
    text += UncontrolledTip(model_, line);
    if (IsLineLeftOut(l)) text += QStringLiteral("\nleft out in the job file");
  }
  if (text.isEmpty()) {
    QToolTip::hideText();
    event->ignore();
  } else {
    QToolTip::showText(help->globalPos(), text, this);
  }
  return true;
}

}  // namespace fenwix

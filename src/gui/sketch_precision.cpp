#include "gui/sketch_precision.h"

#include <QFontMetricsF>
#include <QTransform>

#include <algorithm>
#include <numbers>

namespace fenwix {

namespace {

const QColor ELLIPSE_COLOUR(0x7a, 0x1f, 0xa2);
// Ellipses smaller than this on the screen are left out: the symbol covers them.
constexpr double MIN_ELLIPSE_PIXELS = 1.0;

double Degrees(double radians) {
  return radians * 180.0 / std::numbers::pi;
}

bool AnyUncontrolled(const SketchModel& model) {
  return std::any_of(model.lines.begin(), model.lines.end(),
                     [](const SketchLine& line) { return line.uncontrolled; });
}

}  // namespace

QPen DottedPen(const QColor& colour, double width) {
  QPen pen(colour, std::max(width, 1.6), Qt::CustomDashLine, Qt::RoundCap);
  // In units of the pen's width: a dot, then a gap.
  pen.setDashPattern({0.01, 2.5});
  return pen;
}

void PaintErrorEllipses(QPainter& painter, const SketchModel& model,
                        const std::function<QPointF(double north, double east)>& to_pixel,
                        double pixels_per_meter, double factor, const QRectF& inside) {
  if (!(factor > 0)) return;
  const double k = factor * pixels_per_meter;
  const QTransform base = painter.transform();
  painter.setPen(QPen(ELLIPSE_COLOUR, 1.0));
  painter.setBrush(Qt::NoBrush);
  for (const SketchStation& s : model.stations) {
    const double rx = s.ellipse_major * k, ry = s.ellipse_minor * k;
    if (!s.has_ellipse || rx < MIN_ELLIPSE_PIXELS) continue;
    const QPointF c = to_pixel(s.north, s.east);
    if (!inside.adjusted(-rx, -rx, rx, rx).contains(c)) continue;
    // Clockwise from north; y grows downwards, so a positive turn is clockwise from east.
    QTransform turn;
    turn.translate(c.x(), c.y());
    turn.rotate(Degrees(s.ellipse_azimuth) - 90.0);
    painter.setTransform(turn * base);
    painter.drawEllipse(QPointF(0, 0), rx, ry);
  }
  painter.setTransform(base);
}

namespace {

QStringList PrecisionLegendTexts(const SketchModel& model, double factor) {
  QStringList texts;
  if (factor > 0) {
    texts << QStringLiteral("error ellipses \u00d7 %1").arg(factor, 0, 'f', factor >= 1 ? 0 : 3);
    texts << (model.ellipse_confidence > 0.0
                  ? QStringLiteral("at %1 %").arg(model.ellipse_confidence * 100.0)
                  : QStringLiteral("standard (1\u03c3)")) +
                 QStringLiteral(", datum ") + QString::fromStdString(model.ellipse_datum);
  }
  if (AnyUncontrolled(model)) {
    texts << QStringLiteral("dotted: uncontrolled, r < %1").arg(model.uncontrolled_redundancy);
  }
  return texts;
}

QRectF BoxOf(const QStringList& texts, const QFontMetricsF& metrics, QPointF top_left) {
  if (texts.isEmpty()) return QRectF();
  const double line = metrics.height() + 4;
  double width = 0;
  for (const QString& text : texts) width = std::max(width, metrics.horizontalAdvance(text));
  return QRectF(top_left, QSizeF(48 + width, line * texts.size() + 8));
}

}  // namespace

QRectF PrecisionLegendBox(const QFontMetricsF& metrics, const SketchModel& model, double factor,
                          QPointF top_left) {
  return BoxOf(PrecisionLegendTexts(model, factor), metrics, top_left);
}

void PaintPrecisionLegend(QPainter& painter, const SketchModel& model, double factor,
                          QPointF top_left) {
  const QStringList texts = PrecisionLegendTexts(model, factor);
  if (texts.isEmpty()) return;
  const QFontMetricsF metrics(painter.font());
  const double line = metrics.height() + 4;
  const QRectF box = BoxOf(texts, metrics, top_left);
  painter.setPen(QColor(0x88, 0x88, 0x88));
  painter.setBrush(QColor(255, 255, 255, 230));
  painter.drawRect(box);
  double y = box.top() + 4 + line / 2;
  const QPointF sample(box.left() + 20, 0);
  if (factor > 0) {
    painter.setPen(QPen(ELLIPSE_COLOUR, 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(sample.x(), y), 10, 5);
    y += line;
  }
  if (AnyUncontrolled(model)) {
    // Any line may be dotted: the sample takes no line's colour.
    painter.setPen(DottedPen(QColor(0x55, 0x55, 0x55), 1.6));
    painter.drawLine(QPointF(sample.x() - 12, y), QPointF(sample.x() + 12, y));
  }
  painter.setPen(Qt::black);
  y = box.top() + 4 + line / 2;
  for (const QString& text : texts) {
    painter.drawText(QPointF(box.left() + 40, y + metrics.ascent() / 2 - 1), text);
    y += line;
  }
}

QString EllipseTip(const SketchStation& station) {
  if (!station.has_ellipse) return QString();
  return QStringLiteral("\nerror ellipse %1 \u00d7 %2 mm, major axis at %3\u00b0")
      .arg(station.ellipse_major * 1000.0, 0, 'f', 1)
      .arg(station.ellipse_minor * 1000.0, 0, 'f', 1)
      .arg(Degrees(station.ellipse_azimuth), 0, 'f', 1);
}

QString UncontrolledTip(const SketchModel& model, const SketchLine& line) {
  if (!line.uncontrolled) return QString();
  return QStringLiteral(
             "\nuncontrolled: every observation on it has r < %1, so the network cannot find a "
             "blunder in it")
      .arg(model.uncontrolled_redundancy);
}

}  // namespace fenwix

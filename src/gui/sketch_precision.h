#pragma once
// What the adjustment test adds to the sketch window: each station's standard error ellipse,
// exaggerated by the model's ellipse scale and turned to its azimuth, dotted pens for the lines
// whose observations the network cannot check, a small legend of both and their tooltips.

#include <functional>

#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QString>

#include "sketch/sketch_model.h"

namespace fenwix {

// The pen of a line, dotted: round dots a little wider than a thin line, so that they show.
QPen DottedPen(const QColor& colour, double width);

// Paints the error ellipses of the stations whose centres lie in `inside`, `factor` times their
// size (the view's ViewEllipseScale). to_pixel maps local north and east to the painter's
// pixels, at pixels_per_meter.
void PaintErrorEllipses(QPainter& painter, const SketchModel& model,
                        const std::function<QPointF(double north, double east)>& to_pixel,
                        double pixels_per_meter, double factor, const QRectF& inside);

// A box at top_left naming the ellipses' factor and what a dotted line means, each only when the
// sketch shows it; nothing when it shows neither.
void PaintPrecisionLegend(QPainter& painter, const SketchModel& model, double factor,
                          QPointF top_left);
// The box PaintPrecisionLegend takes, empty when it draws nothing: no label is drawn there.
QRectF PrecisionLegendBox(const QFontMetricsF& metrics, const SketchModel& model, double factor,
                          QPointF top_left);

// Tooltip lines, each starting with a line end; empty when there is nothing to say.
QString EllipseTip(const SketchStation& station);
QString UncontrolledTip(const SketchModel& model, const SketchLine& line);

}  // namespace fenwix

// The dialog's way to the network sketch: the View menu entry and the offer after a conversion.

#include <QAction>

#include "app/conversion_sketch.h"
#include "gui/convert_window.h"
#include "gui/converter_app.h"
#include "gui/sketch_window.h"

namespace fenwix {

void ConvertWindow::UpdateSketchAction() {
  const bool drawable = HasSketchCoordinates(dialog_);
  sketch_action_->setEnabled(drawable);
  sketch_action_->setText(
      drawable ? QStringLiteral("Network &Sketch...")
               : QStringLiteral("Network Sketch (no approximate coordinates: name a seed station "
                                "and tick a \"Compute approx for each station.\" box)"));
}

void ConvertWindow::ShowSketch() {
  if (!HasSketchCoordinates(dialog_)) return;
  if (sketch_window_) sketch_window_->close();
  sketch_window_ = new SketchWindow(ConversionSketch(dialog_), this);
  sketch_window_->setAttribute(Qt::WA_DeleteOnClose);
  sketch_window_->setWindowFlag(Qt::Window);
  sketch_window_->show();
}

void ConvertWindow::OfferSketch() {
  UpdateSketchAction();
  if (!HasSketchCoordinates(dialog_)) return;
  bool show = false;
  if (sketch_offer_) {
    show = sketch_offer_();
  } else {
    // Asked for with the final message's button.
    show = after_run_ == AfterRun::Sketch;
  }
  if (show) ShowSketch();
}

}  // namespace fenwix

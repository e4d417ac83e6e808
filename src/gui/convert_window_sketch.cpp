// The dialog's way to the network sketch: the View menu entry and the offer after a conversion,
// and the job file's edits that the sketch and the check report make.

#include <QAction>

#include "app/conversion_sketch.h"
#include "gui/convert_window.h"
#include "gui/converter_app.h"
#include "gui/sketch_view.h"
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
  sketch_window_->SetLineEdits(JobLineEdits());
  connect(job_menu_, &JobFileMenu::EditsChanged, sketch_window_->view(), &SketchView::EditsChanged);
  sketch_window_->setAttribute(Qt::WA_DeleteOnClose);
  sketch_window_->setWindowFlag(Qt::Window);
  sketch_window_->show();
}

LineEdits ConvertWindow::JobLineEdits() const {
  JobFileMenu* menu = job_menu_;
  return LineEdits{
      [menu](SourceLocation at, const QString& reason) { menu->LeaveOut(at, reason); },
      [menu](SourceLocation at) { menu->PutBack(at); },
      [menu](SourceLocation at) { return menu->IsLeftOut(at); },
      [menu](const std::string& from, const std::string& to) { menu->Rename(from, to); },
      [menu](const std::string& name) { return menu->RenamedAs(name); }};
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

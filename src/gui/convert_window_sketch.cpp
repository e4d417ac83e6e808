// The dialog's way to the network sketch: the View menu entry and the offer after a conversion,
// and the job file's edits that the sketch and the check report make.

#include <QAction>
#include <QMessageBox>

#include <algorithm>

#include "app/conversion_sketch.h"
#include "gui/convert_window.h"
#include "gui/converter_app.h"
#include "gui/sketch_view.h"
#include "gui/sketch_window.h"

namespace fenwix {

void ConvertWindow::UpdateSketchAction() {
  const bool drawable = HasSketchCoordinates(dialog_.run);
  sketch_action_->setEnabled(drawable);
  sketch_action_->setText(
      drawable ? QStringLiteral("Network &Sketch...")
               : QStringLiteral("Network Sketch (no approximate coordinates: name a seed station "
                                "and tick a \"Compute approx for each station.\" box)"));
}

void ConvertWindow::ShowSketch() {
  if (!HasSketchCoordinates(dialog_.run)) return;
  QByteArray geometry;
  if (sketch_window_) {
    geometry = sketch_window_->saveGeometry();
    sketch_window_->close();
  }
  sketch_window_ = new SketchWindow(ConversionSketch(dialog_.run), this);
  sketch_window_->SetLineEdits(ConversionLineEdits(sketch_window_));
  connect(job_menu_, &JobFileMenu::EditsChanged, sketch_window_->view(), &SketchView::EditsChanged);
  sketch_window_->setAttribute(Qt::WA_DeleteOnClose);
  sketch_window_->setWindowFlag(Qt::Window);
  if (!geometry.isEmpty()) sketch_window_->restoreGeometry(geometry);
  sketch_window_->show();
}

LineEdits ConvertWindow::ConversionLineEdits(QWidget* window) {
  // The window names a field file by its place in the list of the conversion it shows; the
  // dialog's list may have changed since, so the file is found again by its path.
  const std::vector<std::string> drawn = dialog_.run.xml_paths;
  const auto now = [this, drawn](SourceLocation at) {
    const std::vector<std::string>& paths = dialog_.request.xml_paths;
    const size_t file = static_cast<size_t>(at.file);
    const auto found =
        file < drawn.size() ? std::find(paths.begin(), paths.end(), drawn[file]) : paths.end();
    at.file = found == paths.end() ? -1 : static_cast<int32_t>(found - paths.begin());
    return at;
  };
  LineEdits edits = JobLineEdits();
  const LineEdits job = edits;
  edits.leave_out = [window, job, now, drawn](SourceLocation at, const QString& reason) {
    if (now(at).file >= 0) {
      job.leave_out(now(at), reason);
      return;
    }
    const size_t file = static_cast<size_t>(at.file);
    QMessageBox box(QMessageBox::Warning, ApplicationTitle(),
                    QStringLiteral("%1 is no longer among the field files: convert again to "
                                   "leave out what this window shows of it.")
                        .arg(QString::fromStdString(file < drawn.size() ? drawn[file] : "")),
                    QMessageBox::Ok, window);
    box.setTextFormat(Qt::PlainText);
    box.exec();
  };
  edits.put_back = [job, now](SourceLocation at) { job.put_back(now(at)); };
  edits.is_left_out = [job, now](SourceLocation at) { return job.is_left_out(now(at)); };
  edits.rename_reading = [job, now](SourceLocation at, const std::string& from,
                                    const std::string& to) {
    if (now(at).file >= 0) job.rename_reading(now(at), from, to);
  };
  return edits;
}

LineEdits ConvertWindow::JobLineEdits() const {
  JobFileMenu* menu = job_menu_;
  return LineEdits{
      [menu](SourceLocation at, const QString& reason) { menu->LeaveOut(at, reason); },
      [menu](SourceLocation at) { menu->PutBack(at); },
      [menu](SourceLocation at) { return menu->IsLeftOut(at); },
      [menu](const std::string& from, const std::string& to) { menu->Rename(from, to); },
      [menu](const std::string& name) { return menu->RenamedAs(name); },
      [menu](SourceLocation at, const std::string& from, const std::string& to) {
        menu->RenameReading(at, from, to);
      }};
}

void ConvertWindow::OfferSketch() {
  UpdateSketchAction();
  if (!HasSketchCoordinates(dialog_.run)) {
    // An open sketch of an earlier run would offer elements that this run may not have.
    if (sketch_window_) sketch_window_->close();
    return;
  }
  // An open sketch follows the last conversion, where it stands.
  bool show = sketch_window_ != nullptr;
  if (sketch_offer_) {
    show = sketch_offer_() || show;
  } else {
    // Asked for with the final message's button.
    show = after_run_ == AfterRun::Sketch || show;
  }
  if (show) ShowSketch();
}

}  // namespace fenwix

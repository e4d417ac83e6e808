#include "gui/sketch_window.h"

#include <QBuffer>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>

#include "gui/converter_app.h"
#include "gui/sketch_view.h"
#include "platform/file_access.h"
#include "platform/guarded_write.h"
#include "sketch/svg_writer.h"

namespace fenwix {

SketchWindow::SketchWindow(SketchModel model, QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("sketchWindow"));
  setWindowTitle(QStringLiteral("Network Sketch \u2014 ") + QString::fromStdString(model.Title()));
  setWindowIcon(ProgramIcon());
  // The window is looked at beside the dialog: its tooltips show when it is not the active one.
  setAttribute(Qt::WA_AlwaysShowToolTips);

  auto* list = new QListWidget;
  list->setObjectName(QStringLiteral("notComputedList"));
  for (const std::string& name : model.not_computed) list->addItem(QString::fromStdString(name));
  auto* side = new QWidget;
  auto* side_layout = new QVBoxLayout(side);
  side_layout->setContentsMargins(4, 4, 4, 4);
  side_layout->addWidget(
      new QLabel(QStringLiteral("Not computed: %1").arg(model.not_computed.size())));
  side_layout->addWidget(list);

  view_ = new SketchView(std::move(model));
  auto* splitter = new QSplitter;
  splitter->addWidget(view_);
  splitter->addWidget(side);
  splitter->setStretchFactor(0, 1);
  splitter->setSizes({900, 180});
  setCentralWidget(splitter);

  QToolBar* tools = addToolBar(QStringLiteral("Sketch"));
  tools->setMovable(false);
  QAction* fit =
      tools->addAction(QStringLiteral("&Fit to Window"), view_, &SketchView::FitToWindow);
  fit->setObjectName(QStringLiteral("fitAction"));
  fit->setShortcut(QKeySequence(Qt::Key_F));
  QAction* svg =
      tools->addAction(QStringLiteral("Save as &SVG..."), this, [this] { AskAndSave(true); });
  svg->setObjectName(QStringLiteral("saveSvgAction"));
  QAction* png =
      tools->addAction(QStringLiteral("Save as &PNG..."), this, [this] { AskAndSave(false); });
  png->setObjectName(QStringLiteral("savePngAction"));
  resize(1100, 760);
}

void SketchWindow::SetLineEdits(LineEdits edits) {
  view_->SetLineEdits(std::move(edits));
}

QString SketchWindow::SaveSvg(const QString& path) const {
  // Empty when written.
  return QString::fromStdString(WriteSketchSvg(view_->model(), path.toStdString()).text());
}

QString SketchWindow::SavePng(const QString& path) const {
  QImage image(view_->size(), QImage::Format_ARGB32_Premultiplied);
  {
    QPainter painter(&image);
    view_->Render(painter, image.size());
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) return QStringLiteral("the image could not be made");
  // The guarded write of every other file: never over a field file, and whole or not at all.
  const int error =
      WriteWholeFile(path.toStdString(), std::string_view(bytes.constData(), bytes.size()));
  return error == 0 ? QString() : QString::fromStdString(SystemErrorText(error));
}

void SketchWindow::AskAndSave(bool svg) {
  const QString path = QFileDialog::getSaveFileName(
      this,
      svg ? QStringLiteral("Save the sketch as SVG") : QStringLiteral("Save the sketch as PNG"),
      QString(),
      svg ? QStringLiteral("SVG drawings (*.svg)") : QStringLiteral("PNG images (*.png)"));
  if (path.isEmpty()) return;
  const QString why = svg ? SaveSvg(path) : SavePng(path);
  if (why.isEmpty()) return;
  QMessageBox box(QMessageBox::Warning, ApplicationTitle(),
                  QStringLiteral("Cannot write the sketch %1: %2").arg(path, why), QMessageBox::Ok,
                  this);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace fenwix

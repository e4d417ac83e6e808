#pragma once
// The network sketch window: the drawing (SketchView) with the stations that have no place in
// it listed beside, and commands to fit the drawing and to save it as SVG or PNG.

#include <QMainWindow>
#include <QString>

#include "gui/report_edits_panel.h"
#include "sketch/sketch_model.h"

namespace fenwix {

class SketchView;

class SketchWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit SketchWindow(SketchModel model, QWidget* parent = nullptr);

  SketchView* view() const { return view_; }
  // Leave out and put back the elements drawn on a line, from its context menu.
  void SetLineEdits(LineEdits edits);

  // Write the drawing; an empty result means success, otherwise it says why.
  QString SaveSvg(const QString& path) const;
  QString SavePng(const QString& path) const;

 private:
  void AskAndSave(bool svg);

  SketchView* view_ = nullptr;
};

}  // namespace fenwix

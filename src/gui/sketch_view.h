#pragma once
// Paints a network sketch with QPainter: north up, equal scale, zoom with the wheel around the
// pointer, pan by dragging, a station's name and coordinates when the pointer rests on it.
// Only what lies in the window is drawn, lines shorter than a pixel are skipped, and labels are
// shown only where they do not overlap, so that a job of 20,000 stations stays smooth.
// A line's context menu leaves out or puts back the field file's elements drawn on it (object
// names "leaveOutAction" and "putBackAction", the element's file and line in the action's data
// as a QPoint(file, line)); a line whose elements are all left out is drawn grey and dashed
// until the next conversion.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <QPixmap>
#include <QPointF>
#include <QTimer>
#include <QWidget>

#include "gui/report_edits_panel.h"
#include "sketch/sketch_model.h"

class QMenu;

namespace fenwix {

class SketchView : public QWidget {
  Q_OBJECT

 public:
  // Asks for the reason to leave out the element at `where`, starting from `reason`; nothing when
  // the person cancels.
  using ReasonAsker =
      std::function<std::optional<QString>(const QString& where, const QString& reason)>;

  explicit SketchView(SketchModel model, QWidget* parent = nullptr);

  const SketchModel& model() const { return model_; }

  // Scale and centre that show every station with a margin.
  void FitToWindow();
  // Zooms by factor keeping the point at pixel `anchor` where it is.
  void ZoomAround(QPointF anchor, double factor);
  // A turn of the wheel by `notches` (one notch zooms by a fifth) at `anchor`. While the wheel
  // or a drag goes on, frames show the last full picture moved and scaled; the full picture is
  // drawn again once the pointer has been still for a moment.
  void WheelZoom(QPointF anchor, double notches);
  // One frame of the window as paintEvent draws it.
  void Paint(QPainter& painter);

  // Paints the sketch at the current view into a picture of the given size (the window's size
  // when painting the window).
  void Render(QPainter& painter, QSize size) const;

  // Pixel of a point in local north and east, and back.
  QPointF ToPixel(double north, double east) const;
  // Index in model().stations of the station drawn nearest to the pixel within the pick radius,
  // or -1.
  int StationAt(QPointF pixel) const;
  // Draws the given lines (indices into model().lines) as selected, and centres them, zooming
  // out when they do not fit; an empty list clears the selection.
  void SelectLines(std::vector<int32_t> lines);
  const std::vector<int32_t>& selected_lines() const { return selected_; }
  // Index in model().lines of the line drawn nearest to the pixel within a few pixels, or -1.
  int LineAt(QPointF pixel) const;
  // Every line drawn within a few pixels of the pixel, nearest first: lines that coincide (a
  // vector and sights between the same stations) all count.
  std::vector<int32_t> LinesAt(QPointF pixel) const;
  // What the line menu does to the job; without it the menu leaves nothing out.
  void SetLineEdits(LineEdits edits);
  // Answers in place of the reason dialog.
  void SetReasonAsker(ReasonAsker asker) { ask_reason_ = std::move(asker); }
  // The context menu of these lines (indices into model().lines), built but not shown: for each
  // line its elements to leave out or put back, one entry each (a submenu when several).
  QMenu* LineMenu(const std::vector<int32_t>& lines, QWidget* parent);
  // True when every element of the line is left out.
  bool IsLineLeftOut(int line) const;
  // The job's edits changed elsewhere (the check report, the edits window): the lines of flagged
  // rows, those chosen from the report and those drawn as left out follow.
  void EditsChanged();
  // Labels drawn by the last Render.
  int labels_drawn() const { return labels_drawn_; }
  // The error ellipses' exaggeration in the last painted network; 0 when none is drawn.
  double ellipse_factor() const { return ellipse_factor_; }
  double scale() const { return scale_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  // Asks whether the elements of these lines are left out now, and draws them so.
  void UpdateLeftOut(const std::vector<int32_t>& lines);
  void AddLineEntries(QMenu* menu, int32_t line);
  void LeaveOut(int32_t line, const SketchReading& reading);
  // The lines drawn as left out, flagged or selected: the ones another window's edits are about.
  std::vector<int32_t> WatchedLines() const;
  void PaintLines(QPainter& painter, QSize size) const;
  void PaintStations(QPainter& painter, QSize size) const;
  void PaintOverlays(QPainter& painter, QSize size) const;
  void BeginInteraction();

  SketchModel model_;
  double scale_ = 1.0;  // pixels per meter
  double centre_north_ = 0.0;
  double centre_east_ = 0.0;
  bool fitted_ = false;
  bool dragging_ = false;
  QPointF drag_from_;
  mutable int labels_drawn_ = 0;
  // The last full picture of the network (without the overlays) and the view it was drawn at.
  QPixmap cache_;
  double cache_scale_ = 0.0;
  // The error ellipses' exaggeration in the last painted network: the legend names it, also
  // while a zoom shows the cached picture scaled.
  mutable double ellipse_factor_ = 0.0;
  double cache_north_ = 0.0;
  double cache_east_ = 0.0;
  bool interacting_ = false;
  QTimer settle_;
  std::vector<int32_t> selected_;
  LineEdits edits_;
  ReasonAsker ask_reason_;
  std::vector<bool> left_out_;  // by line
};

// "A → B, GNSS vector": a line as its tooltip and its menu name it.
QString SketchLineTitle(const SketchModel& model, const SketchLine& line);

}  // namespace fenwix

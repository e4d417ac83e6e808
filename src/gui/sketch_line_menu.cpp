// The sketch's context menu on a line: each element drawn there, to leave out of the next
// conversion or put back, and the lines whose elements the job leaves out.
#include <QContextMenuEvent>
#include <QInputDialog>
#include <QMenu>
#include <QStyle>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "gui/sketch_view.h"

namespace fenwix {

namespace {

// Lines that one context menu offers at most, nearest first.
constexpr size_t MAX_MENU_LINES = 6;

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

// Asks with the reason filled in, in a box wide enough for a check's words.
std::optional<QString> AskReason(QWidget* parent, const QString& where, const QString& reason) {
  QInputDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Leave out"));
  dialog.setLabelText(QStringLiteral("Leave out %1 at the next conversion. Reason:").arg(where));
  dialog.setTextValue(reason);
  dialog.resize(std::max(480, dialog.fontMetrics().horizontalAdvance(reason) + 60),
                dialog.sizeHint().height());
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.textValue();
}

}  // namespace

void SketchView::contextMenuEvent(QContextMenuEvent* event) {
  // A station's symbol takes the pointer, as it does for tooltips.
  std::vector<int32_t> lines = model_.has_coordinates && StationAt(event->pos()) < 0
                                   ? LinesAt(event->pos())
                                   : std::vector<int32_t>{};
  if (lines.empty()) {
    event->ignore();
    return;
  }
  if (lines.size() > MAX_MENU_LINES) lines.resize(MAX_MENU_LINES);
  // The lines the menu is about are shown selected while it is open.
  const std::vector<int32_t> selected = std::exchange(selected_, lines);
  cache_ = QPixmap();
  update();
  QMenu* menu = LineMenu(lines, this);
  menu->exec(event->globalPos());
  delete menu;
  selected_ = selected;
  cache_ = QPixmap();
  update();
}

void SketchView::SetLineEdits(LineEdits edits) {
  edits_ = std::move(edits);
  EditsChanged();
}

void SketchView::EditsChanged() {
  UpdateLeftOut(WatchedLines());
}

QMenu* SketchView::LineMenu(const std::vector<int32_t>& lines, QWidget* parent) {
  auto* menu = new QMenu(parent);
  menu->setObjectName(QStringLiteral("sketchLineMenu"));
  int title_width = 0;
  for (const int32_t line : lines) {
    if (line < 0 || static_cast<size_t>(line) >= model_.lines.size()) continue;
    AddLineEntries(menu, line);
    title_width = std::max(title_width, menu->fontMetrics().horizontalAdvance(SketchLineTitle(
                                            model_, model_.lines[static_cast<size_t>(line)])));
  }
  // A menu is as wide as its entries, not its section titles, which styles then cut: long
  // station names would lose the line's far end.
  const QStyle* style = menu->style();
  const int frame = style->pixelMetric(QStyle::PM_MenuHMargin, nullptr, menu) +
                    style->pixelMetric(QStyle::PM_MenuPanelWidth, nullptr, menu);
  menu->setMinimumWidth(title_width + 2 * frame + 2 * menu->fontMetrics().averageCharWidth());
  return menu;
}

void SketchView::AddLineEntries(QMenu* menu, int32_t index) {
  const SketchLine& line = model_.lines[static_cast<size_t>(index)];
  menu->addSection(SketchLineTitle(model_, line));
  if (line.relative_major_mm >= 0.0) {
    menu->addAction(QStringLiteral("Relative precision %1 mm at 95 %, %2 \u00d7 its allowance")
                        .arg(line.relative_major_mm, 0, 'f', 1)
                        .arg(line.relative_ratio, 0, 'f', 2))
        ->setEnabled(false);
  }
  if (line.readings.empty()) {
    menu->addAction(QStringLiteral("Leave out (no field file line known)"))->setEnabled(false);
    return;
  }
  const bool usable = edits_.leave_out && edits_.put_back && edits_.is_left_out;
  // One element: the entries name it; several: a submenu of each kind lists them.
  const bool one = line.readings.size() == 1;
  QMenu* leave = one ? menu : menu->addMenu(QStringLiteral("&Leave out"));
  QMenu* put = one ? menu : menu->addMenu(QStringLiteral("Put &back"));
  bool any_left_out = false, any_kept = false;
  for (const SketchReading& reading : line.readings) {
    QString where = Text(SourceWhere(model_, reading.at));
    if (line.kind == SketchLineKind::GpsVector) {
      where += reading.solution.empty()
                   ? QStringLiteral(", no solution type")
                   : QStringLiteral(", %1 solution").arg(Text(reading.solution));
    }
    const QString label =
        where + (reading.suspect
                     ? QStringLiteral(" (suspect)")
                     : (reading.reason.empty() ? QString() : QStringLiteral(" (flagged)")));
    const bool left_out = usable && edits_.is_left_out(reading.at);
    (left_out ? any_left_out : any_kept) = true;
    QAction* out = leave->addAction((one ? QStringLiteral("&Leave out ") : QString()) + label +
                                    QStringLiteral("..."));
    out->setObjectName(QStringLiteral("leaveOutAction"));
    out->setData(QPoint(reading.at.file, reading.at.line));
    out->setEnabled(usable && !left_out);
    connect(out, &QAction::triggered, this, [this, index, reading] { LeaveOut(index, reading); });
    QAction* back = put->addAction((one ? QStringLiteral("Put &back ") : QString()) + label);
    back->setObjectName(QStringLiteral("putBackAction"));
    back->setData(QPoint(reading.at.file, reading.at.line));
    back->setEnabled(left_out);
    connect(back, &QAction::triggered, this, [this, index, at = reading.at] {
      edits_.put_back(at);
      UpdateLeftOut({index});
    });
    // A sight that fits another station is mended by reading its name as that station's.
    if (!reading.rename_to.empty()) {
      QAction* rename =
          menu->addAction(QStringLiteral("Read %1 as %2 at %3")
                              .arg(Text(reading.rename_from), Text(reading.rename_to), where));
      rename->setObjectName(QStringLiteral("renameReadingAction"));
      rename->setEnabled(static_cast<bool>(edits_.rename_reading));
      connect(rename, &QAction::triggered, this, [this, reading] {
        edits_.rename_reading(reading.at, reading.rename_from, reading.rename_to);
      });
    }
  }
  if (!one) {
    leave->setEnabled(usable && any_kept);
    put->setEnabled(any_left_out);
  }
}

void SketchView::LeaveOut(int32_t line, const SketchReading& reading) {
  const QString where = Text(SourceWhere(model_, reading.at));
  const std::optional<QString> reason = ask_reason_ ? ask_reason_(where, Text(reading.reason))
                                                    : AskReason(this, where, Text(reading.reason));
  if (!reason || !edits_.leave_out) return;
  edits_.leave_out(reading.at, *reason);
  UpdateLeftOut({line});
}

bool SketchView::IsLineLeftOut(int line) const {
  return line >= 0 && static_cast<size_t>(line) < left_out_.size() &&
         left_out_[static_cast<size_t>(line)];
}

std::vector<int32_t> SketchView::WatchedLines() const {
  std::vector<int32_t> lines;
  for (size_t i = 0; i < model_.lines.size(); ++i) {
    if (model_.lines[i].flag.flagged || IsLineLeftOut(static_cast<int>(i))) {
      lines.push_back(static_cast<int32_t>(i));
    }
  }
  lines.insert(lines.end(), selected_.begin(), selected_.end());
  return lines;
}

void SketchView::UpdateLeftOut(const std::vector<int32_t>& lines) {
  left_out_.resize(model_.lines.size(), false);
  bool changed = false;
  for (const int32_t i : lines) {
    const SketchLine& line = model_.lines[static_cast<size_t>(i)];
    const bool left_out = edits_.is_left_out && !line.readings.empty() &&
                          std::all_of(line.readings.begin(), line.readings.end(),
                                      [this](const SketchReading& reading) {
                                        return edits_.is_left_out(reading.at);
                                      });
    changed = changed || left_out != left_out_[static_cast<size_t>(i)];
    left_out_[static_cast<size_t>(i)] = left_out;
  }
  if (!changed) return;
  cache_ = QPixmap();
  update();
}

}  // namespace fenwix

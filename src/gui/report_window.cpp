#include "gui/report_window.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTextBrowser>
#include <QTreeView>
#include <QVBoxLayout>

#include "checks/report_forms.h"
#include "gui/converter_app.h"
#include "gui/report_model.h"

namespace fenwix {

namespace {

// Opening size of the window, in pixels: wide enough for the widest check table.
constexpr int WINDOW_WIDTH = 980;
constexpr int WINDOW_HEIGHT = 640;
constexpr int SUMMARY_HEIGHT = 64;
// Share of the window's width that the note keeps when the other columns would take it all.
constexpr double NOTE_SHARE = 0.3;
// Name of the section of the adjustment test, whose first row is the test's summary line.
constexpr std::string_view ADJUSTMENT_SECTION = "adjustment";
// Background of the summary line when the test rejected observations, as of a flagged row.
constexpr const char* REJECTED_STYLE =
    "QLabel { background-color: #ffd6d0; border: 1px solid #d08070; padding: 4px; }";
constexpr const char* PASSED_STYLE = "QLabel { border: 1px solid palette(mid); padding: 4px; }";

}  // namespace

ReportWindow::~ReportWindow() {
  view_->setModel(nullptr);
}

ReportWindow::ReportWindow(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("reportWindow"));
  setWindowTitle(QStringLiteral("Check report"));
  // A window of its own rather than a dialog over the main window: the window manager then
  // minimises it alone, not with the window it would stand for.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  setWindowIcon(ProgramIcon());
  setModal(false);

  summary_ = new QTextBrowser(this);
  summary_->setObjectName(QStringLiteral("reportSummary"));
  summary_->setMaximumHeight(SUMMARY_HEIGHT);
  // The adjustment test's summary line, whole, however narrow the window: the global test,
  // sigma 0, the group factors and the rejections at a glance.
  adjustment_ = new QLabel(this);
  adjustment_->setObjectName(QStringLiteral("adjustmentSummaryLabel"));
  adjustment_->setWordWrap(true);
  adjustment_->setTextFormat(Qt::PlainText);
  adjustment_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  adjustment_->hide();
  use_precision_ = new QPushButton(QStringLiteral("Use the estimated precision"), this);
  use_precision_->setObjectName(QStringLiteral("useEstimatedPrecisionButton"));
  use_precision_->hide();
  connect(use_precision_, &QPushButton::clicked, this, [this] {
    if (!precision_use_) return;
    // The estimate is of the weighting this run had: taken once, then the next run's.
    const PrecisionUse use = std::exchange(precision_use_, nullptr);
    use_precision_->setEnabled(false);
    status_->setText(use());
  });
  model_ = new ReportModel(this);
  edits_panel_ = new ReportEditsPanel(this);
  model_->SetMarkOf([this](const CheckSection& section, const CheckRow& row) {
    return edits_panel_->MarkOf(section, row);
  });
  connect(edits_panel_, &ReportEditsPanel::Edited, model_, &ReportModel::MarksChanged);
  // The Job column takes the width of what the edits now say of the rows.
  connect(edits_panel_, &ReportEditsPanel::Edited, this,
          [this] { view_->resizeColumnToContents(ReportModel::EDIT); });
  view_ = new QTreeView(this);
  view_->setObjectName(QStringLiteral("reportView"));
  // Rows of one height let the view lay out a check of thousands of rows without asking each.
  view_->setUniformRowHeights(true);
  view_->setAlternatingRowColors(false);
  // A long note keeps its start (the check's words) and its end (the numbers).
  view_->setTextElideMode(Qt::ElideMiddle);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setModel(model_);
  connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            const CheckRow* row = model_->RowAt(current);
            edits_panel_->ShowRow(model_->SectionAt(current), row);
            if (row != nullptr) emit RowChosen(*row);
            // After the click or key press that chose it, which still works on the view.
            if (model_->IsMoreRow(current)) {
              QMetaObject::invokeMethod(
                  this, [this, at = QPersistentModelIndex(current)] { ShowMore(at); },
                  Qt::QueuedConnection);
            }
          });
  connect(view_, &QAbstractItemView::activated, this, &ReportWindow::ShowMore);
  // A more-row reads across the columns; it moves down as rows go in before it.
  connect(model_, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex& parent) { SpanMoreRow(parent); });
  view_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(view_, &QWidget::customContextMenuRequested, this, &ReportWindow::OnContextMenu);

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("reportStatus"));
  auto* save = new QPushButton(QStringLiteral("&Save..."), this);
  save->setObjectName(QStringLiteral("saveReportButton"));
  connect(save, &QPushButton::clicked, this, &ReportWindow::OnSave);
  auto* close = new QPushButton(QStringLiteral("&Close"), this);
  close->setObjectName(QStringLiteral("closeReportButton"));
  connect(close, &QPushButton::clicked, this, &QDialog::close);

  // The seed's fields take what the network says, for the next conversion; the surveyor sees
  // the position before taking it.
  seed_button_ = new QPushButton(QStringLiteral("&Use the network's seed position"), this);
  seed_button_->setObjectName(QStringLiteral("useSeedButton"));
  seed_button_->hide();
  connect(seed_button_, &QPushButton::clicked, this, [this] {
    if (!seed_offer_) return;
    emit SeedTaken(seed_offer_->first, seed_offer_->second);
    status_->setText(
        QStringLiteral("The seed's latitude and longitude are filled in: convert "
                       "again to use them."));
  });

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(status_, 1);
  buttons->addWidget(seed_button_);
  buttons->addWidget(save);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(summary_);
  auto* adjustment_row = new QHBoxLayout;
  adjustment_row->addWidget(adjustment_, 1);
  adjustment_row->addWidget(use_precision_, 0, Qt::AlignTop);
  layout->addLayout(adjustment_row);
  layout->addWidget(view_, 1);
  layout->addWidget(edits_panel_);
  layout->addLayout(buttons);
  resize(WINDOW_WIDTH, WINDOW_HEIGHT);
}

void ReportWindow::SetLineEdits(LineEdits edits) {
  edits_panel_->SetLineEdits(std::move(edits));
  model_->MarksChanged();
  view_->resizeColumnToContents(ReportModel::EDIT);
}

void ReportWindow::EditsChanged() {
  edits_panel_->Refresh();
  model_->MarksChanged();
  view_->resizeColumnToContents(ReportModel::EDIT);
}

void ReportWindow::ShowMore(const QModelIndex& at) {
  if (!at.isValid() || !model_->IsMoreRow(at) || view_->currentIndex().row() != at.row() ||
      view_->currentIndex().parent() != at.parent()) {
    return;
  }
  const QModelIndex check = at.parent();
  const int first = model_->ShownRows(check.row());
  // Nothing current while the more-row goes, so that no row in between is chosen; then the
  // first new row, where the more-row was, as if the rows had been there all along.
  view_->selectionModel()->clearCurrentIndex();
  model_->ShowMore(check);
  view_->setCurrentIndex(model_->index(first, 0, check));
}

void ReportWindow::SpanMoreRow(const QModelIndex& check) {
  if (check.isValid() && !check.parent().isValid() && model_->HasMoreRow(check.row())) {
    view_->setFirstColumnSpanned(model_->ShownRows(check.row()), check, true);
  }
}

void ReportWindow::OnContextMenu(const QPoint& at) {
  const QModelIndex index = view_->indexAt(at);
  if (model_->RowAt(index) == nullptr) return;
  view_->setCurrentIndex(index);
  QMenu menu(this);
  edits_panel_->AddRowActions(menu);
  if (!menu.isEmpty()) menu.exec(view_->viewport()->mapToGlobal(at));
}

void ReportWindow::ShowReport(const CheckReport& report) {
  model_->SetReport(nullptr);
  edits_panel_->SetReport(nullptr);
  report_ = report;
  report_.Index();
  setWindowTitle(QStringLiteral("Check report \u2014 %1").arg(QString::fromStdString(report_.job)));
  QString summary = QStringLiteral("<p><b>Job:</b> %1<br/><b>Flagged rows: %2</b>")
                        .arg(QString::fromStdString(report_.job).toHtmlEscaped())
                        .arg(report_.FlaggedRows());
  if (const CheckSection* suspects = report_.Suspects(); suspects && suspects->FlaggedCount() > 0) {
    const int count = suspects->FlaggedCount();
    summary +=
        (count == 1 ? QStringLiteral(" &mdash; 1 suspect observation explains them")
                    : QStringLiteral(" &mdash; %1 suspect observations explain them").arg(count)) +
        QStringLiteral("; choose a row to see its lines in the sketch");
  }
  summary += QStringLiteral("</p>");
  if (report_.incomplete)
    summary += QStringLiteral("<p>The checks could not run to their end.</p>");
  summary_->setHtml(summary);
  precision_use_ = nullptr;
  use_precision_->hide();
  ShowAdjustmentSummary();
  edits_panel_->SetReport(&report_);
  model_->SetReport(&report_);
  // Checks with flagged rows open, the others closed until asked for.
  for (int s = 0; s < model_->rowCount(); ++s) {
    SpanMoreRow(model_->index(s, 0));
    if (report_.sections[static_cast<size_t>(s)].FlaggedCount() > 0) {
      view_->expand(model_->index(s, 0));
    }
  }
  FitColumns();
  const int64_t flagged = report_.FlaggedRows();
  status_->setText(flagged == 1 ? QStringLiteral("1 flagged row")
                                : QStringLiteral("%1 flagged rows").arg(flagged));
}

void ReportWindow::OfferEstimatedPrecision(const QString& preview, PrecisionUse use) {
  precision_use_ = std::move(use);
  use_precision_->setToolTip(preview);
  use_precision_->setEnabled(true);
  use_precision_->setVisible(static_cast<bool>(precision_use_) && !adjustment_->isHidden());
}

void ReportWindow::ShowAdjustmentSummary() {
  const CheckSection* test = nullptr;
  for (const CheckSection& section : report_.sections) {
    if (section.name == ADJUSTMENT_SECTION) test = &section;
  }
  // Without the test (turned off, no approximate coordinates) the line goes.
  if (test == nullptr || report_.summary.empty()) {
    adjustment_->clear();
    adjustment_->hide();
    return;
  }
  adjustment_->setText(QString::fromStdString(report_.summary));
  adjustment_->setToolTip(QString::fromStdString(test->rule));
  adjustment_->setStyleSheet(
      QString::fromLatin1(test->FlaggedCount() > 0 ? REJECTED_STYLE : PASSED_STYLE));
  adjustment_->show();
}

void ReportWindow::FitColumns() {
  const auto fit = [this](int column) {
    view_->resizeColumnToContents(column);
    return view_->columnWidth(column);
  };
  int stations = fit(ReportModel::STATIONS);
  int values = fit(ReportModel::VALUES);
  const int edit = fit(ReportModel::EDIT);
  // Every row's places, also those not paged in yet, in full: the delegate's margins on both
  // sides of the text, as in its size hint, and at least the title.
  const int margins =
      2 * (view_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view_) + 1) + 2;
  const int where = std::max(model_->WhereWidth(view_->fontMetrics()) + margins,
                             view_->header()->sectionSizeHint(ReportModel::WHERE));
  const int note =
      static_cast<const QAbstractItemView*>(view_)->sizeHintForColumn(ReportModel::NOTE);
  // A window not on the screen yet opens as wide as its columns, within the screen.
  // Around the columns: the window's margins, the view's frame and its scroll bar (also before
  // the window was first laid out).
  layout()->activate();
  const int frame = width() - view_->width() + 2 * view_->frameWidth() +
                    view_->verticalScrollBar()->sizeHint().width();
  if (!isVisible()) {
    const QRect screen = this->screen()->availableGeometry();
    const int wanted = stations + values + where + edit + note + frame;
    resize(std::clamp(wanted, WINDOW_WIDTH, std::max(WINDOW_WIDTH, screen.width() * 9 / 10)),
           height());
    layout()->activate();
  }
  // The note keeps a share of the room; the values give up what is missing, down to half
  // their width, then the stations, and are cut in the middle with the whole text in the
  // tooltip. Check titles stand in the stations column: it gives up last.
  const int room = width() - frame - where - edit -
                   std::min(note, static_cast<int>(NOTE_SHARE * (width() - frame)));
  if (stations + values > room) {
    values = std::max(values / 2, room - stations);
    stations = std::max(view_->header()->sectionSizeHint(ReportModel::STATIONS), room - values);
  }
  view_->setColumnWidth(ReportModel::STATIONS, stations);
  view_->setColumnWidth(ReportModel::VALUES, values);
  view_->setColumnWidth(ReportModel::WHERE, where);
}

void ReportWindow::MarkEarlierRun() {
  setWindowTitle(QStringLiteral("Check report \u2014 %1 (an earlier conversion)")
                     .arg(QString::fromStdString(report_.job)));
  status_->setText(
      QStringLiteral("The latest conversion wrote nothing: this is the report of the one before"));
}

bool ReportWindow::SaveTo(const QString& path) {
  const Status fault = WriteReportFile(report_, path.toStdString());
  if (fault.ok()) {
    status_->setText(QStringLiteral("Saved to %1").arg(path));
    return true;
  }
  status_->setText(
      QStringLiteral("Cannot save %1: %2").arg(path, QString::fromStdString(fault.text())));
  return false;
}

void ReportWindow::OnSave() {
  std::optional<QString> path;
  if (save_chooser_) {
    path = save_chooser_();
  } else {
    QString filter = QStringLiteral("HTML page (*.html)");
    const QString chosen = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save check report"), QString(),
        QStringLiteral("HTML page (*.html);;Plain text (*.txt);;JSON for scripts (*.json)"),
        &filter);
    if (!chosen.isEmpty()) {
      path = chosen;
      // A name typed without an extension takes the form chosen in the filter.
      ReportForm form = ReportForm::Text;
      if (!ReportFormOf(chosen.toStdString(), form)) {
        const int star = filter.indexOf(QStringLiteral("*."));
        *path += filter.mid(star + 1, filter.size() - star - 2);
      }
    }
  }
  if (path) SaveTo(*path);
}

}  // namespace fenwix

namespace fenwix {

void ReportWindow::OfferSeed(std::optional<std::pair<double, double>> position) {
  seed_offer_ = position;
  seed_button_->setVisible(position.has_value());
  if (position) {
    seed_button_->setToolTip(QStringLiteral("Latitude %1, longitude %2 (DD.MMSS)")
                                 .arg(position->first, 0, 'f', 5)
                                 .arg(position->second, 0, 'f', 5));
  }
}

}  // namespace fenwix

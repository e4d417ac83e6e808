#include "gui/report_edits_panel.h"

#include <string>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace fenwix {

namespace {

enum Column { CHECK, STATIONS, LINE, NOTE, STATE };
constexpr int LINE_ROLE = Qt::UserRole;
constexpr int REASON_ROLE = Qt::UserRole + 1;
constexpr int FILE_ROLE = Qt::UserRole + 2;
// Rows of the list shown before it scrolls.
constexpr int VISIBLE_ROWS = 6;

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : " - ") + name;
  return text;
}

}  // namespace

ReportEditsPanel::ReportEditsPanel(QWidget* parent) : QWidget(parent) {
  rows_ = new QTreeWidget(this);
  rows_->setObjectName(QStringLiteral("reportRows"));
  rows_->setColumnCount(5);
  rows_->setHeaderLabels({QStringLiteral("Check"), QStringLiteral("Stations"),
                          QStringLiteral("XML file and line"), QStringLiteral("Note"),
                          QStringLiteral("Job")});
  rows_->setRootIsDecorated(false);
  rows_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  rows_->setMaximumHeight(rows_->fontMetrics().height() * (VISIBLE_ROWS + 3));
  connect(rows_, &QTreeWidget::itemSelectionChanged, this, &ReportEditsPanel::OnSelection);

  reason_ = new QLineEdit(this);
  reason_->setObjectName(QStringLiteral("leaveOutReason"));
  leave_out_ = new QPushButton(QStringLiteral("&Leave out"), this);
  leave_out_->setObjectName(QStringLiteral("leaveOutButton"));
  put_back_ = new QPushButton(QStringLiteral("Put &back"), this);
  put_back_->setObjectName(QStringLiteral("putBackRowButton"));
  connect(leave_out_, &QPushButton::clicked, this, &ReportEditsPanel::OnLeaveOut);
  connect(put_back_, &QPushButton::clicked, this, &ReportEditsPanel::OnPutBack);

  auto* line = new QHBoxLayout;
  line->addWidget(new QLabel(QStringLiteral("Reason:"), this));
  line->addWidget(reason_, 1);
  line->addWidget(leave_out_);
  line->addWidget(put_back_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(rows_);
  layout->addLayout(line);
  OnSelection();
}

void ReportEditsPanel::SetLineEdits(LineEdits edits) {
  edits_ = std::move(edits);
  UpdateStates();
  OnSelection();
}

void ReportEditsPanel::ShowRows(const CheckReport& report) {
  rows_->clear();
  const std::vector<std::string> labels = FileLabels(report.files);
  for (const bool flagged : {true, false}) {
    for (const CheckSection& section : report.sections) {
      for (const CheckRow& row : section.rows) {
        if (row.flagged != flagged) continue;
        for (const SourceLocation& source : row.sources) {
          if (!source.known()) continue;
          auto* item =
              new QTreeWidgetItem(rows_, {QString::fromStdString(section.title),
                                          QString::fromStdString(Joined(row.stations)),
                                          QString::fromStdString(SourceText(source, labels)),
                                          QString::fromStdString(row.note), QString()});
          item->setData(0, FILE_ROLE, source.file);
          item->setData(0, LINE_ROLE, source.line);
          const std::string reason = section.title + (row.note.empty() ? "" : ": " + row.note);
          item->setData(0, REASON_ROLE, QString::fromStdString(reason));
        }
      }
    }
  }
  UpdateStates();
  OnSelection();
}

SourceLocation ReportEditsPanel::Selected() const {
  const QTreeWidgetItem* item = rows_->currentItem();
  if (item == nullptr || !item->isSelected()) return SourceLocation{};
  return SourceLocation{item->data(0, FILE_ROLE).toInt(), item->data(0, LINE_ROLE).toInt()};
}

void ReportEditsPanel::OnSelection() {
  const SourceLocation at = Selected();
  const bool usable = at.known() && edits_.leave_out && edits_.is_left_out;
  const bool left_out = usable && edits_.is_left_out(at);
  leave_out_->setEnabled(usable && !left_out);
  put_back_->setEnabled(left_out);
  if (at.known()) reason_->setText(rows_->currentItem()->data(0, REASON_ROLE).toString());
}

void ReportEditsPanel::OnLeaveOut() {
  const SourceLocation at = Selected();
  if (!at.known() || !edits_.leave_out) return;
  edits_.leave_out(at, reason_->text());
  UpdateStates();
  OnSelection();
}

void ReportEditsPanel::OnPutBack() {
  const SourceLocation at = Selected();
  if (!at.known() || !edits_.put_back) return;
  edits_.put_back(at);
  UpdateStates();
  OnSelection();
}

void ReportEditsPanel::UpdateStates() {
  for (int i = 0; i < rows_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = rows_->topLevelItem(i);
    const SourceLocation at{item->data(0, FILE_ROLE).toInt(), item->data(0, LINE_ROLE).toInt()};
    const bool left_out = edits_.is_left_out && edits_.is_left_out(at);
    item->setText(STATE, left_out ? QStringLiteral("left out") : QString());
  }
}

}  // namespace fenwix

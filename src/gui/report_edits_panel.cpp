#include "gui/report_edits_panel.h"

#include <algorithm>
#include <tuple>

#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include "model/station_names.h"

namespace fenwix {

namespace {

// The check whose rows name a station seen in one observation only: often a mistyped name.
constexpr std::string_view SEEN_ONCE_SECTION = "seen_once";

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

// A row's names as one text: "P12, p12".
QString NameList(const std::vector<std::string>& names) {
  QStringList list;
  for (const std::string& name : names) list << Text(name);
  return list.join(QStringLiteral(", "));
}

}  // namespace

ReportEditsPanel::ReportEditsPanel(QWidget* parent) : QWidget(parent) {
  reason_ = new QLineEdit(this);
  reason_->setObjectName(QStringLiteral("leaveOutReason"));
  reason_->setToolTip(QStringLiteral("Why the reading is left out: the job file keeps it"));
  leave_out_ = new QPushButton(QStringLiteral("&Leave out"), this);
  leave_out_->setObjectName(QStringLiteral("leaveOutButton"));
  put_back_ = new QPushButton(QStringLiteral("Put &back"), this);
  put_back_->setObjectName(QStringLiteral("putBackRowButton"));
  rename_ = new QPushButton(QStringLiteral("&Rename..."), this);
  rename_->setObjectName(QStringLiteral("renameButton"));
  connect(leave_out_, &QPushButton::clicked, this, [this] {
    const std::vector<SourceLocation> lines =
        row_ ? Readings(*row_) : std::vector<SourceLocation>{};
    if (lines.size() == 1) LeaveOut(lines.front());
  });
  connect(put_back_, &QPushButton::clicked, this, [this] {
    const std::vector<SourceLocation> lines =
        row_ ? Readings(*row_) : std::vector<SourceLocation>{};
    if (lines.size() == 1) PutBack(lines.front());
  });
  connect(rename_, &QPushButton::clicked, this, &ReportEditsPanel::AskRename);
  rename_reading_ = new QPushButton(QStringLiteral("Rename the &sight"), this);
  rename_reading_->setObjectName(QStringLiteral("renameReadingButton"));
  connect(rename_reading_, &QPushButton::clicked, this, &ReportEditsPanel::RenameReading);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(new QLabel(QStringLiteral("Reason:"), this));
  layout->addWidget(reason_, 1);
  layout->addWidget(leave_out_);
  layout->addWidget(put_back_);
  layout->addWidget(rename_);
  layout->addWidget(rename_reading_);
  UpdateStates();
}

void ReportEditsPanel::SetLineEdits(LineEdits edits) {
  edits_ = std::move(edits);
  UpdateStates();
}

void ReportEditsPanel::SetReport(const CheckReport* report) {
  report_ = report;
  file_labels_ = report != nullptr ? FileLabels(report->files) : std::vector<std::string>{};
  ShowRow(nullptr, nullptr);
}

void ReportEditsPanel::ShowRow(const CheckSection* section, const CheckRow* row) {
  section_ = row != nullptr ? section : nullptr;
  row_ = section_ != nullptr ? row : nullptr;
  // A suspect row's own note lists every row it explains; the check that names its reading
  // says why in a few words.
  if (row_ == nullptr) {
    reason_->clear();
  } else if (section_->name == SUSPECTS_SECTION && row_->sources.size() == 1 &&
             report_ != nullptr) {
    reason_->setText(Text(report_->ReasonFor(row_->sources[0])));
  } else {
    reason_->setText(Text(RowReason(*section_, *row_)));
  }
  reason_->setCursorPosition(0);  // a long reason shows its start, the check's title
  UpdateStates();
}

std::vector<SourceLocation> ReportEditsPanel::Readings(const CheckRow& row) {
  std::vector<SourceLocation> lines;
  for (const SourceLocation& source : row.sources) {
    if (source.known() && std::find(lines.begin(), lines.end(), source) == lines.end()) {
      lines.push_back(source);
    }
  }
  return lines;
}

bool ReportEditsPanel::IsLeftOut(SourceLocation at) const {
  return edits_.is_left_out && edits_.is_left_out(at);
}

bool ReportEditsPanel::CanRename() const {
  return row_ != nullptr && section_->name == LOOK_ALIKE_SECTION && row_->stations.size() >= 2 &&
         edits_.rename;
}

bool ReportEditsPanel::CanRenameReading() const {
  return row_ != nullptr && row_->diagnosis && !row_->diagnosis->fits.empty() &&
         !row_->diagnosis->labelled.empty() && !row_->diagnosis->readings.empty() &&
         edits_.rename_reading;
}

void ReportEditsPanel::RenameReading() {
  if (!CanRenameReading()) return;
  const RowDiagnosis& d = *row_->diagnosis;
  for (const SourceLocation& at : d.readings) edits_.rename_reading(at, d.labelled, d.fits);
  UpdateStates();
  emit Edited();
}

void ReportEditsPanel::LeaveOut(SourceLocation at) {
  if (!edits_.leave_out || IsLeftOut(at)) return;
  edits_.leave_out(at, reason_->text());
  UpdateStates();
  emit Edited();
}

void ReportEditsPanel::PutBack(SourceLocation at) {
  if (!edits_.put_back || !IsLeftOut(at)) return;
  edits_.put_back(at);
  UpdateStates();
  emit Edited();
}

void ReportEditsPanel::UpdateStates() {
  const std::vector<SourceLocation> lines = row_ ? Readings(*row_) : std::vector<SourceLocation>{};
  const bool one = lines.size() == 1 && edits_.leave_out && edits_.put_back;
  const bool left_out = one && IsLeftOut(lines.front());
  leave_out_->setEnabled(one && !left_out);
  put_back_->setEnabled(left_out);
  QString why;
  if (row_ == nullptr) {
    why = QStringLiteral("Choose a row of the report that names one XML line");
  } else if (lines.empty()) {
    why = QStringLiteral("This row names no XML line");
  } else if (lines.size() > 1) {
    // Leaving out every reading of a failing loop would hide the loop, not find its blunder.
    why = QStringLiteral(
              "This row names %1 XML lines: leave out one of them from the row's context menu, "
              "or choose the suspect row that explains it")
              .arg(lines.size());
  } else {
    why = QStringLiteral("The element that starts on line %1 is read as if it were not there")
              .arg(Text(SourceText(lines.front(), file_labels_)));
  }
  leave_out_->setToolTip(why);
  put_back_->setToolTip(one ? QStringLiteral("Read the element again at the next conversion")
                            : why);
  rename_reading_->setEnabled(CanRenameReading());
  if (CanRenameReading()) {
    const RowDiagnosis& d = *row_->diagnosis;
    rename_reading_->setText(
        QStringLiteral("Read %1 as %2 in this &sight").arg(Text(d.labelled), Text(d.fits)));
    rename_reading_->setToolTip(
        QStringLiteral("The sight fits %1: read its name as %1 on line %2 only, from the next "
                       "conversion on")
            .arg(Text(d.fits), Text(SourceText(d.readings.front(), file_labels_))));
  } else {
    rename_reading_->setText(QStringLiteral("Rename the &sight"));
    rename_reading_->setToolTip(
        QStringLiteral("Choose a suspect whose sight fits another station to read it with that "
                       "station's name"));
  }
  rename_->setEnabled(CanRename());
  rename_->setToolTip(CanRename()
                          ? QStringLiteral("Read these names as one of them from the next "
                                           "conversion on")
                          : QStringLiteral("Choose a row of \"Look-alike names\" to read its "
                                           "names as one"));
}

void ReportEditsPanel::AddRowActions(QMenu& menu) {
  if (row_ == nullptr) return;
  if (edits_.leave_out && edits_.put_back) {
    for (const SourceLocation& at : Readings(*row_)) {
      const QString where = Text(SourceText(at, file_labels_));
      if (IsLeftOut(at)) {
        menu.addAction(QStringLiteral("Put back line %1").arg(where), this,
                       [this, at] { PutBack(at); });
      } else {
        menu.addAction(QStringLiteral("Leave out line %1").arg(where), this,
                       [this, at] { LeaveOut(at); });
      }
    }
  }
  if (CanRename()) {
    menu.addAction(QStringLiteral("Rename..."), this, &ReportEditsPanel::AskRename);
  }
  if (CanRenameReading()) {
    menu.addAction(rename_reading_->text().remove(QLatin1Char('&')), this,
                   &ReportEditsPanel::RenameReading);
  }
}

std::string ReportEditsPanel::PreferredName(const CheckReport& report, const CheckRow& row) {
  std::vector<std::string> seen_once;
  for (const CheckSection& section : report.sections) {
    if (section.name != SEEN_ONCE_SECTION) continue;
    for (const CheckRow& once : section.rows) {
      if (once.flagged)
        seen_once.insert(seen_once.end(), once.stations.begin(), once.stations.end());
    }
  }
  const auto rank = [&](size_t i) {
    const std::string& name = row.stations[i];
    const bool once = std::find(seen_once.begin(), seen_once.end(), name) != seen_once.end();
    return std::make_tuple(once, report.StationFlags(name).size(), i);
  };
  size_t best = 0;
  for (size_t i = 1; i < row.stations.size(); ++i) {
    if (rank(i) < rank(best)) best = i;
  }
  return row.stations.empty() ? std::string() : row.stations[best];
}

void ReportEditsPanel::AskRename() {
  if (!CanRename() || report_ == nullptr) return;
  const std::vector<std::string> names = row_->stations;
  QStringList items;
  for (const std::string& name : names) items << Text(name);
  QInputDialog dialog(this);
  dialog.setObjectName(QStringLiteral("renameDialog"));
  dialog.setWindowTitle(QStringLiteral("Rename"));
  dialog.setLabelText(
      QStringLiteral("Read the names %1 in every field file as:").arg(NameList(names)));
  dialog.setComboBoxItems(items);
  dialog.setComboBoxEditable(false);
  dialog.setTextValue(Text(PreferredName(*report_, *row_)));
  if (dialog.exec() != QDialog::Accepted) return;
  const std::string to = dialog.textValue().toStdString();
  // The names offered are names read, which a record always carries; one that could not would
  // break every record it is written in.
  if (const NameFault fault = StationNameFault(to); fault != NameFault::None) {
    QMessageBox::warning(this, QStringLiteral("Rename"),
                         QStringLiteral("The name \"%1\" %2, which no record of the adjustment "
                                        "file can carry.")
                             .arg(Text(VisibleName(to)), Text(std::string(NameFaultText(fault)))));
    return;
  }
  for (const std::string& from : names) {
    if (from == to) continue;
    if (!edits_.renamed_as || edits_.renamed_as(from) != to) edits_.rename(from, to);
  }
  UpdateStates();
  emit Edited();
}

ReportModel::RowMark ReportEditsPanel::MarkOf(const CheckSection& section,
                                              const CheckRow& row) const {
  ReportModel::RowMark mark;
  if (section.name == LOOK_ALIKE_SECTION && edits_.renamed_as) {
    QStringList renamed;
    for (const std::string& name : row.stations) {
      const std::string to = edits_.renamed_as(name);
      if (!to.empty()) renamed << QStringLiteral("%1 read as %2").arg(Text(name), Text(to));
    }
    mark.text = renamed.join(QStringLiteral(", "));
    return mark;
  }
  if (!edits_.is_left_out || row.sources.empty()) return mark;
  const std::vector<SourceLocation> lines = Readings(row);
  QStringList left;
  for (const SourceLocation& at : lines) {
    if (edits_.is_left_out(at)) left << Text(SourceText(at, file_labels_));
  }
  mark.left_out = !left.empty() && left.size() == static_cast<qsizetype>(lines.size());
  if (mark.left_out) {
    mark.text = QStringLiteral("left out");
  } else if (!left.empty()) {
    mark.text = QStringLiteral("left out: %1").arg(left.join(QStringLiteral(",")));
  }
  return mark;
}

}  // namespace fenwix

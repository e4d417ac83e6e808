#include "gui/report_model.h"

#include <algorithm>
#include <cmath>

#include <QBrush>
#include <QColor>
#include <QFont>

#include "model/source_location.h"

namespace fenwix {

namespace {

// internalId of a check's own item; a row's item carries its check's index plus one.
constexpr quintptr SECTION_ITEM = 0;

const QColor FLAGGED_BACKGROUND(0xff, 0xd6, 0xd0);
const QColor SUSPECT_BACKGROUND(0xf6, 0xc8, 0xe4);
const QColor LEFT_OUT_TEXT(0x80, 0x80, 0x80);

size_t Digits(int32_t number) {
  size_t digits = 1;
  for (; number >= 10; number /= 10) ++digits;
  return digits;
}

QString ValueText(double value, int decimals) {
  if (std::isnan(value)) return QString();
  if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals)) value = 0.0;
  return QString::number(value, 'f', decimals);
}

}  // namespace

ReportModel::ReportModel(QObject* parent) : QAbstractItemModel(parent) {}

void ReportModel::SetReport(const CheckReport* report) {
  beginResetModel();
  report_ = report;
  shown_.clear();
  more_row_.clear();
  flagged_.clear();
  file_labels_.clear();
  if (report_ != nullptr) {
    file_labels_ = FileLabels(report_->files);
    for (const CheckSection& section : report_->sections) {
      // Flagged rows come first in every check: all of them, then a page of passing ones.
      flagged_.push_back(section.FlaggedCount());
      const size_t flagged = static_cast<size_t>(flagged_.back());
      shown_.push_back(static_cast<int>(
          std::min(section.rows.size(), flagged + static_cast<size_t>(PAGE_ROWS))));
      more_row_.push_back(static_cast<size_t>(shown_.back()) < section.rows.size());
    }
  }
  endResetModel();
}

const CheckRow* ReportModel::RowAt(const QModelIndex& index) const {
  const CheckSection* section = SectionAt(index);
  if (section == nullptr || IsMoreRow(index)) return nullptr;
  return &section->rows[static_cast<size_t>(index.row())];
}

bool ReportModel::IsMoreRow(const QModelIndex& index) const {
  if (SectionAt(index) == nullptr) return false;
  return index.row() >= ShownRows(static_cast<int>(index.internalId() - 1));
}

const CheckSection* ReportModel::SectionAt(const QModelIndex& index) const {
  if (!index.isValid() || index.internalId() == SECTION_ITEM || report_ == nullptr) return nullptr;
  return &report_->sections[index.internalId() - 1];
}

void ReportModel::MarksChanged() {
  if (report_ == nullptr) return;
  for (int s = 0; s < static_cast<int>(shown_.size()); ++s) {
    if (shown_[static_cast<size_t>(s)] == 0) continue;
    const QModelIndex check = index(s, 0);
    emit dataChanged(index(0, 0, check), index(ShownRows(s) - 1, COLUMN_COUNT - 1, check));
  }
}

QModelIndex ReportModel::index(int row, int column, const QModelIndex& parent) const {
  if (report_ == nullptr || row < 0 || column < 0 || column >= COLUMN_COUNT) return {};
  if (!parent.isValid()) {
    if (static_cast<size_t>(row) >= report_->sections.size()) return {};
    return createIndex(row, column, SECTION_ITEM);
  }
  if (parent.internalId() != SECTION_ITEM || row >= rowCount(parent)) return {};
  return createIndex(row, column, static_cast<quintptr>(parent.row()) + 1);
}

QModelIndex ReportModel::parent(const QModelIndex& child) const {
  if (!child.isValid() || child.internalId() == SECTION_ITEM) return {};
  return createIndex(static_cast<int>(child.internalId() - 1), 0, SECTION_ITEM);
}

int ReportModel::rowCount(const QModelIndex& parent) const {
  if (report_ == nullptr) return 0;
  if (!parent.isValid()) return static_cast<int>(report_->sections.size());
  if (parent.internalId() != SECTION_ITEM || parent.column() != 0) return 0;
  return ShownRows(parent.row()) + (HasMoreRow(parent.row()) ? 1 : 0);
}

int ReportModel::columnCount(const QModelIndex&) const {
  return COLUMN_COUNT;
}

QVariant ReportModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case STATIONS:
      return QStringLiteral("Check / stations");
    case VALUES:
      return QStringLiteral("Values");
    case WHERE:
      return QStringLiteral("File:line");
    case EDIT:
      return QStringLiteral("Job");
    case NOTE:
      return QStringLiteral("Note");
    default:
      return {};
  }
}

QVariant ReportModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || report_ == nullptr) return {};
  if (index.internalId() != SECTION_ITEM) {
    const CheckSection& section = report_->sections[index.internalId() - 1];
    const int shown = ShownRows(static_cast<int>(index.internalId() - 1));
    if (index.row() >= shown) return MoreRowData(section, shown, index.column(), role);
    return RowData(section, section.rows[static_cast<size_t>(index.row())], index.column(), role);
  }
  const CheckSection& section = report_->sections[static_cast<size_t>(index.row())];
  const int flagged = flagged_[static_cast<size_t>(index.row())];
  if (role == Qt::FontRole) {
    QFont font;
    font.setBold(true);
    return font;
  }
  if (role == Qt::BackgroundRole && flagged > 0) {
    return QBrush(section.name == SUSPECTS_SECTION ? SUSPECT_BACKGROUND : FLAGGED_BACKGROUND);
  }
  if (role == Qt::ToolTipRole) return QString::fromStdString("Flagged when: " + section.rule);
  if (role != Qt::DisplayRole) return {};
  const int64_t total = static_cast<int64_t>(section.rows.size()) + section.unlisted_rows;
  if (index.column() == STATIONS) return QString::fromStdString(section.title);
  if (index.column() == VALUES) {
    return (total == 1
                ? QStringLiteral("1 row, %1 flagged").arg(section.FlaggedTotal())
                : QStringLiteral("%1 rows, %2 flagged").arg(total).arg(section.FlaggedTotal()));
  }
  if (index.column() == NOTE && section.unlisted_rows > 0) {
    if (section.unlisted_rows == 1) {
      return section.unlisted_flagged ? QStringLiteral("1 flagged row counted, not listed")
                                      : QStringLiteral("1 passing row not listed");
    }
    return (section.unlisted_flagged ? QStringLiteral("%1 flagged rows counted, not listed")
                                     : QStringLiteral("%1 passing rows not listed"))
        .arg(section.unlisted_rows);
  }
  return {};
}

QVariant ReportModel::RowData(const CheckSection& section, const CheckRow& row, int column,
                              int role) const {
  if (role == Qt::BackgroundRole && row.flagged) {
    return QBrush(section.name == SUSPECTS_SECTION ? SUSPECT_BACKGROUND : FLAGGED_BACKGROUND);
  }
  if ((role == Qt::FontRole || role == Qt::ForegroundRole) && mark_of_) {
    if (!mark_of_(section, row).left_out) return {};
    if (role == Qt::ForegroundRole) return QBrush(LEFT_OUT_TEXT);
    QFont font;
    font.setStrikeOut(column != EDIT);
    return font;
  }
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  QString text;
  switch (column) {
    case STATIONS:
      if (row.flagged) text = QStringLiteral("* ");
      for (size_t i = 0; i < row.stations.size(); ++i) {
        if (i > 0) text += QStringLiteral(" - ");
        text += QString::fromStdString(row.stations[i]);
      }
      break;
    case VALUES:
      for (size_t i = 0; i < row.values.size() && i < section.columns.size(); ++i) {
        const QString value = ValueText(row.values[i], section.columns[i].decimals);
        if (value.isEmpty()) continue;
        if (!text.isEmpty()) text += QStringLiteral("  ");
        text += QString::fromStdString(section.columns[i].name) + ' ' + value;
      }
      if (row.flagged && row.ratio > 0.0 && std::isfinite(row.ratio)) {
        text += QStringLiteral("  (%1 x limit)").arg(row.ratio, 0, 'f', 1);
      }
      break;
    case WHERE:
      text = WhereText(row, role == Qt::ToolTipRole);
      break;
    case EDIT:
      if (mark_of_) text = mark_of_(section, row).text;
      break;
    case NOTE:
      text = QString::fromStdString(row.note);
      break;
    default:
      break;
  }
  return text;
}

std::pair<size_t, size_t> ReportModel::WhereShown(const CheckRow& row) const {
  size_t shown = 0, known = 0, chars = 0;
  for (const SourceLocation& source : row.sources) {
    if (!source.known()) continue;
    ++known;
    size_t length = Digits(source.line) + (known > 1 ? 1 : 0);
    if (file_labels_.size() >= 2 && static_cast<size_t>(source.file) < file_labels_.size()) {
      length += file_labels_[static_cast<size_t>(source.file)].size() + 1;
    }
    chars += length;
    if (shown + 1 == known && (shown == 0 || chars <= WHERE_CHARS)) ++shown;
  }
  return {shown, known};
}

QString ReportModel::WhereText(const CheckRow& row, bool whole) const {
  const auto [shown, known] = WhereShown(row);
  QString text;
  size_t listed = 0;
  for (const SourceLocation& source : row.sources) {
    if (!source.known() || (!whole && listed == shown)) continue;
    if (!text.isEmpty()) text += ',';
    text += QString::fromStdString(SourceText(source, file_labels_));
    ++listed;
  }
  if (known > listed) text += QStringLiteral(" +%1 more").arg(known - listed);
  return text;
}

int ReportModel::WhereWidth(const QFontMetrics& metrics) const {
  if (report_ == nullptr) return 0;
  int digit = 0;
  for (char c = '0'; c <= '9'; ++c) digit = std::max(digit, metrics.horizontalAdvance(QChar(c)));
  // A label's width with its colon; a one-file job writes the bare line.
  std::vector<int> label_width;
  if (file_labels_.size() >= 2) {
    for (const std::string& label : file_labels_) {
      label_width.push_back(metrics.horizontalAdvance(QString::fromStdString(label + ":")));
    }
  }
  const int comma = metrics.horizontalAdvance(QChar(','));
  int widest = 0;
  for (const CheckSection& section : report_->sections) {
    for (const CheckRow& row : section.rows) {
      const auto [shown, known] = WhereShown(row);
      int width = 0;
      size_t listed = 0;
      for (const SourceLocation& source : row.sources) {
        if (!source.known() || listed == shown) continue;
        if (listed++ > 0) width += comma;
        if (static_cast<size_t>(source.file) < label_width.size()) {
          width += label_width[static_cast<size_t>(source.file)];
        }
        width += digit * static_cast<int>(Digits(source.line));
      }
      if (known > shown) {
        width += metrics.horizontalAdvance(QStringLiteral(" +%1 more").arg(known - shown));
      }
      widest = std::max(widest, width);
    }
  }
  return widest;
}

QVariant ReportModel::MoreRowData(const CheckSection& section, int shown, int column,
                                  int role) const {
  if (column != STATIONS) return {};
  const auto hidden = static_cast<qsizetype>(section.rows.size()) - shown;
  const qsizetype next = std::min(hidden, static_cast<qsizetype>(PAGE_ROWS));
  if (role == Qt::FontRole) {
    QFont font;
    font.setItalic(true);
    return font;
  }
  if (role == Qt::ToolTipRole) {
    return QStringLiteral("Choose this line to show the next %L1 passing rows of the check")
        .arg(next);
  }
  if (role != Qt::DisplayRole) return {};
  // Flagged rows are all shown first: what is left to show is passing.
  const QString rows = hidden == 1 ? QStringLiteral("\u2026 1 more passing row")
                                   : QStringLiteral("\u2026 %L1 more passing rows").arg(hidden);
  if (hidden == 1) return rows + QStringLiteral(" (show it)");
  if (next == hidden) return rows + QStringLiteral(" (show them)");
  return rows + QStringLiteral(" (show the next %L1)").arg(next);
}

void ReportModel::ShowMore(const QModelIndex& parent) {
  if (report_ == nullptr || !parent.isValid() || parent.internalId() != SECTION_ITEM ||
      !HasMoreRow(parent.row())) {
    return;
  }
  const CheckSection& section = report_->sections[static_cast<size_t>(parent.row())];
  const int shown = ShownRows(parent.row());
  const int more = static_cast<int>(
      std::min(section.rows.size() - static_cast<size_t>(shown), static_cast<size_t>(PAGE_ROWS)));
  // The new rows go in before the more-row (a view's current row on it moves down with it),
  // which then goes once nothing is left to show.
  beginInsertRows(parent, shown, shown + more - 1);
  shown_[static_cast<size_t>(parent.row())] = shown + more;
  endInsertRows();
  if (static_cast<size_t>(shown + more) == section.rows.size()) {
    beginRemoveRows(parent, shown + more, shown + more);
    more_row_[static_cast<size_t>(parent.row())] = false;
    endRemoveRows();
  }
}

}  // namespace fenwix

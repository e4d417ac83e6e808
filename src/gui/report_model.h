#pragma once
// The check report as a tree for a view: one item per check, its rows below. The model reads
// the report's own rows and builds nothing per row; each check shows its flagged rows and a
// first page of passing rows, so that a report of tens of thousands of rows opens at once. A
// check not fully shown ends in a more-row ("… 1,800 more passing rows (show the next 200)")
// that has no report row behind it: choosing it pages in the next rows (ShowMore). The model
// offers no canFetchMore: a tree view fetches by itself only for the last open check as it
// scrolls to the end, and for every open one at each new layout, which reaches some checks'
// rows never and others' unasked. A column tells what the job does to each row's readings (left
// out, names read as others), asked of the row when shown.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <QAbstractItemModel>
#include <QFontMetrics>

#include "checks/check_report.h"

namespace fenwix {

class ReportModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  // Passing rows added to a check per page.
  static constexpr int PAGE_ROWS = 200;
  // Characters of places that a row's File:line column shows whole before "+N more" (always
  // at least one place); its tooltip lists them all.
  static constexpr size_t WHERE_CHARS = 24;
  enum Column { STATIONS, VALUES, WHERE, EDIT, NOTE, COLUMN_COUNT };

  // What the job does to a row: the words of its EDIT column, and whether every reading the
  // row names is left out (the row is then struck through and greyed).
  struct RowMark {
    QString text;
    bool left_out = false;
  };
  using MarkOf = std::function<RowMark(const CheckSection& section, const CheckRow& row)>;

  explicit ReportModel(QObject* parent = nullptr);

  // Shows report, which must outlive the model's use of it (the window keeps it).
  void SetReport(const CheckReport* report);
  void SetMarkOf(MarkOf mark_of) { mark_of_ = std::move(mark_of); }
  // The job's edits changed: the rows shown so far are marked again.
  void MarksChanged();

  // The report row behind an index, or null for a check's own item and for a more-row.
  const CheckRow* RowAt(const QModelIndex& index) const;
  // The check of a row's (or more-row's) index, or null for a check's own item.
  const CheckSection* SectionAt(const QModelIndex& index) const;
  // Report rows of a check shown so far; its more-row, when it has one, comes after them.
  int ShownRows(int section) const { return shown_.at(static_cast<size_t>(section)); }
  bool HasMoreRow(int section) const { return more_row_.at(static_cast<size_t>(section)); }
  // Pixels that the widest File:line text of any row of the report takes in this font, shown
  // or not yet, so that the column never has to cut one. Summed from the widths of the file
  // labels and of the widest digit, never measured row by row: a report may hold 100,000 rows.
  int WhereWidth(const QFontMetrics& metrics) const;
  // Whether index is the more-row of its check.
  bool IsMoreRow(const QModelIndex& index) const;
  // Shows the next PAGE_ROWS rows of check (a check's own item) before its more-row, which
  // goes once the check is shown whole.
  void ShowMore(const QModelIndex& check);

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  QVariant RowData(const CheckSection& section, const CheckRow& row, int column, int role) const;
  QVariant MoreRowData(const CheckSection& section, int shown, int column, int role) const;
  // "file:line,file:line" of the row's known sources: all of them, or those within WHERE_CHARS
  // and a count of the rest.
  QString WhereText(const CheckRow& row, bool whole) const;
  // How many known sources of the row the column shows, and how many it has.
  std::pair<size_t, size_t> WhereShown(const CheckRow& row) const;

  const CheckReport* report_ = nullptr;
  MarkOf mark_of_;
  std::vector<int> shown_;      // per check
  std::vector<char> more_row_;  // per check: ends in a more-row
  std::vector<int> flagged_;    // per check
  std::vector<std::string> file_labels_;
};

}  // namespace fenwix

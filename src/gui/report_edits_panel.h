#pragma once
// Under the check report: its rows that point at readings of the field files, one line each
// (check, stations, file and line, note), with "Leave out" and "Put back" for the element that
// starts there. The reason starts as the check's own words and can be changed first.
//
// Object names: "reportRows", "leaveOutReason", "leaveOutButton", "putBackRowButton".

#include <cstdint>
#include <functional>

#include <QString>
#include <QWidget>

#include "checks/check_report.h"
#include "model/source_location.h"

class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace fenwix {

// What the panel does to the job: set by the main window, which keeps the job file.
struct LineEdits {
  std::function<void(SourceLocation at, const QString& reason)> leave_out;
  std::function<void(SourceLocation at)> put_back;
  std::function<bool(SourceLocation at)> is_left_out;
};

class ReportEditsPanel : public QWidget {
  Q_OBJECT

 public:
  explicit ReportEditsPanel(QWidget* parent);
  void SetLineEdits(LineEdits edits);
  // Lists the rows of the report that name XML lines, flagged rows first.
  void ShowRows(const CheckReport& report);
  QTreeWidget* rows() const { return rows_; }

 private:
  void OnSelection();
  void OnLeaveOut();
  void OnPutBack();
  // The reading of the selected row; line 0 when none is selected.
  SourceLocation Selected() const;
  void UpdateStates();

  LineEdits edits_;
  QTreeWidget* rows_ = nullptr;
  QLineEdit* reason_ = nullptr;
  QPushButton* leave_out_ = nullptr;
  QPushButton* put_back_ = nullptr;
};

}  // namespace fenwix

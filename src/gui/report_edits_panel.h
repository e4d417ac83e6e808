#pragma once
// Under the check report's tree: what the job may do with the chosen row. "Leave out" and
// "Put back" act on the element that starts on the one XML line the row names (a suspect row
// names its one observation); a row naming several lines offers each one in the tree's context
// menu instead. The reason starts as the check's own words and can be changed first. From a
// row of look-alike names, "Rename..." reads the group's names as one.
//
// Object names: "leaveOutReason", "leaveOutButton", "putBackRowButton", "renameButton",
// "renameDialog", "renameReadingButton" (a suspect whose sight fits another station: its
// readings are read with that station's name).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <QString>
#include <QWidget>

#include "checks/check_report.h"
#include "gui/report_model.h"
#include "model/source_location.h"

class QLineEdit;
class QMenu;
class QPushButton;

namespace fenwix {

// What the panel does to the job: set by the main window, which keeps the job file.
struct LineEdits {
  std::function<void(SourceLocation at, const QString& reason)> leave_out;
  std::function<void(SourceLocation at)> put_back;
  std::function<bool(SourceLocation at)> is_left_out;
  // Reads the station name `from` as `to` in every field file from the next conversion on.
  std::function<void(const std::string& from, const std::string& to)> rename;
  // The name the job reads a name as; empty when it reads it as itself.
  std::function<std::string(const std::string& name)> renamed_as;
  // Reads `from` as `to` in the one element that starts at `at` (a sight labelled with the
  // wrong point), from the next conversion on.
  std::function<void(SourceLocation at, const std::string& from, const std::string& to)>
      rename_reading;
};

// Identifier of the check whose rows are groups of look-alike names.
inline constexpr std::string_view LOOK_ALIKE_SECTION = "look_alike_names";

class ReportEditsPanel : public QWidget {
  Q_OBJECT

 public:
  explicit ReportEditsPanel(QWidget* parent);
  void SetLineEdits(LineEdits edits);
  // The report whose rows are chosen next; it must outlive its use (the window keeps it).
  void SetReport(const CheckReport* report);
  // The row chosen in the report's tree; null for none or a check's own item.
  void ShowRow(const CheckSection* section, const CheckRow* row);
  // The job's edits changed elsewhere (the Edits window, the sketch).
  void Refresh() { UpdateStates(); }
  // Leave out / Put back for each line of the chosen row, and its rename.
  void AddRowActions(QMenu& menu);
  // How the tree marks a row: its left-out lines, or the names the job reads as others.
  ReportModel::RowMark MarkOf(const CheckSection& section, const CheckRow& row) const;

  // The distinct XML lines a row names.
  static std::vector<SourceLocation> Readings(const CheckRow& row);
  // The name of a look-alike group that the others are most likely mistypings of: one that no
  // "Stations seen once" row names, then the one the fewest flagged rows name, then the first
  // read. The report must be indexed.
  static std::string PreferredName(const CheckReport& report, const CheckRow& row);

 signals:
  // The panel changed the job's edits.
  void Edited();

 private:
  void LeaveOut(SourceLocation at);
  void PutBack(SourceLocation at);
  void AskRename();
  bool IsLeftOut(SourceLocation at) const;
  bool CanRename() const;
  // The suspect row's wrong name, when its readings can be renamed.
  bool CanRenameReading() const;
  void RenameReading();
  void UpdateStates();

  LineEdits edits_;
  const CheckReport* report_ = nullptr;
  std::vector<std::string> file_labels_;
  const CheckSection* section_ = nullptr;
  const CheckRow* row_ = nullptr;
  QLineEdit* reason_ = nullptr;
  QPushButton* leave_out_ = nullptr;
  QPushButton* put_back_ = nullptr;
  QPushButton* rename_ = nullptr;
  QPushButton* rename_reading_ = nullptr;
};

}  // namespace fenwix

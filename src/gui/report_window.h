#pragma once
// The check report of the last conversion in a window of its own: a short summary, the
// adjustment test's summary line when the test ran, then one tree of the checks and their rows
// (flagged rows first and highlighted, passing rows paged in as each check's more-row is
// chosen), and a Save button that writes any of the three forms.
// Choosing a row tells whoever listens (the sketch) which row it is; below the tree (and in a row's
// context menu) the job's edits act on the chosen row, and its "Job" column marks what they did.

#include <functional>
#include <optional>
#include <utility>

#include <QDialog>
#include <QString>

#include "checks/check_report.h"
#include "gui/report_edits_panel.h"

class QLabel;
class QPushButton;
class QTextBrowser;
class QTreeView;

namespace fenwix {

class ReportModel;

class ReportWindow : public QDialog {
  Q_OBJECT

 public:
  // Asks where to save; nothing when the person cancelled. Tests answer it themselves.
  using SaveChooser = std::function<std::optional<QString>()>;

  explicit ReportWindow(QWidget* parent = nullptr);
  // The view lets go of the model first: the model reads report_, which goes before the
  // dialog's own destructor hides the view (and a hidden view still lays out its rows).
  ~ReportWindow() override;

  // Shows a report; the window keeps its own copy, so that the sketch and other windows can ask
  // it which stations and observations are flagged and why.
  // The title names the job checked.
  void ShowReport(const CheckReport& report);
  // The latest conversion wrote nothing: the title and the status line say that the report
  // shown is of an earlier one.
  void MarkEarlierRun();
  const CheckReport& report() const { return report_; }
  ReportModel* model() const { return model_; }
  QTreeView* view() const { return view_; }

  void SetSaveChooser(SaveChooser chooser) { save_chooser_ = std::move(chooser); }
  // Offers the job's own precision, as the adjustment test of the report shown estimated it:
  // the "Use the estimated precision" button beside the test's summary, its tooltip saying
  // what would change (preview). Choosing it calls use once, which returns what it did for the
  // status line. The next ShowReport takes the offer back.
  using PrecisionUse = std::function<QString()>;
  void OfferEstimatedPrecision(const QString& preview, PrecisionUse use);
  QPushButton* estimated_precision_button() const { return use_precision_; }
  // Where the seed disagrees with the network: the position (packed DD.MMSS latitude and
  // longitude) a button offers to put in the dialog's seed fields; none hides the button.
  void OfferSeed(std::optional<std::pair<double, double>> position);
  // Leave out and put back the readings its rows point at (the job file's edits).
  void SetLineEdits(LineEdits edits);
  ReportEditsPanel* edits_panel() const { return edits_panel_; }
  // The job's edits changed elsewhere: the rows' marks and the buttons follow.
  void EditsChanged();
  // Writes the report to path in the form its extension names; the outcome shows in the
  // window's status line. True when written.
  bool SaveTo(const QString& path);

 signals:
  // A row of the report was chosen; valid until the next ShowReport.
  void RowChosen(const fenwix::CheckRow& row);
  // The person took the position offered for the seed (packed DD.MMSS).
  void SeedTaken(double latitude, double longitude);

 private:
  void OnSave();
  void OnContextMenu(const QPoint& at);
  // Pages in the next rows of the check whose more-row at is the current row.
  void ShowMore(const QModelIndex& at);
  void SpanMoreRow(const QModelIndex& check);
  // Columns as wide as their text; the note takes the rest of the window.
  void FitColumns();
  // The first row of the adjustment test's section, its summary, above the tree; hidden when
  // the report has no such section.
  void ShowAdjustmentSummary();

  CheckReport report_;
  SaveChooser save_chooser_;
  QTextBrowser* summary_ = nullptr;
  QLabel* adjustment_ = nullptr;
  QPushButton* use_precision_ = nullptr;
  PrecisionUse precision_use_;
  QTreeView* view_ = nullptr;
  ReportModel* model_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* seed_button_ = nullptr;
  std::optional<std::pair<double, double>> seed_offer_;
  ReportEditsPanel* edits_panel_ = nullptr;
};

}  // namespace fenwix

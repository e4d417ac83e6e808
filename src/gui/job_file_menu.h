#pragma once
// The File menu of the main window: a job file (New, Open..., Save, Save As..., the job files
// opened last) and the "Edits" window that lists what the job leaves out, renames and answers.
// The window's title names the job file, with a mark while it has unsaved changes.
//
// Object names: "fileMenu", "newJobAction", "openJobAction", "saveJobAction",
// "saveJobAsAction", "recentJobsMenu", "editsAction".

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QString>

#include "app/job_session.h"
#include "gui/edits_window.h"
#include "model/source_location.h"

class QAction;
class QMenu;
class QMenuBar;

namespace fenwix {

class ConvertWindow;

// Job files opened or saved last that the menu lists.
inline constexpr int RECENT_JOB_FILES = 5;

class JobFileMenu : public QObject {
  Q_OBJECT

 public:
  // Asks for a job file to open (save false) or to save as; nothing when cancelled. Tests
  // answer it themselves.
  using PathChooser = std::function<std::optional<QString>(bool save)>;

  JobFileMenu(ConvertWindow& window, QMenuBar& menu_bar);

  // Asks about the edits of a field file that changed since the job file was saved (the text
  // says which and how many): true drops them, false shows them in the Edits window. Tests
  // answer it themselves.
  using StaleEditsQuestion = std::function<bool(const QString& text)>;

  // Asks whether to save the job's unsaved changes before they would be dropped (text names
  // the job). Tests answer it themselves.
  enum class UnsavedAnswer { Save, Discard, Cancel };
  using UnsavedQuestion = std::function<UnsavedAnswer(const QString& text)>;

  void SetPathChooser(PathChooser chooser) { chooser_ = std::move(chooser); }
  void SetUnsavedQuestion(UnsavedQuestion question) { unsaved_question_ = std::move(question); }
  void SetStaleEditsQuestion(StaleEditsQuestion question) { stale_question_ = std::move(question); }

  // Whether the job has edits or, once it has a file, options that its file does not hold.
  bool HasUnsavedChanges() const;
  // Before the job is dropped (another job opened, a new one, the window closed): with unsaved
  // changes, asks "Save changes to JOB?" and saves when told to. False when the person
  // cancelled or the save did not happen: nothing may be dropped then.
  bool MayDropJob();

  // The commands of the menu; false when nothing was done. They drop the job in hand without
  // asking: the menu's actions ask first (MayDropJob).
  void New();
  bool Open(const QString& path);
  bool Save();
  bool SaveAs(const QString& path);

  // Around every conversion: the job's edits go to the dialog, and the answers the person gave
  // come back into the job. Before it, edits of a field file that changed since the job was
  // saved are asked about again; false (the conversion must not run) while they are kept.
  bool BeforeConversion();
  void AfterConversion();

  // Leaves out or puts back the element starting there in the dialog's field files.
  // Puts the job's own precision into the job's weighting (JobSession::UseEstimatedPrecision);
  // what changed, one line per group.
  std::vector<std::string> UseEstimatedPrecision(const PrecisionScales& scales);
  void LeaveOut(SourceLocation at, const QString& reason);
  void PutBack(SourceLocation at);
  bool IsLeftOut(SourceLocation at) const;
  // Reads the name from as to in every field file: a rename of from for every file made
  // before is replaced, names read as from are read as to, and to itself stays as it is.
  void Rename(const std::string& from, const std::string& to);
  // Reads from as to in the one element starting at `at`, in place of any earlier such rename.
  void RenameReading(SourceLocation at, const std::string& from, const std::string& to);
  // The name the job reads name as in every file; empty when none.
  std::string RenamedAs(const std::string& name) const;

  JobSession& session() { return session_; }
  void ShowEdits();
  EditsWindow* edits_window() const { return edits_window_; }
  // Field files that changed since the job was saved whose edits were kept to be checked.
  const std::vector<std::string>& changed_files() const { return changed_files_; }
  // A left-out element of a changed field file, by its file and its line now.
  struct EditLine {
    std::string file;
    int64_t line = 0;
    int64_t from = 0;  // the line it was left out on before its element moved
  };
  // Left-out elements whose element was found unchanged on another line of a changed field
  // file, since the job was opened: the edits followed them.
  const std::vector<EditLine>& moved_edits() const { return moved_; }
  // Left-out elements of changed field files not found unchanged: the person checks them.
  const std::vector<EditLine>& edits_to_check() const { return to_check_; }
  // Title and edits window after any change of the job.
  void Changed();

 signals:
  // The job's edits may have changed (after Changed()).
  void EditsChanged();

 private:
  void AskAndOpen();
  // Offers to drop or show the edits of each field file that changed under them; the first
  // file whose edits are kept, if any.
  std::optional<std::string> SettleChangedFiles();
  void AskAndSaveAs();
  void Remember(const QString& path);
  // The dialog's options as a job holds them, when the job was opened or saved last.
  void KeepOptionsAsSaved();
  void FillRecent();
  // The path of field file number `file` of the dialog; empty when there is none.
  std::string FieldFile(int32_t file) const;

  ConvertWindow& window_;
  JobSession session_;
  PathChooser chooser_;
  StaleEditsQuestion stale_question_;
  UnsavedQuestion unsaved_question_;
  JobOptions saved_options_;
  QString base_title_;
  QMenu* recent_ = nullptr;
  QPointer<EditsWindow> edits_window_;
  std::vector<std::string> changed_files_;
  std::vector<EditLine> moved_;
  std::vector<EditLine> to_check_;
};

}  // namespace fenwix

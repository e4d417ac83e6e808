#include "gui/job_file_menu.h"

#include <algorithm>

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

#include "app/messages.h"
#include "gui/convert_window.h"
#include "gui/converter_app.h"
#include "gui/edits_window.h"
#include "gui/program_settings.h"
#include "gui/weight_option.h"
#include "job/job_paths.h"

namespace fenwix {

namespace {

constexpr char RECENT_KEY[] = "recentJobFiles";
constexpr char JOB_FILTER[] = "Fenwix job file (*.fenwix);;All files (*)";

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

JobFileMenu::JobFileMenu(ConvertWindow& window, QMenuBar& menu_bar)
    : QObject(&window), window_(window), base_title_(window.windowTitle()) {
  QMenu* file = menu_bar.addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("fileMenu"));
  const auto add = [&](const char* name, const QString& text, auto slot) {
    QAction* action = file->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, slot);
    return action;
  };
  add("newJobAction", QStringLiteral("&New"), [this] {
    if (MayDropJob()) New();
  });
  add("openJobAction", QStringLiteral("&Open..."), [this] {
    if (MayDropJob()) AskAndOpen();
  });
  add("saveJobAction", QStringLiteral("&Save"), [this] {
    Save();
  })->setShortcut(QKeySequence::Save);
  add("saveJobAsAction", QStringLiteral("Save &As..."), [this] { AskAndSaveAs(); });
  recent_ = file->addMenu(QStringLiteral("&Recent job files"));
  recent_->setObjectName(QStringLiteral("recentJobsMenu"));
  file->addSeparator();
  add("editsAction", QStringLiteral("&Edits..."), [this] { ShowEdits(); });
  FillRecent();
  session_.New();
}

void JobFileMenu::New() {
  session_.New();
  changed_files_.clear();
  moved_.clear();
  to_check_.clear();
  // The job's instrument gave way to the profile the program settings hold in use.
  window_.dialog().request.weight_profile = ProfileInUse(LoadWeightProfiles());
  window_.dialog().request.file_instruments.clear();
  KeepOptionsAsSaved();
  Changed();
}

void JobFileMenu::KeepOptionsAsSaved() {
  saved_options_ = OptionsOfRequest(window_.dialog().request, {});
}

bool JobFileMenu::HasUnsavedChanges() const {
  if (session_.modified()) return true;
  // Options belong to a job once it has a file; an untitled job's options are the program's
  // settings, kept when the window closes.
  return !session_.path().empty() &&
         OptionsOfRequest(window_.dialog().request, {}) != saved_options_;
}

bool JobFileMenu::MayDropJob() {
  // Options typed since the last command count too; a refused field keeps the job.
  if (!session_.path().empty() && !window_.ExchangeToMembers()) return false;
  if (!HasUnsavedChanges()) return true;
  const QString text = QStringLiteral("Save changes to %1?").arg(Text(session_.Name()));
  UnsavedAnswer answer = UnsavedAnswer::Cancel;
  if (unsaved_question_) {
    answer = unsaved_question_(text);
  } else {
    QMessageBox box(QMessageBox::Warning, ApplicationTitle(), text,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, &window_);
    box.setObjectName(QStringLiteral("unsavedChangesBox"));
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Save);
    const int chosen = box.exec();
    answer = chosen == QMessageBox::Save      ? UnsavedAnswer::Save
             : chosen == QMessageBox::Discard ? UnsavedAnswer::Discard
                                              : UnsavedAnswer::Cancel;
  }
  switch (answer) {
    case UnsavedAnswer::Save:
      // Save As may be cancelled or fail: then the job stays, unsaved.
      return Save() && !session_.modified();
    case UnsavedAnswer::Discard:
      return true;
    case UnsavedAnswer::Cancel:
      break;
  }
  return false;
}

bool JobFileMenu::Open(const QString& path) {
  if (!window_.ExchangeToMembers()) return false;
  std::string note;
  ConvertDialog& dialog = window_.dialog();
  if (const Status refused = session_.Open(path.toStdString(), dialog.request, &note);
      refused.failed()) {
    window_.ShowMessage(MSG_JOB_REFUSED,
                        FormatMessage(MSG_JOB_REFUSED, path.toStdString(), refused.text()));
    return false;
  }
  window_.ExchangeToControls();
  if (!note.empty()) window_.ShowMessage(MSG_JOB_REFUSED, note);
  moved_.clear();
  SettleChangedFiles();
  KeepOptionsAsSaved();
  Remember(path);
  Changed();
  return true;
}

bool JobFileMenu::Save() {
  if (session_.path().empty()) {
    AskAndSaveAs();
    return !session_.modified() && !session_.path().empty();
  }
  return SaveAs(Text(session_.path()));
}

bool JobFileMenu::SaveAs(const QString& path) {
  if (!window_.ExchangeToMembers()) return false;
  if (const Status refused = session_.SaveAs(path.toStdString(), window_.dialog().request);
      refused.failed()) {
    window_.ShowMessage(MSG_CANNOT_OPEN,
                        FormatMessage(MSG_CANNOT_OPEN, path.toStdString(), refused.text()));
    return false;
  }
  // Saving took every field file as it is now.
  changed_files_.clear();
  KeepOptionsAsSaved();
  Remember(path);
  Changed();
  return true;
}

bool JobFileMenu::BeforeConversion() {
  if (const std::optional<std::string> kept = SettleChangedFiles()) {
    window_.ShowMessage(MSG_FIELD_FILE_CHANGED, FormatMessage(MSG_FIELD_FILE_CHANGED, *kept));
    return false;
  }
  session_.PrepareConversion(window_.dialog().request);
  return true;
}

std::optional<std::string> JobFileMenu::SettleChangedFiles() {
  std::optional<std::string> kept;
  changed_files_.clear();
  to_check_.clear();
  // A field file changed under its edits: they may point at other elements now. A file taken
  // off the list is not read, so its edits wait until it is back.
  for (const std::string& changed : session_.ChangedFiles(window_.dialog().request.xml_paths)) {
    // Left-out elements found unchanged in the file as it is now take their edits along; the
    // person is asked about the rest only.
    const EditsFound found = session_.MoveEditsOf(changed);
    const std::vector<JobLeaveOut>& left = session_.job().leave_out;
    for (const MovedEdit& moved : found.moved) {
      moved_.push_back(EditLine{changed, left[moved.index].line, moved.from});
    }
    // The person sees where the edits went.
    if (!found.moved.empty()) ShowEdits();
    if (found.unfound.empty()) continue;
    std::vector<EditLine> unfound;
    for (const size_t i : found.unfound) unfound.push_back(EditLine{changed, left[i].line, 0});
    const auto renames = static_cast<size_t>(
        std::count_if(session_.job().renames.begin(), session_.job().renames.end(),
                      [&](const JobRename& rename) { return rename.file == changed; }));
    QString text = QStringLiteral(
                       "The field file %1 has changed since the job file was saved (its SHA-256 "
                       "fingerprint differs), and %2 edits of the job point at its lines: they may "
                       "point at other elements now.")
                       .arg(Text(changed))
                       .arg(found.unfound.size() + renames);
    if (!found.moved.empty()) {
      text += QStringLiteral(
                  " %1 left-out elements were found unchanged on other lines, and "
                  "their edits moved with them.")
                  .arg(found.moved.size());
    }
    text += QStringLiteral(
        "\n\nDrop these edits, or show them in the Edits window to check them (saving the job "
        "then takes the file as it is now)?");
    bool drop = false;
    if (stale_question_) {
      drop = stale_question_(text);
    } else {
      QMessageBox box(QMessageBox::Warning, QStringLiteral("Field file changed"), text,
                      QMessageBox::NoButton, &window_);
      QPushButton* drop_button =
          box.addButton(QStringLiteral("&Drop Edits"), QMessageBox::DestructiveRole);
      box.setDefaultButton(box.addButton(QStringLiteral("&Show Edits"), QMessageBox::RejectRole));
      box.exec();
      drop = box.clickedButton() == drop_button;
    }
    if (drop) {
      session_.DropEditsOf(changed);
    } else {
      if (!kept) kept = changed;
      changed_files_.push_back(changed);
      to_check_.insert(to_check_.end(), unfound.begin(), unfound.end());
      ShowEdits();
    }
  }
  Changed();
  return kept;
}

void JobFileMenu::AfterConversion() {
  if (session_.KeepAnswers(window_.dialog().run)) Changed();
}

std::string JobFileMenu::FieldFile(int32_t file) const {
  const std::vector<std::string>& paths = window_.dialog().request.xml_paths;
  return file >= 0 && static_cast<size_t>(file) < paths.size() ? paths[static_cast<size_t>(file)]
                                                               : std::string();
}

std::vector<std::string> JobFileMenu::UseEstimatedPrecision(const PrecisionScales& scales) {
  std::vector<std::string> changes =
      session_.UseEstimatedPrecision(scales, window_.dialog().request);
  if (!changes.empty()) Changed();
  return changes;
}

void JobFileMenu::LeaveOut(SourceLocation at, const QString& reason) {
  const std::string file = FieldFile(at.file);
  if (!file.empty() && session_.LeaveOut(file, at.line, reason.toStdString())) Changed();
}

void JobFileMenu::PutBack(SourceLocation at) {
  const std::string file = FieldFile(at.file);
  if (!file.empty() && session_.PutBack(file, at.line)) Changed();
}

bool JobFileMenu::IsLeftOut(SourceLocation at) const {
  // Asked for every row the report shows: a job without left-out elements answers at once.
  if (session_.job().leave_out.empty()) return false;
  const std::string file = FieldFile(at.file);
  return !file.empty() && session_.IsLeftOut(file, at.line);
}

void JobFileMenu::Rename(const std::string& from, const std::string& to) {
  if (from == to) return;
  // Names read as `from` until now are read as `to`: renames are applied once, not in chains.
  std::vector<std::string> onto_from{from};
  const std::vector<JobRename>& renames = session_.job().renames;
  for (size_t i = renames.size(); i-- > 0;) {
    if (!renames[i].file.empty()) continue;
    if (renames[i].to == from) onto_from.push_back(renames[i].from);
    if (renames[i].to == from || renames[i].from == from || renames[i].from == to) {
      session_.ForgetRename(i);
    }
  }
  for (const std::string& name : onto_from) {
    if (name != to) session_.Rename(name, to);
  }
  Changed();
}

void JobFileMenu::RenameReading(SourceLocation at, const std::string& from, const std::string& to) {
  const std::string file = FieldFile(at.file);
  if (file.empty() || from == to) return;
  const std::vector<JobRename>& renames = session_.job().renames;
  for (size_t i = renames.size(); i-- > 0;) {
    if (renames[i].line == at.line && renames[i].from == from &&
        SameJobPath(renames[i].file, file)) {
      session_.ForgetRename(i);
    }
  }
  session_.Rename(from, to, file, at.line);
  Changed();
}

std::string JobFileMenu::RenamedAs(const std::string& name) const {
  // The first rename of a name is the one the reading applies.
  for (const JobRename& rename : session_.job().renames) {
    if (rename.file.empty() && rename.from == name) return rename.to;
  }
  return {};
}

void JobFileMenu::ShowEdits() {
  if (edits_window_ == nullptr) edits_window_ = new EditsWindow(*this, &window_);
  edits_window_->Refresh();
  edits_window_->show();
  edits_window_->raise();
}

void JobFileMenu::Changed() {
  const bool named = !session_.path().empty();
  if (!named && !session_.modified()) {
    window_.setWindowTitle(base_title_);
  } else {
    window_.setWindowTitle(Text(session_.Name()) + QStringLiteral("[*] \u2014 ") + base_title_);
  }
  window_.setWindowModified(session_.modified());
  if (edits_window_ != nullptr) edits_window_->Refresh();
  emit EditsChanged();
  window_.ShowWeighting();
}

void JobFileMenu::AskAndOpen() {
  std::optional<QString> path;
  if (chooser_) {
    path = chooser_(false);
  } else {
    const QString chosen = QFileDialog::getOpenFileName(&window_, QStringLiteral("Open job file"),
                                                        QString(), QString::fromLatin1(JOB_FILTER));
    if (!chosen.isEmpty()) path = chosen;
  }
  if (path) Open(*path);
}

void JobFileMenu::AskAndSaveAs() {
  std::optional<QString> path;
  if (chooser_) {
    path = chooser_(true);
  } else {
    QString chosen =
        QFileDialog::getSaveFileName(&window_, QStringLiteral("Save job file"),
                                     Text(session_.path()), QString::fromLatin1(JOB_FILTER));
    if (!chosen.isEmpty() && QFileInfo(chosen).suffix().isEmpty()) {
      chosen += QString::fromLatin1(JOB_FILE_EXTENSION);
    }
    if (!chosen.isEmpty()) path = chosen;
  }
  if (path) SaveAs(*path);
}

void JobFileMenu::Remember(const QString& path) {
  const QString absolute = QFileInfo(path).absoluteFilePath();
  const std::unique_ptr<QSettings> settings = ProgramSettings();
  QStringList recent = settings->value(QString::fromLatin1(RECENT_KEY)).toStringList();
  recent.removeAll(absolute);
  recent.prepend(absolute);
  while (recent.size() > RECENT_JOB_FILES) recent.removeLast();
  settings->setValue(QString::fromLatin1(RECENT_KEY), recent);
  FillRecent();
}

void JobFileMenu::FillRecent() {
  recent_->clear();
  const std::unique_ptr<QSettings> settings = ProgramSettings();
  const QStringList recent = settings->value(QString::fromLatin1(RECENT_KEY)).toStringList();
  for (const QString& path : recent) {
    QAction* action = recent_->addAction(QFileInfo(path).fileName());
    action->setToolTip(path);
    connect(action, &QAction::triggered, this, [this, path] {
      if (MayDropJob()) Open(path);
    });
  }
  recent_->setEnabled(!recent.isEmpty());
}

}  // namespace fenwix

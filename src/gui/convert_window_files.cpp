// The dialog's field files and output chosen through the file dialogs, and the list of several
// field files kept in the program's settings between runs.
#include <memory>
#include <new>
#include <optional>
#include <string>

#include <QSettings>
#include <QStringList>

#include "app/messages.h"
#include "app/platform_paths.h"
#include "gui/convert_window.h"
#include "gui/program_settings.h"

namespace fenwix {

void ConvertWindow::OnBrowse(FileKind kind) {
  if (!ExchangeToMembers()) return;
  BrowseForFile(kind, kind == FileKind::Output
                          ? dialog_.request.output_path
                          : (dialog_.request.xml_paths.empty() ? std::string()
                                                               : dialog_.request.xml_paths[0]));
}

void ConvertWindow::BrowseForFile(FileKind kind, const std::string& current_name) {
  try {
    const FileRequest request = MakeFileRequest(kind, current_name, AppFolder());
    if (kind == FileKind::Input) {
      // The files chosen are the ones to convert, one or several; Add... appends instead.
      const QStringList chosen = ChooseInputFiles();
      if (chosen.isEmpty()) return;
      dialog_.request.xml_paths.clear();
      for (const QString& file : chosen) dialog_.request.xml_paths.push_back(file.toStdString());
      ExchangeToControls();
      return;
    }
    const std::optional<QString> chosen =
        file_chooser_ ? file_chooser_(request) : RunFileDialog(request, this);
    if (!chosen) return;
    dialog_.request.output_path = chosen->toStdString();
    ExchangeToControls();
  } catch (const std::bad_alloc&) {
    FormatMessageBox(*this, MSG_NO_MEMORY);
  }
}

QStringList ConvertWindow::ChooseInputFiles(const QString& folder) {
  const std::string first =
      dialog_.request.xml_paths.empty() ? std::string() : dialog_.request.xml_paths[0];
  FileRequest request = MakeFileRequest(FileKind::Input, first, AppFolder());
  if (!folder.isEmpty()) request.folder = folder;
  if (!file_chooser_) return RunFilesDialog(request, this);
  const std::optional<QString> chosen = file_chooser_(request);
  return chosen ? QStringList{*chosen} : QStringList{};
}

void ConvertWindow::RestoreFileList() {
  const QStringList files = ProgramSettings()->value(QStringLiteral("xml_files")).toStringList();
  if (files.size() < 2 || dialog_.request.xml_paths.empty() ||
      files.front().toStdString() != dialog_.request.xml_paths.front()) {
    return;
  }
  dialog_.request.xml_paths.clear();
  for (const QString& file : files) dialog_.request.xml_paths.push_back(file.toStdString());
}

void ConvertWindow::StoreFileList() {
  const std::unique_ptr<QSettings> settings = ProgramSettings();
  if (dialog_.request.xml_paths.size() < 2) {
    settings->remove(QStringLiteral("xml_files"));
    return;
  }
  QStringList files;
  for (const std::string& path : dialog_.request.xml_paths)
    files.append(QString::fromStdString(path));
  settings->setValue(QStringLiteral("xml_files"), files);
}

}  // namespace fenwix

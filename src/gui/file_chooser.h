#pragma once
// What the two Browse buttons ask of a file dialog, and the dialog that answers by default.

#include <optional>
#include <string>
#include <string_view>

#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

namespace fenwix {

// Which file a Browse button picks.
enum class FileKind { Output = 1, Input = 2 };

struct FileRequest {
  FileKind kind = FileKind::Input;
  QString title;
  QStringList filters;  // Qt name filters, the first one selected
  QString folder;       // empty: the platform chooses
};

// The request for a kind, given the current name of that kind and the program's folder.
FileRequest MakeFileRequest(FileKind kind, const std::string& current_name,
                            const std::string& app_folder);

// "Description|pattern|Description|pattern||" as Qt name filters "Description (pattern)".
// "*.*" means every file where the list comes from, so it becomes "*".
QStringList ConvertFilterString(std::string_view filter);

// The starting folder of a Browse dialog: the folder of the path without its trailing
// separators, except that the root stays "/".
QString InitialFolder(const std::string& start_path);

// Where Add... starts: the folder of the field file at hand when that folder exists (a name
// without a folder only when the file exists), else the person's documents folder; never the
// program's or the working folder, which is where a bare name would otherwise lead.
QString AddFilesFolder(const QString& current_file);

// Sets up Qt's own file dialog for the request: an open dialog for the input, a save dialog
// (a new name may be typed; no extension is appended) for the output; a detailed list whose
// columns are wide enough for sizes, types and dates.
void PrepareFileDialog(QFileDialog& dialog, const FileRequest& request);
// Runs the prepared dialog. Empty when the person cancels.
std::optional<QString> RunFileDialog(const FileRequest& request, QWidget* parent);
// The input dialog with several existing files selectable at once; empty when the person
// cancels.
QStringList RunFilesDialog(const FileRequest& request, QWidget* parent);

}  // namespace fenwix

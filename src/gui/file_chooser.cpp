#include "gui/file_chooser.h"

#include <algorithm>
#include <utility>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStandardPaths>
#include <QTreeView>

#include "app/messages.h"
#include "app/settings_file.h"
#include "platform/utf8_path.h"

namespace fenwix {

FileRequest MakeFileRequest(FileKind kind, const std::string& current_name,
                            const std::string& app_folder) {
  FileRequest request;
  request.kind = kind;
  const bool output = kind == FileKind::Output;
  request.title = QString::fromUtf8(MessageText(output ? STR_OUTPUT_TITLE : STR_XML_TITLE));
  request.filters = ConvertFilterString(MessageText(output ? STR_OUTPUT_FILTER : STR_XML_FILTER));
  request.folder = InitialFolder(current_name.empty() ? app_folder : current_name);
  return request;
}

QStringList ConvertFilterString(std::string_view filter) {
  QStringList parts;
  // "||" ends the list; a single "|" separates the entries.
  const size_t end = filter.find("||");
  if (end != std::string_view::npos) filter = filter.substr(0, end);
  for (const QString& part :
       QString::fromUtf8(filter.data(), qsizetype(filter.size())).split(QLatin1Char('|'))) {
    parts.append(part);
  }
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i].trimmed();
    // Qt reads the patterns from the last parenthesised group, so the group that the
    // description carries for the eye is replaced by the real patterns.
    if (description.endsWith(QLatin1Char(')'))) {
      const qsizetype open = description.lastIndexOf(QLatin1Char('('));
      if (open >= 0) description = description.left(open).trimmed();
    }
    QStringList patterns;
    for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      const QString trimmed = pattern.trimmed();
      if (trimmed.isEmpty()) continue;
      patterns.append(trimmed == QLatin1String("*.*") ? QStringLiteral("*") : trimmed);
    }
    if (patterns.isEmpty()) continue;
    filters.append(description + QLatin1String(" (") + patterns.join(QLatin1Char(' ')) +
                   QLatin1Char(')'));
  }
  return filters;
}

QString InitialFolder(const std::string& start_path) {
  std::string folder = FolderOfPath(start_path);
  while (folder.size() > 1 && IsPathSeparator(folder.back())) folder.pop_back();
  return QString::fromStdString(folder);
}

QString AddFilesFolder(const QString& current_file) {
  if (!current_file.isEmpty()) {
    const QFileInfo file(current_file);
    if (file.isAbsolute() ? file.absoluteDir().exists() : file.isFile()) return file.absolutePath();
  }
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

void PrepareFileDialog(QFileDialog& dialog, const FileRequest& request) {
  dialog.setWindowTitle(request.title);
  dialog.setDirectory(request.folder);
  // The desktop's own open dialogs refuse the name of a file that does not exist yet; Qt's
  // dialog behaves the same everywhere.
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  if (request.kind == FileKind::Output) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
  }
  dialog.setNameFilters(request.filters);
  if (!request.filters.isEmpty()) dialog.selectNameFilter(request.filters.front());
  dialog.setViewMode(QFileDialog::Detail);
  // Size, type and date columns fit their longest usual entries and their titles; the name
  // column takes the rest.
  if (auto* view = dialog.findChild<QTreeView*>()) {
    const QFontMetrics metrics(view->font());
    const std::pair<const char*, const char*> widest[] = {
        {"1023.99 KiB", "Size"},
        {"plain text document", "Type"},
        {"31 Dec 2026 23:59:59", "Date Modified"}};
    QHeaderView* header = view->header();
    int others = 0;
    for (int column = 1; column < 4 && column < header->count(); ++column) {
      const auto& [entry, title] = widest[column - 1];
      const int width = std::max(metrics.horizontalAdvance(QString::fromLatin1(entry)),
                                 metrics.horizontalAdvance(QString::fromLatin1(title))) +
                        3 * metrics.averageCharWidth();
      header->resizeSection(column, width);
      others += width;
    }
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setStretchLastSection(false);
    const int name_width = 30 * metrics.averageCharWidth();
    dialog.resize(std::max(dialog.width(), others + name_width + 40 * metrics.averageCharWidth()),
                  dialog.height());
  }
}

std::optional<QString> RunFileDialog(const FileRequest& request, QWidget* parent) {
  QFileDialog dialog(parent);
  PrepareFileDialog(dialog, request);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
  return chosen.front();
}

QStringList RunFilesDialog(const FileRequest& request, QWidget* parent) {
  QFileDialog dialog(parent);
  PrepareFileDialog(dialog, request);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles();
}

}  // namespace fenwix

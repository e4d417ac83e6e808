#pragma once
// The field files of a conversion in reading order: a small list with Add..., Remove, Up and
// Down, that also takes files dropped from a file manager.

#include <functional>

#include <QStringList>
#include <QWidget>

class QListWidget;
class QPushButton;

namespace fenwix {

class XmlFileList : public QWidget {
  Q_OBJECT

 public:
  explicit XmlFileList(QWidget* parent = nullptr);

  void SetFiles(const QStringList& files);
  QStringList Files() const;
  // The first file only, as the one-file entry above the list edits it.
  void SetFirst(const QString& file);

  // Asks for the files that Add... appends; empty when the person cancels.
  using Chooser = std::function<QStringList()>;
  void SetChooser(Chooser chooser) { chooser_ = std::move(chooser); }

  // The file at hand: the chosen row's, else the last one; empty for an empty list.
  QString CurrentFile() const;

  // Appends files, leaving out folders and names already in the list.
  void Append(const QStringList& files);

 signals:
  // The files or their order changed through the list (never through SetFiles or SetFirst).
  void Changed();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void Move(int step);
  void UpdateButtons();

  QListWidget* list_ = nullptr;
  QPushButton* remove_ = nullptr;
  QPushButton* up_ = nullptr;
  QPushButton* down_ = nullptr;
  Chooser chooser_;
};

}  // namespace fenwix

#pragma once
// The job's edits in one list: elements left out (file, line, reason), names read as others,
// and answers to the similar-stations question. "Put back" returns a left-out element to the
// reading; "Forget" drops a rename or an answer (the question is then asked again). Edits of a
// field file that changed since the job was saved carry a warning mark, unless their element was
// found unchanged: then they name the line they moved from.
//
// Object names: "editsWindow", "editsList", "putBackButton", "forgetButton".

#include <QDialog>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace fenwix {

class JobFileMenu;

class EditsWindow : public QDialog {
  Q_OBJECT

 public:
  EditsWindow(JobFileMenu& menu, QWidget* parent);
  // Lists the job's edits again.
  void Refresh();
  QTreeWidget* list() const { return list_; }

 private:
  void OnRemove();
  // Marks an edit of a field file that changed since the job was saved: it may point at another
  // element now.
  void MarkToCheck(QTreeWidgetItem& item) const;
  void UpdateButtons();

  JobFileMenu& menu_;
  QTreeWidget* list_ = nullptr;
  QPushButton* put_back_ = nullptr;
  QPushButton* forget_ = nullptr;
};

}  // namespace fenwix

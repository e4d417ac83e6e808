#pragma once
// The About box: the program's name, icon and version.

#include <QDialog>

namespace fenwix {

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace fenwix

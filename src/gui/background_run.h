#pragma once
// A conversion run off the user-interface thread. The core stays single-threaded: it runs on a
// worker thread and reaches the person through a UserInterface that carries every message and
// similar-stations question over to the window's thread and waits for the answer, and that
// shows the progress it reports. Meanwhile the window keeps its events flowing (it repaints and
// moves), its controls and menus are disabled, it cannot be closed, and Cancel (or Escape)
// stops the run at its next check.

#include <QWidget>

#include "app/convert_dialog.h"
#include "app/run_phase.h"
#include "app/user_interface.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace fenwix {

// The row that shows a run: the phase, a progress bar and Cancel. Added under the window's
// controls at its first run (object name "runPanel") and hidden between runs.
class RunPanel : public QWidget {
  Q_OBJECT

 public:
  explicit RunPanel(QWidget* parent = nullptr);

  void ShowProgress(RunPhase phase, int percent);
  QPushButton* cancel_button() const { return cancel_; }

 private:
  QLabel* phase_;
  QProgressBar* bar_;
  QPushButton* cancel_;
};

// Runs dialog.RunConversion on a worker thread and returns its result once it has ended;
// `person` answers on this thread. window is the window whose controls are disabled meanwhile
// (every direct child except the run's panel) and whose layout receives the panel.
ConversionResult RunInBackground(ConvertDialog& dialog, UserInterface& person, QWidget& window);

}  // namespace fenwix

#include "gui/background_run.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include "app/messages.h"

namespace fenwix {

namespace {

// The window's controls, disabled for the run. A message shown meanwhile may leave the person
// on a control (a file name selected); that control gets the focus back when the run ends.
class DisabledControls {
 public:
  DisabledControls(QWidget& window, QWidget& keep)
      : window_(window), keep_(keep), focus_(window.focusWidget()) {
    Disable();
  }
  ~DisabledControls() {
    Enable();
    if (!focus_) return;
    focus_->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(focus_.data()); edit != nullptr && select_all_) {
      edit->selectAll();
    }
  }
  DisabledControls(const DisabledControls&) = delete;
  DisabledControls& operator=(const DisabledControls&) = delete;

  // Runs show with the controls enabled, as they are outside a run, and notes the control it
  // leaves the focus on.
  template <typename Show>
  void WhileEnabled(Show show) {
    Enable();
    show();
    QWidget* focus = window_.focusWidget();
    if (focus != nullptr && !keep_.isAncestorOf(focus)) {
      focus_ = focus;
      auto* edit = qobject_cast<QLineEdit*>(focus);
      select_all_ =
          edit != nullptr && edit->hasSelectedText() && edit->selectedText() == edit->text();
    }
    Disable();
  }

 private:
  void Disable() {
    for (QWidget* child : window_.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      // Windows of the program opened from this one (the check report) included.
      if (child == &keep_ || !child->isEnabled()) continue;
      child->setEnabled(false);
      disabled_.emplace_back(child);
    }
  }
  void Enable() {
    for (const QPointer<QWidget>& child : disabled_) {
      if (child) child->setEnabled(true);
    }
    disabled_.clear();
  }

  QWidget& window_;
  QWidget& keep_;
  std::vector<QPointer<QWidget>> disabled_;
  QPointer<QWidget> focus_;
  bool select_all_ = false;
};

// The face of the person on the worker thread.
class WorkerUi : public UserInterface {
 public:
  WorkerUi(UserInterface& person, RunPanel& panel, DisabledControls& controls)
      : person_(person), panel_(panel), controls_(controls) {}

  void ShowMessage(MessageId id, const std::string& text) override {
    QMetaObject::invokeMethod(
        &panel_, [&] { controls_.WhileEnabled([&] { person_.ShowMessage(id, text); }); },
        Qt::BlockingQueuedConnection);
  }
  // The progress bar shows that the run goes on; no wait cursor over a live window.
  void BeginWait() override {}
  void EndWait() override {}
  MergeAnswer AskSimilarStations(const StationRecord& first, const StationRecord& second) override {
    MergeAnswer answer = MergeAnswer::Cancel;
    QMetaObject::invokeMethod(
        &panel_, [&] { answer = person_.AskSimilarStations(first, second); },
        Qt::BlockingQueuedConnection);
    return answer;
  }
  bool ReportProgress(RunPhase phase, double done) override {
    const int percent = std::clamp(static_cast<int>(done * 100.0), 0, 100);
    const int shown = static_cast<int>(phase) * 1000 + percent;
    // Only a change reaches the window, so that a step costs no more than a comparison.
    if (shown != last_shown_) {
      last_shown_ = shown;
      QPointer<RunPanel> panel(&panel_);
      QMetaObject::invokeMethod(
          &panel_,
          [panel, phase, percent] {
            if (panel) panel->ShowProgress(phase, percent);
          },
          Qt::QueuedConnection);
    }
    return !cancelled.load(std::memory_order_relaxed);
  }

  std::atomic<bool> cancelled{false};

 private:
  UserInterface& person_;
  RunPanel& panel_;
  DisabledControls& controls_;
  int last_shown_ = -1;
};

// Keeps the window open during the run: its close box and Enter do nothing, Escape cancels.
class RunGuard : public QObject {
 public:
  explicit RunGuard(WorkerUi& ui) : ui_(ui) {}

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Close) {
      event->ignore();
      return true;
    }
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Escape) ui_.cancelled = true;
      return key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter;
    }
    return false;
  }

 private:
  WorkerUi& ui_;
};

}  // namespace

RunPanel::RunPanel(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("runPanel"));
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  phase_ = new QLabel(this);
  phase_->setObjectName(QStringLiteral("runPhaseLabel"));
  bar_ = new QProgressBar(this);
  bar_->setObjectName(QStringLiteral("runProgressBar"));
  bar_->setRange(0, 100);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setObjectName(QStringLiteral("cancelRunButton"));
  cancel_->setAutoDefault(false);
  row->addWidget(phase_);
  row->addWidget(bar_, 1);
  row->addWidget(cancel_);
  hide();
}

void RunPanel::ShowProgress(RunPhase phase, int percent) {
  phase_->setText(QString::fromUtf8(RunPhaseText(phase)));
  bar_->setValue(percent);
}

namespace {

// The window's run panel, added under its controls at the first run.
RunPanel& PanelOf(QWidget& window) {
  if (auto* panel =
          window.findChild<RunPanel*>(QStringLiteral("runPanel"), Qt::FindDirectChildrenOnly)) {
    return *panel;
  }
  auto* panel = new RunPanel(&window);
  if (auto* grid = qobject_cast<QGridLayout*>(window.layout())) {
    grid->addWidget(panel, grid->rowCount(), 0, 1, -1);
  } else if (window.layout() != nullptr) {
    window.layout()->addWidget(panel);
  }
  return *panel;
}

}  // namespace

ConversionResult RunInBackground(ConvertDialog& dialog, UserInterface& person, QWidget& window) {
  RunPanel& panel = PanelOf(window);
  std::optional<DisabledControls> controls(std::in_place, window, panel);
  WorkerUi ui(person, panel, *controls);
  RunGuard guard(ui);
  window.installEventFilter(&guard);
  QObject scope;
  QObject::connect(panel.cancel_button(), &QPushButton::clicked, &scope,
                   [&ui] { ui.cancelled = true; });
  panel.ShowProgress(RunPhase::Reading, 0);
  panel.show();
  panel.cancel_button()->setFocus();

  QEventLoop loop;
  ConversionResult result;
  std::thread worker([&] {
    try {
      result = dialog.RunConversion(ui);
    } catch (const std::bad_alloc&) {
      FormatMessageBox(ui, MSG_NO_MEMORY);
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();

  panel.hide();
  window.removeEventFilter(&guard);
  controls.reset();
  return result;
}

}  // namespace fenwix

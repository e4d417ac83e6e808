#pragma once
// Shared helpers of the window tests: typing and clicking as the person would, and answering a
// modal window from the event loop so that no test blocks.

#include <functional>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QString>
#include <QTest>
#include <QTimer>
#include <QWidget>

namespace fenwix::test {

// Replaces the text of an edit by typing, as the person would.
inline void Type(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClicks(edit, text);
}

inline void Click(QWidget* widget) {
  QTest::mouseClick(widget, Qt::LeftButton);
}

// Runs answer on the modal window that the next call opens. If none appears, every modal
// window is rejected so that the calling test fails instead of hanging.
inline void AnswerNextModal(std::function<void(QWidget*)> answer, int tries = 200) {
  QTimer::singleShot(10, [answer = std::move(answer), tries] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      answer(modal);
      // An answer cut short by a failed assertion must not leave the test waiting.
      auto* dialog = qobject_cast<QDialog*>(modal);
      if (dialog != nullptr && dialog->isVisible()) dialog->reject();
    } else if (tries > 0) {
      AnswerNextModal(answer, tries - 1);
    } else {
      for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(window);
        if (dialog != nullptr && dialog->isModal() && dialog->isVisible()) dialog->reject();
      }
    }
  });
}

}  // namespace fenwix::test

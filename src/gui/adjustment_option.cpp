#include "gui/adjustment_option.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "app/convert_dialog.h"
#include "gui/program_settings.h"

namespace fenwix {

QAction* AddAdjustmentTestOption(QMenuBar& menu_bar, ConvertDialog& dialog) {
  QMenu* options = menu_bar.findChild<QMenu*>(QStringLiteral("optionsMenu"));
  if (options == nullptr) {
    options = menu_bar.addMenu(QStringLiteral("&Options"));
    options->setObjectName(QStringLiteral("optionsMenu"));
  }
  // Last in the menu, after the units: the entries above keep their places for the keyboard.
  options->addSeparator();
  QAction* test = options->addAction(QStringLiteral("Test the network by adjustment"));
  test->setObjectName(QStringLiteral("adjustmentTestAction"));
  test->setCheckable(true);
  test->setToolTip(
      QStringLiteral("After the conversion, adjust the whole job as a free network and name "
                     "the observations it rejects first among the suspects"));
  const bool remembered = ProgramSettings()->value(ADJUSTMENT_TEST_SETTING, true).toBool();
  test->setChecked(remembered);
  dialog.adjustment_test = remembered;
  QObject::connect(test, &QAction::toggled, test, [&dialog](bool checked) {
    dialog.adjustment_test = checked;
    ProgramSettings()->setValue(ADJUSTMENT_TEST_SETTING, checked);
  });
  return test;
}

}  // namespace fenwix

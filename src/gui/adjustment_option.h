#pragma once
// The "Test the network by adjustment" entry of the Options menu: checked, a conversion that
// computes approximate coordinates ends its check report with the free-network adjustment
// test. On by default; remembered in the user's program settings (QSettings), not in the
// dialog's configuration file.

#include <QString>

class QAction;
class QMenuBar;

namespace fenwix {

class ConvertDialog;

// QSettings key of the entry.
inline const QString ADJUSTMENT_TEST_SETTING = QStringLiteral("checks/adjustmentTest");

// Adds the entry (object name "adjustmentTestAction") to the Options menu of the menu bar
// ("optionsMenu", added when missing), sets dialog.adjustment_test from the remembered choice
// and keeps both up to date when it is toggled.
QAction* AddAdjustmentTestOption(QMenuBar& menu_bar, ConvertDialog& dialog);

}  // namespace fenwix

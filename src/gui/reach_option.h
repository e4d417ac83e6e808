#pragma once
// Checkable entries of the Options menu, each remembered in the user's program settings
// (QSettings), not in the dialog's configuration file:
// - "Compute every reachable station": the propagation of approximate coordinates runs without
//   its step budget. Off by default.
// - "Test the network by adjustment": a conversion that computes approximate coordinates ends
//   its check report with the free-network adjustment test. On by default.

#include <QString>

class QAction;
class QMenu;
class QMenuBar;

namespace fenwix {

struct ConversionRequest;

// QSettings keys of the entries.
inline const QString EVERY_STATION_SETTING = QStringLiteral("approx/computeEveryReachableStation");
inline const QString ADJUSTMENT_TEST_SETTING = QStringLiteral("checks/adjustmentTest");

// The menu bar's Options menu (object name "optionsMenu"), added when missing.
QMenu* OptionsMenu(QMenuBar& menu_bar);

// Adds the entry (object name "everyStationAction") to the Options menu, sets request.max_steps
// from the remembered choice and keeps both up to date when it is toggled.
QAction* AddEveryStationOption(QMenuBar& menu_bar, ConversionRequest& request);

// Adds the entry (object name "adjustmentTestAction") last in the Options menu, sets
// request.adjustment_test from the remembered choice and keeps both up to date when it is
// toggled.
QAction* AddAdjustmentTestOption(QMenuBar& menu_bar, ConversionRequest& request);

}  // namespace fenwix

#pragma once
// The "Compute every reachable station" entry of the Options menu: checked, the propagation of
// approximate coordinates runs without its step budget. Off by default; remembered in the
// user's program settings (QSettings), not in the dialog's configuration file.

#include <QString>

class QAction;
class QMenuBar;

namespace fenwix {

class ConvertDialog;

// QSettings key of the entry.
inline const QString EVERY_STATION_SETTING = QStringLiteral("approx/computeEveryReachableStation");

// Adds the entry (object name "everyStationAction") to an Options menu of the menu bar, sets
// dialog.max_steps from the remembered choice and keeps both up to date when it is toggled.
QAction* AddEveryStationOption(QMenuBar& menu_bar, ConvertDialog& dialog);

}  // namespace fenwix

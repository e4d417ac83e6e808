#pragma once
// The "Angle unit" and "Distance unit" entries of the Options menu: what the job's angles are
// in (packed DD.MMSSsssss degrees or gons) and its distances without a "USFeet" indicator
// (meters, US survey feet or international feet). Remembered in the user's program settings
// (QSettings), not in the dialog's configuration file; the defaults read a job as always.

#include <QString>

class QMenuBar;

namespace fenwix {

struct ConversionRequest;

// QSettings keys, holding the command line's words: "dms" or "gon", "m", "usft" or "ft".
inline const QString ANGLE_UNIT_SETTING = QStringLiteral("reading/angleUnit");
inline const QString DISTANCE_UNIT_SETTING = QStringLiteral("reading/distanceUnit");

// Adds both submenus to the Options menu of the menu bar (object name "optionsMenu"), each a
// group of exclusive choices ("angleUnitMenu", "distanceUnitMenu"), sets the dialog's job units
// from the remembered choices and keeps both up to date when one is chosen.
void AddJobUnitOptions(QMenuBar& menu_bar, ConversionRequest& request);

}  // namespace fenwix

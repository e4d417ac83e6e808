#pragma once
// The weight profiles in the user's program settings (QSettings, not the dialog's
// configuration file), the Options menu's "Instrument and GNSS precision..." entry and the line
// of the main window that names the profile in use.

#include <vector>

#include <QString>

#include "weights/weight_profile.h"

class QLabel;
class QMenu;
class QWidget;

namespace fenwix {

class ConvertDialog;

// The stored profiles (the default one alone when none is stored, or a stored one is unusable)
// and the name of the one in use.
struct StoredWeightProfiles {
  std::vector<NamedWeightProfile> profiles;
  QString current;
};
StoredWeightProfiles LoadWeightProfiles();
void SaveWeightProfiles(const StoredWeightProfiles& stored);

// Sets dialog.weight_profile from the settings, adds the entry (object name
// "weightProfilesAction") to the menu and keeps the label (object name "weightProfileLabel")
// naming the profile in use. The entry opens the profiles dialog over parent; OK stores the
// profiles and puts the one chosen in use.
void AddWeightProfilesOption(QMenu& options, QLabel& label, ConvertDialog& dialog, QWidget* parent);

}  // namespace fenwix

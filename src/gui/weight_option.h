#pragma once
// The weight profiles in the user's program settings (QSettings, not the dialog's
// configuration file), the Options menu's "Instrument and GNSS precision..." entry and the line
// of the main window that names the profile in use.

#include <functional>
#include <string>
#include <vector>

#include <QString>

#include "weights/weight_profile.h"

class QLabel;
class QMenu;
class QWidget;

namespace fenwix {

struct ConversionRequest;

// The stored profiles (the default one alone when none is stored, or a stored one is unusable)
// and the name of the one in use.
struct StoredWeightProfiles {
  std::vector<NamedWeightProfile> profiles;
  QString current;
};
StoredWeightProfiles LoadWeightProfiles();
void SaveWeightProfiles(const StoredWeightProfiles& stored);

// The stored profile named current, else the first.
NamedWeightProfile ProfileInUse(const StoredWeightProfiles& stored);

// Names on the label (object name "weightProfileLabel") the weighting of the next conversion,
// from the profile of each field file (by_file, beside xml_paths): "Weighting: NAME" when one
// profile weights them all, "Weighting: per file (A, B)" when they differ. The tooltip
// describes the one profile, or says which file gets which.
void ShowWeighting(QLabel& label, const std::vector<NamedWeightProfile>& by_file,
                   const std::vector<std::string>& xml_paths);

// Sets request.weight_profile from the settings and adds the entry (object name
// "weightProfilesAction") to the menu. The entry opens the profiles dialog over parent; OK
// stores the profiles, puts the one chosen in use and calls chosen.
void AddWeightProfilesOption(QMenu& options, ConversionRequest& request, QWidget* parent,
                             std::function<void()> chosen);

}  // namespace fenwix

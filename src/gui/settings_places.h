#pragma once
// The parts of the settings location that come from Qt: the user's configuration folder and
// the memory, in the user's QSettings, of a settings file that could not be written.

#include <string>

namespace fenwix {

// $XDG_CONFIG_HOME/fenwix/ (by default ~/.config/fenwix/), through Qt's standard locations.
std::string UserSettingsFolder();

// The settings path of this program: beside the executable or in UserSettingsFolder().
std::string ChosenSettingsPath();

// Records whether saving the settings to path succeeded. True when the person should be told
// that it failed: the first failure for that path since the last successful save.
bool TellAboutSettingsSave(const std::string& path, bool saved);

}  // namespace fenwix

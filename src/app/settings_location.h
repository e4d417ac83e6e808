#pragma once
// Where the settings record lives: beside the executable for a copy that owns its folder (a
// portable copy keeps its settings with it), in the user's configuration folder for a program
// installed where the user cannot write.

#include <functional>
#include <string>

#include "model/status.h"

namespace fenwix {

struct ConversionSettings;

using FolderWritableCheck = std::function<bool(const std::string& folder)>;

// app_folder and user_folder end with their separator. The file beside the executable is
// chosen when it exists or when writable(app_folder); otherwise user_folder + "Fenwix.cfg",
// whether that folder exists yet or not.
std::string ChooseSettingsPath(const std::string& app_folder, const std::string& user_folder,
                               const FolderWritableCheck& writable);

// SaveSettings, creating the missing folders of path first.
Status SaveSettingsCreatingFolder(const ConversionSettings& settings, const std::string& path);

}  // namespace fenwix

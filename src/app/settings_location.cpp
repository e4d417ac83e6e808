#include "app/settings_location.h"

#include <filesystem>
#include <system_error>

#include "app/settings_file.h"
#include "platform/utf8_path.h"

namespace fenwix {

std::string ChooseSettingsPath(const std::string& app_folder, const std::string& user_folder,
                               const FolderWritableCheck& writable) {
  const std::string beside = app_folder + SETTINGS_FILE_NAME;
  std::error_code error;
  if (std::filesystem::exists(PathFromUtf8(beside), error) || writable(app_folder)) return beside;
  return user_folder + SETTINGS_FILE_NAME;
}

Status SaveSettingsCreatingFolder(const ConversionSettings& settings, const std::string& path) {
  const std::string folder = FolderOfPath(path);
  std::error_code error;
  if (!folder.empty() && !std::filesystem::is_directory(PathFromUtf8(folder), error)) {
    std::filesystem::create_directories(PathFromUtf8(folder), error);
  }
  return SaveSettings(settings, path);
}

}  // namespace fenwix

// Where the settings record lives, with scratch folders. Writability is passed in: the tests
// may run as root, to whom a read-only folder is still writable.

#include "app/settings_location.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/convert_dialog.h"
#include "app/settings_file.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

namespace fs = std::filesystem;
using testing::ScratchFolder;
using testing::WriteFile;

TEST(SettingsLocation, BesideTheExecutableWhenTheFileIsThereOrTheFolderIsWritable) {
  ScratchFolder scratch("fenwix-location-");
  const std::string app = scratch.path().string() + "/bin/";
  const std::string user = scratch.path().string() + "/config/fenwix/";
  fs::create_directories(app);
  struct Case {
    bool file_beside;
    bool app_writable;
    std::string expected;
  };
  for (const Case& c :
       {Case{false, true, app + "Fenwix.cfg"}, Case{true, false, app + "Fenwix.cfg"},
        Case{false, false, user + "Fenwix.cfg"}}) {
    fs::remove(app + "Fenwix.cfg");
    if (c.file_beside) WriteFile(app + "Fenwix.cfg", "");
    const auto writable = [&](const std::string& folder) {
      EXPECT_EQ(folder, app);
      return c.app_writable;
    };
    EXPECT_EQ(ChooseSettingsPath(app, user, writable), c.expected)
        << "file beside: " << c.file_beside << ", writable: " << c.app_writable;
  }
  EXPECT_TRUE(FolderIsWritable(app));
  WriteFile(scratch.path() / "plain-file", "");
  EXPECT_FALSE(FolderIsWritable(scratch.path().string() + "/plain-file/"));
}

TEST(SettingsLocation, SavingCreatesAUserFolderThatDoesNotExistYet) {
  ScratchFolder scratch("fenwix-location-");
  const std::string path = scratch.path().string() + "/config/fenwix/Fenwix.cfg";
  ConvertDialog saved;
  saved.InitializeDefaults();
  saved.request.seed_name = "PILLAR 7";
  ASSERT_TRUE(SaveSettingsCreatingFolder(saved.request, path).ok());
  EXPECT_EQ(fs::file_size(path), SETTINGS_RECORD_SIZE);
  ConvertDialog loaded;
  ASSERT_TRUE(LoadSettings(loaded.request, path).ok());
  EXPECT_EQ(loaded.request.seed_name, "PILLAR 7");

  // A folder that cannot be made, even by root: its parent is a plain file.
  WriteFile(scratch.path() / "plain-file", "");
  EXPECT_TRUE(SaveSettingsCreatingFolder(saved.request,
                                         scratch.path().string() + "/plain-file/fenwix/Fenwix.cfg")
                  .failed());
}

}  // namespace
}  // namespace fenwix

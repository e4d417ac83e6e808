// The platform seam: replacing an output, UTF-8 names, leftovers of killed runs, the program's
// own path. The same cases run on Linux and, built for Windows, under Wine.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/executable_folder.h"
#include "platform/file_replacement.h"
#include "platform/utf8_path.h"
#include "support/test_files.h"
#include "writer/output_file.h"

namespace fenwix {
namespace {

using testing::FolderContents;
using testing::ReadFile;
using testing::ScratchFolder;
using testing::WriteFile;

// Non-ASCII in the folder and in the file name, as a surveyor names a day's job.
const std::string JOB_FOLDER = "Vermessung H\xC3\xB6he";
const std::string JOB_NAME = "Tag \xC3\xBC 1.txt";

bool Convert(const std::string& target, const std::string& text) {
  OutputFile out;
  if (!out.Open(target)) return false;
  out.Write(text);
  return out.Commit();
}

TEST(PlatformReplace, ASecondOutputReplacesTheFirstUnderANonAsciiName) {
  ScratchFolder scratch("fenwix-platform-");
  const std::filesystem::path folder = scratch.path() / PathFromUtf8(JOB_FOLDER);
  std::filesystem::create_directories(folder);
  const std::string target = Utf8FromPath(folder / PathFromUtf8(JOB_NAME));
  for (const std::string text : {"first run\n", "second, longer run\n"}) {
    ASSERT_TRUE(Convert(target, text)) << text;
    std::FILE* file = OpenFile(target, "rb");
    ASSERT_NE(file, nullptr);
    std::string read(64, '\0');
    read.resize(std::fread(read.data(), 1, read.size(), file));
    std::fclose(file);
    EXPECT_EQ(read, text.substr(0, text.size() - 1) + "\r\n");
    EXPECT_EQ(FolderContents(folder), std::vector<std::string>{JOB_NAME});
  }
}

TEST(PlatformReplace, AReplacementThatCannotHappenLeavesTheOldOutputWhole) {
  ScratchFolder scratch("fenwix-platform-");
  const std::string target = Utf8FromPath(scratch.path() / "out.txt");
  const std::string blocked = Utf8FromPath(scratch.path() / "folder");
  std::filesystem::create_directories(scratch.path() / "folder" / "inside");
  WriteFile(target, "old output");
  WriteFile(scratch.path() / "new.txt", "new output");
  const std::string missing = Utf8FromPath(scratch.path() / "gone.txt");
  EXPECT_NE(ReplaceWithFile(missing, target), 0);
  EXPECT_NE(ReplaceWithFile(target, blocked), 0);
  EXPECT_EQ(ReadFile(target), "old output");
  // The control: the same call with a file that exists.
  EXPECT_EQ(ReplaceWithFile(Utf8FromPath(scratch.path() / "new.txt"), target), 0);
  EXPECT_EQ(ReadFile(target), "new output");
  EXPECT_EQ(FolderContents(scratch.path()), (std::vector<std::string>{"folder", "out.txt"}));
}

TEST(PlatformReplace, LeftoversOfAKilledRunGoButAFileInUseStays) {
  ScratchFolder scratch("fenwix-platform-");
  const std::string target = Utf8FromPath(scratch.path() / "out.txt");
  WriteFile(scratch.path() / "out.txt.fenwix-Ab12Cd", "");
  WriteFile(scratch.path() / "out.txt.fenwix-notours", "kept: not six letters");
  WriteFile(scratch.path() / "other.txt.fenwix-Ab12Cd", "kept: another output's");
  std::string in_use;
  int error = 0;
  std::FILE* running = CreateUniqueFile(target + ".fenwix-", in_use, error);
  ASSERT_NE(running, nullptr) << error;
  ASSERT_TRUE(Convert(target, "converted\n"));
  const std::string in_use_name = Utf8FromPath(PathFromUtf8(in_use).filename());
  std::vector<std::string> expected{"other.txt.fenwix-Ab12Cd", "out.txt", "out.txt.fenwix-notours",
                                    in_use_name};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FolderContents(scratch.path()), expected);
  std::fclose(running);
  EXPECT_TRUE(RemoveIfUnused(in_use));
}

TEST(PlatformExecutable, PathNamesThisTestProgramInAnExistingFolder) {
  const std::filesystem::path path = PathFromUtf8(ExecutablePath());
  EXPECT_TRUE(path.is_absolute());
  EXPECT_TRUE(std::filesystem::is_regular_file(path));
  EXPECT_EQ(path.stem(), "fenwix_platform_tests");
  EXPECT_TRUE(FolderIsWritable(Utf8FromPath(path.parent_path())));
}

}  // namespace
}  // namespace fenwix

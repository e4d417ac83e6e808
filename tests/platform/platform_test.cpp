// The platform seam: replacing an output, UTF-8 names, leftovers of killed runs, the program's
// own path. The same cases run on Linux and, built for Windows, under Wine.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/executable_folder.h"
#include "platform/file_replacement.h"
#include "platform/guarded_write.h"
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
  const std::string leftover = TemporaryNameFor("out.txt");
  WriteFile(scratch.path() / leftover, "");
  // Unsigned, or signed for another output: not provably a leftover of this one.
  WriteFile(scratch.path() / "out.txt.fenwix-Ab12Cd", "kept: no signature");
  WriteFile(scratch.path() / "out.txt.fenwix-notours", "kept: not six letters");
  WriteFile(scratch.path() / TemporaryNameFor("other.txt"), "kept: another output's");
  int error = 0;
  const std::string in_use = Utf8FromPath(scratch.path() / TemporaryNameFor("out.txt"));
  std::FILE* running = CreateNewFile(in_use, error);
  ASSERT_NE(running, nullptr) << error;
  std::vector<std::string> expected = FolderContents(scratch.path());
  ASSERT_TRUE(Convert(target, "converted\n"));
  expected.erase(std::find(expected.begin(), expected.end(), leftover));
  expected.push_back("out.txt");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FolderContents(scratch.path()), expected);
  std::fclose(running);
  EXPECT_TRUE(RemoveIfUnused(in_use));
}

// Names so long that the name, ".fenwix-" and ten letters pass the 255 bytes a name may have.
TEST(PlatformReplace, ALongOutputNameIsWrittenUnderAShorterTemporaryName) {
  ScratchFolder scratch("fenwix-platform-");
  for (const size_t length : {200, 237, 238, 242, 250, 255}) {
    SCOPED_TRACE(length);
    const std::string name = std::string(length - 4, 'n') + ".txt";
    const std::string target = Utf8FromPath(scratch.path() / name);
    EXPECT_TRUE(Convert(target, "long\n"));
    EXPECT_EQ(ReadFile(PathFromUtf8(target)), "long\r\n");
    EXPECT_LE(TemporaryNameFor(name).size(), 255u);
    EXPECT_TRUE(IsTemporaryNameOf(TemporaryNameFor(name), name));
    EXPECT_FALSE(IsTemporaryNameOf(TemporaryNameFor(name), "n" + name));
    std::filesystem::remove(PathFromUtf8(target));
    EXPECT_EQ(FolderContents(scratch.path()), std::vector<std::string>{});
  }
}

// What the XML guard takes for a document it never writes over, head by head.
TEST(PlatformReplace, AnXmlDocumentIsKnownPastBlanksMarksAndComments) {
  const std::string job = "<JobXML><Point/></JobXML>\n";
  const auto utf16 = [](std::string_view text, bool big) {
    std::string wide = big ? "\xFE\xFF" : "\xFF\xFE";
    for (const char c : text) {
      wide += big ? std::string{'\0', c} : std::string{c, '\0'};
    }
    return wide;
  };
  const struct {
    std::string head;
    bool document;
  } cases[] = {
      {std::string(300, '\n') + "<?xml version=\"1.0\"?>\n" + job, true},
      {std::string(3 << 20, ' ') + job, true},
      {"\xEF\xBB\xBF\r\n\t " + job, true},
      {utf16("\n\n" + job, false), true},
      {utf16(job, true), true},
      {"<!-- a > inside -- a comment -->\n<!-- <svg> -->" + job, true},
      {"<?xml version=\"1.0\"?>\n<!DOCTYPE JobXML [ <!ENTITY a \">\"> ]>\n" + job, true},
      {std::string(300, '\n') + "<?xml version=\"1.0\"?>", true},
      {std::string(300, '\n') + "<?xml version=\"1.0\"?>\n<!-- old -->\n<svg width=\"1\"/>\n",
       false},
      {"<!DOCTYPE html>\n<html lang=\"en\"></html>\n", false},
      {utf16("<svg/>", false), false},
      {"1 B1 100.000 200.000\r\n<JobXML>\r\n", false},
      {std::string(300, '\n'), false},
      {"", false},
  };
  ScratchFolder scratch("fenwix-platform-");
  const std::string target = Utf8FromPath(scratch.path() / "old.txt");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.head.substr(0, 80) + "... of " + std::to_string(c.head.size()));
    WriteFile(PathFromUtf8(target), c.head);
    EXPECT_EQ(StartsAsXmlDocument(target), c.document);
    EXPECT_EQ(Convert(target, "new\n"), !c.document);
    EXPECT_EQ(ReadFile(PathFromUtf8(target)) == c.head, c.document);
  }
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

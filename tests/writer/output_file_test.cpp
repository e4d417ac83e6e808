// A large output reaches the disk window by window while it is written; it must still come out
// whole and in order, and appear under its name only at Commit.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <fmt/format.h>

#include "writer/output_file.h"

namespace fenwix {
namespace {

TEST(OutputFileTest, LargeFileComesOutWholeAfterItsWindowsWentToTheDisk) {
  namespace fs = std::filesystem;
  const fs::path target = fs::temp_directory_path() / fmt::format("fenwix-large-{}.txt", getpid());
  OutputFile out;
  ASSERT_TRUE(out.Open(target.string()));
  std::string expected;
  for (int i = 0; i < 800000; ++i) {  // about 26 MB: three windows and a part
    const std::string line = fmt::format("{:08d} a line of a large job", i);
    out.WriteLine(line, 1);
    expected += line + "\r\n";
  }
  EXPECT_FALSE(fs::exists(target));
  ASSERT_TRUE(out.Commit());
  std::ifstream file(target, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  fs::remove(target);
  EXPECT_EQ(text.str().size(), expected.size());
  EXPECT_TRUE(text.str() == expected);
}

}  // namespace
}  // namespace fenwix

// A large output reaches the disk window by window while it is written; it must still come out
// whole and in order, and appear under its name only at Commit.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <fmt/format.h>

#include "writer/output_file.h"

namespace fenwix {
namespace {

TEST(OutputFileTest, LargeFileComesOutWholeAfterItsWindowsWentToTheDisk) {
  const auto target = std::filesystem::temp_directory_path() / fmt::format("large-{}", getpid());
  OutputFile out;
  ASSERT_TRUE(out.Open(target.string()));
  std::string expected;
  for (int i = 0; i < 800000; ++i) {  // about 26 MB: three windows and a part
    const std::string line = fmt::format("{:08d} a line of a large job", i);
    out.WriteLine(line, 1);
    expected += line + "\r\n";
  }
  EXPECT_FALSE(std::filesystem::exists(target));
  ASSERT_TRUE(out.Commit());
  std::ifstream file(target, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(file), {}};
  file.close();  // Windows removes no file that is open
  std::filesystem::remove(target);
  EXPECT_TRUE(text == expected) << text.size() << " bytes, not " << expected.size();
}

}  // namespace
}  // namespace fenwix

// fenwix-convert --sketch: the adjustment file is the same with and without it, and a sketch
// that cannot be written is reported without touching that file.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using fenwix::testing::ReadFile;

class SketchOption : public ::testing::Test {
 protected:
  // Exit status of fenwix-convert on the example job with the seed B1 and local coordinates.
  int Run(const fs::path& output, const std::string& more) {
    const std::string command = std::string("'") + FENWIX_CONVERT_EXE + "' --seed B1 --local " +
                                more + " '" + FENWIX_TEST_DATA + "/jobs/small-job.xml' '" +
                                output.string() + "' >/dev/null 2>'" + (dir / "err").string() +
                                "' </dev/null";
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  std::string Errors() const { return ReadFile(dir / "err"); }

  fenwix::testing::ScratchFolder scratch{"fenwix-sketch-cli-"};
  fs::path dir = scratch.path();
};

TEST_F(SketchOption, AdjustmentFileIsTheSameWithAndWithoutTheSketch) {
  ASSERT_EQ(Run(dir / "plain.txt", ""), 0);
  ASSERT_EQ(Run(dir / "drawn.txt", "--sketch '" + (dir / "net.svg").string() + "'"), 0) << Errors();
  EXPECT_EQ(ReadFile(dir / "plain.txt"), ReadFile(dir / "drawn.txt"));
  const std::string svg = ReadFile(dir / "net.svg");
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
  EXPECT_NE(svg.find("data-station=\"B1\""), std::string::npos);
}

TEST_F(SketchOption, AnUnwritableSketchLeavesTheAdjustmentFileAndOneReplacingItIsRefused) {
  ASSERT_EQ(Run(dir / "plain.txt", ""), 0);
  // A folder in the sketch's place: the adjustment file is written all the same.
  fs::create_directory(dir / "taken.svg");
  EXPECT_EQ(Run(dir / "drawn.txt", "--sketch '" + (dir / "taken.svg").string() + "'"), 1);
  EXPECT_EQ(Errors().rfind("fenwix-convert: Cannot write the sketch", 0), 0u) << Errors();
  EXPECT_EQ(ReadFile(dir / "plain.txt"), ReadFile(dir / "drawn.txt"));

  // The sketch must not replace the output file: refused before anything is written.
  EXPECT_EQ(Run(dir / "same.txt", "--sketch '" + (dir / "same.txt").string() + "'"), 2);
  EXPECT_EQ(Errors().rfind("fenwix-convert: --sketch", 0), 0u) << Errors();
  EXPECT_FALSE(fs::exists(dir / "same.txt"));
}

}  // namespace

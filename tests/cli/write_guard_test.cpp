// fenwix-convert never writes over a field file, the job file or an XML document, keeps a job's
// output inside its folder and reads only regular files: every case from one table of targets.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using fenwix::testing::ReadFile;
using fenwix::testing::WriteFile;

std::string Trim(const std::string& text) {
  const size_t begin = text.find_first_not_of(' ');
  const size_t end = text.find_last_not_of(' ');
  return begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
}

// Kind and permissions of every name in the folder and below, links not followed.
std::map<std::string, std::pair<fs::file_type, fs::perms>> Kinds(const fs::path& dir) {
  std::map<std::string, std::pair<fs::file_type, fs::perms>> kinds;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    const fs::file_status status = entry.symlink_status();
    kinds[entry.path().string()] = {status.type(), status.permissions()};
  }
  return kinds;
}

TEST(WriteGuard, EveryTargetOfTheTableIsRefusedOrWrittenInPlace) {
  fenwix::testing::ScratchFolder scratch{"fenwix-write-guard-"};
  const fs::path dir = scratch.path() / "job";
  fs::create_directories(dir);
  fs::create_directories(scratch.path() / "outside");
  const fs::path example = fs::path(FENWIX_TEST_DATA) / "jobs/checked-job.xml";
  fs::copy_file(example, dir / "day1.xml");
  fs::copy_file(example, dir / "day2.xml");
  WriteFile(dir / "job.fenwix",
            R"({"fenwix_project": 1, "inputs": [{"path": "day1.xml"}], "output": "net.txt"})");
  WriteFile(dir / "away.fenwix",
            R"({"fenwix_project": 1, "inputs": [{"path": "day1.xml"}], "output": "cfg/x.txt"})");
  WriteFile(scratch.path() / "outside/x.txt", "outside\n");
  // A field file and a job file named as the output's temporary files once were.
  fs::copy_file(example, dir / "net.txt.fenwix-abc123");
  WriteFile(dir / "net.txt.fenwix-job123",
            R"({"fenwix_project": 1, "inputs": [{"path": "day1.xml"}], "output": "net.txt"})");
  WriteFile(dir / "fifo.fenwix",
            R"({"fenwix_project": 1, "inputs": [{"path": "day1.xml"}], "output": "fifo"})");
  WriteFile(dir / "old.svg", "<?xml version=\"1.0\"?>\n<!-- old -->\n<svg width=\"1\"></svg>\n");
  WriteFile(dir / "old.html", "<!DOCTYPE html>\n<html lang=\"en\"></html>\n");
  fs::create_directory_symlink("../outside", dir / "cfg");
  for (const char* name : {"day1.xml", "day2.xml", "job.fenwix", "net.txt"}) {
    fs::create_symlink(name, dir / ("link-" + fs::path(name).stem().string() + ".txt"));
  }
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
  const bool device = mknod((dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;

  std::istringstream table(ReadFile(fs::path(FENWIX_TEST_DATA) / "cli/write_targets.txt"));
  int cases = 0;
  for (std::string line; std::getline(table, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string status, args, file, said;
    std::getline(fields, status, '|');
    std::getline(fields, args, '|');
    std::getline(fields, file, '|');
    std::getline(fields, said);
    file = Trim(file);
    if (!device && line.find("null") != std::string::npos) continue;
    WriteFile(dir / "net.txt", "previous output\n");
    fs::permissions(dir / "net.txt", fs::perms::owner_read | fs::perms::owner_write);
    const fs::path kept = dir / file.substr(1);
    const std::string before = ReadFile(kept);
    const auto kinds = Kinds(scratch.path());
    const std::string command = "cd '" + dir.string() + "' && '" + FENWIX_CONVERT_EXE + "' " +
                                args + " >said 2>&1 </dev/null";
    const int raw = std::system(command.c_str());
    const std::string printed = ReadFile(dir / "said");
    fs::remove(dir / "said");
    SCOPED_TRACE(line + "\n" + printed);
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, std::stoi(status));
    EXPECT_NE(printed.find(Trim(said)), std::string::npos);
    EXPECT_EQ(ReadFile(kept) == before, file[0] == '=');
    EXPECT_EQ(Kinds(scratch.path()), kinds);
    fs::remove(dir / "out.txt");
    ++cases;
  }
  EXPECT_GE(cases, 15);
}

// A standard error that cannot take a byte loses the messages, never the run's own status.
TEST(WriteGuard, AFullStandardErrorLeavesTheExitStatus) {
  fenwix::testing::ScratchFolder scratch{"fenwix-full-stderr-"};
  fs::copy_file(fs::path(FENWIX_TEST_DATA) / "jobs/checked-job.xml", scratch.path() / "day1.xml");
  const struct {
    const char* args;
    int status;
  } runs[] = {{"day1.xml net.txt", 0}, {"none.xml net.txt", 1}, {"--frobnicate", 2}};
  for (const auto& run : runs) {
    SCOPED_TRACE(run.args);
    const std::string command = "cd '" + scratch.path().string() + "' && '" + FENWIX_CONVERT_EXE +
                                "' " + run.args + " >/dev/null 2>/dev/full </dev/null";
    const int raw = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, run.status);
  }
}

}  // namespace

// fenwix-convert given names that are not what they look like: blanks and control characters
// around a job file's or an option's path, side files that are the output under another
// spelling, a job file saved where it could not be run. Each row pairs with a clean one.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using fenwix::testing::ReadFile;
using fenwix::testing::WriteFile;

struct Outcome {
  int status = -1;
  std::string err;
};

class HostilePathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(job_);
    fs::copy_file(fs::path(FENWIX_TEST_DATA) / "jobs/checked-job.xml", job_ / "day1.xml");
    WriteFile(root_ / "victim.txt", "keep\n");
  }
  // Runs fenwix-convert in the job folder.
  Outcome Convert(const std::string& args) {
    const std::string command = "cd '" + job_.string() + "' && '" + FENWIX_CONVERT_EXE + "' " +
                                args + " >'" + (root_ / "stdout").string() + "' 2>'" +
                                (root_ / "stderr").string() + "' </dev/null";
    const int raw = std::system(command.c_str());
    Outcome outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(root_ / "stderr")};
    fs::remove(root_ / "stdout");
    fs::remove(root_ / "stderr");
    return outcome;
  }
  // Every name under the scratch folder but the job folder's own field file and job files.
  std::string Written() const {
    std::set<std::string> sorted;
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
      const std::string name = entry.path().lexically_relative(root_).string();
      if (name != "job" && name != "job/day1.xml" && name != "victim.txt" &&
          name != "job/alias.txt" && !name.ends_with("job.fenwix")) {
        sorted.insert(name);
      }
    }
    std::string names;
    for (const std::string& name : sorted) names += name + " ";
    return names;
  }

  fenwix::testing::ScratchFolder scratch_{"fenwix-hostile-"};
  fs::path root_ = scratch_.path();
  fs::path job_ = root_ / "job";
};

// A job file's path keys with a blank or a control character are refused before anything is
// written: nothing appears inside the folder or beside it, and the file outside keeps its text.
TEST_F(HostilePathsTest, JobPathsWithBlanksOrControlsAreRefusedAndWriteNothing) {
  const struct {
    const char* inputs;
    const char* output;
    int status;
    const char* said;  // part of standard error
  } cases[] = {
      {R"({"path": "day1.xml"})", R"(" ../victim.txt")", 2, R"("output": the path " ../)"},
      {R"({"path": "day1.xml"})", R"("\t../victim.txt")", 2, "begins or ends with a blank"},
      {R"({"path": "day1.xml"})", R"("../victim.txt\n")", 2, "begins or ends with a blank"},
      {R"({"path": "day1.xml"})", R"("net\u001b[2J.txt")", 2, R"(net\x1b[2J.txt)"},
      {R"({"path": "day1.xml"})", R"("")", 2, "is empty"},
      {R"({"path": " "}, {"path": "day1.xml"})", R"("net.txt")", 2, R"("inputs"[1]."path")"},
      {R"({"path": "day1.xml "})", R"("net.txt")", 2, R"("inputs"[1]."path")"},
      // The clean control: the same job, its output inside the folder.
      {R"({"path": "day1.xml"})", R"("net.txt")", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.inputs) + " -> " + c.output);
    WriteFile(job_ / "job.fenwix", std::string(R"({"fenwix_project": 1, "inputs": [)") + c.inputs +
                                       R"(], "output": )" + c.output + "}");
    const Outcome run = Convert("--project job.fenwix");
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\x1b'), std::string::npos);
    EXPECT_EQ(ReadFile(root_ / "victim.txt"), "keep\n");
    EXPECT_EQ(Written(), c.status == 0 ? "job/net.txt " : "");
    fs::remove(job_ / "net.txt");
  }
}

// Options naming files are taken as written; side files that land on the output, however
// spelled, and job files that could not be run are refused before anything is written.
TEST_F(HostilePathsTest, OptionsAreCheckedAsWrittenAndNeverShareAFile) {
  fs::create_symlink("out.txt", job_ / "alias.txt");
  const std::string abs_out = (job_ / "out.txt").string();
  const struct {
    std::string args;
    int status;
    const char* said;
    const char* written;
  } cases[] = {
      {"-o ' ../victim.txt' day1.xml", 2, "-o: the path", ""},
      {"-o out.txt ' day1.xml'", 2, "file name: the path", ""},
      {"-o out.txt --report ' r.txt' day1.xml", 2, "--report: the path", ""},
      {"-o out.txt --report ./out.txt day1.xml", 2, "must not replace", ""},
      {"-o out.txt --sketch '" + abs_out + "' day1.xml", 2, "must not replace", ""},
      {"-o out.txt --report alias.txt day1.xml", 2, "must not replace", ""},
      {"-o out.txt --report r.txt --save-project ./r.txt day1.xml", 2, "must not replace", ""},
      {"-o out.txt --save-project - day1.xml", 2, "not standard output", ""},
      {"-o ../out.txt --save-project j.fenwix day1.xml", 2, "not inside the job file's folder", ""},
      // The clean control: every side file a file of its own.
      {"-o out.txt --report r.txt --save-project j.fenwix day1.xml", 0, "",
       "job/j.fenwix job/out.txt job/r.txt "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const Outcome run = Convert(c.args);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
    EXPECT_EQ(Written(), c.written);
    EXPECT_EQ(fs::exists(job_ / "j.fenwix"), c.status == 0);
    EXPECT_FALSE(fs::exists(job_ / "-"));
    for (const char* name : {"out.txt", "r.txt", "j.fenwix", "../out.txt"}) fs::remove(job_ / name);
  }
}

// A job file given by an absolute path, its output given again by a relative spelling as the
// report: one file, refused. The clean control names another report.
TEST_F(HostilePathsTest, AJobsOwnOutputIsNoSideFile) {
  WriteFile(job_ / "job.fenwix",
            R"({"fenwix_project": 1, "inputs": [{"path": "day1.xml"}], "output": "net.txt"})");
  const std::string job = "--project '" + (job_ / "job.fenwix").string() + "'";
  const Outcome same = Convert(job + " --report net.txt");
  EXPECT_EQ(same.status, 2) << same.err;
  EXPECT_FALSE(fs::exists(job_ / "net.txt"));
  const Outcome other = Convert(job + " --report r.txt");
  EXPECT_EQ(other.status, 0) << other.err;
  EXPECT_NE(ReadFile(job_ / "net.txt"), ReadFile(job_ / "r.txt"));
}

// A settings file that is no settings record (a field file) is refused; a record is read.
TEST_F(HostilePathsTest, SettingsThatAreAFieldFileAreRefused) {
  const Outcome field = Convert("--settings day1.xml -o out.txt day1.xml");
  EXPECT_EQ(field.status, 2) << field.err;
  EXPECT_NE(field.err.find("not a Fenwix settings file"), std::string::npos) << field.err;
  EXPECT_FALSE(fs::exists(job_ / "out.txt"));
  WriteFile(job_ / "empty.cfg", "");
  const Outcome record = Convert("--settings empty.cfg -o out.txt day1.xml");
  EXPECT_EQ(record.status, 0) << record.err;
}

}  // namespace

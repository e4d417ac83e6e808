// A conversion whose writes start failing part-way reports the write error and keeps the
// previous output. The failure comes from a file-size limit set in a child process: POSIX only.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/convert_dialog.h"
#include "app/messages.h"
#include "support/recording_ui.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

TEST(WriteLimit, WriteErrorReportsAndKeepsThePreviousOutput) {
  testing::ScratchFolder scratch("fenwix-limit-");
  const fs::path output = scratch.path() / "job.txt";
  ConvertDialog dialog;
  dialog.InitializeDefaults();
  dialog.request.output_path = output.string();
  dialog.request.xml_paths = {
      (fs::path(FENWIX_TEST_DATA) / "writer" / "total_station.xml").string()};
  testing::RecordingUi ui;
  const std::string previous = "the previous output\r\n";
  WriteFile(output, previous);
  int ids_pipe[2];
  ASSERT_EQ(pipe(ids_pipe), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A file-size limit far below the size of the head: every write past it fails with EFBIG
    // instead of killing the process.
    close(ids_pipe[0]);
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{100, 100};
    setrlimit(RLIMIT_FSIZE, &limit);
    dialog.RunConversion(ui);
    for (const MessageId id : ui.MessageIds()) {
      if (write(ids_pipe[1], &id, sizeof id) != static_cast<ssize_t>(sizeof id)) _exit(2);
    }
    _exit(0);
  }
  close(ids_pipe[1]);
  std::vector<MessageId> ids;
  MessageId id{};
  while (read(ids_pipe[0], &id, sizeof id) == static_cast<ssize_t>(sizeof id)) ids.push_back(id);
  close(ids_pipe[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ids, std::vector<MessageId>{MSG_WRITE_ERROR});
  EXPECT_EQ(ReadFile(output), previous);
  EXPECT_EQ(testing::FolderContents(scratch.path()), std::vector<std::string>{"job.txt"});
}

}  // namespace
}  // namespace fenwix

// The guarded write against a hostile folder on POSIX systems: leftovers that are not the
// program's own, links swapped while a file is written, FIFOs and devices named as inputs or
// outputs.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_access.h"
#include "platform/guarded_write.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::ScratchFolder;
using testing::WriteFile;

// Runs swap over and over on a thread of its own until the object goes; the constructor
// returns once the first swap is made, so that every write of the test meets a moving target.
class Swapper {
 public:
  template <typename Swap>
  explicit Swapper(Swap swap)
      : thread_([this, swap] {
          while (!stop_) {
            swap();
            ++swaps_;
          }
        }) {
    while (swaps_ == 0) std::this_thread::yield();
  }
  ~Swapper() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<long> swaps_{0};
  std::thread thread_;
};

const std::string FIELD_FILE = "<?xml version=\"1.0\"?>\n<JobXML><Point/></JobXML>\n";

// Each name planted beside out.txt before out.txt is written, and whether the write's clean-up
// may take it away.
TEST(GuardedWriteLeftovers, OnlyASignedPlainLeftoverOfThisOutputIsRemoved) {
  ScratchFolder scratch("fenwix-leftovers-");
  const fs::path dir = scratch.path();
  const std::string signed_name = TemporaryNameFor("out.txt");
  const auto signed_for = [](const char* target) { return TemporaryNameFor(target); };
  struct Plant {
    std::string name;
    std::string text;
    enum { Plain, Protected, HardLink, Link } kind;
    bool removed;
  };
  const std::vector<Plant> plants = {
      {signed_name, "1 B1 100 200\n", Plant::Plain, true},
      {"out.txt.fenwix-abc123", FIELD_FILE, Plant::Protected, false},
      {"out.txt.fenwix-abc123", "1 B1 100 200\n", Plant::Plain, false},
      {signed_for("out.txt"), FIELD_FILE, Plant::Plain, false},
      {signed_for("out.txt"), "1 B1 100 200\n", Plant::Protected, false},
      {signed_for("out.txt"), "{\"fenwix_project\": 1, \"output\": \"out.txt\"}", Plant::Plain,
       false},
      {signed_for("out.txt"), "1 B1 100 200\n", Plant::HardLink, false},
      {signed_for("out.txt"), "1 B1 100 200\n", Plant::Link, false},
      {signed_for("net.txt"), "1 B1 100 200\n", Plant::Plain, false},
  };
  for (const Plant& plant : plants) {
    SCOPED_TRACE(plant.name + " kind " + std::to_string(plant.kind));
    const fs::path planted = dir / plant.name;
    const fs::path data = dir / "data.txt";
    WriteFile(plant.kind == Plant::Link ? data : planted, plant.text);
    if (plant.kind == Plant::HardLink) fs::create_hard_link(planted, data);
    if (plant.kind == Plant::Link) fs::create_symlink("data.txt", planted);
    SetProtectedFiles(plant.kind == Plant::Protected ? std::vector<std::string>{planted.string()}
                                                     : std::vector<std::string>{},
                      "");
    ASSERT_EQ(WriteWholeFile((dir / "out.txt").string(), "converted\n"), 0);
    EXPECT_EQ(ReadFile(dir / "out.txt"), "converted\n");
    EXPECT_EQ(fs::exists(fs::symlink_status(planted)), !plant.removed);
    if (!plant.removed && plant.kind != Plant::Link) {
      EXPECT_EQ(ReadFile(planted), plant.text);
    }
    SetProtectedFiles({}, "");
    for (const auto& entry : fs::directory_iterator(dir)) fs::remove(entry.path());
  }
}

// A name that leads to a harmless file one moment and to a protected field file the next,
// switched by another thread while this one writes through it, as a hostile folder might.
TEST(GuardedWriteRace, ALinkSwappedDuringTheWriteNeverReplacesAFieldFile) {
  ScratchFolder scratch("fenwix-race-");
  const fs::path dir = scratch.path();
  WriteFile(dir / "field.xml", FIELD_FILE);
  WriteFile(dir / "harmless.txt", "old\n");
  fs::create_symlink("harmless.txt", dir / "link.txt");
  SetProtectedFiles({(dir / "field.xml").string()}, "");
  int written = 0;
  {
    bool to_field = true;
    const Swapper swapper([&] {
      std::error_code ignored;
      fs::remove(dir / "next", ignored);
      fs::create_symlink(to_field ? "field.xml" : "harmless.txt", dir / "next", ignored);
      fs::rename(dir / "next", dir / "link.txt", ignored);
      to_field = !to_field;
    });
    // Until the link was met both ways a few times, within bounds; the yield lets the swapper
    // move on a busy machine.
    int refused = 0;
    for (int run = 0; run < 5000 && (run < 300 || written < 5 || refused < 5); ++run) {
      (WriteWholeFile((dir / "link.txt").string(), "new\n") == 0 ? written : refused) += 1;
      std::this_thread::yield();
    }
  }
  SetProtectedFiles({}, "");
  EXPECT_EQ(ReadFile(dir / "field.xml"), FIELD_FILE);
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "field.xml")));
  EXPECT_GT(written, 0);
}

// The field file and the output trade names while the output is written: what the write
// replaces is looked at after the exchange and put back when it is the field file.
TEST(GuardedWriteRace, AFieldFileRenamedOntoTheOutputIsPutBack) {
  ScratchFolder scratch("fenwix-race-");
  const fs::path dir = scratch.path();
  WriteFile(dir / "field.xml", FIELD_FILE);
  WriteFile(dir / "out.txt", "old\n");
  SetProtectedFiles({(dir / "field.xml").string()}, "");
  int written = 0;
  int put_back = 0;
  {
    const Swapper swapper([&] {
      renameat2(AT_FDCWD, (dir / "field.xml").c_str(), AT_FDCWD, (dir / "out.txt").c_str(),
                RENAME_EXCHANGE);
    });
    // Until a few exchanges met the field file under the output's name, within bounds.
    for (int run = 0; run < 3000 && (run < 300 || put_back < 5 || written < 5); ++run) {
      std::this_thread::yield();
      GuardedFile file;
      if (file.Open((dir / "out.txt").string()) != 0 || !file.Write("new\n")) continue;
      if (file.Commit() == 0) {
        ++written;
      } else {
        ++put_back;
      }
    }
  }
  SetProtectedFiles({}, "");
  const int field_copies =
      (ReadFile(dir / "field.xml") == FIELD_FILE) + (ReadFile(dir / "out.txt") == FIELD_FILE);
  EXPECT_EQ(field_copies, 1);
  EXPECT_EQ(testing::FolderContents(dir), (std::vector<std::string>{"field.xml", "out.txt"}));
  EXPECT_GT(written, 0);
}

// A subfolder link switched between a folder inside the job folder and one outside it while
// the job's output is written there: nothing ever lands outside.
TEST(GuardedWriteRace, AWriteRequiredInsideAFolderNeverLandsOutside) {
  ScratchFolder scratch("fenwix-race-");
  const fs::path job = scratch.path() / "job";
  fs::create_directories(job / "inside");
  fs::create_directories(scratch.path() / "outside");
  const auto write = [&] {
    GuardedFile file;
    file.RequireFolder(job.string());
    int error = file.Open((job / "sub" / "out.txt").string());
    if (error == 0 && file.Write("new\n")) error = file.Commit();
    return error;
  };
  // Controls: the link held still, inside and then outside.
  fs::create_directory_symlink("inside", job / "sub");
  EXPECT_EQ(write(), 0);
  fs::remove(job / "sub");
  fs::create_directory_symlink("../outside", job / "sub");
  EXPECT_EQ(write(), TARGET_OUTSIDE_FOLDER);
  {
    bool out = true;
    const Swapper swapper([&] {
      std::error_code ignored;
      fs::remove(job / "next", ignored);
      fs::create_directory_symlink(out ? "../outside" : "inside", job / "next", ignored);
      fs::rename(job / "next", job / "sub", ignored);
      out = !out;
    });
    for (int run = 0; run < 300; ++run) {
      write();
      std::this_thread::yield();
    }
  }
  EXPECT_EQ(testing::FolderContents(scratch.path() / "outside"), std::vector<std::string>{});
  EXPECT_EQ(ReadFile(job / "inside" / "out.txt"), "new\n");
}

// Names that must be neither waited on nor read for ever, opened for reading and written.
TEST(GuardedWriteSpecialFiles, InputsAndOutputsThatWouldHangAreRefused) {
  ScratchFolder scratch("fenwix-special-");
  const fs::path dir = scratch.path();
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
  WriteFile(dir / "plain.txt", "plain\n");
  fs::create_symlink("plain.txt", dir / "link.txt");
  const struct {
    std::string path;
    bool no_links;
    int error;
  } reads[] = {
      {(dir / "plain.txt").string(), false, 0},
      {(dir / "link.txt").string(), false, 0},
      {(dir / "link.txt").string(), true, ELOOP},
      {(dir / "fifo").string(), false, NOT_A_REGULAR_FILE},
      {"/dev/zero", false, NOT_A_REGULAR_FILE},
      {dir.string(), false, EISDIR},
      {(dir / "none.txt").string(), false, ENOENT},
  };
  for (const auto& read : reads) {
    SCOPED_TRACE(read.path);
    int error = -100;
    std::FILE* file = OpenForReading(read.path, error, read.no_links);
    EXPECT_EQ(error, read.error);
    EXPECT_EQ(file != nullptr, read.error == 0);
    if (file != nullptr) std::fclose(file);
    std::string text;
    if (!read.no_links) {
      EXPECT_EQ(ReadWholeFile(read.path, text, error), read.error == 0);
    }
  }
  // A FIFO no program reads is refused; with a reader it takes the bytes.
  GuardedFile unread;
  EXPECT_EQ(unread.Open((dir / "fifo").string()), FIFO_WITHOUT_READER);
  const int reader = open((dir / "fifo").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_EQ(WriteWholeFile((dir / "fifo").string(), "piped\n"), 0);
  char got[16] = {};
  EXPECT_EQ(read(reader, got, sizeof got), 6);
  EXPECT_EQ(std::string(got), "piped\n");
  close(reader);
  EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
}

}  // namespace
}  // namespace fenwix

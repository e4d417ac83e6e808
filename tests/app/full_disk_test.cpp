// A full disk, met while writing the adjustment file, the check report or a job file, leaves the
// previous file whole and says so in the system's words; a job is never saved over a field file.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/convert_dialog.h"
#include "app/job_conversion.h"
#include "checks/report_forms.h"
#include "platform/guarded_write.h"
#include "support/recording_ui.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

constexpr const char* PREVIOUS = "the previous file\n";
constexpr const char* FIELD_FILE = "<?xml version=\"1.0\"?>\n<data><Project/></data>\n";

struct Writer {
  const char* target;
  // Writes target in folder; the text of the failure, empty on success.
  std::function<std::string(const fs::path& folder)> write;
};

const std::vector<Writer> WRITERS = {
    {"net.txt",
     [](const fs::path& folder) {
       ConvertDialog dialog;
       dialog.InitializeDefaults();
       dialog.request.xml_paths = {(folder / "day1.xml").string()};
       dialog.request.output_path = (folder / "net.txt").string();
       testing::RecordingUi ui;
       return dialog.RunConversion(ui).written() ? std::string() : ui.messages.back().text;
     }},
    {"report.html",
     [](const fs::path& folder) {
       CheckReport report;
       report.sections.emplace_back().title = "Repeats";
       return WriteReportFile(report, (folder / "report.html").string()).text();
     }},
    {"job.fenwix",
     [](const fs::path& folder) {
       Job job;
       job.inputs.push_back(JobInput{"day1.xml", "", ""});
       return SaveJobFile(job, (folder / "job.fenwix").string()).text();
     }},
};

TEST(FullDisk, EveryWriterKeepsThePreviousFileAndNamesTheCause) {
  testing::ScratchFolder scratch{"fenwix-full-disk-"};
  const fs::path folder = scratch.path();
  WriteFile(folder / "day1.xml", FIELD_FILE);
  for (const Writer& writer : WRITERS) {
    SCOPED_TRACE(writer.target);
    WriteFile(folder / writer.target, PREVIOUS);
    SetWriteLimitForTesting(20, ENOSPC);
    const std::string failed = writer.write(folder);
    SetWriteLimitForTesting(-1, 0);
    EXPECT_NE(failed.find("No space left on device"), std::string::npos) << failed;
    EXPECT_EQ(ReadFile(folder / writer.target), PREVIOUS);
    EXPECT_EQ(testing::FolderContents(folder).size(), 2u);
    // With room on the disk the same writer replaces the file.
    EXPECT_EQ(writer.write(folder), "");
    EXPECT_NE(ReadFile(folder / writer.target), PREVIOUS);
    fs::remove(folder / writer.target);
  }
}

TEST(FullDisk, AJobIsNeverSavedOverAFieldFile) {
  testing::ScratchFolder scratch{"fenwix-job-over-field-"};
  const fs::path folder = scratch.path();
  Job job;
  job.inputs.push_back(JobInput{"day1.xml", "", ""});
  // Its own field file, another XML document, and a new name as the clean case.
  for (const char* target : {"day1.xml", "day2.xml", "new.fenwix"}) {
    WriteFile(folder / "day1.xml", "plain text, not XML\n");
    WriteFile(folder / "day2.xml", FIELD_FILE);
    const std::string before = ReadFile(folder / target);
    const Status refused = SaveJobFile(job, (folder / target).string());
    EXPECT_EQ(refused.kind(), before.size() > 0 ? StatusKind::Refused : StatusKind::Ok) << target;
    EXPECT_EQ(ReadFile(folder / target) == before, refused.failed()) << target;
  }
}

}  // namespace
}  // namespace fenwix

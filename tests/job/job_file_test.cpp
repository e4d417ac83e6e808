// Job files read, refused and written back; the fingerprint of a field file.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "job/job_file.h"
#include "job/job_paths.h"
#include "model/text_excerpt.h"
#include "platform/file_access.h"

namespace fenwix {
namespace {

const std::string DATA = std::string(FENWIX_TEST_DATA) + "/job/";

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every key of the format, read and written back: the text is the same byte for byte (the file
// was written in the writer's order), and reading it again gives the same job.
TEST(JobFile, RoundTripKeepsEveryKeyAndByte) {
  const std::string text = Slurp(DATA + "full.fenwix");
  const Result<Job> read_job = ReadJobText(text, "full.fenwix");
  ASSERT_TRUE(read_job.ok()) << read_job.status().text();
  const Job& read = read_job.value();
  EXPECT_EQ(read.inputs.at(0).instrument, "TS1");
  EXPECT_EQ(read.instruments.at("TS1").distance_ppm, 1.5);
  EXPECT_EQ(read.leave_out.at(0).line, 15);
  EXPECT_EQ(FormatJobText(read), text);
  const Result<Job> again = ReadJobText(FormatJobText(read), "again");
  ASSERT_TRUE(again.ok()) << again.status().text();
  EXPECT_TRUE(again.value() == read);
}

TEST(JobFile, RefusesMalformedAndFutureFilesNamingTheCause) {
  std::istringstream cases(Slurp(DATA + "refused.txt"));
  std::string line;
  std::vector<std::string> lines;
  while (std::getline(cases, line)) {
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  }
  ASSERT_EQ(lines.size() % 2, 0u);
  for (size_t i = 0; i < lines.size(); i += 2) {
    std::string text = lines[i];
    for (size_t at = text.find("\\n"); at != std::string::npos; at = text.find("\\n", at)) {
      text.replace(at, 2, "\n");
    }
    const Status read = ReadJobText(text, "job.fenwix").status();
    EXPECT_EQ(read.kind(), StatusKind::Refused) << text;
    EXPECT_NE(read.text().find(lines[i + 1]), std::string::npos)
        << "case " << text << "\nmessage: " << read.text();
  }
}

// A syntax error carries its line as the Status's place, which the text names too; a refusal
// of a key has no place.
TEST(JobFile, ASyntaxErrorCarriesItsLine) {
  const Status broken = ReadJobText("{\n  \"fenwix_project\": 1,\n  ]\n}\n", "job.fenwix").status();
  ASSERT_TRUE(broken.at().has_value()) << broken.text();
  EXPECT_EQ(broken.at()->line, 3);
  EXPECT_NE(broken.text().find("(line 3)"), std::string::npos) << broken.text();
  EXPECT_FALSE(ReadJobText("{\"fenwix_project\": \"x\"}", "job.fenwix").status().at());
}

TEST(JobFile, DeepNestingIsRefusedBeforeTheReaderPrintsIt) {
  for (const size_t depth : {size_t{64}, size_t{80000}}) {
    const Status read = ReadJobText(R"({"fenwix_project": )" + std::string(depth - 1, '[') +
                                        std::string(depth - 1, ']') + "}",
                                    "job.fenwix")
                            .status();
    EXPECT_NE(read.text().find(depth > 64 ? "nested more than 64" : "format [[["),
              std::string::npos)
        << read.text().substr(0, 200);
  }
}

TEST(JobFile, OutputMustStayInsideTheJobFolderAndNeverNameAFieldFile) {
  Job job;
  job.inputs.push_back(JobInput{"day1.xml", "", ""});
  for (const auto& [output, refused] : std::vector<std::pair<std::string, bool>>{
           {"net.txt", false},
           {"out/net.txt", false},
           {"out/../net.txt", false},
           {"/tmp/net.txt", true},
           {"../net.txt", true},
           {"out/../../net.txt", true},
           {"./day1.xml", true},
       }) {
    job.output = output;
    EXPECT_EQ(RefuseJobOutput(job).failed(), refused) << output;
  }
}

// A name the system cannot follow (a component longer than any file name) is refused for what it
// is, not as a symbolic link; the clean control is an output the folder holds.
TEST(JobFile, AnOutputTooLongToFollowIsNotCalledALink) {
#ifdef _WIN32
  GTEST_SKIP() << "a name of more than 255 bytes is the POSIX systems' limit";
#endif
  const std::string job_path = ::testing::TempDir() + "fenwix-long/job.fenwix";
  std::filesystem::create_directories(::testing::TempDir() + "fenwix-long");
  const Status long_name = RefuseOutsideJobFolder(job_path, std::string(300, 'n') + ".txt");
  EXPECT_NE(long_name.text().find("too long"), std::string::npos) << long_name.text();
  EXPECT_EQ(long_name.text().find("symbolic link"), std::string::npos) << long_name.text();
  EXPECT_TRUE(RefuseOutsideJobFolder(job_path, "net.txt").ok());
}

// The clean controls of the refused paths, keys and merges: the same files without the fault.
TEST(JobFile, CleanPathsKeysAndRepeatedAnswersAreRead) {
  for (const char* text : {
           R"({"fenwix_project": 1, "inputs": [{"path": "a.xml"}], "output": "../x/net.txt"})",
           R"({"fenwix_project": 1, "inputs": [{"path": "d 1/a b.xml"}], "output": "a//b.txt"})",
           R"({"fenwix_project": 1, "inputs": [{"path": "a.xml"}, {"path": "b.xml"}]})",
           R"({"fenwix_project": 1, "inputs": [], "merges": [{"keep": "A", "drop": "B"},
               {"keep": "A", "drop": "B"}, {"different": ["A", "C"]}]})",
       }) {
    const Result<Job> read = ReadJobText(text, "job.fenwix");
    EXPECT_TRUE(read.ok()) << text << "\n" << read.status().text();
  }
  // The longest station name a rename may give is read whole (one byte more is refused).
  const std::string longest(JOB_STATION_NAME_MAX_BYTES, 'N');
  const Result<Job> renamed =
      ReadJobText(R"({"fenwix_project": 1, "inputs": [], "renames": [{"from": "S1", "to": ")" +
                      longest + R"("}]})",
                  "job.fenwix");
  ASSERT_TRUE(renamed.ok()) << renamed.status().text();
  EXPECT_EQ(renamed.value().renames.at(0).to, longest);
}

// What a terminal shows of a name: every control character but the line end as an escape,
// the rest byte for byte (UTF-8 and backslashes of Windows paths included).
TEST(JobFile, ControlCharactersAreShownEscaped) {
  const struct {
    std::string text, shown;
  } cases[] = {
      {"net\x1b[2J.txt", "net\\x1b[2J.txt"},
      {"a\x07\x7f\x01", "a\\x07\\x7f\\x01"},
      {"tab\there\r", "tab\\there\\r"},
      {"two\nlines", "two\nlines"},
      {"C:\\data\\d\xC3\xA9.xml", "C:\\data\\d\xC3\xA9.xml"},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeControls(c.text), c.shown) << c.shown;
}

TEST(JobFile, PathsAreRelativeToTheJobFolder) {
  EXPECT_EQ(ResolveJobPath("/jobs/a/net.fenwix", "day1.xml"), "/jobs/a/day1.xml");
  EXPECT_EQ(ResolveJobPath("/jobs/a/net.fenwix", "../raw/day1.xml"), "/jobs/raw/day1.xml");
  EXPECT_EQ(ResolveJobPath("/jobs/a/net.fenwix", "/raw/day1.xml"), "/raw/day1.xml");
  EXPECT_EQ(RelativeJobPath("/jobs/a/net.fenwix", "/jobs/raw/day1.xml"), "../raw/day1.xml");
}

// The standard test vector of SHA-256 ("abc"), and a file that cannot be read.
TEST(JobFile, FingerprintIsTheSha256OfTheFileBytes) {
  const std::string path = ::testing::TempDir() + "fenwix-abc.txt";
  std::ofstream(path, std::ios::binary) << "abc";
  int error = 0;
  EXPECT_EQ(FileSha256(path, error).value_or(""),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  std::ofstream(path, std::ios::binary) << "abd";
  EXPECT_NE(FileSha256(path, error).value_or(""),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_FALSE(FileSha256(path + ".missing", error).has_value());
  EXPECT_NE(error, 0);
  // A job file from elsewhere may name a device: refused, not read for ever.
  if (std::filesystem::exists("/dev/zero")) {
    EXPECT_FALSE(FileSha256("/dev/zero", error).has_value());
    EXPECT_EQ(error, NOT_A_REGULAR_FILE);
  }
}

}  // namespace
}  // namespace fenwix

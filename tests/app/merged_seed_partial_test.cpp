// Real jobs through RunConversion: merged names in the observations, the seed's local
// coordinates, and the note at the top of a partial file; each beside the unchanged case.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "app/convert_dialog.h"
#include "support/recording_ui.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

class JobTest : public ::testing::Test {
 protected:
  // Converts tests/data/app/<job> with approximate local coordinates from BASE.
  std::string Convert(const std::string& job, MergeAnswer answer, bool compute = true) {
    dialog_.InitializeDefaults();
    dialog_.xml_path = std::string(FENWIX_TEST_DATA) + "/app/" + job;
    dialog_.output_path = (scratch_.path() / "out.txt").string();
    dialog_.seed_name = "BASE";
    dialog_.compute_local = compute ? 1 : 0;
    testing::RecordingUi ui;
    ui.answers = {answer};
    dialog_.RunConversion(ui);
    return testing::ReadFile(dialog_.output_path);
  }
  static std::string Observations(const std::string& text) {
    return text.substr(text.find("$GPS_COMPACT"));
  }

  testing::ScratchFolder scratch_{"fenwix-job-"};
  ConvertDialog dialog_;
};

// R2X lies 2 mm from R2. Kept as R2, no record may name R2X; the R2-R2X tie stays as comments.
TEST_F(JobTest, MergedNamesAreWrittenAsTheKeptStation) {
  const std::string merged = Convert("merge_job.xml", MergeAnswer::SameKeepFirst);
  std::istringstream lines(merged);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind('!', 0) != 0) {
      EXPECT_EQ(line.find("R2X"), std::string::npos) << line;
    }
  }
  EXPECT_NE(merged.find("$GPS_COMPACT; P1; R2; -195.00200"), std::string::npos);
  EXPECT_NE(merged.find("kept as a comment:\r\n! $OBS_DESC; Fixed\r\n! $GPS_COMPACT; R2; R2X;"),
            std::string::npos);
  // Control: answered "different", the observations are those of a run without coordinates.
  const std::string apart = Observations(Convert("merge_job.xml", MergeAnswer::Different));
  EXPECT_EQ(apart, Observations(Convert("merge_job.xml", MergeAnswer::Different, false)));
  EXPECT_NE(apart.find("$GPS_COMPACT; R2; R2X;"), std::string::npos);
}

TEST_F(JobTest, LocalCoordinatesStartFromTheSeedsOwn) {
  const std::string plain = Convert("merge_job.xml", MergeAnswer::Different);
  EXPECT_NE(plain.find("$LOCAL_COMPACT; BASE; 100000.00000; 100000.00000; 0.00000\r\n"),
            std::string::npos);
  dialog_.seed_north = 5000.25;
  dialog_.seed_east = 2000.5;
  dialog_.seed_elevation = -12.0;
  const std::string shifted = Convert("merge_job.xml", MergeAnswer::Different);
  std::istringstream a(plain), b(shifted);
  int compared = 0;
  for (std::string la, lb; std::getline(a, la) && std::getline(b, lb);) {
    if (la.rfind("$LOCAL_COMPACT", 0) != 0) continue;
    std::replace(la.begin(), la.end(), ';', ' ');
    std::replace(lb.begin(), lb.end(), ';', ' ');
    double n0, e0, u0, n1, e1, u1;
    std::string name0, name1;
    std::istringstream(la.substr(15)) >> name0 >> n0 >> e0 >> u0;
    std::istringstream(lb.substr(15)) >> name1 >> n1 >> e1 >> u1;
    EXPECT_EQ(name0, name1);
    EXPECT_NEAR(n1 - n0, 5000.25 - 100000.0, 2e-5) << la << " / " << lb;
    EXPECT_NEAR(e1 - e0, 2000.5 - 100000.0, 2e-5);
    EXPECT_NEAR(u1 - u0, -12.0, 2e-5);
    ++compared;
  }
  EXPECT_EQ(compared, 4);
}

TEST_F(JobTest, PartialFileSaysSoOnItsFirstLine) {
  const std::string whole = Convert("merge_job.xml", MergeAnswer::Different);
  EXPECT_EQ(whole.rfind("! The data in this file", 0), 0u);
  const std::string partial = Convert("merge_job_truncated.xml", MergeAnswer::Different);
  const std::string first = partial.substr(0, partial.find("\r\n") + 2);
  EXPECT_EQ(first.rfind("! INCOMPLETE FILE: the Topcon XML file " + dialog_.xml_path +
                            " is not well formed (no element found at line 8, column 1)",
                        0),
            0u)
      << first;
  // Everything read before the fault is there, exactly as in the whole file.
  EXPECT_EQ(partial.substr(first.size()), whole);
}

}  // namespace
}  // namespace fenwix

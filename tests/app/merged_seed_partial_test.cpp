// Real jobs through RunConversion: merged names in the observations, the seed's local
// coordinates and the note on a partial file, each beside the unchanged case.

#include <gtest/gtest.h>

#include <string>

#include "app/convert_dialog.h"
#include "support/recording_ui.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

constexpr auto NONE = std::string::npos;

class JobTest : public ::testing::Test {
 protected:
  // tests/data/app/<job> with local coordinates from BASE (unless local is 0), one answer.
  std::string Convert(const std::string& job, MergeAnswer answer, int32_t local = 1) {
    dialog_.request.xml_paths = {std::string(FENWIX_TEST_DATA) + "/app/" + job};
    dialog_.request.output_path = (scratch_.path() / "out.txt").string();
    dialog_.request.seed_name = "BASE";
    dialog_.request.compute_local = local;
    testing::RecordingUi ui;
    ui.answers = {answer};
    dialog_.RunConversion(ui);
    return testing::ReadFile(dialog_.request.output_path);
  }

  testing::ScratchFolder scratch_{"fenwix-job-"};
  ConvertDialog dialog_;
};

// R2X lies 2 mm from R2; kept as R2, R2X is named on a comment line only.
TEST_F(JobTest, MergedNamesAreWrittenAsTheKeptStation) {
  const std::string merged = Convert("merge_job.xml", MergeAnswer::SameKeepFirst);
  EXPECT_EQ(merged.find("R2X"), merged.rfind("R2X"));  // once, on the comment line below
  EXPECT_NE(merged.find("$GPS_COMPACT; P1; R2; -195.00200"), NONE);
  EXPECT_NE(merged.find("comment:\r\n! $OBS_DESC; Fixed\r\n! $GPS_COMPACT; R2; R2X;"), NONE);
  // Control: answered "different", the observations are those of a run without coordinates.
  const auto observations = [](const std::string& s) { return s.substr(s.find("$GPS_COMPACT")); };
  EXPECT_EQ(observations(Convert("merge_job.xml", MergeAnswer::Different)),
            observations(Convert("merge_job.xml", MergeAnswer::Different, 0)));
}

TEST_F(JobTest, LocalCoordinatesStartFromTheSeedsOwn) {
  const std::string plain = Convert("merge_job.xml", MergeAnswer::Different);
  EXPECT_NE(plain.find("BASE; 100000.00000; 100000.00000; 0.00000\r\n"), NONE);
  EXPECT_NE(plain.find("P1; 100028.53811; 100123.92305; -7.32491\r\n"), NONE);
  dialog_.request.seed_north = 5000.25;
  dialog_.request.seed_east = 2000.5;
  dialog_.request.seed_elevation = -12.0;
  const std::string shifted = Convert("merge_job.xml", MergeAnswer::Different);
  EXPECT_NE(shifted.find("BASE; 5000.25000; 2000.50000; -12.00000\r\n"), NONE);
  EXPECT_NE(shifted.find("P1; 5028.78811; 2124.42305; -19.32491\r\n"), NONE);
}

TEST_F(JobTest, PartialFileSaysSoOnItsFirstLine) {
  const std::string whole = Convert("merge_job.xml", MergeAnswer::Different);
  const std::string partial = Convert("merge_job_truncated.xml", MergeAnswer::Different);
  EXPECT_EQ(partial, "! INCOMPLETE FILE: the Topcon XML file " + dialog_.request.xml_paths[0] +
                         " is not well formed (no element found at line 8, column 1); only the "
                         "data read before that point are here.\r\n" +
                         whole);
}

}  // namespace
}  // namespace fenwix

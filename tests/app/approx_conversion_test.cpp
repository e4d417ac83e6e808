// Conversions with approximate coordinates: the datum named in the header, the merge passes
// around the computation, their Cancel, and the final count of stations not computed.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/convert_dialog.h"
#include "app/messages.h"
#include "support/recording_ui.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RecordingUi;
using testing::WriteFile;

std::string Vector(const std::string& base, const std::string& rover, const std::string& dx,
                   const std::string& dy, const std::string& dz) {
  return "<Vector><BasePoint>" + base + "</BasePoint><RoverPoint>" + rover +
         "</RoverPoint><Type>Fixed</Type><DX>" + dx + "</DX><DY>" + dy + "</DY><DZ>" + dz +
         "</DZ><SX>0.002</SX><SY>0.002</SY><SZ>0.003</SZ></Vector>\n";
}

// BASE reaches P1, P2 and P2B; P2 and P2B are one mark 2 mm apart. X1 and X2 are linked only
// to each other.
const std::string JOB = "<?xml version=\"1.0\"?>\n<data><Project/>\n" +
                        Vector("BASE", "P1", "120.000", "-40.000", "15.000") +
                        Vector("BASE", "P2", "-75.000", "210.000", "-30.000") +
                        Vector("BASE", "P2B", "-75.002", "210.000", "-30.000") +
                        Vector("X1", "X2", "10.000", "10.000", "10.000") + "</data>\n";

class ApproxConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    input_ = dir_ / "job.xml";
    output_ = dir_ / "job.txt";
    WriteFile(input_, JOB);
    dialog_.InitializeDefaults();
    dialog_.request.xml_paths = {input_.string()};
    dialog_.request.output_path = output_.string();
    dialog_.request.seed_name = "BASE";
    dialog_.request.compute_geodetic = true;
  }

  // True when the XML reader recorded the job's vectors.
  bool Parsed() const { return dialog_.run.tables.observation_count() == 5; }

  testing::ScratchFolder scratch_{"fenwix-approx-"};
  fs::path dir_ = scratch_.path();
  fs::path input_;
  fs::path output_;
  ConvertDialog dialog_;
  RecordingUi ui_;
};

constexpr const char* GRS80_DATUM = "$DATUM\r\n  GRS 80\r\n  6378137.0000\r\n  298.2572221\r\n";
constexpr const char* WGS84_DATUM = "$DATUM\r\n  WGS 84\r\n  6378137.0000\r\n  298.2572236\r\n";
constexpr const char* CLARKE_DATUM =
    "$DATUM\r\n  Clarke 1866\r\n  6378206.4000\r\n  294.9786982\r\n";

// The header is written before the computation; it must already name the ellipsoid on which
// the file's coordinates are computed, and the same settings must give the same file twice.
TEST_F(ApproxConversionTest, HeaderNamesTheDatumOfTheComputedCoordinates) {
  dialog_.request.approx_datum_name = "GRS 80";
  dialog_.request.approx_datum_inv_f = 298.257222101;
  ui_.answers = {MergeAnswer::Different};
  dialog_.RunConversion(ui_);
  const std::string first = ReadFile(output_);
  EXPECT_NE(first.find(GRS80_DATUM), std::string::npos);
  EXPECT_EQ(dialog_.run.writer_state.output_datum_name, "GRS 80");

  ui_.answers = {MergeAnswer::Different};
  dialog_.RunConversion(ui_);
  EXPECT_EQ(ReadFile(output_), first);
}

TEST_F(ApproxConversionTest, UnusableDatumFallsBackToWgs84InTheHeader) {
  dialog_.request.writer_state.output_datum_name = "Clarke 1866";
  dialog_.request.writer_state.output_datum_a = 6378206.4;
  dialog_.request.writer_state.output_datum_inv_f = 294.9786982;
  dialog_.request.approx_datum_name = "Short";
  dialog_.request.approx_datum_a = 5999999.9;
  dialog_.RunConversion(ui_);
  EXPECT_NE(ReadFile(output_).find(WGS84_DATUM), std::string::npos);
}

TEST_F(ApproxConversionTest, WithoutATickedBoxTheHeaderKeepsItsDatum) {
  dialog_.request.compute_geodetic = 0;
  dialog_.request.writer_state.output_datum_name = "Clarke 1866";
  dialog_.request.writer_state.output_datum_a = 6378206.4;
  dialog_.request.writer_state.output_datum_inv_f = 294.9786982;
  EXPECT_EQ(dialog_.RunConversion(ui_).outcome, ConversionOutcome::Succeeded);
  EXPECT_NE(ReadFile(output_).find(CLARKE_DATUM), std::string::npos);
  EXPECT_TRUE(ui_.questions.empty());
  EXPECT_EQ(ui_.MessageIds().back(), MSG_SUCCESS);
}

TEST_F(ApproxConversionTest, ReportsTheStationsNotComputed) {
  ui_.answers = {MergeAnswer::SameKeepFirst};
  const ConversionOutcome outcome = dialog_.RunConversion(ui_).outcome;
  if (!Parsed()) GTEST_SKIP() << "the XML reader recorded no observations";
  EXPECT_EQ(outcome, ConversionOutcome::Succeeded);
  // Only the second pass can offer a pair: before the computation only the seed is known.
  ASSERT_EQ(ui_.questions.size(), 1u);
  EXPECT_EQ(ui_.questions[0].first, "P2");
  EXPECT_EQ(ui_.questions[0].second, "P2B");
  ASSERT_FALSE(ui_.messages.empty());
  EXPECT_EQ(ui_.messages.back().id, MSG_SUCCESS_APPROX);
  EXPECT_NE(ui_.messages.back().text.find("could not be computed for 2 stations"),
            std::string::npos);
  EXPECT_EQ(ui_.wait_depth, 0);
  const SurveyTables& t = dialog_.run.tables;
  EXPECT_EQ(t.stations()[static_cast<size_t>(t.StationIndex("P2B"))].merged_into,
            t.StationIndex("P2"));
  EXPECT_TRUE(t.stations()[static_cast<size_t>(t.StationIndex("P1"))].coords_known);
  EXPECT_FALSE(t.stations()[static_cast<size_t>(t.StationIndex("X1"))].coords_known);
}

TEST_F(ApproxConversionTest, CancelInTheSecondPassKeepsThePreviousOutput) {
  WriteFile(output_, "previous result\r\n");
  ui_.answers = {MergeAnswer::Cancel};
  const ConversionOutcome outcome = dialog_.RunConversion(ui_).outcome;
  if (!Parsed()) GTEST_SKIP() << "the XML reader recorded no observations";
  EXPECT_EQ(outcome, ConversionOutcome::Cancelled);
  EXPECT_EQ(ui_.MessageIds(), std::vector<MessageId>{MSG_CANCELLED});
  EXPECT_EQ(ReadFile(output_), "previous result\r\n");
  EXPECT_EQ(ui_.wait_depth, 0);
}

TEST_F(ApproxConversionTest, MissingSeedSkipsMergingAndComputation) {
  dialog_.request.seed_name = "  NOPE ";
  EXPECT_EQ(dialog_.RunConversion(ui_).outcome, ConversionOutcome::Succeeded);
  EXPECT_EQ(dialog_.run.seed_name, "NOPE");
  EXPECT_TRUE(ui_.questions.empty());
  EXPECT_EQ(ui_.MessageIds(), (std::vector<MessageId>{MSG_SEED_NOT_FOUND, MSG_SUCCESS}));
  for (const StationRecord& s : dialog_.run.tables.stations()) EXPECT_FALSE(s.coords_known);
}

}  // namespace
}  // namespace fenwix

// The default limits follow the weights: noisy star jobs (1" readings, 1 mm distances, 3/3/5 mm
// vectors) converted with a profile, one blunder planted or none.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <sstream>
#include <string>

#include "app/convert_dialog.h"
#include "approx/truth_network.h"
#include "support/recording_ui.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

enum class Plant { None, FaceTwo30, Vector6cm };

std::string StarJob(uint64_t seed, Plant plant) {
  testing::TruthNetwork net(46.5, 7.25, 30.0);
  const char* rovers[] = {"R1", "R2", "R3", "R4", "R5", "R6"};
  net.Add("B1", 0, 0, 0);
  net.Add("B2", 900, 200, 4);
  for (int k = 0; k < 6; ++k) net.Add(rovers[k], 700 * std::cos(k), 700 * std::sin(k), k - 3.0);
  std::mt19937_64 random(seed);
  std::normal_distribution<double> normal;
  std::ostringstream out;
  out.precision(4);
  out << std::fixed << "<?xml version=\"1.0\"?>\n<data>\n";
  const auto vector = [&](const char* base, const char* rover, double error) {
    const auto v = net.GpsVector(base, rover);
    out << "<Vector><BasePoint>" << base << "</BasePoint><RoverPoint>" << rover
        << "</RoverPoint><DX>" << v.dx + 0.003 * normal(random) + error << "</DX><DY>"
        << v.dy + 0.003 * normal(random) << "</DY><DZ>" << v.dz + 0.005 * normal(random)
        << "</DZ><SX>0.003</SX><SY>0.003</SY><SZ>0.005</SZ></Vector>\n";
  };
  vector("B1", "B2", 0.0);
  for (int k = 0; k < 6; ++k) {
    vector("B1", rovers[k], plant == Plant::Vector6cm && k == 2 ? 0.06 : 0.0);
    vector("B2", rovers[k], 0.0);
  }
  const double second = std::numbers::pi / 180.0 / 3600.0;
  const auto pointing = [&](const char* type, const char* target, double face_two_error) {
    const auto s = net.Sight("B1", target);
    for (int face = 1; face <= 2; ++face) {
      const double hz = 0.7 + s.azimuth + (face == 2 ? std::numbers::pi : 0.0) +
                        second * normal(random) + (face == 2 ? face_two_error : 0.0);
      const double zenith = face == 1 ? s.zenith : 2 * std::numbers::pi - s.zenith;
      out << "<Observation><ObsType>" << type << "</ObsType><PointNumber>" << target
          << "</PointNumber><PrismHeight>0.000</PrismHeight><HorizontalAngle>"
          << testing::PackedDms(std::fmod(hz, 2 * std::numbers::pi))
          << "</HorizontalAngle><ZenithAngle>"
          << testing::PackedDms(zenith + second * normal(random)) << "</ZenithAngle><SlopeDistance>"
          << s.slope + 0.001 * normal(random) << "</SlopeDistance></Observation>\n";
    }
  };
  out << "<Station><StationPoint>B1</StationPoint><InstrumentHeight>0</InstrumentHeight>\n";
  pointing("Backsight", "B2", 0.0);
  for (int k = 0; k < 4; ++k) {
    pointing("Foresight", rovers[k], plant == Plant::FaceTwo30 && k == 1 ? 30 * second : 0.0);
  }
  pointing("Backsight", "B2", 0.0);
  out << "</Station>\n</data>\n";
  return out.str();
}

// Flagged rows of the checks with limits, per section.
TEST(ProfileLimits, FollowTheProfileAndTheVectorsCovariances) {
  const struct {
    Plant plant;
    double angle_sd;
    double gnss_scale;
    const char* limits_file;
    // Every job flags this section's rows alone; none: no planted job flags a row with a limit.
    const char* flagged_section;
  } cases[] = {
      {Plant::None, 1, 1, "", nullptr},
      {Plant::FaceTwo30, 1, 1, "", "face_pairs"},
      {Plant::FaceTwo30, 10, 1, "", nullptr},
      {Plant::FaceTwo30, 1, 1, "collimation_seconds = 60\n", nullptr},
      {Plant::Vector6cm, 1, 1, "", "loop_closures"},
      {Plant::Vector6cm, 1, 4, "", nullptr},
  };
  testing::ScratchFolder folder("profile-limits");
  for (const auto& c : cases) {
    int flagged_jobs = 0;
    const int jobs = c.plant == Plant::None ? 200 : 20;
    for (int seed = 1; seed <= jobs; ++seed) {
      SCOPED_TRACE(std::to_string(static_cast<int>(c.plant)) + " " + c.limits_file);
      testing::WriteFile(folder.path() / "star.xml", StarJob(seed, c.plant));
      ConvertDialog dialog;
      dialog.InitializeDefaults();
      dialog.request.run_checks = true;
      dialog.request.xml_paths = {(folder.path() / "star.xml").string()};
      dialog.request.output_path = (folder.path() / "star.txt").string();
      dialog.request.seed_name = "B1";
      dialog.request.seed_latitude = 46.3;
      dialog.request.seed_longitude = 7.15;
      dialog.request.compute_local = 1;
      dialog.request.weight_profile.profile.instrument = {c.angle_sd, 1.0, 1.0};
      dialog.request.weight_profile.profile.gnss.scale = c.gnss_scale;
      ASSERT_TRUE(ReadCheckLimits(c.limits_file, dialog.request.check_limits).ok());
      testing::RecordingUi ui;
      ASSERT_EQ(dialog.RunConversion(ui).outcome, ConversionOutcome::Succeeded);
      bool flagged = false;
      for (const CheckSection& section : dialog.run.check_report.sections) {
        const bool limited = !section.limits.empty() && section.name != "gross_approx";
        if (limited && section.FlaggedCount() > 0) {
          flagged = true;
          if (c.flagged_section) {
            EXPECT_STREQ(section.name.c_str(), c.flagged_section);
          }
        }
        if (section.name == "face_pairs") {
          EXPECT_DOUBLE_EQ(section.limits[0].second,
                           *c.limits_file ? 60.0 : 3.89 * std::sqrt(2.0) * c.angle_sd);
        }
      }
      // The head names each rule: the hand-set 2C limit, the others from the weights.
      for (const LimitOrigin& origin : dialog.run.check_report.limit_origins) {
        const std::string& name = origin.limits.at(0);
        const LimitRule rule =
            name == "collimation_seconds" && *c.limits_file          ? LimitRule::Hand
            : name.starts_with("loop") || name.starts_with("vector") ? LimitRule::Covariances
            : name.starts_with("gross") || name == "prism_change_mm" ? LimitRule::Fixed
                                                                     : LimitRule::Profile;
        EXPECT_EQ(origin.rule, rule) << origin.text;
      }
      flagged_jobs += flagged;
    }
    // About 32 tested quantities a job, each passing with 1 − 1e-4: a clean job flags about once
    // in 300.
    EXPECT_GE(flagged_jobs, c.flagged_section ? jobs : 0);
    EXPECT_LE(flagged_jobs, c.flagged_section ? jobs : c.plant == Plant::None ? 3 : 0);
    std::printf("plant %d, S %g\", F %g, %s: %d of %d jobs flagged\n", static_cast<int>(c.plant),
                c.angle_sd, c.gnss_scale, c.limits_file, flagged_jobs, jobs);
  }
}

}  // namespace
}  // namespace fenwix

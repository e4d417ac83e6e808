// The adjustment test's estimate of the job's precision written into its profiles.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/estimated_precision.h"
#include "app/job_session.h"

namespace fenwix {
namespace {

GroupFactor Group(AdjustedKind kind, double redundancy, double scale, double factor) {
  GroupFactor g;
  g.kind = kind;
  g.redundancy = redundancy;
  g.scale = scale;
  g.factor = factor;
  return g;
}

AdjustmentResult Finished(std::vector<GroupFactor> groups) {
  AdjustmentResult result;
  result.outcome = AdjustmentOutcome::Done;
  result.groups = std::move(groups);
  return result;
}

// Each group moves its own values only, by scale × factor, to two significant digits; a
// redundancy just under the limit, or a run that did not finish, moves nothing. Expected values
// are worked by hand from the default profile (5″, 5″, 5 mm + 2 ppm, F 1).
TEST(EstimatedPrecision, ReliableGroupsScaleTheirOwnValuesOnly) {
  struct Case {
    const char* name;
    AdjustmentOutcome outcome;
    GroupFactor group;
    InstrumentProfile instrument;
    double gnss_scale;
  };
  const InstrumentProfile base{5.0, 5.0, 5.0, 2.0, 0.5, 0.5};
  const auto with = [&base](double s, double z, double a, double p) {
    return InstrumentProfile{s, z, a, p, 0.5, 0.5};
  };
  const std::vector<Case> cases = {
      {"angles", AdjustmentOutcome::Done, Group(AdjustedKind::HorizontalAngle, 40, 1.0, 0.1661),
       with(0.83, 5, 5, 2), 1.0},
      // Tested with the estimated factors: the scale the test used counts too.
      {"zeniths scaled", AdjustmentOutcome::Done, Group(AdjustedKind::Zenith, 10.0, 0.5, 0.52),
       with(5, 1.3, 5, 2), 1.0},
      {"distances", AdjustmentOutcome::Done, Group(AdjustedKind::SlopeDistance, 25, 1.0, 2.04),
       with(5, 5, 10, 4.1), 1.0},
      {"vectors", AdjustmentOutcome::Done, Group(AdjustedKind::GnssVector, 300, 1.0, 0.3149), base,
       0.31},
      {"redundancy below the limit", AdjustmentOutcome::Done,
       Group(AdjustedKind::HorizontalAngle, 9.99, 1.0, 0.2), base, 1.0},
      {"no estimate", AdjustmentOutcome::Done, Group(AdjustedKind::Zenith, 50, 1.0, 0.0), base,
       1.0},
      {"did not settle", AdjustmentOutcome::NotConverged,
       Group(AdjustedKind::HorizontalAngle, 40, 1.0, 0.2), base, 1.0},
  };
  for (const Case& c : cases) {
    AdjustmentResult result = Finished({c.group});
    result.outcome = c.outcome;
    const PrecisionScales scales = ReliableScales(result);
    EXPECT_EQ(ScaledInstrument(base, scales), c.instrument) << c.name;
    EXPECT_DOUBLE_EQ(ScaledGnss(GnssProfile{}, scales).scale, c.gnss_scale) << c.name;
    EXPECT_EQ(scales.any(), c.instrument != base || c.gnss_scale != 1.0) << c.name;
  }
}

// The job's instruments follow the profile in use: the one that is that profile changes with it
// and is said once, another is scaled and named; a second job without estimate stays unchanged.
TEST(EstimatedPrecision, TheJobsInstrumentsAreScaledAndTheJobIsChanged) {
  const PrecisionScales halved{std::nullopt, 0.5, std::nullopt, std::nullopt};
  for (const bool reliable : {true, false}) {
    Job job;
    job.instruments["T1"] = InstrumentProfile{4.0, 5.0, 5.0, 0.0, 0.0, 0.0};
    job.instruments["T2"] = InstrumentProfile{2.0, 5.0, 5.0, 0.0, 0.0, 0.0};
    JobSession session;
    session.Adopt(job, "");
    ConversionRequest request;
    request.weight_profile = {"T1", WeightProfile{job.instruments["T1"], {}}};
    request.file_instruments = {std::nullopt, job.instruments["T2"]};
    const std::vector<std::string> changes =
        session.UseEstimatedPrecision(reliable ? halved : PrecisionScales{}, request);
    const double f = reliable ? 0.5 : 1.0;
    EXPECT_DOUBLE_EQ(request.weight_profile.profile.instrument.angle_sd, 4.0 * f);
    EXPECT_DOUBLE_EQ(session.job().instruments.at("T1").angle_sd, 4.0 * f);
    EXPECT_DOUBLE_EQ(session.job().instruments.at("T2").angle_sd, 2.0 * f);
    EXPECT_DOUBLE_EQ(request.file_instruments[1]->angle_sd, 2.0 * f);
    EXPECT_DOUBLE_EQ(session.job().instruments.at("T2").zenith_sd, 5.0);
    if (reliable) {
      EXPECT_EQ(changes,
                (std::vector<std::string>{"horizontal angles 4\u2033 \u2192 2\u2033",
                                          "T2: horizontal angles 2\u2033 \u2192 1\u2033"}));
    } else {
      EXPECT_TRUE(changes.empty());
    }
  }
}

}  // namespace
}  // namespace fenwix

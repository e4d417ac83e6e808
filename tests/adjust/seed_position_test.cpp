// The network's own word on where it lies: the tilt of the verticals that GNSS vectors and
// zenith angles agree on, and what a seed off by a slip looks like to it.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "adjust/network_adjustment.h"
#include "adjust/observation_geometry.h"
#include "survey_network.h"

namespace fenwix {
namespace {

constexpr double EARTH = 6371000.0;

bench::NetworkLayout TiltLayout(uint64_t seed, int32_t gnss_step, double setup_share) {
  bench::NetworkLayout layout;
  layout.stations = 25;
  layout.gnss_step = gnss_step;
  layout.setup_share = setup_share;
  layout.seed = seed;
  return layout;
}

// Every approximate position moved along the ground as a seed off by so many meters north and
// east moves them: the observations stay those of the true network.
void MoveSeed(AdjustmentInput& input, double north, double east) {
  for (AdjustmentStation& s : input.stations) {
    s.longitude += east / (EARTH * std::cos(s.latitude));
    s.latitude += north / EARTH;
  }
}

// The gradient of a zenith or an angle by the tilt against central differences of its computed
// value with every frame turned; a gradient with a sign flipped is the planted fault.
TEST(SeedPosition, TiltGradientsMatchDifferencesOfTheTurnedFrames) {
  using namespace adjust_geometry;
  const bench::GeneratedNetwork net = bench::GenerateNetwork(TiltLayout(3, 2, 1.0));
  const AdjustmentInput& input = net.input;
  const auto tilt_index = static_cast<int32_t>(input.stations.size());
  std::vector<double> positions;
  for (size_t s = 0; s < input.stations.size(); ++s) {
    const auto p = StationPosition(input, static_cast<int32_t>(s));
    positions.insert(positions.end(), p.begin(), p.end());
  }
  positions.insert(positions.end(), {2e-4, -3e-4, 0.0});
  const std::vector<int32_t> tilt_of(input.stations.size(), tilt_index);
  const auto misclosure = [&](const AdjustmentObservation& obs, double dphi, double dlam) {
    std::vector<Frame> frames;
    for (const AdjustmentStation& s : input.stations)
      frames.push_back(FrameAt(s.latitude + dphi, s.longitude + dlam));
    frames.push_back(Frame{});
    const Geometry g{input, frames, positions, -1, &tilt_of};
    return g.Linearise(obs);
  };
  for (const AdjustedKind kind : {AdjustedKind::Zenith, AdjustedKind::HorizontalAngle}) {
    int checked = 0;
    for (const AdjustmentObservation& obs : input.observations) {
      if (obs.kind != kind || checked >= 6) continue;
      ++checked;
      const Linearised lin = misclosure(obs, 2e-4, -3e-4);
      ASSERT_EQ(lin.unknowns[lin.count - 1], tilt_index);
      const Vec3& g = lin.gradient[lin.count - 1];
      const double h = 1e-5;
      const double by_lat = (misclosure(obs, 2e-4 + h, -3e-4).misclosure[0] -
                             misclosure(obs, 2e-4 - h, -3e-4).misclosure[0]) /
                            (2 * h);
      const double by_lon = (misclosure(obs, 2e-4, -3e-4 + h).misclosure[0] -
                             misclosure(obs, 2e-4, -3e-4 - h).misclosure[0]) /
                            (2 * h);
      EXPECT_NEAR(g[0], by_lat, 1e-6 + 1e-5 * std::abs(by_lat)) << static_cast<int>(kind);
      EXPECT_NEAR(g[1], by_lon, 1e-6 + 1e-5 * std::abs(by_lon)) << static_cast<int>(kind);
      // A zenith moves with the tilt itself: a flipped sign misses by twice that.
      if (kind == AdjustedKind::Zenith) {
        EXPECT_GT(std::abs(-g[0] - by_lat) + std::abs(-g[1] - by_lon), 1.0);
      }
    }
    EXPECT_EQ(checked, 6);
  }
}

TEST(SeedPosition, VerticalsOfAShiftedSeedAreEstimatedAndNoObservationIsBlamed) {
  struct Case {
    const char* what;
    double north, east;  // meters the seed is off
    bool estimate;       // the tilt's unknowns switched on
    bool clean;          // no rejection, the global test passed
  };
  const Case cases[] = {
      {"right seed", 0.0, 0.0, true, true},
      {"2 km north", 2000.0, 0.0, true, true},
      {"2 km south-west", -1400.0, -1400.0, true, true},
      {"10 arc-minutes south", -18500.0, 0.0, true, true},
      {"2 km north, verticals held", 2000.0, 0.0, false, false},
  };
  for (uint64_t seed : {3u, 8u}) {
    const bench::GeneratedNetwork net = bench::GenerateNetwork(TiltLayout(seed, 2, 1.0));
    for (const Case& c : cases) {
      AdjustmentInput input = net.input;
      MoveSeed(input, c.north, c.east);
      AdjustmentOptions options;
      options.estimate_tilt = c.estimate;
      const AdjustmentResult result = AdjustNetwork(input, options);
      ASSERT_EQ(result.outcome, AdjustmentOutcome::Done) << c.what << ": " << result.reason;
      EXPECT_EQ(result.rejected.empty(), c.clean) << c.what << " " << seed;
      if (!c.estimate) {
        continue;
      }
      ASSERT_EQ(result.tilts.size(), 1u) << c.what;
      EXPECT_EQ(result.before.verdict, GlobalVerdict::Passed) << c.what << " " << seed;
      // The oracle: the shift the test applied, undone. The estimate's σ scaled by σ̂0.
      const VerticalTilt& tilt = result.tilts[0];
      const double lat = input.stations[0].latitude, lon = input.stations[0].longitude;
      const double true_lat = net.input.stations[0].latitude;
      const double true_lon = net.input.stations[0].longitude;
      const double s0 = std::max(result.sigma0, 1.0);
      const double sigma_lat = s0 * std::sqrt(tilt.cofactor[0]);
      const double sigma_lon = s0 * std::sqrt(tilt.cofactor[2]);
      EXPECT_GT(sigma_lat, 0.0) << c.what;
      EXPECT_LT(sigma_lat * EARTH, 50.0) << c.what;
      EXPECT_NEAR(lat + tilt.latitude, true_lat, 3.0 * sigma_lat) << c.what << " " << seed;
      EXPECT_NEAR(lon + tilt.longitude, true_lon, 3.0 * sigma_lon) << c.what << " " << seed;
    }
  }
}

// A part that holds only vectors, or only total-station work, cannot tell its verticals: its
// frames stay where the seed puts them, and no tilt is reported.
TEST(SeedPosition, PartsThatCannotTellKeepTheGivenVerticals) {
  struct Case {
    const char* what;
    int32_t gnss_step;
    double setup_share;
    size_t tilts;
  };
  const Case cases[] = {
      {"vectors only", 1, 0.0, 0},
      {"total stations only", 0, 1.0, 0},
      {"both", 2, 1.0, 1},
  };
  for (const Case& c : cases) {
    const bench::GeneratedNetwork net =
        bench::GenerateNetwork(TiltLayout(5, c.gnss_step, c.setup_share));
    AdjustmentInput input = net.input;
    MoveSeed(input, 2000.0, 0.0);
    const AdjustmentResult result = AdjustNetwork(input, AdjustmentOptions{});
    ASSERT_EQ(result.outcome, AdjustmentOutcome::Done) << c.what << ": " << result.reason;
    EXPECT_EQ(result.tilts.size(), c.tilts) << c.what;
  }
}

}  // namespace
}  // namespace fenwix

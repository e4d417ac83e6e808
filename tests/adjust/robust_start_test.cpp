#include "adjust/robust_start.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "adjust/blunder_diagnosis.h"
#include "adjust/network_adjustment.h"
#include "survey_network.h"

namespace fenwix {
namespace {

// Misfits of a clean job at approximate positions a few centimetres off (tens of SDs each) and
// one wrong name (a hundred thousand): against their median's scale only the wrong name is cut.
TEST(RobustStart, WeightsCutOnlyWhatStandsOutOfTheMisfitsScale) {
  struct Case {
    const char* name;
    std::vector<double> misfit;
    size_t cut;  // the one index weighted down, or misfit.size() for none
  };
  const Case cases[] = {
      {"wrong name among approximate misfits", {18, 25, 21, 30, 1e5, 22, 17, 26, 24}, 4},
      {"approximate misfits alone", {18, 25, 21, 30, 19, 22, 17, 26, 24}, 9},
      {"settled job with one gross misfit", {0.5, 1.2, 0.8, 40, 1.1, 0.3, 0.9}, 3},
      {"settled clean job", {0.5, 1.2, 0.8, 2.5, 1.1, 0.3, 0.9}, 7},
  };
  for (const Case& c : cases) {
    const std::vector<char> active(c.misfit.size(), 1);
    std::vector<double> weight;
    RobustWeights(c.misfit, active, weight);
    // The scale by hand: 1.4826 × the median, at least 1.
    std::vector<double> sorted = c.misfit;
    std::sort(sorted.begin(), sorted.end());
    const double scale = std::max(1.0, 1.4826 * sorted[sorted.size() / 2]);
    for (size_t i = 0; i < c.misfit.size(); ++i) {
      const double u = c.misfit[i] / (3.0 * scale);
      const double expected = u <= 1.0 ? 1.0 : std::max(std::exp(1.0 - u * u), 1e-8);
      EXPECT_NEAR(weight[i], expected, 1e-12) << c.name << " " << i;
      EXPECT_EQ(weight[i] < SET_ASIDE_WEIGHT, i == c.cut) << c.name << " " << i;
    }
  }
}

bench::GeneratedNetwork Generate(uint64_t seed) {
  bench::NetworkLayout layout;
  layout.stations = 30 + static_cast<int32_t>(seed % 16);
  layout.gnss_step = 2;
  layout.setup_share = 1.0;
  layout.seed = seed;
  bench::GeneratedNetwork net = bench::GenerateNetwork(layout);
  bench::NumberRecords(net.input);
  return net;
}

// A foresight labelled with a station half the network away: its distance misses by hundreds
// of metres, and Gauss-Newton alone throws the positions off and does not settle. The test
// settles on each, names the sight first and says which station it fits; the clean twin keeps
// every observation and says nothing.
TEST(RobustStart, AWrongNameThatThrowsThePositionsOffSettlesAndIsNamed) {
  struct Case {
    uint64_t seed;
    int sight;  // the nth horizontal angle's record is relabelled
  };
  const Case cases[] = {{9001, 5}, {9002, 15}, {9003, 25}, {9004, 35}};
  int unsettled_plain = 0;
  for (const Case& c : cases) {
    const bench::GeneratedNetwork net = Generate(c.seed);
    const std::string label = std::to_string(c.seed) + "/" + std::to_string(c.sight);
    const AdjustmentResult twin = AdjustNetwork(net.input, {});
    ASSERT_EQ(twin.outcome, AdjustmentOutcome::Done) << label;
    EXPECT_TRUE(twin.rejected.empty()) << label;
    EXPECT_TRUE(DiagnoseBlunders(net.input, twin).empty()) << label;

    AdjustmentInput planted = net.input;
    size_t first = 0;
    for (int nth = c.sight; first < planted.observations.size(); ++first) {
      if (planted.observations[first].kind == AdjustedKind::HorizontalAngle && nth-- == 0) break;
    }
    ASSERT_LT(first, planted.observations.size()) << label;
    const AdjustmentObservation sight = planted.observations[first];
    const auto n = static_cast<int32_t>(planted.stations.size());
    int32_t other = (sight.fore + n / 2) % n;
    while (other == sight.at || other == sight.fore || other == sight.back) other = (other + 1) % n;
    for (AdjustmentObservation& obs : planted.observations) {
      if (obs.record == sight.record) obs.fore = other;
    }
    AdjustmentOptions plain;
    plain.robust_start = false;
    unsettled_plain += AdjustNetwork(planted, plain).outcome != AdjustmentOutcome::Done;

    const AdjustmentResult result = AdjustNetwork(planted, {});
    ASSERT_EQ(result.outcome, AdjustmentOutcome::Done) << label << ": " << result.reason;
    ASSERT_FALSE(result.rejected.empty()) << label;
    EXPECT_EQ(planted.observations[static_cast<size_t>(result.rejected.front())].record,
              sight.record)
        << label;
    const std::vector<BlunderDiagnosis> said = DiagnoseBlunders(planted, result);
    ASSERT_FALSE(said.empty()) << label;
    EXPECT_EQ(said.front().kind, BlunderKind::WrongName) << label << ": " << said.front().words;
    EXPECT_EQ(said.front().fits, sight.fore) << label << ": " << said.front().words;
  }
  EXPECT_EQ(unsettled_plain, static_cast<int>(std::size(cases)));
}

}  // namespace
}  // namespace fenwix

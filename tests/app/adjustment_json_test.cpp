// The adjustment test's numbers in the JSON report: every observation, its rejection round, and
// nothing of a run that did not settle.

#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "adjust/network_adjustment.h"
#include "checks/adjustment_sections.h"
#include "checks/report_forms.h"
#include "survey_network.h"

namespace fenwix {
namespace {

bench::GeneratedNetwork Network() {
  bench::NetworkLayout layout;
  layout.stations = 25;
  layout.gnss_step = 2;
  layout.setup_share = 1.0;
  layout.seed = 5;
  return bench::GenerateNetwork(layout);
}

nlohmann::json TestJson(const AdjustmentInput& input, const AdjustmentOptions& options) {
  CheckReport report;
  report.files = {"net.xml"};
  AddAdjustmentSections(input, AdjustNetwork(input, options), ReadingLog{}, report);
  return nlohmann::json::parse(ReportJson(report)).at("adjustment_test");
}

// Planted: a distance 6 cm off is the one rejection, in round 1; clean: none is rejected. Both
// list every observation, and the redundancy numbers of the last round add up to its degrees of
// freedom (n − u, whatever the network).
TEST(AdjustmentJson, ListsEveryObservationWithItsRound) {
  const bench::GeneratedNetwork net = Network();
  AdjustmentInput planted = net.input;
  size_t target = 0;
  while (planted.observations[target].kind != AdjustedKind::SlopeDistance) ++target;
  planted.observations[target].value[0] += 0.06;
  for (const bool blunder : {false, true}) {
    const nlohmann::json json = TestJson(blunder ? planted : net.input, {});
    ASSERT_TRUE(json.at("settled").get<bool>());
    EXPECT_EQ(json.at("alpha").get<double>(), 0.05);
    EXPECT_NEAR(json.at("delta0").get<double>(), json.at("critical_w").get<double>() + 0.841621,
                1e-5);
    EXPECT_EQ(json.at("global_test").at("after").at("verdict"), "passed");
    EXPECT_EQ(json.at("global_test").at("before").at("verdict"), blunder ? "too large" : "passed");
    const nlohmann::json& obs = json.at("observations");
    ASSERT_EQ(obs.size(), net.input.observations.size());
    double redundancy = 0.0;
    int rejected = 0;
    for (size_t i = 0; i < obs.size(); ++i) {
      const nlohmann::json& o = obs[i];
      if (!o.at("rejected").is_null()) {
        ++rejected;
        EXPECT_EQ(i, target);
        EXPECT_EQ(o.at("rejected").get<int>(), 1);
        EXPECT_EQ(o.at("kind"), "slope distance");
        EXPECT_EQ(o.at("unit"), "m");
        EXPECT_NEAR(o.at("error").get<double>(), 0.06, 0.02);
        continue;
      }
      const nlohmann::json& r = o.at("r");
      for (const double value :
           r.is_array() ? r.get<std::vector<double>>() : std::vector<double>{r.get<double>()}) {
        EXPECT_GE(value, 0.0);
        redundancy += value;
      }
    }
    EXPECT_EQ(rejected, blunder ? 1 : 0);
    EXPECT_NEAR(redundancy, json.at("global_test").at("after").at("dof").get<double>(), 1e-6);
  }
}

// A run cut short says so and shows no residual, w, MDB or estimated error.
TEST(AdjustmentJson, UnsettledRunShowsNoTestValues) {
  AdjustmentOptions cut;
  cut.max_iterations = 1;
  cut.robust_start = false;
  cut.convergence = 1e-9;
  const nlohmann::json json = TestJson(Network().input, cut);
  EXPECT_FALSE(json.at("settled").get<bool>());
  EXPECT_NE(json.at("reason").get<std::string>().find("did not settle"), std::string::npos);
  EXPECT_TRUE(json.at("critical_w").is_null());
  for (const nlohmann::json& o : json.at("observations")) {
    for (const char* key : {"residual", "w", "r", "mdb", "error"}) {
      EXPECT_TRUE(o.at(key).is_null()) << key;
    }
    EXPECT_FALSE(o.at("sd").is_null());
  }
}

}  // namespace
}  // namespace fenwix

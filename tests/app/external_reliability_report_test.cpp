// The external reliability of a mixed network (vectors, angles, zeniths and distances) in the
// report: the shift it gives each observation against what the observation's own adjusted value
// must absorb, and the ten largest listed without the observation data snooping rejected.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "adjust/network_adjustment.h"
#include "checks/adjustment_sections.h"
#include "checks/report_forms.h"
#include "survey_network.h"

namespace fenwix {
namespace {

using Vec = std::array<double, 3>;

Vec Position(const AdjustmentResult& result, int32_t s) {
  const StationPrecision& p = result.stations[static_cast<size_t>(s)];
  return {p.x, p.y, p.z};
}

// The horizontal distance from a to b in the level frame at a's latitude and longitude.
double Horizontal(const AdjustmentInput& input, const AdjustmentResult& result, int32_t a,
                  int32_t b) {
  const Vec p = Position(result, a), q = Position(result, b);
  const AdjustmentStation& st = input.stations[static_cast<size_t>(a)];
  const Vec up{std::cos(st.latitude) * std::cos(st.longitude),
               std::cos(st.latitude) * std::sin(st.longitude), std::sin(st.latitude)};
  const Vec d{q[0] - p[0], q[1] - p[1], q[2] - p[2]};
  const double along = d[0] * up[0] + d[1] * up[1] + d[2] * up[2];
  return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2] - along * along);
}

// A blunder ∇ left undetected moves the observation's adjusted value by (1 − r)∇, which its
// stations' shifts must make up: a distance changes by at most the sum of its two ends' shifts,
// an angle by at most the shift of each end over its distance, twice (the setup moves both
// sights). So the largest own shift is at least (1 − r)∇ over that sum of gradients.
double LeastShift(const AdjustmentInput& input, const AdjustmentResult& result, size_t i) {
  const AdjustmentObservation& obs = input.observations[i];
  const ObservationTest& t = result.observations[i];
  const double absorbed = (1.0 - t.r[0]) * t.mdb[0];
  if (obs.kind == AdjustedKind::SlopeDistance) return absorbed / 2.0;
  const double gradients = 2.0 * (1.0 / Horizontal(input, result, obs.at, obs.fore) +
                                  1.0 / Horizontal(input, result, obs.at, obs.back));
  return absorbed / gradients;
}

TEST(ExternalReliabilityReport, ShiftsAndTheTenLargest) {
  bench::NetworkLayout layout;
  layout.stations = 25;
  layout.gnss_step = 2;
  layout.setup_share = 1.0;
  layout.seed = 5;
  const bench::GeneratedNetwork net = bench::GenerateNetwork(layout);
  AdjustmentInput planted = net.input;
  size_t target = 0;
  while (planted.observations[target].kind != AdjustedKind::SlopeDistance) ++target;
  planted.observations[target].value[0] += 0.06;
  for (const bool blunder : {false, true}) {
    SCOPED_TRACE(blunder ? "planted" : "clean");
    const AdjustmentInput& input = blunder ? planted : net.input;
    const AdjustmentResult result = AdjustNetwork(input, {});
    ASSERT_EQ(result.outcome, AdjustmentOutcome::Done);
    ASSERT_EQ(result.rejected.size(), blunder ? 1u : 0u);
    CheckReport report;
    report.files = {"net.xml"};
    AddAdjustmentSections(input, result, ReadingLog{}, report);
    const nlohmann::json json =
        nlohmann::json::parse(ReportJson(report)).at("adjustment_test").at("observations");
    std::vector<double> kept;
    int bounded = 0;
    for (size_t i = 0; i < input.observations.size(); ++i) {
      const ObservationTest& t = result.observations[i];
      const nlohmann::json& mm = json[i].at("external_mm");
      if (!t.tested) {
        EXPECT_TRUE(mm.is_null()) << i;
        continue;
      }
      // The rejected distance keeps the size of the round that rejected it.
      ASSERT_TRUE(mm.is_number()) << i;
      EXPECT_NEAR(mm.get<double>(), t.external * 1000.0, 1e-9) << i;
      if (t.active) kept.push_back(mm.get<double>());
      const AdjustedKind kind = input.observations[i].kind;
      if (kind == AdjustedKind::SlopeDistance || kind == AdjustedKind::HorizontalAngle) {
        EXPECT_GE(t.external, 0.999 * LeastShift(input, result, i)) << i;
        ++bounded;
      }
    }
    EXPECT_GT(bounded, 20);
    ASSERT_GT(kept.size(), 10u);
    std::sort(kept.rbegin(), kept.rend());
    const auto section =
        std::find_if(report.sections.begin(), report.sections.end(),
                     [](const CheckSection& s) { return s.name == "external_reliability"; });
    ASSERT_NE(section, report.sections.end());
    ASSERT_EQ(section->rows.size(), 10u);
    EXPECT_EQ(section->unlisted_rows, static_cast<int64_t>(kept.size() - 10));
    for (size_t k = 0; k < 10; ++k) {
      EXPECT_NEAR(section->rows[k].values[2], kept[k], 1e-9) << k;
      EXPECT_FALSE(section->rows[k].flagged);
      const AdjustmentObservation& d = input.observations[target];
      const bool is_target =
          section->rows[k].note.starts_with("slope distance") &&
          section->rows[k].stations ==
              std::vector<std::string>{input.stations[d.at].name, input.stations[d.fore].name};
      EXPECT_FALSE(is_target) << k;
    }
  }
}

}  // namespace
}  // namespace fenwix

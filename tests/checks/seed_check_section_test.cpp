// The seed check in the report: where its section stands, what the summary says and the JSON
// form's adjustment_test.seed_check, read back by a JSON parser.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "adjust/seed_check.h"
#include "checks/adjustment_sections.h"
#include "checks/report_forms.h"
#include "geodesy/angles.h"
#include "survey_network.h"

namespace fenwix {
namespace {

using Json = nlohmann::json;

TEST(SeedCheckSection, DisagreementLeadsTheReportAndAgreementFollowsTheTest) {
  bench::NetworkLayout layout;
  layout.stations = 25;
  layout.gnss_step = 2;
  layout.setup_share = 1.0;
  layout.seed = 4;
  const bench::GeneratedNetwork net = bench::GenerateNetwork(layout);
  const double lat = net.input.stations[0].latitude, lon = net.input.stations[0].longitude;
  const double deg = 180.0 / 3.141592653589793;
  struct Case {
    const char* what;
    double given_latitude;  // packed; the longitude is right
    bool ran;
    Json agrees;
    bool leads;
  };
  const Case cases[] = {
      {"right", RadiansToDms(lat), true, true, false},
      {"decimal degrees", lat * deg, true, false, true},
      {"no test", RadiansToDms(lat), false, nullptr, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AdjustmentInput input = net.input;
    for (AdjustmentStation& s : input.stations) s.latitude += DmsToRadians(c.given_latitude) - lat;
    const AdjustmentResult result = AdjustNetwork(input, {});
    ASSERT_EQ(result.outcome, AdjustmentOutcome::Done);
    CheckReport report;
    AddAdjustmentSections(input, result, ReadingLog{}, report);
    const std::string summary = report.summary;
    SeedCheck check;
    if (c.ran) check = CheckSeed(result, {c.given_latitude, RadiansToDms(lon), 0}, 50.0, {});
    AddSeedCheckSection(check, report);
    const Json json = Json::parse(ReportJson(report));
    if (!c.ran) {
      EXPECT_FALSE(json["adjustment_test"].contains("seed_check"));
      EXPECT_EQ(report.summary, summary);
      continue;
    }
    const Json& seed = json["adjustment_test"]["seed_check"];
    EXPECT_EQ(seed["agrees"], c.agrees);
    EXPECT_NEAR(seed["estimated_latitude_deg"].get<double>(), lat * deg,
                3.0 * seed["sigma_m"].get<double>() / 6371000.0 * deg);
    EXPECT_EQ(seed["hint"].get<std::string>().empty(), !c.leads);
    EXPECT_EQ(json["checks"][0]["name"] == "seed_check", c.leads);
    EXPECT_EQ(report.summary.starts_with("The seed's position disagrees"), c.leads);
    // Agreeing, it stands right after the test's own section.
    if (!c.leads) {
      EXPECT_EQ(json["checks"][1]["name"], "seed_check");
    }
  }
}

}  // namespace
}  // namespace fenwix

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/convert_dialog.h"
#include "geodesy/angles.h"
#include "support/recording_ui.h"
#include "support/test_files.h"
#include "survey_network.h"

namespace fenwix {
namespace {

namespace fs = std::filesystem;

struct Converted {
  std::string output;
  CheckReport report;
};

// Converts the generated network as a field file, with the report, the test on or off.
Converted Convert(const bench::GeneratedNetwork& net, bool test, const fs::path& dir) {
  const fs::path input = dir / "net.xml";
  const fs::path output = dir / (test ? "on.txt" : "off.txt");
  EXPECT_TRUE(bench::WriteNetworkXml(input.string(), net));
  ConvertDialog dialog;
  dialog.InitializeDefaults();
  dialog.xml_paths = {input.string()};
  dialog.output_path = output.string();
  const auto& t = net.truth[0];
  const Geodetic seed = CartesianToGeodetic(net.input.a, net.input.e2, t[0], t[1], t[2]);
  dialog.seed_name = net.input.stations[0].name;
  dialog.seed_latitude = RadiansToDms(seed.phi);
  dialog.seed_longitude = RadiansToDms(seed.lam);
  dialog.seed_height = seed.h;
  dialog.compute_geodetic = 1;
  dialog.max_steps = 0;
  dialog.run_checks = true;
  dialog.adjustment_test = test;
  testing::RecordingUi ui;
  dialog.RunConversion(ui);
  return {testing::ReadFile(output), dialog.check_report};
}

const CheckSection* Section(const CheckReport& report, std::string_view name) {
  for (const CheckSection& s : report.sections) {
    if (s.name == name) return &s;
  }
  return nullptr;
}

// A slope distance 8 cm off is the first suspect, named by the adjustment test; the clean twin
// has none. The output file is the same with the test on and off.
TEST(NetworkTestConversion, BlunderIsTheFirstSuspectAndTheFileIsUnchanged) {
  bench::NetworkLayout spec;
  spec.stations = 30;
  spec.gnss_step = 2;
  spec.seed = 77;
  spec.setups_at_control = true;
  spec.setup_share = 1.0;
  const bench::GeneratedNetwork clean = bench::GenerateNetwork(spec);
  bench::GeneratedNetwork planted = clean;
  size_t target = 0;
  while (planted.input.observations[target].kind != AdjustedKind::SlopeDistance ||
         planted.input.observations[target - 2].kind != AdjustedKind::HorizontalAngle) {
    ++target;
  }
  planted.input.observations[target].value[0] += 0.08;
  testing::ScratchFolder scratch{"fenwix-network-test-"};
  for (const bench::GeneratedNetwork* net :
       {&clean, static_cast<const bench::GeneratedNetwork*>(&planted)}) {
    const Converted on = Convert(*net, true, scratch.path());
    const Converted off = Convert(*net, false, scratch.path());
    EXPECT_EQ(on.output, off.output);
    EXPECT_EQ(Section(off.report, "adjustment"), nullptr);
    const CheckSection* adjustment = Section(on.report, "adjustment");
    ASSERT_NE(adjustment, nullptr);
    ASSERT_EQ(&on.report.sections.front(), adjustment);
    EXPECT_NE(adjustment->rows.front().note.find("the global test"), std::string::npos);
    const CheckSection* suspects = on.report.Suspects();
    if (net == &clean) {
      EXPECT_EQ(adjustment->FlaggedCount(), 0);
      continue;
    }
    ASSERT_NE(suspects, nullptr);
    ASSERT_FALSE(suspects->rows.empty());
    const CheckRow& first = suspects->rows.front();
    EXPECT_EQ(first.note.rfind("adjustment test: slope distance", 0), 0u) << first.note;
    const AdjustmentObservation& obs = planted.input.observations[target];
    EXPECT_EQ(first.stations[0], planted.input.stations[static_cast<size_t>(obs.at)].name);
    EXPECT_EQ(first.stations[1], planted.input.stations[static_cast<size_t>(obs.fore)].name);
  }
}

}  // namespace
}  // namespace fenwix

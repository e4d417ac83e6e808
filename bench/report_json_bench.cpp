// The check report's JSON form on the 20,000-station GNSS control network of the adjustment
// bench (400 m grid, vectors to the neighbours east, north and north-east): the whole conversion
// with the checks and the adjustment test, its report written as text, against the same with
// the report written as JSON (whose adjustment_test object holds every observation's numbers),
// in alternating rounds of this one program; and the JSON's adjustment_test object built alone.
//
//   cmake --preset bench && cmake --build --preset bench -j2 --target report_json_bench
//   build/bench/bench/report_json_bench [rounds] [stations]
//
// Figures are medians of the rounds, wall clock and thread CPU time, in seconds. Figures only:
// nothing here passes or fails.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "app/convert_dialog.h"
#include "bench_support.h"
#include "checks/adjustment_sections.h"
#include "checks/report_forms.h"
#include "network_conversion.h"
#include "survey_network.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Cost {
  double wall = 0.0;
  double cpu = 0.0;
};

// Converts the field file with the checks and the test, then writes the report at report.
Cost ConvertAndReport(const fenwix::bench::GeneratedNetwork& net, const fs::path& input,
                      const fs::path& dir, const fs::path& report) {
  const Clock::time_point start = Clock::now();
  const double cpu = fenwix::bench::ThreadCpuSeconds();
  fenwix::ConvertDialog dialog;
  fenwix::bench::PrepareNetworkConversion(dialog, net, input.string(), (dir / "net.txt").string(),
                                          true, false);
  fenwix::bench::SilentUi ui;
  if (dialog.RunConversion(ui).outcome != fenwix::ConversionOutcome::Succeeded) {
    fmt::print("the conversion failed: {}\n", ui.last_text);
    std::exit(1);
  }
  if (fenwix::WriteReportFile(dialog.run.check_report, report.string()).failed()) std::exit(1);
  return {std::chrono::duration<double>(Clock::now() - start).count(),
          fenwix::bench::ThreadCpuSeconds() - cpu};
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const int32_t stations = argc > 2 ? std::atoi(argv[2]) : 20000;
  const fs::path dir = fs::temp_directory_path() / fmt::format("fenwix-report-json-{}", getpid());
  fs::create_directories(dir);
  fenwix::bench::NetworkLayout layout;
  layout.stations = stations;
  layout.spacing = 400.0;
  layout.gnss_step = 1;
  layout.setup_share = 0.0;
  layout.seed = 42;
  const fenwix::bench::GeneratedNetwork net = fenwix::bench::GenerateNetwork(layout);
  const fs::path input = dir / "net.xml";
  if (!fenwix::bench::WriteNetworkXml(input.string(), net)) return 1;

  std::vector<double> text_wall, text_cpu, json_wall, json_cpu;
  const auto run = [&](bool json) {
    const Cost c = ConvertAndReport(net, input, dir, dir / (json ? "report.json" : "report.txt"));
    (json ? json_wall : text_wall).push_back(c.wall);
    (json ? json_cpu : text_cpu).push_back(c.cpu);
  };
  for (int r = 0; r < rounds; ++r) {
    run(r % 2 == 1);
    run(r % 2 == 0);
  }
  // The adjustment_test object alone, from one more run's test.
  fenwix::ConvertDialog dialog;
  fenwix::bench::PrepareNetworkConversion(dialog, net, input.string(), (dir / "net.txt").string(),
                                          true, false);
  fenwix::bench::SilentUi ui;
  dialog.RunConversion(ui);
  std::vector<double> object_cpu;
  size_t object_bytes = 0;
  for (int r = 0; r < rounds; ++r) {
    const double start = fenwix::bench::ThreadCpuSeconds();
    const std::string object = fenwix::AdjustmentTestJson(
        dialog.run.adjustment_input, dialog.run.adjustment_result, dialog.run.check_report.files);
    object_cpu.push_back(fenwix::bench::ThreadCpuSeconds() - start);
    object_bytes = object.size();
  }
  using fenwix::bench::Median;
  fmt::print("stations {}, observations {}, rounds {}\n", net.input.stations.size(),
             net.input.observations.size(), rounds);
  fmt::print("report as text: wall {:.2f} s, CPU {:.2f} s ({:.1f} MB)\n", Median(text_wall),
             Median(text_cpu), static_cast<double>(fs::file_size(dir / "report.txt")) / 1e6);
  fmt::print("report as JSON: wall {:.2f} s, CPU {:.2f} s ({:.1f} MB)\n", Median(json_wall),
             Median(json_cpu), static_cast<double>(fs::file_size(dir / "report.json")) / 1e6);
  fmt::print("adjustment_test object alone: CPU {:.3f} s, {:.1f} MB\n", Median(object_cpu),
             static_cast<double>(object_bytes) / 1e6);
  fs::remove_all(dir);
  return 0;
}

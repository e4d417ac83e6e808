// The adjustment test's cost and its power to find blunders, on generated networks.
//
//   adjustment_bench scale [stations...]   CPU time and peak memory of the test (with the
//                                          redundancy numbers and station precision) per size,
//                                          each size in a process of its own, three alternating
//                                          rounds, medians; growth against the smallest size
//   adjustment_bench blunders [networks]   a planted-blunder table: one blunder at a time in
//                                          random networks of about 40 stations, the share
//                                          named first by data snooping where r >= 0.1, and
//                                          the share of clean twins with any suspect

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

#include "adjust/network_adjustment.h"
#include "bench_support.h"
#include "survey_network.h"

namespace fenwix::bench {
namespace {

struct Cost {
  double cpu = 0.0;      // seconds of the test
  double peak_mb = 0.0;  // peak resident memory of the process, MB
  double base_mb = 0.0;  // resident before the test (the generated network), MB
  double outcome = 0.0;
};

double PeakMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// One measurement in a child process, so that each has its own peak.
Cost Measure(int32_t stations) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) std::exit(1);
  const pid_t child = fork();
  if (child == 0) {
    close(pipe_ends[0]);
    NetworkLayout layout;
    layout.stations = stations;
    layout.seed = 42;
    const GeneratedNetwork net = GenerateNetwork(layout);
    Cost cost;
    cost.base_mb = PeakMb();
    const double start = ThreadCpuSeconds();
    const AdjustmentResult result = AdjustNetwork(net.input, {});
    cost.cpu = ThreadCpuSeconds() - start;
    cost.peak_mb = PeakMb();
    cost.outcome = static_cast<double>(result.outcome);
    if (write(pipe_ends[1], &cost, sizeof cost) != static_cast<ssize_t>(sizeof cost)) _exit(1);
    _exit(0);
  }
  close(pipe_ends[1]);
  Cost cost;
  if (read(pipe_ends[0], &cost, sizeof cost) != static_cast<ssize_t>(sizeof cost)) std::exit(1);
  close(pipe_ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return cost;
}

int Scale(const std::vector<int32_t>& sizes) {
  constexpr int ROUNDS = 3;
  std::vector<std::vector<Cost>> costs(sizes.size());
  for (int round = 0; round < ROUNDS; ++round) {
    for (size_t i = 0; i < sizes.size(); ++i) costs[i].push_back(Measure(sizes[i]));
  }
  std::printf("%9s %10s %12s %12s %9s\n", "stations", "CPU s", "peak MB", "network MB", "growth");
  double first_cpu = 0.0;
  for (size_t i = 0; i < sizes.size(); ++i) {
    std::vector<double> cpu, peak, base;
    for (const Cost& c : costs[i]) {
      cpu.push_back(c.cpu);
      peak.push_back(c.peak_mb);
      base.push_back(c.base_mb);
      if (c.outcome != 0.0) std::printf("(outcome %g)\n", c.outcome);
    }
    const double t = Median(cpu);
    if (i == 0) first_cpu = t;
    const double growth =
        i == 0 ? 0.0 : std::log(t / first_cpu) / std::log(double(sizes[i]) / sizes[0]);
    std::printf("%9d %10.3f %12.1f %12.1f %9s\n", sizes[i], t, Median(peak), Median(base),
                i == 0 ? "-" : ("n^" + std::to_string(growth).substr(0, 4)).c_str());
  }
  return 0;
}

int Blunders(int networks) {
  const double arcsec = std::numbers::pi / 648000.0;
  struct Kind {
    const char* name;
    AdjustedKind kind;
    double low, high;  // blunder sizes, meters or radians
  };
  const Kind kinds[] = {
      {"vector component", AdjustedKind::GnssVector, 0.03, 0.20},
      {"slope distance", AdjustedKind::SlopeDistance, 0.01, 0.25},
      {"horizontal angle", AdjustedKind::HorizontalAngle, 10 * arcsec, 60 * arcsec},
      {"zenith angle", AdjustedKind::Zenith, 10 * arcsec, 60 * arcsec}};
  constexpr int KINDS = 4;
  int cases[KINDS] = {}, controlled[KINDS] = {}, first[KINDS] = {}, among[KINDS] = {};
  int clean_jobs = 0, clean_alarms = 0;
  detail::NetworkRandom random(2026);
  for (int n = 0; n < networks; ++n) {
    NetworkLayout layout;
    layout.stations = 36 + static_cast<int32_t>(random.Unit() * 12);
    layout.gnss_step = 2 + static_cast<int32_t>(random.Unit() * 2);
    layout.rounds = 1 + static_cast<int32_t>(random.Unit() * 2);
    layout.seed = 1000 + static_cast<uint64_t>(n);
    const GeneratedNetwork net = GenerateNetwork(layout);
    const AdjustmentResult clean = AdjustNetwork(net.input, {});
    ++clean_jobs;
    if (!clean.rejected.empty()) ++clean_alarms;
    for (int k = 0; k < KINDS; ++k) {
      for (int repeat = 0; repeat < 2; ++repeat) {
        std::vector<int32_t> candidates;
        for (size_t i = 0; i < net.input.observations.size(); ++i) {
          if (net.input.observations[i].kind == kinds[k].kind) {
            candidates.push_back(static_cast<int32_t>(i));
          }
        }
        if (candidates.empty()) continue;
        const int32_t target =
            candidates[static_cast<size_t>(random.Unit() * static_cast<double>(candidates.size()))];
        const auto component = static_cast<size_t>(
            kinds[k].kind == AdjustedKind::GnssVector ? static_cast<int>(random.Unit() * 3) : 0);
        const double sign = random.Unit() < 0.5 ? -1.0 : 1.0;
        AdjustmentInput planted = net.input;
        planted.observations[static_cast<size_t>(target)].value[component] +=
            sign * random.Between(kinds[k].low, kinds[k].high);
        const AdjustmentResult result = AdjustNetwork(planted, {});
        ++cases[k];
        if (clean.observations[static_cast<size_t>(target)].r_min < UNCONTROLLED_REDUNDANCY) {
          continue;
        }
        ++controlled[k];
        if (!result.rejected.empty() && result.rejected.front() == target) ++first[k];
        for (int32_t r : result.rejected) {
          if (r == target) ++among[k];
        }
      }
    }
  }
  std::printf("%-18s %6s %12s %14s %14s\n", "kind", "cases", "r >= 0.1", "named first", "among");
  int total_controlled = 0, total_first = 0, total_cases = 0;
  for (int k = 0; k < KINDS; ++k) {
    std::printf("%-18s %6d %12d %13.1f%% %13.1f%%\n", kinds[k].name, cases[k], controlled[k],
                100.0 * first[k] / std::max(controlled[k], 1),
                100.0 * among[k] / std::max(controlled[k], 1));
    total_cases += cases[k];
    total_controlled += controlled[k];
    total_first += first[k];
  }
  std::printf("%-18s %6d %12d %13.1f%%\n", "all", total_cases, total_controlled,
              100.0 * total_first / std::max(total_controlled, 1));
  std::printf("clean twins: %d jobs, %d with a suspect (%.1f%%)\n", clean_jobs, clean_alarms,
              100.0 * clean_alarms / std::max(clean_jobs, 1));
  return 0;
}

}  // namespace
}  // namespace fenwix::bench

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "scale";
  if (mode == "blunders") {
    return fenwix::bench::Blunders(argc > 2 ? std::atoi(argv[2]) : 60);
  }
  std::vector<int32_t> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {5000, 20000, 80000};
  return fenwix::bench::Scale(sizes);
}

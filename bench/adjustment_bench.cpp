// The adjustment test's cost and its power to find blunders, on generated networks.
//
//   adjustment_bench scale [stations...] [--rounds=N]
//                                          the test of a GNSS control network per size, with
//                                          nested dissection (METIS) and with minimum degree
//                                          (AMD), each in a process of its own, N alternating
//                                          rounds (3), medians: CPU, peak resident memory above
//                                          the network's, the predicted peak and their ratio,
//                                          the ordering's CPU, the factor's non-zeros, growth
//                                          against the size before and METIS against AMD;
//                                          a size over the memory budget is skipped, its line
//                                          says so
//   adjustment_bench responsiveness [stations...]
//                                          the test of the GNSS control network per size with
//                                          Cancel and the progress bar watched: the longest
//                                          CPU stretch between two Cancel checks (how long a
//                                          Cancel could wait), the longest between two moves
//                                          of the bar, and a Cancel pressed halfway answered
//                                          after how long
//   adjustment_bench blunders [networks]   a planted-blunder table: one blunder at a time in
//                                          random networks of about 40 stations, the share
//                                          named first by data snooping where r >= 0.1, and
//                                          the share of clean twins with any suspect

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "adjust/network_adjustment.h"
#include "adjust/sparse_normals.h"
#include "bench_support.h"
#include "survey_network.h"

namespace fenwix::bench {
namespace {

struct Cost {
  double cpu = 0.0;      // seconds of the test
  double peak_mb = 0.0;  // peak resident memory during the test, above what came before, MB
  double predicted_mb = 0.0;
  double ordering_s = 0.0;  // CPU of the ordering and the symbolic analysis
  double factor_nonzeros = 0.0;
  double outcome = 0.0;
  double nested = 0.0;  // 1 when nested dissection ordered the stations
};

// A field of /proc/self/status, kB.
double StatusKb(const char* field) {
  std::FILE* file = std::fopen("/proc/self/status", "r");
  if (file == nullptr) return 0.0;
  char line[256];
  double kb = 0.0;
  const size_t length = std::strlen(field);
  while (std::fgets(line, sizeof line, file) != nullptr) {
    if (std::strncmp(line, field, length) == 0) kb = std::atof(line + length + 1);
  }
  std::fclose(file);
  return kb;
}

// The GNSS control network of the measurements: stations 400 m apart on a grid, vectors to the
// grid neighbours east, north and north-east, 3 mm / 5 mm.
GeneratedNetwork ControlNetwork(int32_t stations) {
  NetworkLayout layout;
  layout.stations = stations;
  layout.spacing = 400.0;
  layout.gnss_step = 1;
  layout.setup_share = 0.0;
  layout.seed = 42;
  return GenerateNetwork(layout);
}

// One measurement in a child process, so that each has its own peak.
Cost Measure(int32_t stations, StationOrdering ordering) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) std::exit(1);
  const pid_t child = fork();
  if (child == 0) {
    close(pipe_ends[0]);
    const GeneratedNetwork net = ControlNetwork(stations);
    Cost cost;
    // The peak is counted from here: writing 5 to clear_refs resets the process's peak.
    if (std::FILE* reset = std::fopen("/proc/self/clear_refs", "w")) {
      std::fputs("5", reset);
      std::fclose(reset);
    }
    const double before_kb = StatusKb("VmRSS:");
    AdjustmentOptions options;
    options.ordering = ordering;
    const double start = ThreadCpuSeconds();
    const AdjustmentResult result = AdjustNetwork(net.input, options);
    cost.cpu = ThreadCpuSeconds() - start;
    cost.peak_mb = (StatusKb("VmHWM:") - before_kb) / 1024.0;
    cost.predicted_mb = result.predicted_bytes / 1048576.0;
    cost.outcome = static_cast<double>(result.outcome);
    // The ordering alone, on the same station graph (one datum station without unknowns).
    std::vector<std::pair<int32_t, int32_t>> pairs;
    for (const AdjustmentObservation& obs : net.input.observations) {
      pairs.emplace_back(obs.at, obs.fore);
    }
    std::vector<int32_t> unknowns(net.input.stations.size(), 3);
    unknowns[0] = 0;
    SparseNormals normals;
    normals.SetOrdering(ordering);
    const double ordering_start = ThreadCpuSeconds();
    normals.Layout(unknowns, std::move(pairs));
    cost.ordering_s = ThreadCpuSeconds() - ordering_start;
    cost.factor_nonzeros = static_cast<double>(normals.FactorNonZeros());
    cost.nested = normals.NestedDissectionUsed() ? 1.0 : 0.0;
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

struct Row {
  double cpu, peak, predicted, ordering, nonzeros;
  bool skipped, nested;
};

Row Medians(const std::vector<Cost>& costs) {
  std::vector<double> cpu, peak, predicted, ordering, nonzeros;
  for (const Cost& c : costs) {
    cpu.push_back(c.cpu);
    peak.push_back(c.peak_mb);
    predicted.push_back(c.predicted_mb);
    ordering.push_back(c.ordering_s);
    nonzeros.push_back(c.factor_nonzeros);
  }
  return {Median(cpu),
          Median(peak),
          Median(predicted),
          Median(ordering),
          Median(nonzeros),
          costs.front().outcome != 0.0,
          costs.front().nested != 0.0};
}

int Scale(const std::vector<int32_t>& sizes, int rounds) {
  const StationOrdering orderings[2] = {StationOrdering::NestedDissection,
                                        StationOrdering::MinimumDegree};
  // costs[size][ordering], the rounds alternating over sizes and orderings.
  std::vector<std::array<std::vector<Cost>, 2>> costs(sizes.size());
  for (int round = 0; round < rounds; ++round) {
    for (size_t i = 0; i < sizes.size(); ++i) {
      for (int o = 0; o < 2; ++o) costs[i][o].push_back(Measure(sizes[i], orderings[o]));
    }
  }
  std::printf("build: %s; GNSS control network, %d rounds, medians; the default budget\n",
              BuildOrderingName(), rounds);
  std::printf("%-9s %-4s %8s %9s %9s %7s %9s %11s %7s | %-13s\n", "stations", "ord", "CPU s",
              "peak MB", "pred MB", "pred/pk", "order s", "factor nz", "growth",
              "ND/AMD cpu pk nz");
  std::array<Row, 2> before{};
  std::array<int32_t, 2> before_size{};
  for (size_t i = 0; i < sizes.size(); ++i) {
    std::array<Row, 2> rows{Medians(costs[i][0]), Medians(costs[i][1])};
    for (int o = 0; o < 2; ++o) {
      const Row& r = rows[static_cast<size_t>(o)];
      const char* name = o == 0 ? (r.nested ? "ND" : "ND*") : "AMD";
      if (r.skipped) {
        std::printf("%-9d %-4s skipped: %.0f MB predicted, over the budget\n", sizes[i], name,
                    r.predicted);
        continue;
      }
      // CPU growth against the size before that was measured.
      const Row& f = before[static_cast<size_t>(o)];
      const int32_t f_size = before_size[static_cast<size_t>(o)];
      const std::string growth =
          f_size == 0 || f.cpu <= 0.0
              ? "-"
              : "n^" + std::to_string(std::log(r.cpu / f.cpu) / std::log(double(sizes[i]) / f_size))
                           .substr(0, 4);
      before[static_cast<size_t>(o)] = r;
      before_size[static_cast<size_t>(o)] = sizes[i];
      std::printf("%-9d %-4s %8.3f %9.1f %9.1f %7.3f %9.3f %11.0f %7s", sizes[i], name, r.cpu,
                  r.peak, r.predicted, r.predicted / r.peak, r.ordering, r.nonzeros,
                  growth.c_str());
      if (o == 0 && !rows[1].skipped) {
        std::printf(" | %.2f %.2f %.2f", r.cpu / rows[1].cpu, r.peak / rows[1].peak,
                    r.nonzeros / rows[1].nonzeros);
      }
      std::printf("\n");
    }
  }
  std::printf("(ND*: this build has no METIS, minimum degree stood in)\n");
  return 0;
}

// The longest stretches without a Cancel check and without a move of the bar, in thread CPU
// seconds (what an idle machine would show), and the answer to a Cancel pressed halfway.
int Responsiveness(const std::vector<int32_t>& sizes) {
  std::printf("%-9s %8s %10s %10s %8s %12s\n", "stations", "CPU s", "checks", "max gap s",
              "bar max s", "cancel at s");
  for (const int32_t stations : sizes) {
    const GeneratedNetwork net = ControlNetwork(stations);
    double total = 0.0;
    for (const bool press : {false, true}) {
      AdjustmentOptions options;
      const double start = ThreadCpuSeconds();
      double last_check = start, last_move = start, max_gap = 0.0, max_bar = 0.0;
      double pressed = -1.0;
      int checks = 0, percent = -1;
      options.cancelled = [&] {
        const double now = ThreadCpuSeconds();
        max_gap = std::max(max_gap, now - last_check);
        last_check = now;
        ++checks;
        if (press && pressed < 0.0 && now - start >= total / 2.0) pressed = now;
        return pressed >= 0.0;
      };
      options.progress = [&](int p) {
        if (p == percent) return;
        const double now = ThreadCpuSeconds();
        max_bar = std::max(max_bar, now - last_move);
        last_move = now;
        percent = p;
      };
      const AdjustmentResult result = AdjustNetwork(net.input, options);
      const double end = ThreadCpuSeconds();
      if (!press) {
        total = end - start;
        max_gap = std::max(max_gap, end - last_check);
        max_bar = std::max(max_bar, end - last_move);
        std::printf("%-9d %8.3f %10d %10.3f %8.3f", stations, total, checks, max_gap, max_bar);
      } else {
        std::printf(" %12.3f%s\n", pressed >= 0.0 ? end - pressed : -1.0,
                    result.outcome == AdjustmentOutcome::Cancelled ? "" : " (not cancelled)");
      }
    }
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
  int rounds = 3;
  for (int i = 2; i < argc; ++i) {
    if (std::strncmp(argv[i], "--rounds=", 9) == 0) {
      rounds = std::max(1, std::atoi(argv[i] + 9));
    } else {
      sizes.push_back(std::atoi(argv[i]));
    }
  }
  if (mode == "responsiveness") {
    if (sizes.empty()) sizes = {5000, 20000, 80000};
    return fenwix::bench::Responsiveness(sizes);
  }
  if (sizes.empty()) sizes = {5000, 20000, 80000, 320000};
  return fenwix::bench::Scale(sizes, rounds);
}

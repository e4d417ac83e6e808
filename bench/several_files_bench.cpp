// One large generated job converted as one file and as the same job cut into ten files, in
// alternating runs of this one program: reading n files should cost what reading their
// concatenation costs.
//
//   cmake -S . -B build-bench -DFENWIX_BUILD_GUI=OFF -DFENWIX_BUILD_BENCH=ON
//         -DCMAKE_BUILD_TYPE=RelWithDebInfo
//   cmake --build build-bench --target several_files_bench
//   build-bench/bench/several_files_bench [rounds]
//
// The job is cut before a "Point", "Vector" or "Station" element, so that the ten files hold
// the same setups and the outputs are the same bytes (checked). Figures are medians of the
// rounds, wall-clock and thread CPU time. Figures only: nothing here passes or fails.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "app/convert_dialog.h"
#include "bench_support.h"
#include "job_generator.h"

namespace {

namespace fs = std::filesystem;
using fenwix::bench::Median;
using fenwix::bench::SilentUi;
using fenwix::bench::ThreadCpuSeconds;

constexpr int PARTS = 10;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The job cut into PARTS documents, each with the job's head and its own document end.
std::vector<fs::path> CutJob(const fs::path& job, const fs::path& dir) {
  const std::string text = ReadAll(job);
  const std::string tail = "</data>\n";
  const size_t body = text.find("\n  <Point>") + 1;
  const size_t end = text.rfind(tail);
  const std::string head = text.substr(0, body);
  std::vector<size_t> cuts = {body};
  for (int p = 1; p < PARTS; ++p) {
    size_t at = body + (end - body) * static_cast<size_t>(p) / PARTS;
    size_t next = std::string::npos;
    for (const char* start : {"\n  <Point>", "\n  <Vector>", "\n  <Station>"}) {
      next = std::min(next, text.find(start, at));
    }
    cuts.push_back(std::min(next + 1, end));
  }
  cuts.push_back(end);
  std::vector<fs::path> parts;
  for (int p = 0; p < PARTS; ++p) {
    parts.push_back(dir / fmt::format("part-{:02}.xml", p));
    std::ofstream out(parts.back(), std::ios::binary);
    out << head
        << text.substr(cuts[static_cast<size_t>(p)],
                       cuts[static_cast<size_t>(p) + 1] - cuts[static_cast<size_t>(p)])
        << tail;
  }
  return parts;
}

struct Run {
  double wall = 0.0;
  double cpu = 0.0;
};

Run Convert(const std::vector<fs::path>& inputs, const fs::path& output) {
  fenwix::ConvertDialog dialog;
  dialog.InitializeDefaults();
  for (const fs::path& input : inputs) dialog.request.xml_paths.push_back(input.string());
  dialog.request.output_path = output.string();
  SilentUi ui;
  const auto wall_start = std::chrono::steady_clock::now();
  const double cpu_start = ThreadCpuSeconds();
  const fenwix::ConversionResult result = dialog.RunConversion(ui);
  Run run;
  run.cpu = ThreadCpuSeconds() - cpu_start;
  run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
  if (result.outcome != fenwix::ConversionOutcome::Succeeded) {
    fmt::print("the conversion ended with message {}: {}\n", fmt::underlying(ui.last_id),
               ui.last_text);
    std::exit(1);
  }
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const fs::path dir = fs::temp_directory_path() / fmt::format("fenwix-several-{}", getpid());
  fs::create_directories(dir);
  fenwix::bench::JobCounts counts;
  const fs::path job = dir / "job.xml";
  // Three quarters of the default job: about 46 MB.
  fenwix::bench::JobSize size;
  size.stations = size.stations / 4 * 3;
  size.vectors = size.vectors / 4 * 3;
  size.setups = size.setups / 4 * 3;
  if (!fenwix::bench::WriteLargeJob(job.string(), size, counts)) return 1;
  const std::vector<fs::path> parts = CutJob(job, dir);

  std::vector<double> one_wall, one_cpu, ten_wall, ten_cpu;
  for (int r = 0; r < rounds; ++r) {
    // Which goes first alternates, so that neither always meets a warm or a cold machine.
    Run one, ten;
    if (r % 2 == 0) {
      one = Convert({job}, dir / "one.txt");
      ten = Convert(parts, dir / "ten.txt");
    } else {
      ten = Convert(parts, dir / "ten.txt");
      one = Convert({job}, dir / "one.txt");
    }
    one_wall.push_back(one.wall);
    one_cpu.push_back(one.cpu);
    ten_wall.push_back(ten.wall);
    ten_cpu.push_back(ten.cpu);
  }
  const bool same = ReadAll(dir / "one.txt") == ReadAll(dir / "ten.txt");
  fmt::print("job {:.1f} MB, {} records; {} rounds, medians\n",
             static_cast<double>(counts.bytes) / 1e6, counts.records, rounds);
  fmt::print("one file:   {:7.0f} ms wall {:7.0f} ms CPU\n", Median(one_wall) * 1e3,
             Median(one_cpu) * 1e3);
  fmt::print("{} files:   {:7.0f} ms wall {:7.0f} ms CPU\n", PARTS, Median(ten_wall) * 1e3,
             Median(ten_cpu) * 1e3);
  fmt::print("{} files / one file: {:.3f} wall, {:.3f} CPU; outputs {}\n", PARTS,
             Median(ten_wall) / Median(one_wall), Median(ten_cpu) / Median(one_cpu),
             same ? "identical" : "DIFFER");
  fs::remove_all(dir);
  return same ? 0 : 1;
}

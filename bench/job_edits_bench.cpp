// A job file's edits at scale, in alternating runs of this one program:
//
// - the generated 20,000-station job converted through a job file, once without edits and once
//   with 5,000 left-out elements (vectors and readings spread through the file) and 1,000
//   renames, each run from reading the job file to the committed output; the edited run should
//   cost little more than the plain one;
// - a job file naming many small field files, read, applied and converted, at 400 and at 4,000
//   field files; the time per field file should hardly grow with their number.
//
//   cmake --preset bench && cmake --build --preset bench -j2 --target job_edits_bench
//   build/bench/bench/job_edits_bench [rounds]
//
// Figures are medians of the rounds of thread CPU time. Figures only: nothing here passes or
// fails.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "app/convert_dialog.h"
#include "app/job_conversion.h"
#include "bench_support.h"
#include "job/job_file.h"
#include "job_generator.h"

namespace {

namespace fs = std::filesystem;
using fenwix::bench::Median;
using fenwix::bench::SilentUi;
using fenwix::bench::ThreadCpuSeconds;

constexpr int LEAVE_OUTS = 5000;
constexpr int RENAMES = 1000;

// The lines of the generated job that start a vector or a reading.
std::vector<int64_t> ElementLines(const fs::path& xml) {
  std::ifstream in(xml, std::ios::binary);
  std::vector<int64_t> lines;
  std::string text;
  for (int64_t line = 1; std::getline(in, text); ++line) {
    if (text == "  <Vector>" || text == "  <Observation>") lines.push_back(line);
  }
  return lines;
}

bool Save(const fenwix::Job& job, const fs::path& path) {
  std::ofstream out(path, std::ios::binary);
  out << fenwix::FormatJobText(job);
  return static_cast<bool>(out);
}

// Reads the job file and converts it as fenwix-convert --project does; the thread's CPU time.
double ConvertJob(const fs::path& job_path) {
  const double start = ThreadCpuSeconds();
  const fenwix::Result<fenwix::Job> read = fenwix::ReadJobFile(job_path.string());
  if (!read.ok()) {
    fmt::print("{}\n", read.status().text());
    std::exit(1);
  }
  fenwix::ConvertDialog dialog;
  dialog.InitializeDefaults();
  if (fenwix::ApplyJobOptions(read.value(), dialog.request).failed()) std::exit(1);
  if (const fenwix::Status refused =
          fenwix::ApplyJobFiles(read.value(), job_path.string(), false, dialog.request);
      refused.failed()) {
    fmt::print("{}\n", refused.text());
    std::exit(1);
  }
  SilentUi ui;
  const fenwix::ConversionResult result = dialog.RunConversion(ui);
  const double cpu = ThreadCpuSeconds() - start;
  if (result.outcome != fenwix::ConversionOutcome::Succeeded) {
    fmt::print("{} ended with message {}: {}\n", job_path.string(), fmt::underlying(ui.last_id),
               ui.last_text);
    std::exit(1);
  }
  return cpu;
}

// Medians of the CPU times of two job files converted in alternating order.
std::pair<double, double> Alternate(const fs::path& first, const fs::path& second, int rounds) {
  std::vector<double> a, b;
  for (int r = 0; r < rounds; ++r) {
    if (r % 2 == 0) {
      a.push_back(ConvertJob(first));
      b.push_back(ConvertJob(second));
    } else {
      b.push_back(ConvertJob(second));
      a.push_back(ConvertJob(first));
    }
  }
  return {Median(a), Median(b)};
}

// A job file naming `count` small field files of its folder, each its own vector.
fs::path ManyFilesJob(const fs::path& dir, int count) {
  fs::create_directories(dir);
  fenwix::Job job;
  job.output = "out.txt";
  for (int i = 0; i < count; ++i) {
    const std::string name = fmt::format("f{:05}.xml", i);
    std::ofstream(dir / name, std::ios::binary) << fmt::format(
        "<data><Vector><BasePoint>A{0}</BasePoint><RoverPoint>B{0}</RoverPoint>"
        "<DX>1</DX><DY>2</DY><DZ>3</DZ></Vector></data>\n",
        i);
    job.inputs.push_back(fenwix::JobInput{name, "", ""});
  }
  const fs::path path = dir / "many.fenwix";
  if (!Save(job, path)) std::exit(1);
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const fs::path dir = fs::temp_directory_path() / fmt::format("fenwix-job-edits-{}", getpid());
  fs::create_directories(dir);
  fenwix::bench::JobCounts counts;
  if (!fenwix::bench::WriteLargeJob((dir / "job.xml").string(), fenwix::bench::JobSize{}, counts)) {
    return 1;
  }

  fenwix::Job plain;
  plain.inputs.push_back(fenwix::JobInput{"job.xml", "", ""});
  plain.output = "plain.txt";
  fenwix::Job edited = plain;
  edited.output = "edited.txt";
  const std::vector<int64_t> lines = ElementLines(dir / "job.xml");
  for (int i = 0; i < LEAVE_OUTS; ++i) {
    const size_t at = lines.size() * static_cast<size_t>(i) / LEAVE_OUTS;
    edited.leave_out.push_back(fenwix::JobLeaveOut{"job.xml", lines[at], "bench", {}});
  }
  const int stations = fenwix::bench::JobSize{}.stations;
  for (int i = 0; i < RENAMES; ++i) {
    const int point = 1 + i * (stations / RENAMES);
    edited.renames.push_back(
        fenwix::JobRename{fmt::format("P{:05}", point), fmt::format("R{:05}", point), ""});
  }
  if (!Save(plain, dir / "plain.fenwix") || !Save(edited, dir / "edited.fenwix")) return 1;

  const auto [plain_cpu, edited_cpu] =
      Alternate(dir / "plain.fenwix", dir / "edited.fenwix", rounds);
  fmt::print("job {:.1f} MB, {} records; {} rounds, medians of thread CPU\n",
             static_cast<double>(counts.bytes) / 1e6, counts.records, rounds);
  fmt::print("without edits:                          {:7.0f} ms\n", plain_cpu * 1e3);
  fmt::print("{} left out, {} renames:           {:7.0f} ms\n", LEAVE_OUTS, RENAMES,
             edited_cpu * 1e3);
  fmt::print("edited / without edits: {:.3f}\n", edited_cpu / plain_cpu);

  const auto [few_cpu, many_cpu] =
      Alternate(ManyFilesJob(dir / "few", 400), ManyFilesJob(dir / "many", 4000), rounds);
  fmt::print("400 field files:   {:7.0f} ms, {:.3f} ms a file\n", few_cpu * 1e3,
             few_cpu / 400 * 1e3);
  fmt::print("4,000 field files: {:7.0f} ms, {:.3f} ms a file\n", many_cpu * 1e3,
             many_cpu / 4000 * 1e3);
  fmt::print("per file, 4,000 / 400: {:.3f}\n", (many_cpu / 4000) / (few_cpu / 400));
  fs::remove_all(dir);
  return 0;
}

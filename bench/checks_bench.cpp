// What the check report costs on a large generated job, against the conversion without it, both
// measured in this run, at the default size and at twice it:
// - the reading log: reading the job with the log kept against reading it without;
// - the checks: all checks on the tables and the log, against the whole conversion without
//   checks (the conversion with checks is timed too).
//
//   cmake --preset bench && cmake --build --preset bench -j2 --target checks_bench
//   build/bench/bench/checks_bench [rounds]
//
// The steps alternate within each round and every figure is the median over the rounds of the
// thread's CPU time. Figures only: nothing here passes or fails.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "app/convert_dialog.h"
#include "bench_support.h"
#include "checks/report_forms.h"
#include "checks/run_checks.h"
#include "job_generator.h"
#include "xml/sax_reader.h"
#include "xml/xml_content_handler.h"

namespace {

namespace fs = std::filesystem;
using fenwix::bench::Median;
using fenwix::bench::SilentUi;
using fenwix::bench::ThreadCpuSeconds;

template <typename Step>
double Measure(Step step) {
  const double start = ThreadCpuSeconds();
  step();
  return ThreadCpuSeconds() - start;
}

void Read(const fs::path& path, fenwix::SurveyTables& tables, fenwix::ReadingLog* log) {
  tables.ResetTables();
  if (log != nullptr) log->Clear();
  fenwix::SaxReader reader;
  fenwix::XmlContentHandler handler(tables);
  handler.AttachLog(log);
  reader.Attach(&handler);
  if (const fenwix::Status read = reader.ParseFile(path.string()); !read.ok()) {
    std::fprintf(stderr, "cannot read %s: %s\n", path.string().c_str(), read.text().c_str());
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const fs::path dir = fs::temp_directory_path() / fmt::format("fenwix-checks-{}", getpid());
  fs::create_directories(dir);
  fmt::print("{:>5} {:>9} {:>9} {:>12} {:>12} {:>13} {:>12} {:>8}\n", "size", "read ms",
             "logged ms", "convert ms", "checks ms", "with chk ms", "log/convert", "chk/conv");
  double first_ratio = 0.0;
  for (const int scale : {1, 2}) {
    const fenwix::bench::JobSize size = fenwix::bench::ScaledJobSize(scale);
    fenwix::bench::JobCounts counts;
    const fs::path input = dir / fmt::format("job-{}.xml", scale);
    const fs::path output = dir / fmt::format("job-{}.txt", scale);
    if (!fenwix::bench::WriteLargeJob(input.string(), size, counts)) return 1;

    std::vector<double> read, logged, convert, checks, with_checks;
    fenwix::SurveyTables tables;
    fenwix::ReadingLog log;
    int32_t flagged = 0;
    for (int r = 0; r < rounds; ++r) {
      read.push_back(Measure([&] { Read(input, tables, nullptr); }));
      logged.push_back(Measure([&] { Read(input, tables, &log); }));
      for (const bool run_checks : {false, true}) {
        fenwix::ConvertDialog dialog;
        dialog.InitializeDefaults();
        dialog.request.xml_paths = {input.string()};
        dialog.request.output_path = output.string();
        dialog.request.run_checks = run_checks;
        SilentUi ui;
        (run_checks ? with_checks : convert).push_back(Measure([&] { dialog.RunConversion(ui); }));
        if (!run_checks) continue;
        fenwix::CheckInput in;
        in.tables = &dialog.run.tables;
        in.log = &dialog.run.reading_log;
        in.frame_latitude = 0.79;
        in.frame_longitude = -1.3;
        fenwix::CheckReport report;
        checks.push_back(
            Measure([&] { report = fenwix::RunChecks(in, dialog.request.check_limits); }));
        flagged = report.FlaggedRows();
      }
    }
    const double log_ratio = (Median(logged) - Median(read)) / Median(convert);
    const double check_ratio = Median(checks) / Median(convert);
    fmt::print("{:>4}x {:>9.0f} {:>9.0f} {:>12.0f} {:>12.0f} {:>13.0f} {:>12.3f} {:>8.3f}\n", scale,
               Median(read) * 1e3, Median(logged) * 1e3, Median(convert) * 1e3,
               Median(checks) * 1e3, Median(with_checks) * 1e3, log_ratio, check_ratio);
    fmt::print(
        "      {} readings logged, {} rows flagged; conversion with checks / without: {:.3f}\n",
        log.readings().size(), flagged, Median(with_checks) / Median(convert));
    if (scale == 1) {
      first_ratio = check_ratio;
    } else {
      fmt::print(
          "checks/conversion at twice the size: {:.2f} times the ratio at the default size\n",
          check_ratio / first_ratio);
    }
  }
  fmt::print(
      "(medians of {} rounds of thread CPU time; log/convert is the extra reading time of "
      "the log over the conversion without checks)\n",
      rounds);
  fs::remove_all(dir);
  return 0;
}

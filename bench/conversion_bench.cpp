// The whole conversion of a large generated Topcon XML job (read it, write the output file),
// against a bare Expat pass over the same file, both measured in this run, at the default size
// and at ten times it, so that the growth of the cost shows. The reading and the writing halves
// are also timed alone.
//
//   cmake --preset bench && cmake --build --preset bench --target conversion_bench
//   build/bench/bench/conversion_bench [rounds] [scales...]      (default 5 rounds; 1 10)
//
// Every figure is the median of `rounds` runs (the steps alternate within each round), as
// wall-clock time and as the thread's CPU time, which a shared machine disturbs less. The
// conversion's wall time includes the flush to disk when the output file is committed. Figures
// only: nothing here passes or fails.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "app/convert_dialog.h"
#include "app/messages.h"
#include "bench_support.h"
#include "job_generator.h"
#include "model/survey_tables.h"
#include "writer/output_file.h"
#include "writer/record_writer.h"
#include "xml/sax_reader.h"
#include "xml/xml_content_handler.h"

namespace {

namespace fs = std::filesystem;
using fenwix::bench::BareExpatPass;
using fenwix::bench::SilentUi;
using fenwix::bench::ThreadCpuSeconds;

struct Times {
  double wall = 0.0;  // seconds
  double cpu = 0.0;
};

// The timings of every round of one step; the figures are their medians.
struct Rounds {
  std::vector<double> walls;
  std::vector<double> cpus;
  void Keep(const Times& t) {
    walls.push_back(t.wall);
    cpus.push_back(t.cpu);
  }
  Times Median() const { return {fenwix::bench::Median(walls), fenwix::bench::Median(cpus)}; }
};

template <typename Step>
Times Measure(Step step) {
  const auto wall_start = std::chrono::steady_clock::now();
  const double cpu_start = ThreadCpuSeconds();
  step();
  Times t;
  t.cpu = ThreadCpuSeconds() - cpu_start;
  t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
  return t;
}

// Bytes the reading half alone hands to Expat at a time: FENWIX_BENCH_CHUNK (in KiB) when set,
// to see how the size of the pieces moves its cost; else the reader's own.
size_t ReadChunk() {
  const char* kib = std::getenv("FENWIX_BENCH_CHUNK");
  const long value = kib != nullptr ? std::atol(kib) : 0;
  return value > 0 ? static_cast<size_t>(value) << 10 : fenwix::SaxReader::DEFAULT_CHUNK_SIZE;
}

// The reading half alone: Expat with the content handler filling the tables.
void Read(const fs::path& path, fenwix::SurveyTables& tables) {
  tables.ResetTables();
  fenwix::SaxReader reader;
  reader.set_chunk_size(ReadChunk());
  fenwix::XmlContentHandler handler(tables);
  reader.Attach(&handler);
  if (const fenwix::Status read = reader.ParseFile(path.string()); !read.ok()) {
    std::fprintf(stderr, "cannot read %s: %s\n", path.string().c_str(), read.text().c_str());
    std::exit(1);
  }
}

// The writing half alone: both record passes over the tables read, into a committed file.
void Write(const fenwix::SurveyTables& tables, const fs::path& output) {
  fenwix::OutputFile out;
  if (!out.Open(output.string())) std::exit(1);
  fenwix::WriterState state;
  state.current_linear_unit = fenwix::LinearUnit::Meter;
  state.current_angle_unit = fenwix::AngleUnit::Degrees;
  if (fenwix::WriteStations(false, false, tables, state, out).failed() ||
      fenwix::WriteObservations(tables, state, out).failed() || !out.Commit()) {
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::vector<int> scales;
  for (int i = 2; i < argc; ++i) scales.push_back(std::max(1, std::atoi(argv[i])));
  if (scales.empty()) scales = {1, 10};
  const fs::path dir = fs::temp_directory_path() / fmt::format("fenwix-conversion-{}", getpid());
  fs::create_directories(dir);
  fmt::print("{:>6} {:>8} {:>8} {:>10} {:>10} {:>10} {:>10}  {:>13}\n", "size", "input MB",
             "records", "output MB", "expat ms", "read ms", "write ms", "conversion ms");
  double first_per_mb = 0.0;
  for (const int scale : scales) {
    const fenwix::bench::JobSize size = fenwix::bench::ScaledJobSize(scale);
    fenwix::bench::JobCounts counts;
    const fs::path input = dir / fmt::format("job-{}.xml", scale);
    const fs::path output = dir / fmt::format("job-{}.txt", scale);
    if (!fenwix::bench::WriteLargeJob(input.string(), size, counts)) return 1;

    Rounds bare_rounds, read_rounds, write_rounds, conversion_rounds;
    fenwix::SurveyTables tables;
    fenwix::MessageId message{};
    int32_t records = 0;
    for (int r = 0; r < rounds; ++r) {
      bare_rounds.Keep(Measure([&] { BareExpatPass(input); }));
      read_rounds.Keep(Measure([&] { Read(input, tables); }));
      write_rounds.Keep(Measure([&] { Write(tables, output); }));
      fenwix::ConvertDialog dialog;
      dialog.InitializeDefaults();
      dialog.request.xml_paths = {input.string()};
      dialog.request.output_path = output.string();
      SilentUi ui;
      conversion_rounds.Keep(Measure([&] { dialog.RunConversion(ui); }));
      message = ui.last_id;
      records = dialog.run.tables.observation_count() - 1;
    }
    const Times bare = bare_rounds.Median();
    const Times read = read_rounds.Median();
    const Times write = write_rounds.Median();
    const Times conversion = conversion_rounds.Median();
    const double input_mb = static_cast<double>(counts.bytes) / 1e6;
    const double output_mb = static_cast<double>(fs::file_size(output)) / 1e6;
    const auto ms = [](const Times& t) {
      return fmt::format("{:.0f}/{:.0f}", t.wall * 1e3, t.cpu * 1e3);
    };
    fmt::print("{:>5}x {:>8.1f} {:>8} {:>10.1f} {:>10} {:>10} {:>10}  {:>13}\n", scale, input_mb,
               records, output_mb, ms(bare), ms(read), ms(write), ms(conversion));
    fmt::print(
        "        conversion / bare Expat pass: {:.2f} wall, {:.2f} CPU "
        "(reading alone {:.2f} CPU, writing alone {:.2f} CPU)\n",
        conversion.wall / bare.wall, conversion.cpu / bare.cpu, read.cpu / bare.cpu,
        write.cpu / bare.cpu);
    if (message != fenwix::MSG_SUCCESS) {
      fmt::print("        the conversion ended with message {}\n", fmt::underlying(message));
    }
    const double per_mb = conversion.cpu / input_mb;
    if (first_per_mb == 0.0) {
      first_per_mb = per_mb;
    } else {
      fmt::print(
          "CPU time of the conversion per input MB at {}x the size: {:.2f} times that of the "
          "first job\n",
          scale, per_mb / first_per_mb);
    }
    fs::remove(input);
    fs::remove(output);
  }
  fmt::print("(times as wall/CPU milliseconds)\n");
  fs::remove_all(dir);
  return 0;
}

// Approximate coordinates with the 100-step budget and without it, on the generated benchmark job
// and on a long traverse, at 1x, 2x and 10x the size, against a bare Expat pass over the same
// file measured in the same run.
//
//   cmake --preset bench && cmake --build --preset bench -j2 --target reach_bench
//   build/bench/bench/reach_bench [rounds] [job stations] [traverse legs]
//
// Defaults: 3 rounds, a job of 20,000 stations (100,000 vectors, 10,000 setups) and a traverse
// of 20,000 legs, so the 10x sizes are 200,000 stations and 200,000 legs. Every task runs in a
// child process of its own, so that its CPU time (user + system) and its peak resident memory
// are its alone; the tasks alternate within each round and the median of the rounds is shown.
//   expat      a bare Expat pass, the baseline of every ratio
//   conv N     the whole conversion, seed at the first station, local coordinates, --max-steps N
//   phase N    ComputeApproxCoordinates alone on the tables a reading left (CPU of that call)
// FENWIX_BENCH_PHASE_ONLY=1 times only "phase 0" (its median and fastest round), for comparing
// two builds of the propagation in alternating runs without the conversions in between.
// Figures only: nothing here passes or fails.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "app/convert_dialog.h"
#include "approx/approx_coordinates.h"
#include "bench_support.h"
#include "job_generator.h"
#include "xml/sax_reader.h"
#include "xml/xml_content_handler.h"

namespace {

namespace fs = std::filesystem;
using fenwix::bench::BareExpatPass;
using fenwix::bench::Median;
using fenwix::bench::SilentUi;
using fenwix::bench::ThreadCpuSeconds;

// What a child reports: its CPU and peak memory, and for a phase the call's CPU and the
// stations it left unknown.
struct Usage {
  double cpu = 0;       // seconds, user + system of the whole child
  double phase = 0;     // seconds, the timed call alone
  double peak_mib = 0;  // peak resident set
  int32_t not_computed = -1;
};

struct Report {
  double phase = 0;
  int32_t not_computed = -1;
};

Usage InChild(const std::function<Report()>& task) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const Report report = task();
    if (write(fds[1], &report, sizeof report) != sizeof report) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  Report report;
  if (read(fds[0], &report, sizeof report) != sizeof report) std::exit(1);
  close(fds[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  return Usage{fenwix::bench::Seconds(usage.ru_utime) + fenwix::bench::Seconds(usage.ru_stime),
               report.phase, static_cast<double>(usage.ru_maxrss) / 1024.0, report.not_computed};
}

Report Convert(const fs::path& input, const fs::path& output, const std::string& seed, int steps) {
  fenwix::ConvertDialog dialog;
  dialog.InitializeDefaults();
  dialog.request.xml_paths = {input.string()};
  dialog.request.output_path = output.string();
  dialog.request.seed_name = seed;
  dialog.request.compute_local = true;
  dialog.request.max_steps = steps;
  SilentUi ui;
  if (dialog.RunConversion(ui).outcome != fenwix::ConversionOutcome::Succeeded) std::exit(1);
  return {};
}

Report Phase(const fs::path& input, const std::string& seed, int steps) {
  fenwix::SurveyTables tables;
  fenwix::XmlContentHandler handler(tables);
  fenwix::SaxReader reader;
  reader.Attach(&handler);
  if (const fenwix::Status read = reader.ParseFile(input.string()); !read.ok()) {
    std::fprintf(stderr, "cannot read %s: %s\n", input.string().c_str(), read.text().c_str());
    std::exit(1);
  }
  const int32_t index = tables.FindStation(seed);
  const fenwix::Ellipsoid datum{"WGS 84", fenwix::WGS84_A, fenwix::WGS84_INV_F};
  const double start = ThreadCpuSeconds();
  const int32_t not_computed = fenwix::ComputeApproxCoordinates(
      tables, index, fenwix::SeedPosition{45.0, -120.0, 0.0}, datum, nullptr, steps);
  return {ThreadCpuSeconds() - start, not_computed};
}

// A traverse: a GPS vector from T0 to T1, then a setup at every Ti oriented on T(i-1) with a
// foresight to T(i+1); the legs of 150 to 250 m wander by up to 40 degrees a leg.
void WriteTraverse(const fs::path& path, int legs) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  fenwix::bench::detail::Random random(7);
  fmt::print(f, "<?xml version=\"1.0\"?>\n<data><Project><Name>Traverse</Name></Project>\n");
  fmt::print(f,
             "<Vector><BasePoint>T0</BasePoint><RoverPoint>T1</RoverPoint><Type>Fixed</Type>"
             "<DX>120.0</DX><DY>80.0</DY><DZ>60.0</DZ><SX>0.002</SX><SY>0.002</SY>"
             "<SZ>0.004</SZ><CXY>0.1</CXY><CXZ>0</CXZ><CYZ>0</CYZ></Vector>\n");
  const auto sight = [&](const char* type, int point, double direction, double distance) {
    fmt::print(f,
               "<Observation><ObsType>{}</ObsType><PointNumber>T{}</PointNumber>"
               "<HorizontalAngle>{}</HorizontalAngle><ZenithAngle>{}</ZenithAngle>"
               "<SlopeDistance>{:.4f}</SlopeDistance><PrismHeight>1.800</PrismHeight>"
               "</Observation>\n",
               type, point, fenwix::bench::detail::Packed(direction),
               fenwix::bench::detail::Packed(random.Between(88.0, 92.0)), distance);
  };
  double back_distance = 170.0;
  for (int i = 1; i < legs; ++i) {
    fmt::print(f,
               "<Station><StationPoint>T{}</StationPoint><InstrumentHeight>1.6"
               "</InstrumentHeight>\n",
               i);
    const double turn = 180.0 + random.Between(-40.0, 40.0);
    const double distance = random.Between(150.0, 250.0);
    sight("Backsight", i - 1, 0.0, back_distance);
    sight("Foresight", i + 1, turn, distance);
    sight("Backsight", i - 1, 0.0, back_distance);
    fmt::print(f, "</Station>\n");
    back_distance = distance;
  }
  fmt::print(f, "</data>\n");
  std::fclose(f);
}

// One line of figures; returns the median CPU of the unbudgeted phase.
double Measure(const char* name, const fs::path& input, const std::string& seed, int rounds) {
  const fs::path output = input.parent_path() / "out.txt";
  const double mib = static_cast<double>(fs::file_size(input)) / (1024.0 * 1024.0);
  std::vector<double> expat, conv100, conv0, phase100, phase0, peak0;
  int32_t left100 = -1, left0 = -1;
  if (std::getenv("FENWIX_BENCH_PHASE_ONLY") != nullptr) {
    for (int r = 0; r < rounds; ++r) {
      phase0.push_back(InChild([&] { return Phase(input, seed, 0); }).phase);
    }
    fmt::print("{:<14} phase0 {:.4f} s, fastest {:.4f} s\n", name, Median(phase0),
               *std::min_element(phase0.begin(), phase0.end()));
    return Median(phase0);
  }
  for (int r = 0; r < rounds; ++r) {
    expat.push_back(InChild([&] {
                      BareExpatPass(input);
                      return Report{};
                    }).cpu);
    conv100.push_back(InChild([&] { return Convert(input, output, seed, 100); }).cpu);
    const Usage c0 = InChild([&] { return Convert(input, output, seed, 0); });
    conv0.push_back(c0.cpu);
    peak0.push_back(c0.peak_mib);
    const Usage p100 = InChild([&] { return Phase(input, seed, 100); });
    phase100.push_back(p100.phase);
    left100 = p100.not_computed;
    const Usage p0 = InChild([&] { return Phase(input, seed, 0); });
    phase0.push_back(p0.phase);
    left0 = p0.not_computed;
  }
  const double e = Median(expat);
  fmt::print(
      "{:<14} {:>8.1f} {:>7.3f} {:>8.2f} {:>8.2f} {:>9.3f} {:>9.3f} {:>8.2f} {:>8.3f} {:>7.2f} "
      "{:>8} {:>8}\n",
      name, mib, e, Median(conv100) / e, Median(conv0) / e, Median(phase100) / e,
      Median(phase0) / e, Median(phase0) / Median(conv0), Median(phase0), Median(peak0) / mib,
      left100, left0);
  return Median(phase0);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const int stations = argc > 2 ? std::atoi(argv[2]) : 20000;
  const int legs = argc > 3 ? std::atoi(argv[3]) : 20000;
  const fs::path dir = fs::temp_directory_path() / fmt::format("fenwix-reach-{}", getpid());
  fs::create_directories(dir);
  fmt::print(
      "ratios are CPU against the bare Expat pass; phase0/conv0 is the share of the phase in "
      "the unbudgeted conversion; peak/file is the unbudgeted conversion's peak memory over the "
      "file size\n");
  fmt::print("{:<14} {:>8} {:>7} {:>8} {:>8} {:>9} {:>9} {:>8} {:>8} {:>7} {:>8} {:>8}\n", "job",
             "MiB", "expat s", "conv100", "conv0", "phase100", "phase0", "ph0/cv0", "phase0 s",
             "peak/f", "left100", "left0");
  for (const bool traverse : {false, true}) {
    double phase_one = 0;
    for (const int scale : {1, 2, 10}) {
      const fs::path input = dir / "job.xml";
      std::string name;
      if (traverse) {
        WriteTraverse(input, legs * scale);
        name = fmt::format("traverse {}x", scale);
      } else {
        fenwix::bench::JobSize size;
        size.stations = stations * scale;
        size.vectors = 5 * stations * scale;
        size.setups = stations / 2 * scale;
        fenwix::bench::JobCounts counts;
        if (!fenwix::bench::WriteLargeJob(input.string(), size, counts)) return 1;
        name = fmt::format("job {}x", scale);
      }
      const double phase = Measure(name.c_str(), input, traverse ? "T0" : "P00001", rounds);
      if (scale == 1) {
        phase_one = phase;
      } else {
        const double n = traverse ? legs : stations;
        fmt::print("{:<14} phase0 grew {:.2f}x for {}x the size (n log n would be {:.2f}x)\n", "",
                   phase / phase_one, scale, scale * std::log(scale * n) / std::log(n));
      }
      fs::remove(input);
    }
  }
  fs::remove_all(dir);
  return 0;
}

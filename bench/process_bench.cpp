// The whole conversion as the surveyor runs it: fenwix-convert as a child process on generated
// jobs at 1x, 2x and 10x the default size, against a child process that makes a bare Expat pass
// over the same file, alternating within each round. Reports the median user and system CPU time
// and the peak resident memory of each, the conversion's CPU as a ratio of the bare pass's, its
// system time as a share of its CPU, and its peak memory as a ratio of the input file.
//
//   cmake --preset bench && cmake --build --preset bench -j2 --target process_bench fenwix-convert
//   build/bench/bench/process_bench [rounds] [scales...]        (default 3 rounds; 1 2 10)
//
// FENWIX_BENCH_KEEP=folder keeps the generated jobs there and reuses them on the next run.
// FENWIX_BENCH_BEFORE=path/to/an/older/fenwix-convert runs that program too, in the same rounds
// (first and second in turn), as a second row per size, and says whether both wrote the same
// bytes.
// Figures only: nothing here passes or fails.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "bench_support.h"
#include "job_generator.h"

namespace {

namespace fs = std::filesystem;
using fenwix::bench::Median;
using fenwix::bench::Seconds;

struct Usage {
  double user = 0.0;  // seconds
  double system = 0.0;
  double peak_mb = 0.0;  // resident, 1e6 bytes
  double Cpu() const { return user + system; }
};

// Runs body in a forked child and returns the child's own resource usage.
template <typename Body>
Usage InChild(Body body) {
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid < 0) std::exit(1);
  if (pid == 0) {
    body();
    _exit(0);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status)) std::exit(1);
  if (WEXITSTATUS(status) != 0) {
    fmt::print(stderr, "a child process failed with status {}\n", WEXITSTATUS(status));
    std::exit(1);
  }
  return {Seconds(usage.ru_utime), Seconds(usage.ru_stime),
          static_cast<double>(usage.ru_maxrss) * 1024.0 / 1e6};
}

struct Series {
  std::vector<double> user, system, peak;
  void Add(const Usage& u) {
    user.push_back(u.user);
    system.push_back(u.system);
    peak.push_back(u.peak_mb);
  }
  Usage MedianUsage() const { return {Median(user), Median(system), Median(peak)}; }
};

bool SameBytes(const fs::path& a, const fs::path& b) {
  std::ifstream first(a, std::ios::binary);
  std::ifstream second(b, std::ios::binary);
  return std::equal(std::istreambuf_iterator<char>(first), std::istreambuf_iterator<char>(),
                    std::istreambuf_iterator<char>(second), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  std::vector<int> scales;
  for (int i = 2; i < argc; ++i) scales.push_back(std::max(1, std::atoi(argv[i])));
  if (scales.empty()) scales = {1, 2, 10};
  const fs::path convert = fs::path(argv[0]).parent_path().parent_path() / "fenwix-convert";
  if (!fs::exists(convert)) {
    fmt::print(stderr, "{} is not built\n", convert.string());
    return 1;
  }
  const char* keep = std::getenv("FENWIX_BENCH_KEEP");
  const char* before = std::getenv("FENWIX_BENCH_BEFORE");
  const fs::path dir = keep != nullptr
                           ? fs::path(keep)
                           : fs::temp_directory_path() / fmt::format("fenwix-process-{}", getpid());
  fs::create_directories(dir);

  fmt::print("{:>5} {:>9} | {:>21} | {:>21} | {:>9} {:>9} {:>9}\n", "size", "input MB",
             "bare Expat user/sys/MB", "conversion user/sys/MB", "CPU ratio", "sys share",
             "peak/file");
  for (const int scale : scales) {
    const fs::path input = dir / fmt::format("job-{}.xml", scale);
    const fs::path output = dir / fmt::format("job-{}.txt", scale);
    if (!fs::exists(input)) {
      fenwix::bench::JobCounts counts;
      if (!fenwix::bench::WriteLargeJob(input.string(), fenwix::bench::ScaledJobSize(scale),
                                        counts)) {
        return 1;
      }
    }
    const fs::path before_output = dir / fmt::format("job-{}-before.txt", scale);
    const double input_mb = static_cast<double>(fs::file_size(input)) / 1e6;
    // Quiet: the progress line is only shown on a terminal, and the final message is not part
    // of the figure.
    const auto run = [&input](const fs::path& program, const fs::path& out) {
      return InChild([&] {
        std::freopen("/dev/null", "w", stderr);
        std::freopen("/dev/null", "w", stdout);
        execl(program.c_str(), program.c_str(), input.c_str(), out.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
      });
    };
    Series bare, conversion, older;
    for (int r = 0; r < rounds; ++r) {
      bare.Add(InChild([&] { fenwix::bench::BareExpatPass(input); }));
      // The program run second in a round comes out slower on this kind of machine: the two
      // programs take turns in that place.
      if (before != nullptr && r % 2 == 1) older.Add(run(before, before_output));
      conversion.Add(run(convert, output));
      if (before != nullptr && r % 2 == 0) older.Add(run(before, before_output));
    }
    const Usage b = bare.MedianUsage();
    const auto row = [&](const char* label, const Usage& c) {
      fmt::print(
          "{:>4}x {:>9.1f} | {:>7.2f} {:>6.2f} {:>6.0f} | {:>7.2f} {:>6.2f} {:>6.0f} | {:>9.2f} "
          "{:>8.1f}% {:>9.2f} {}\n",
          scale, input_mb, b.user, b.system, b.peak_mb, c.user, c.system, c.peak_mb,
          c.Cpu() / b.Cpu(), 100.0 * c.system / c.Cpu(), c.peak_mb / input_mb, label);
    };
    row("", conversion.MedianUsage());
    if (before != nullptr) {
      row("(before)", older.MedianUsage());
      fmt::print("      the two programs wrote {}\n",
                 SameBytes(output, before_output) ? "the same bytes" : "DIFFERENT BYTES");
      fs::remove(before_output);
    }
    std::fflush(stdout);
    fs::remove(output);
  }
  fmt::print("(CPU in seconds, medians of {} alternating rounds; peak resident memory in MB)\n",
             rounds);
  if (keep == nullptr) fs::remove_all(dir);
  return 0;
}

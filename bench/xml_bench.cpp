// Reading a large Topcon XML job into the tables, against a bare Expat pass over the same file
// (the same streamed reading with no handler attached), both measured in this run.
//
//   xml_bench [--repeat N] [--keep] [job.xml]
//
// Reports the median time of each and their ratio, as wall-clock time and as the thread's CPU
// time (steadier on a shared machine; the parse is single-threaded and reads from the page
// cache), and the peak memory of a conversion against the tables' own size. Figures only:
// nothing here passes or fails.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <time.h>

#include "job_generator.h"
#include "model/survey_tables.h"
#include "xml/sax_reader.h"
#include "xml/xml_content_handler.h"

namespace {

using fenwix::SaxReader;
using fenwix::Status;
using fenwix::SurveyTables;
using fenwix::XmlContentHandler;

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM"), or -1.
long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.compare(0, key.size(), key) == 0) return std::atol(line.c_str() + key.size());
  }
  return -1;
}

// Heap bytes a string holds beyond its own object.
size_t HeapBytes(const std::string& s) {
  return s.capacity() > 15 ? s.capacity() + 1 : 0;
}

// The tables' own size: the rows in use, string storage outside the station rows, and the
// station-name index (one node per station, name included, and one bucket pointer per station,
// the load factor being at most 1).
size_t TablesBytes(const SurveyTables& tables) {
  size_t bytes = tables.observations().size() * sizeof(fenwix::ObsRow) +
                 tables.stations().capacity() * sizeof(fenwix::StationRecord);
  for (const fenwix::StationRecord& s : tables.stations()) {
    bytes += HeapBytes(s.name) + HeapBytes(s.description);
    bytes += sizeof(void*) + sizeof(std::string) + sizeof(int32_t) + sizeof(size_t) +
             HeapBytes(s.name) + sizeof(void*);
  }
  return bytes;
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Wall-clock and CPU seconds of one parse.
struct Timing {
  double wall = 0.0;
  double cpu = 0.0;
};

template <typename Parse>
Timing Time(Parse parse, bool& ok) {
  const double cpu_start = ThreadCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  ok = parse();
  Timing t;
  t.wall = Seconds(std::chrono::steady_clock::now() - start);
  t.cpu = ThreadCpuSeconds() - cpu_start;
  return t;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

bool Check(const Status& result) {
  if (result.ok()) return true;
  const fenwix::SourceLocation at = result.at().value_or(fenwix::SourceLocation{});
  std::fprintf(stderr, "parse failed: %s at %d:%d\n", result.text().c_str(), at.line, at.column);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 7;
  bool keep = false;
  std::string path = (std::filesystem::temp_directory_path() / "fenwix_xml_bench_job.xml").string();
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--keep") == 0) {
      keep = true;
    } else {
      path = argv[i];
    }
  }

  fenwix::bench::JobSize size;
  fenwix::bench::JobCounts counts;
  if (!fenwix::bench::WriteLargeJob(path, size, counts)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  std::printf("job: %s, %.1f MiB, %d stations, %lld vectors, %d setups, %lld observations\n",
              path.c_str(), static_cast<double>(counts.bytes) / (1 << 20), size.stations,
              static_cast<long long>(counts.vectors), size.setups,
              static_cast<long long>(counts.observations));

  // Memory first, while the process's high-water mark is still that of generation (which
  // streams to the file and holds nothing).
  {
    const long rss_before = StatusKiB("VmRSS");
    SurveyTables tables;
    XmlContentHandler handler(tables);
    SaxReader reader;
    reader.Attach(&handler);
    if (!Check(reader.ParseFile(path))) return 1;
    const long peak = StatusKiB("VmHWM");
    const double tables_mib = static_cast<double>(TablesBytes(tables)) / (1 << 20);
    const double growth_mib = static_cast<double>(peak - rss_before) / 1024.0;
    std::printf("records: %d observations (expected %lld), %d stations\n",
                tables.observation_count() - 1, static_cast<long long>(counts.records),
                tables.station_count() - 1);
    std::printf("memory: tables %.1f MiB, peak growth during the conversion %.1f MiB (%.2f x)\n",
                tables_mib, growth_mib, growth_mib / tables_mib);
  }

  std::vector<double> bare_wall, bare_cpu, fill_wall, fill_cpu;
  for (int r = 0; r < repeat; ++r) {
    bool ok = false;
    const Timing bare = Time(
        [&] {
          SaxReader reader;
          return Check(reader.ParseFile(path));
        },
        ok);
    if (!ok) return 1;
    // Fresh tables for every run, destroyed outside the timed parse.
    auto tables = std::make_unique<SurveyTables>();
    const Timing fill = Time(
        [&] {
          XmlContentHandler handler(*tables);
          SaxReader reader;
          reader.Attach(&handler);
          return Check(reader.ParseFile(path));
        },
        ok);
    if (!ok) return 1;
    bare_wall.push_back(bare.wall);
    bare_cpu.push_back(bare.cpu);
    fill_wall.push_back(fill.wall);
    fill_cpu.push_back(fill.cpu);
  }
  std::printf(
      "wall time (median of %d): bare Expat pass %.3f s, filling the tables %.3f s, "
      "ratio %.2f\n",
      repeat, Median(bare_wall), Median(fill_wall), Median(fill_wall) / Median(bare_wall));
  std::printf(
      "CPU time  (median of %d): bare Expat pass %.3f s, filling the tables %.3f s, "
      "ratio %.2f\n",
      repeat, Median(bare_cpu), Median(fill_cpu), Median(fill_cpu) / Median(bare_cpu));

  if (!keep) std::filesystem::remove(path);
  return 0;
}

// Whole conversion (read the Topcon XML job, write the output file) of a large generated job,
// as a ratio against a bare Expat pass over the same file, at two job sizes.
//
//   cmake -S . -B build-bench -DFENWIX_BUILD_GUI=OFF -DFENWIX_BUILD_BENCH=ON
//         -DCMAKE_BUILD_TYPE=RelWithDebInfo
//   cmake --build build-bench --target conversion_bench
//   build-bench/bench/conversion_bench [setups] [rounds]
//
// Each size is timed `rounds` times, the bare pass and the conversion alternating, and the
// fastest run of each is kept: on a shared machine the minimum is the least disturbed figure.

#include <expat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "app/convert_dialog.h"
#include "model/survey_tables.h"
#include "writer/output_file.h"
#include "writer/record_writer.h"
#include "xml/sax_reader.h"
#include "xml/xml_content_handler.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Answers nothing and shows nothing; counts the messages so that a failure is visible.
class SilentUi : public fenwix::UserInterface {
 public:
  void ShowMessage(int32_t id, const std::string&) override { last_id = id; }
  void BeginWait() override {}
  void EndWait() override {}
  fenwix::MergeAnswer AskSimilarStations(const fenwix::StationRecord&,
                                         const fenwix::StationRecord&) override {
    return fenwix::MergeAnswer::Different;
  }
  int32_t last_id = 0;
};

// A job of `setups` instrument setups, each with a GPS vector, a backsight read on both faces
// and two foresights, closed by the next setup's backsight. Names repeat over a network of
// 500 stations, as in a real traverse with many setups on few points.
void GenerateJob(const fs::path& path, int setups) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::exit(1);
  fmt::memory_buffer text;
  auto out = std::back_inserter(text);
  fmt::format_to(out,
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<data>\n  <Project>\n"
                 "    <Name>Generated</Name>\n  </Project>\n");
  for (int i = 0; i < setups; ++i) {
    const int at = i % 500;
    const int back = (i + 7) % 500;
    const int fore = (i + 13) % 500;
    fmt::format_to(out,
                   "  <Vector>\n    <BasePoint>P{}</BasePoint>\n    <RoverPoint>P{}</RoverPoint>\n"
                   "    <Type>Fixed</Type>\n    <DX>{:.4f}</DX>\n    <DY>{:.4f}</DY>\n"
                   "    <DZ>{:.4f}</DZ>\n    <SX>0.0012</SX>\n    <SY>0.0015</SY>\n"
                   "    <SZ>0.0031</SZ>\n    <CXY>-0.21</CXY>\n    <CXZ>0.34</CXZ>\n"
                   "    <CYZ>-0.05</CYZ>\n  </Vector>\n",
                   at, fore, 100.0 + i * 0.37, -250.0 + i * 0.11, 3.0 + (i % 17) * 0.25);
    fmt::format_to(out,
                   "  <Station>\n    <StationPoint>P{}</StationPoint>\n"
                   "    <InstrumentHeight>{:.3f}</InstrumentHeight>\n  </Station>\n",
                   at, 1.4 + (i % 5) * 0.05);
    const auto observation = [&](const char* type, int point, double direction, double zenith,
                                 double distance) {
      fmt::format_to(out,
                     "  <Observation>\n    <ObsType>{}</ObsType>\n"
                     "    <PointNumber>P{}</PointNumber>\n    <Code>CP</Code>\n"
                     "    <AngleUnitIndicator>DMS</AngleUnitIndicator>\n"
                     "    <HorizontalAngle>{:.5f}</HorizontalAngle>\n"
                     "    <ZenithAngle>{:.5f}</ZenithAngle>\n"
                     "    <SlopeDistance>{:.4f}</SlopeDistance>\n"
                     "    <PrismHeight>1.800</PrismHeight>\n  </Observation>\n",
                     type, point, direction, zenith, distance);
    };
    const double d = 10.0 + (i % 300) * 0.5;
    observation("Backsight", back, 0.0010, 91.0005, 50.0 + d);
    observation("Backsight", back, 180.0012, 268.5955, 50.0 + d);
    observation("Foresight", fore, 90.15405, 89.5950, 150.0 + d);
    observation("Foresight", fore, 270.1541, 270.0010, 150.0 + d);
    observation("Backsight", back, 0.0011, 91.0004, 50.0 + d);
    if (text.size() > (1 << 20)) {
      std::fwrite(text.data(), 1, text.size(), file);
      text.clear();
    }
  }
  fmt::format_to(out, "</data>\n");
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

// Expat over the file with no handlers: the cost of reading and tokenising alone.
double BareExpatSeconds(const fs::path& path) {
  const auto start = Clock::now();
  std::FILE* file = std::fopen(path.c_str(), "rb");
  XML_Parser parser = XML_ParserCreateNS(nullptr, '\x01');
  constexpr int CHUNK = 1 << 16;
  for (;;) {
    void* buffer = XML_GetBuffer(parser, CHUNK);
    const size_t n = std::fread(buffer, 1, CHUNK, file);
    const bool done = n < static_cast<size_t>(CHUNK);
    if (XML_ParseBuffer(parser, static_cast<int>(n), done) != XML_STATUS_OK) {
      std::fprintf(stderr, "generated job is not well-formed\n");
      std::exit(1);
    }
    if (done) break;
  }
  XML_ParserFree(parser);
  std::fclose(file);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The reading half of a conversion alone: Expat with the content handler filling the tables.
double ReadSeconds(const fs::path& path, fenwix::SurveyTables& tables) {
  tables.ResetTables();
  const auto start = Clock::now();
  fenwix::SaxReader reader;
  fenwix::XmlContentHandler handler(tables);
  reader.Attach(&handler);
  reader.ParseFile(path.string());
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The writing half alone: the record passes over the tables read, into a committed file.
double WriteSeconds(const fenwix::SurveyTables& tables, const fs::path& output) {
  const auto start = Clock::now();
  fenwix::OutputFile out;
  if (!out.Open(output.string())) std::exit(1);
  fenwix::WriterState state;
  state.current_linear_unit = fenwix::LINEAR_UNIT_METER;
  state.current_angle_unit = fenwix::ANGLE_UNIT_CODE_DEGREES;
  int32_t error = 0;
  fenwix::WriteStations(false, false, tables, state, out, error);
  fenwix::WriteObservations(tables, state, out, error);
  if (error != 0 || !out.Commit()) std::exit(1);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct ConversionRun {
  double seconds = 0.0;
  int32_t message = 0;
  int32_t observations = 0;
  uintmax_t output_bytes = 0;
};

ConversionRun ConversionSeconds(const fs::path& input, const fs::path& output) {
  fenwix::ConvertDialog dialog;
  dialog.InitializeDefaults();
  dialog.xml_path = input.string();
  dialog.output_path = output.string();
  SilentUi ui;
  const auto start = Clock::now();
  dialog.RunConversion(ui);
  ConversionRun run;
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.message = ui.last_id;
  run.observations = dialog.tables.observation_count() - 1;
  std::error_code ec;
  run.output_bytes = fs::file_size(output, ec);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  const int base_setups = argc > 1 ? std::atoi(argv[1]) : 20000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  const fs::path dir = fs::temp_directory_path() / fmt::format("fenwix-bench-{}", getpid());
  fs::create_directories(dir);
  fmt::print("{:>7} {:>9} {:>7} {:>10} {:>9} {:>8} {:>9} {:>11} {:>6} {:>11}\n", "setups",
             "input MB", "obs", "output MB", "expat ms", "read ms", "write ms", "convert ms",
             "ratio", "convert/MB");
  double previous_per_mb = 0.0;
  for (const int setups : {base_setups, 2 * base_setups}) {
    const fs::path input = dir / fmt::format("job-{}.xml", setups);
    const fs::path output = dir / fmt::format("job-{}.txt", setups);
    GenerateJob(input, setups);
    const double megabytes = static_cast<double>(fs::file_size(input)) / 1e6;
    double bare = 1e9;
    double read = 1e9;
    double write = 1e9;
    fenwix::SurveyTables tables;
    ConversionRun best;
    best.seconds = 1e9;
    for (int r = 0; r < rounds; ++r) {
      bare = std::min(bare, BareExpatSeconds(input));
      read = std::min(read, ReadSeconds(input, tables));
      write = std::min(write, WriteSeconds(tables, output));
      const ConversionRun run = ConversionSeconds(input, output);
      if (run.seconds < best.seconds) best = run;
    }
    const double per_mb = best.seconds * 1e3 / megabytes;
    fmt::print(
        "{:>7} {:>9.1f} {:>7} {:>10.1f} {:>9.1f} {:>8.1f} {:>9.1f} {:>11.1f} {:>6.2f} {:>8.2f} "
        "ms\n",
        setups, megabytes, best.observations, static_cast<double>(best.output_bytes) / 1e6,
        bare * 1e3, read * 1e3, write * 1e3, best.seconds * 1e3, best.seconds / bare, per_mb);
    if (best.message != 2213) fmt::print("  conversion ended with message {}\n", best.message);
    if (previous_per_mb > 0.0) {
      fmt::print("cost per MB at twice the size: {:.2f} times that of the smaller job\n",
                 per_mb / previous_per_mb);
    }
    previous_per_mb = per_mb;
  }
  fs::remove_all(dir);
  return 0;
}

// The network sketch of a large job: building the drawing model and writing the SVG, against
// writing the adjustment file of the same tables (the work every conversion does anyway).
//
//   cmake --preset bench && cmake --build --preset bench -j2 --target sketch_bench
//   build/bench/bench/sketch_bench [rounds]
//
// Tables: 20,000 stations with coordinates, 100,000 GPS vectors and 10,000 angle sets between
// near stations (bench/large_network.h). Each round times the three steps once, alternating;
// the medians are reported, in milliseconds and as ratios to the adjustment file.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "large_network.h"
#include "sketch/sketch_model.h"
#include "sketch/svg_writer.h"
#include "writer/output_file.h"
#include "writer/record_writer.h"
#include "writer/writer_state.h"

using fenwix::bench::Median;
using fenwix::bench::Milliseconds;

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  const fenwix::bench::LargeNetwork net = fenwix::bench::BuildLargeNetwork(20000, 100000, 10000);
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / fmt::format("fenwix-sketch-bench-{}", ::getpid());
  std::filesystem::create_directories(dir);
  const std::string svg_path = (dir / "sketch.svg").string();
  const std::string txt_path = (dir / "job.txt").string();

  std::vector<double> model_ms, svg_ms, adjustment_ms;
  size_t svg_bytes = 0, lines = 0;
  for (int r = 0; r < rounds; ++r) {
    adjustment_ms.push_back(Milliseconds([&] {
      fenwix::WriterState state;
      fenwix::OutputFile out;
      if (!out.Open(txt_path)) std::abort();
      if (fenwix::WriteStations(false, true, net.tables, state, out).failed() ||
          fenwix::WriteObservations(net.tables, state, out).failed() || !out.Commit()) {
        std::abort();
      }
    }));
    fenwix::SketchModel model;
    model_ms.push_back(Milliseconds([&] {
      model = fenwix::BuildSketch(net.tables, net.placements, {"large.xml"}, "2026-12-08");
    }));
    svg_ms.push_back(Milliseconds([&] {
      if (fenwix::WriteSketchSvg(model, svg_path).failed()) std::abort();
    }));
    svg_bytes = std::filesystem::file_size(svg_path);
    lines = model.lines.size();
  }
  const double base = Median(adjustment_ms);
  fmt::print("stations 20000, records 110000, lines drawn {}, SVG {:.1f} MB\n", lines,
             svg_bytes / 1e6);
  fmt::print("adjustment file (baseline)  {:8.1f} ms  1.00\n", base);
  fmt::print("drawing model               {:8.1f} ms  {:.2f}\n", Median(model_ms),
             Median(model_ms) / base);
  fmt::print("SVG written                 {:8.1f} ms  {:.2f}\n", Median(svg_ms),
             Median(svg_ms) / base);
  fmt::print("model + SVG                 {:8.1f} ms\n", Median(model_ms) + Median(svg_ms));
  std::filesystem::remove_all(dir);
  return 0;
}

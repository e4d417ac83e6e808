// How often the check report names a planted blunder first, when the blunder is in one element
// of a field file and the job goes through the whole conversion (reading, averaging of the
// faces, approximate coordinates, the checks and the adjustment test).
//
//   cmake --preset bench && cmake --build --preset bench -j2 --target report_blunder_bench
//   build/bench/bench/report_blunder_bench [networks] [misses]
//
// Random generated networks (setups on the control points, 30 to 45 stations, one or two
// rounds), each written as a field file and converted clean, then once per kind of element with
// one blunder planted in one random element of that kind: a vector component, a slope distance,
// a direction or a zenith angle of a foresight or backsight reading, of face one or two. A case
// is named first when the report's first suspect has one source, the planted element's line.
// It counts as controlled when the records holding the element have r >= 0.1 in the clean
// job's adjustment (for a backsight direction: the horizontal angles of its setup; a closing
// backsight is in no record). The clean twins count as alarms when their report has any
// suspect. With "misses", every clean twin with a suspect and every controlled case not named
// first is listed: the planted sight, the largest |w| of its observations against the job's
// largest before any rejection (a near tie means the network cannot tell the two apart), the
// first suspect's note and how its reading relates to the planted one. Figures only: nothing
// here passes or fails.

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "adjust/network_adjustment.h"
#include "app/convert_dialog.h"
#include "bench_support.h"
#include "field_file_plant.h"
#include "geodesy/angles.h"
#include "network_conversion.h"
#include "survey_network.h"

namespace fenwix::bench {
namespace {

namespace fs = std::filesystem;

// Converts the field file text with the checks and the adjustment test, the seed at station 0's
// true position and the weights the generator's noise.
void Convert(ConvertDialog& dialog, const GeneratedNetwork& net, const std::string& xml,
             const fs::path& dir) {
  const fs::path input = dir / "net.xml";
  {
    std::ofstream out(input, std::ios::binary);
    out << xml;
  }
  PrepareNetworkConversion(dialog, net, input.string(), (dir / "net.txt").string(), true, true);
  SilentUi ui;
  dialog.RunConversion(ui);
}

struct Type {
  const char* name;
  const char* kind;   // "Vector", or the reading's ObsType
  const char* field;  // the XML field changed; a vector's component is drawn
  int face;           // 0 for a vector, 1 or 2 fixed, 3: either face at random
  double low, high;   // blunder sizes, meters or arc-seconds
};

const Type TYPES[] = {
    {"vector component", "Vector", "DX", 0, 0.03, 0.20},
    {"distance fore", "Foresight", "SlopeDistance", 3, 0.01, 0.25},
    {"distance back", "Backsight", "SlopeDistance", 3, 0.01, 0.25},
    {"direction fore", "Foresight", "HorizontalAngle", 3, 10.0, 60.0},
    {"direction back F1", "Backsight", "HorizontalAngle", 1, 10.0, 60.0},
    {"zenith fore", "Foresight", "ZenithAngle", 3, 10.0, 60.0},
    {"zenith back", "Backsight", "ZenithAngle", 3, 10.0, 60.0},
};
constexpr int TYPE_COUNT = static_cast<int>(std::size(TYPES));

// Elements of a kind and face in the field file text.
int Count(const std::string& xml, std::string_view kind, int face) {
  int n = 0;
  while (Plant(xml, kind, face, n, kind == "Vector" ? "DX" : "SlopeDistance", 0.0).second != 0) {
    ++n;
  }
  return n;
}

// The observations of the field's kind in the records holding the reading or vector whose
// element starts at line (for a backsight direction: the horizontal angles of its setup).
std::vector<size_t> Holding(const ConvertDialog& dialog, int line, std::string_view field) {
  const std::vector<AdjustmentObservation>& observations = dialog.run.adjustment_input.observations;
  std::vector<size_t> held;
  const auto collect = [&](auto&& holds) {
    for (size_t i = 0; i < observations.size(); ++i) {
      if (holds(observations[i])) held.push_back(i);
    }
    return held;
  };
  if (field == "DX" || field == "DY" || field == "DZ") {
    return collect([&](const AdjustmentObservation& o) {
      return o.kind == AdjustedKind::GnssVector && o.source.line == line;
    });
  }
  // The run of readings of the same setup, point and type the reading belongs to: its record
  // started at the run's first reading.
  const std::vector<RawReading>& readings = dialog.run.reading_log.readings();
  size_t at = 0;
  while (at < readings.size() && readings[at].source.line != line) ++at;
  if (at == readings.size()) return held;
  const auto same = [&](size_t i) {
    return readings[i].setup == readings[at].setup && readings[i].point == readings[at].point &&
           readings[i].type == readings[at].type;
  };
  size_t first = at;
  while (first > 0 && same(first - 1)) --first;
  const int record_line = readings[first].source.line;
  const AdjustedKind kind = field == "SlopeDistance" ? AdjustedKind::SlopeDistance
                            : field == "ZenithAngle" ? AdjustedKind::Zenith
                                                     : AdjustedKind::HorizontalAngle;
  if (readings[at].type == ReadingType::Backsight && kind == AdjustedKind::HorizontalAngle) {
    // The opening backsight is every angle's reference in its setup; the closing one is in no
    // record.
    if (first > 0 && readings[first - 1].setup == readings[at].setup) return held;
    std::map<int, int32_t> setup_of_line;
    for (const RawReading& reading : readings) setup_of_line[reading.source.line] = reading.setup;
    return collect([&](const AdjustmentObservation& o) {
      return o.kind == AdjustedKind::HorizontalAngle &&
             setup_of_line[o.source.line] == readings[at].setup;
    });
  }
  return collect([&](const AdjustmentObservation& o) {
    return o.kind == kind && o.source.line == record_line;
  });
}

// The smallest redundancy number of those observations in the job's adjustment; none when no
// record holds the element.
std::optional<double> Redundancy(const ConvertDialog& dialog, int line, std::string_view field) {
  const AdjustmentResult& result = dialog.run.adjustment_result;
  if (result.observations.size() != dialog.run.adjustment_input.observations.size())
    return std::nullopt;
  std::optional<double> r;
  for (const size_t i : Holding(dialog, line, field)) {
    const double ri = result.observations[i].r_min;
    r = r ? std::min(*r, ri) : ri;
  }
  return r;
}

// Before any rejection: the largest |w| of the planted element's observations against the
// largest of the job (the one data snooping rejects first), as "w 5.3 of 5.4".
std::string FirstRound(const ConvertDialog& dialog, int line, std::string_view field) {
  AdjustmentOptions options;
  options.max_rounds = 0;
  const AdjustmentResult result = AdjustNetwork(dialog.run.adjustment_input, options);
  double planted = 0.0, largest = 0.0;
  for (const size_t i : Holding(dialog, line, field)) {
    if (i < result.observations.size()) {
      planted = std::max(planted, std::abs(result.observations[i].w_whole));
    }
  }
  for (const ObservationTest& t : result.observations)
    largest = std::max(largest, std::abs(t.w_whole));
  return fmt::format("first round w {:.2f} of {:.2f}", planted, largest);
}

std::string Sources(const CheckRow& row) {
  std::string text;
  for (const SourceLocation& s : row.sources) {
    text += fmt::format("{}{}", text.empty() ? "" : ",", s.line);
  }
  return text;
}

struct Tally {
  int cases = 0, in_no_record = 0, controlled = 0, first = 0, among = 0, first_any = 0;
  // Controlled cases and those named first, in networks of one round and of two.
  int controlled_in[2] = {}, first_in[2] = {};

  void Add(const Tally& t) {
    cases += t.cases;
    in_no_record += t.in_no_record;
    controlled += t.controlled;
    first += t.first;
    among += t.among;
    first_any += t.first_any;
    for (int i = 0; i < 2; ++i) {
      controlled_in[i] += t.controlled_in[i];
      first_in[i] += t.first_in[i];
    }
  }
  void Print(const char* name) const {
    // A share in percent, a dash when there is nothing to share.
    const auto share = [](int part, int whole) {
      return whole == 0 ? std::string("-") : fmt::format("{:.1f}%", 100.0 * part / whole);
    };
    fmt::print("{:<18} {:>6} {:>9} {:>9} {:>12} {:>8} {:>8} ({:>3}) {:>8} ({:>3}) {:>11}\n", name,
               cases, in_no_record, controlled, share(first, controlled), share(among, controlled),
               share(first_in[0], controlled_in[0]), controlled_in[0],
               share(first_in[1], controlled_in[1]), controlled_in[1], share(first_any, cases));
  }
};

// Where the reading at line stands: its setup's station, its point and its type, by name.
std::string SightOf(const ReadingLog& log, int line) {
  for (const RawReading& r : log.readings()) {
    if (r.source.line != line) continue;
    const auto name = [&](int32_t i) {
      return i >= 0 && static_cast<size_t>(i) < log.names().size()
                 ? log.names()[static_cast<size_t>(i)]
                 : std::string("?");
    };
    const int32_t station = r.setup >= 0 ? log.setups()[static_cast<size_t>(r.setup)].station : -1;
    return fmt::format("{}-{} {}", name(station), name(r.point),
                       r.type == ReadingType::Backsight ? "back" : "fore");
  }
  return "not a reading";
}

// How a first suspect that is not the planted reading relates to it.
std::string Relation(const ReadingLog& log, int planted, const CheckRow& row) {
  if (row.sources.size() != 1) return fmt::format("{} sources", row.sources.size());
  const int line = row.sources[0].line;
  const auto reading = [&](int l) -> const RawReading* {
    for (const RawReading& r : log.readings()) {
      if (r.source.line == l) return &r;
    }
    return nullptr;
  };
  const RawReading* a = reading(planted);
  const RawReading* b = reading(line);
  if (a == nullptr || b == nullptr) return "not a reading";
  const bool same_sight = SightOf(log, planted) == SightOf(log, line);
  if (a->setup == b->setup) return same_sight ? "same record, other face" : "same setup";
  return same_sight ? "same sight, other round" : "elsewhere: " + SightOf(log, line);
}

int Report(int networks, bool show_misses) {
  const fs::path dir =
      fs::temp_directory_path() / fmt::format("fenwix-report-blunder-{}", getpid());
  fs::create_directories(dir);
  Tally tally[TYPE_COUNT];
  int clean_jobs = 0, clean_alarms = 0, failed = 0;
  detail::NetworkRandom random(2027);
  for (int n = 0; n < networks; ++n) {
    NetworkLayout layout;
    layout.stations = 30 + static_cast<int32_t>(random.Unit() * 16);
    layout.gnss_step = 2 + static_cast<int32_t>(random.Unit() * 2);
    layout.rounds = 1 + static_cast<int32_t>(random.Unit() * 2);
    layout.setups_at_control = true;
    layout.setup_share = 1.0;
    layout.seed = 5000 + static_cast<uint64_t>(n);
    const GeneratedNetwork net = GenerateNetwork(layout);
    if (!WriteNetworkXml((dir / "clean.xml").string(), net)) return 1;
    std::string clean;
    {
      std::ifstream in(dir / "clean.xml", std::ios::binary);
      std::stringstream s;
      s << in.rdbuf();
      clean = s.str();
    }
    ConvertDialog twin;
    Convert(twin, net, clean, dir);
    if (twin.run.adjustment_input.observations.empty()) {
      ++failed;
      continue;
    }
    ++clean_jobs;
    const CheckSection* clean_suspects = twin.run.check_report.Suspects();
    if (clean_suspects != nullptr && !clean_suspects->rows.empty()) {
      ++clean_alarms;
      if (show_misses) {
        fmt::print("clean network {} ({} stations, step {}, {} rounds): {} [{}]\n", n,
                   layout.stations, layout.gnss_step, layout.rounds,
                   clean_suspects->rows.front().note, Sources(clean_suspects->rows.front()));
      }
    }
    for (int k = 0; k < TYPE_COUNT; ++k) {
      const Type& type = TYPES[k];
      int face = type.face;
      if (face == 3) face = random.Unit() < 0.5 ? 1 : 2;
      const int count = Count(clean, type.kind, face);
      if (count == 0) continue;
      const int occurrence = static_cast<int>(random.Unit() * count);
      std::string field = type.field;
      if (field == "DX") field[1] = "XYZ"[static_cast<int>(random.Unit() * 3)];
      const double sign = random.Unit() < 0.5 ? -1.0 : 1.0;
      const double delta = sign * random.Between(type.low, type.high);
      const auto [xml, line] = Plant(clean, type.kind, face, occurrence, field, delta);
      ConvertDialog dialog;
      Convert(dialog, net, xml, dir);
      Tally& t = tally[k];
      ++t.cases;
      const std::optional<double> redundancy = Redundancy(twin, line, field);
      if (!redundancy) ++t.in_no_record;
      const double r = redundancy.value_or(0.0);
      const CheckSection* suspects = dialog.run.check_report.Suspects();
      const bool any = suspects != nullptr && !suspects->rows.empty();
      const auto names = [&](const CheckRow& row, bool alone) {
        if (alone && row.sources.size() != 1) return false;
        return std::any_of(row.sources.begin(), row.sources.end(),
                           [&](const SourceLocation& s) { return s.line == line; });
      };
      const bool first = any && names(suspects->rows.front(), true);
      if (first) ++t.first_any;
      if (r < UNCONTROLLED_REDUNDANCY) continue;
      ++t.controlled;
      ++t.controlled_in[layout.rounds - 1];
      if (first) ++t.first;
      if (first) ++t.first_in[layout.rounds - 1];
      const bool among = any && std::any_of(suspects->rows.begin(), suspects->rows.end(),
                                            [&](const CheckRow& row) { return names(row, false); });
      if (among) ++t.among;
      if (!first && show_misses) {
        fmt::print(
            "miss: network {} ({} rounds) {} face {} #{} {} {:+.3f} line {} ({}) r {:.2f}, {}: "
            "{}\n",
            n, layout.rounds, type.kind, face, occurrence, field, delta, line,
            SightOf(dialog.run.reading_log, line), r, FirstRound(dialog, line, field),
            any ? fmt::format("{} [{}; {}]{}", suspects->rows.front().note,
                              Sources(suspects->rows.front()),
                              Relation(dialog.run.reading_log, line, suspects->rows.front()),
                              among ? " (named further down)" : "")
                : std::string("no suspect"));
      }
    }
  }
  fmt::print("{:<18} {:>6} {:>9} {:>9} {:>12} {:>8} {:>14} {:>14} {:>11}\n", "type", "cases",
             "no record", "r >= 0.1", "named first", "among", "1 round", "2 rounds", "first (all)");
  Tally all;
  for (int k = 0; k < TYPE_COUNT; ++k) {
    tally[k].Print(TYPES[k].name);
    all.Add(tally[k]);
  }
  all.Print("all");
  fmt::print("clean twins: {} jobs, {} with a suspect ({:.1f}%){}\n", clean_jobs, clean_alarms,
             100.0 * clean_alarms / std::max(clean_jobs, 1),
             failed > 0 ? fmt::format("; {} networks not converted", failed) : "");
  fmt::print(
      "(named first, among and the rounds: shares of the cases with r >= 0.1, the rounds' counts "
      "in brackets; first (all): of every case)\n");
  fs::remove_all(dir);
  return 0;
}

}  // namespace
}  // namespace fenwix::bench

int main(int argc, char** argv) {
  const int networks = argc > 1 ? std::atoi(argv[1]) : 40;
  const bool misses = argc > 2 && std::string_view(argv[2]) == "misses";
  return fenwix::bench::Report(networks, misses);
}

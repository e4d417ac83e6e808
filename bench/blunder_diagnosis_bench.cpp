// How often the adjustment test names a gross field blunder first, and how often the report's
// diagnosis says what it is, on the generator's networks.
//
//   cmake --preset bench && cmake --build --preset bench -j2 --target blunder_diagnosis_bench
//   build/bench/bench/blunder_diagnosis_bench [networks] [misses]
//   build/bench/bench/blunder_diagnosis_bench cost [stations] [rounds] [mixed]
//
// Random networks (30 to 45 stations, vectors between control points every second or third
// row, a setup on every other point), each adjusted clean and then once per kind with one gross
// blunder planted in one random record: a sight labelled with another station's name, a vector
// with base and rover swapped, a target height typed ten times or a tenth, a setup's instrument
// height (in every sight from it) with two digits swapped or typed ten times, a distance, an
// angle or a vector component off by
// a round number; and a moderate blunder (2 to 20 cm, 10″ to 60″) that no explanation should
// fit. The approximate positions are the generator's, so the planted name does not move them.
// A case is named first when the first rejection is in the planted record, and diagnosed right
// when that record's diagnosis has the planted kind and what fits is the planted truth (for an
// instrument height: the setup's sights and the zeniths and distances to its station, which the
// network cannot tell apart). With "misses", each case not named first or not diagnosed right
// is listed; BLUNDER_DEBUG=1 adds the rejections and the misfits. A clean
// twin counts as flagged when anything is rejected. Figures only: nothing here passes or fails.
//
// "cost" times the test of a GNSS control network (stations 400 m apart, vectors to the grid
// neighbours, 20,000 stations by default) with three vectors whose rover is labelled with a
// station half the network away, against its clean twin: alternating runs (3 rounds), medians
// of the CPU, their ratio, whether the robust start ran and what was rejected first. "mixed"
// makes it a quarter of the points with vectors and a setup on every other point, with three
// foresights labelled with another station's name, and times the test without the robust start
// once too.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "adjust/blunder_diagnosis.h"
#include "adjust/network_adjustment.h"
#include "bench_support.h"
#include "survey_network.h"

namespace fenwix::bench {
namespace {

constexpr double DEGREE = std::numbers::pi / 180.0;

enum Kind { WRONG_NAME, SWAPPED, TARGET, INSTRUMENT, ROUND, MODERATE, KINDS };
const char* const KIND_NAMES[KINDS] = {"wrong name",        "swapped vector", "target height",
                                       "instrument height", "round number",   "moderate (none)"};

struct Plant {
  int32_t record = -1;
  int32_t setup = -1;  // an instrument height: the station whose every sight it is in
  BlunderKind kind = BlunderKind::WrongName;
  int32_t fits = -1;
  double likely = NAN;
  std::string what;
};

std::vector<size_t> Of(const AdjustmentInput& input, AdjustedKind kind) {
  std::vector<size_t> out;
  for (size_t i = 0; i < input.observations.size(); ++i) {
    if (input.observations[i].kind == kind) out.push_back(i);
  }
  return out;
}

template <typename F>
void ForRecord(AdjustmentInput& input, int32_t record, F&& change) {
  for (AdjustmentObservation& obs : input.observations) {
    if (obs.record == record) change(obs);
  }
}

// Plants one blunder of the kind; false when the network has nothing to plant it in.
bool PlantOne(AdjustmentInput& in, Kind kind, detail::NetworkRandom& random, Plant& p) {
  const auto pick = [&](const std::vector<size_t>& from) {
    return from[std::min(from.size() - 1, static_cast<size_t>(random.Unit() * from.size()))];
  };
  const std::vector<size_t> angles = Of(in, AdjustedKind::HorizontalAngle);
  const std::vector<size_t> vectors = Of(in, AdjustedKind::GnssVector);
  if (angles.empty()) return false;
  const size_t sight = pick(angles);
  AdjustmentObservation& s = in.observations[sight];
  p.record = s.record;
  switch (kind) {
    case WRONG_NAME: {
      // Another station of the job, not in the setup's own sight.
      int32_t other = s.at;
      while (other == s.at || other == s.fore || other == s.back) {
        other = static_cast<int32_t>(random.Unit() * static_cast<double>(in.stations.size()));
      }
      p.kind = BlunderKind::WrongName;
      p.fits = s.fore;
      p.what = fmt::format("{} labelled {}", in.stations[static_cast<size_t>(s.fore)].name,
                           in.stations[static_cast<size_t>(other)].name);
      ForRecord(in, p.record, [&](AdjustmentObservation& o) { o.fore = other; });
      return true;
    }
    case SWAPPED: {
      if (vectors.empty()) return false;
      AdjustmentObservation& v = in.observations[pick(vectors)];
      std::swap(v.at, v.fore);
      p.record = v.record;
      p.kind = BlunderKind::SwappedVector;
      return true;
    }
    case TARGET: {
      const double h = s.target_height;
      const double typed = random.Unit() < 0.5 ? h * 10.0 : h / 10.0;
      p.kind = BlunderKind::TargetHeight;
      p.likely = h;
      p.what = fmt::format("target {:.3f} as {:.3f}", h, typed);
      ForRecord(in, p.record, [&](AdjustmentObservation& o) { o.target_height = typed; });
      return true;
    }
    case INSTRUMENT: {
      const std::string h = fmt::format("{:.3f}", s.instrument_height);
      const double typed = random.Unit() < 0.5
                               ? std::stod(std::string{h[2], '.', h[0]} + h.substr(3))
                               : s.instrument_height * 10.0;
      p.kind = BlunderKind::InstrumentHeight;
      p.likely = s.instrument_height;
      p.what = fmt::format("instrument {} as {:.3f}", h, typed);
      // The setup's height: every sight from its station.
      const int32_t at = s.at;
      p.setup = at;
      const double was = s.instrument_height;
      for (AdjustmentObservation& o : in.observations) {
        if (o.kind != AdjustedKind::GnssVector && o.at == at && o.instrument_height == was) {
          o.instrument_height = typed;
        }
      }
      return true;
    }
    case ROUND: {
      p.kind = BlunderKind::RoundNumber;
      const int which = static_cast<int>(random.Unit() * 6);
      const double sign = random.Unit() < 0.5 ? -1.0 : 1.0;
      if (which == 5 && !vectors.empty()) {
        AdjustmentObservation& v = in.observations[pick(vectors)];
        const auto k = static_cast<size_t>(random.Unit() * 3);
        p.record = v.record;
        p.likely = v.value[k];
        v.value[k] += sign;
        p.what = "vector component 1 m";
        return true;
      }
      if (which <= 1) {
        AdjustmentObservation& d = in.observations[sight + 2];
        const double step = which == 0 ? 10.0 : 100.0;
        if (sign < 0.0 && d.value[0] < step + 1.0) return false;
        p.likely = d.value[0];
        d.value[0] += sign * step;
        p.what = fmt::format("distance {:+g} m", sign * step);
        return true;
      }
      const double step = which == 2 ? 1.0 : which == 3 ? 90.0 : 180.0;
      p.likely = s.value[0] / DEGREE;
      s.value[0] += sign * step * DEGREE;
      p.what = fmt::format("angle {:+g}°", sign * step);
      return true;
    }
    case MODERATE:
    case KINDS:
      break;
  }
  const double sign = random.Unit() < 0.5 ? -1.0 : 1.0;
  if (random.Unit() < 0.5) {
    in.observations[sight + 2].value[0] += sign * random.Between(0.02, 0.20);
    p.what = "distance 2-20 cm";
  } else {
    s.value[0] += sign * random.Between(10.0, 60.0) * DEGREE / 3600.0;
    p.what = "angle 10-60″";
  }
  return true;
}

bool Right(const BlunderDiagnosis& d, const Plant& p) {
  if (d.kind != p.kind) return false;
  switch (d.kind) {
    case BlunderKind::WrongName:
      return d.fits == p.fits;
    case BlunderKind::SwappedVector:
      return true;
    case BlunderKind::RoundNumber:
      return std::abs(d.likely - p.likely) < 1e-6;
    default:
      return std::abs(d.likely - p.likely) < 0.001;
  }
}

struct Tally {
  int cases = 0, settled = 0, first = 0, diagnosed = 0, right = 0;
};

int Run(int networks, bool misses) {
  Tally tally[KINDS];
  int clean = 0, clean_flagged = 0, clean_diagnosed = 0;
  detail::NetworkRandom random(4242);
  for (int n = 0; n < networks; ++n) {
    NetworkLayout layout;
    layout.stations = 30 + static_cast<int32_t>(random.Unit() * 16);
    layout.gnss_step = 2 + static_cast<int32_t>(random.Unit() * 2);
    layout.setup_share = 1.0;
    layout.seed = 9000 + static_cast<uint64_t>(n);
    GeneratedNetwork net = GenerateNetwork(layout);
    NumberRecords(net.input);
    const AdjustmentResult twin = AdjustNetwork(net.input, {});
    if (twin.outcome != AdjustmentOutcome::Done) continue;
    ++clean;
    if (!twin.rejected.empty()) ++clean_flagged;
    if (!DiagnoseBlunders(net.input, twin).empty()) ++clean_diagnosed;
    for (int k = 0; k < KINDS; ++k) {
      AdjustmentInput planted = net.input;
      Plant p;
      if (!PlantOne(planted, static_cast<Kind>(k), random, p)) continue;
      Tally& t = tally[k];
      ++t.cases;
      const AdjustmentResult result = AdjustNetwork(planted, {});
      if (result.outcome != AdjustmentOutcome::Done) {
        if (misses) fmt::print("{} {}: not settled: {}\n", KIND_NAMES[k], p.what, result.reason);
        continue;
      }
      ++t.settled;
      const std::vector<BlunderDiagnosis> said = DiagnoseBlunders(planted, result);
      // In the planted record, or for an instrument height in its setup.
      const auto planted_in = [&](int32_t i) {
        const AdjustmentObservation& o = planted.observations[static_cast<size_t>(i)];
        // The sights from the setup, or the zeniths and distances to its station: the network
        // cannot tell which of them the setup's height is in.
        if (p.setup < 0) return o.record == p.record;
        return o.kind != AdjustedKind::GnssVector &&
               (o.at == p.setup || (o.fore == p.setup && o.kind != AdjustedKind::HorizontalAngle));
      };
      const bool first = !result.rejected.empty() && planted_in(result.rejected.front());
      if (first) ++t.first;
      if (k == MODERATE) {
        if (!said.empty()) {
          ++t.diagnosed;
          if (misses) fmt::print("moderate {}: said {}\n", p.what, said.front().words);
        }
        continue;
      }
      const BlunderDiagnosis* got = nullptr;
      for (const BlunderDiagnosis& d : said) {
        if (planted_in(d.observation)) {
          got = &d;
          break;
        }
      }
      if (got != nullptr) ++t.diagnosed;
      const bool right = got != nullptr && Right(*got, p);
      if (right) ++t.right;
      if (misses && !right && std::getenv("BLUNDER_DEBUG") != nullptr) {
        std::vector<double> pos;
        for (const StationPrecision& st : result.stations) {
          pos.insert(pos.end(), {st.x, st.y, st.z});
        }
        for (size_t i = 0; i < planted.observations.size(); ++i) {
          const AdjustmentObservation& o = planted.observations[i];
          if (!planted_in(static_cast<int32_t>(i))) continue;
          const ObservationTest& t = result.observations[i];
          fmt::print("  kind {} rejected {} active {} misfit {:.4f} sd {:.4f} det {} {}\n",
                     static_cast<int>(o.kind), t.rejected_round, t.active,
                     ComputedValue(planted, o, pos)[0] - o.value[0], o.sd,
                     result.stations[static_cast<size_t>(o.at)].determined,
                     result.stations[static_cast<size_t>(o.fore)].determined);
        }
      }
      if (misses && !first && std::getenv("BLUNDER_DEBUG") != nullptr) {
        fmt::print("  rejected {}:", result.rejected.size());
        for (const int32_t i : result.rejected) {
          const AdjustmentObservation& o = planted.observations[static_cast<size_t>(i)];
          fmt::print(" {}({}>{}{})", static_cast<int>(o.kind), o.at, o.fore,
                     planted_in(i) ? "*" : "");
        }
        fmt::print(" planted at {}\n", p.setup);
      }
      if (misses && (!first || !right)) {
        fmt::print("{} {}: {}; {}\n", KIND_NAMES[k], p.what, first ? "first" : "not first",
                   got != nullptr ? got->words : std::string("no diagnosis"));
      }
    }
  }
  const auto share = [](int part, int whole) {
    return whole == 0 ? std::string("-") : fmt::format("{:.1f}%", 100.0 * part / whole);
  };
  fmt::print("{:<18} {:>6} {:>8} {:>12} {:>10} {:>16}\n", "blunder", "cases", "settled",
             "named first", "diagnosed", "diagnosis right");
  Tally all;
  for (int k = 0; k < KINDS; ++k) {
    const Tally& t = tally[k];
    fmt::print("{:<18} {:>6} {:>8} {:>12} {:>10} {:>16}\n", KIND_NAMES[k], t.cases,
               share(t.settled, t.cases), share(t.first, t.settled), share(t.diagnosed, t.settled),
               k == MODERATE ? "-" : share(t.right, t.settled));
    if (k == MODERATE) continue;
    all.cases += t.cases;
    all.settled += t.settled;
    all.first += t.first;
    all.diagnosed += t.diagnosed;
    all.right += t.right;
  }
  fmt::print("{:<18} {:>6} {:>8} {:>12} {:>10} {:>16}\n", "gross, all", all.cases,
             share(all.settled, all.cases), share(all.first, all.settled),
             share(all.diagnosed, all.settled), share(all.right, all.settled));
  fmt::print("clean twins: {} networks, {} with a rejection ({}), {} with a diagnosis\n", clean,
             clean_flagged, share(clean_flagged, clean), clean_diagnosed);
  fmt::print(
      "(named first, diagnosed and right: shares of the settled cases; moderate: a diagnosis "
      "there is a false one)\n");
  return 0;
}

int Cost(int32_t stations, int rounds, bool mixed) {
  NetworkLayout layout;
  layout.stations = stations;
  layout.spacing = 400.0;
  // Mixed: a quarter of the points tied by vectors, a total-station setup on every other one,
  // and the three blunders wrong names of foresights (which the robust start must carry).
  layout.gnss_step = mixed ? 2 : 1;
  layout.setup_share = mixed ? 1.0 : 0.0;
  layout.seed = 42;
  GeneratedNetwork net = GenerateNetwork(layout);
  NumberRecords(net.input);
  AdjustmentInput planted = net.input;
  const auto n = static_cast<int32_t>(planted.stations.size());
  std::vector<int32_t> records;
  detail::NetworkRandom random(7);
  for (int k = 0; mixed && k < 3; ++k) {
    Plant p;
    if (PlantOne(planted, WRONG_NAME, random, p)) records.push_back(p.record);
  }
  for (const double share : {0.2, 0.5, 0.8}) {
    if (mixed) break;
    auto i = static_cast<size_t>(share * static_cast<double>(planted.observations.size()));
    while (planted.observations[i].kind != AdjustedKind::GnssVector) ++i;
    AdjustmentObservation& v = planted.observations[i];
    v.fore = (v.fore + n / 2) % n;
    if (v.fore == v.at) v.fore = (v.fore + 1) % n;
    records.push_back(v.record);
  }
  std::vector<double> clean_cpu, planted_cpu;
  AdjustmentResult clean_result, planted_result;
  for (int round = 0; round < rounds; ++round) {
    double start = ThreadCpuSeconds();
    clean_result = AdjustNetwork(net.input, {});
    clean_cpu.push_back(ThreadCpuSeconds() - start);
    start = ThreadCpuSeconds();
    planted_result = AdjustNetwork(planted, {});
    planted_cpu.push_back(ThreadCpuSeconds() - start);
  }
  const double clean = Median(clean_cpu), gross = Median(planted_cpu);
  if (mixed) {
    AdjustmentOptions plain;
    plain.robust_start = false;
    const double start = ThreadCpuSeconds();
    const AdjustmentResult without = AdjustNetwork(planted, plain);
    fmt::print("without the robust start: {:.2f} s CPU, outcome {}\n", ThreadCpuSeconds() - start,
               static_cast<int>(without.outcome));
  }
  int named = 0;
  for (size_t k = 0; k < planted_result.rejected.size() && k < records.size(); ++k) {
    const int32_t record =
        planted.observations[static_cast<size_t>(planted_result.rejected[k])].record;
    named += std::find(records.begin(), records.end(), record) != records.end();
  }
  fmt::print("{} stations, {} observations, {} rounds\n", n, planted.observations.size(), rounds);
  fmt::print("clean twin: {:.2f} s CPU (median), outcome {}, {} rejected\n", clean,
             static_cast<int>(clean_result.outcome), clean_result.rejected.size());
  fmt::print(
      "three wrong names: {:.2f} s CPU (median), outcome {}, robust start {}, {} rejected, "
      "the first three rejections in the planted records: {} of 3\n",
      gross, static_cast<int>(planted_result.outcome),
      planted_result.robust_start ? "ran" : "not run", planted_result.rejected.size(), named);
  fmt::print("ratio {:.2f}\n", gross / clean);
  return 0;
}

}  // namespace
}  // namespace fenwix::bench

int main(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "cost") {
    return fenwix::bench::Cost(argc > 2 ? std::atoi(argv[2]) : 20000,
                               argc > 3 ? std::max(1, std::atoi(argv[3])) : 3,
                               argc > 4 && std::string_view(argv[4]) == "mixed");
  }
  const int networks = argc > 1 ? std::atoi(argv[1]) : 60;
  const bool misses = argc > 2 && std::string_view(argv[2]) == "misses";
  return fenwix::bench::Run(networks, misses);
}

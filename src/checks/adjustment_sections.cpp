#include "checks/adjustment_sections.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include <fmt/format.h>

#include "adjust/blunder_diagnosis.h"
#include "checks/adjustment_tracing.h"
#include "checks/check_support.h"
#include "checks/report_forms.h"
#include "checks/run_checks.h"
#include "model/units.h"

namespace fenwix {

namespace {

using check_support::MM_PER_M;
using check_support::NO_VALUE;

// "slope distance", or "slope distances" for a group.
std::string KindWords(AdjustedKind kind, bool group = false) {
  const char* words = "";
  switch (kind) {
    case AdjustedKind::GnssVector:
      words = "GNSS vector";
      break;
    case AdjustedKind::HorizontalAngle:
      words = "horizontal angle";
      break;
    case AdjustedKind::Zenith:
      words = "zenith angle";
      break;
    case AdjustedKind::SlopeDistance:
      words = "slope distance";
      break;
  }
  return group ? std::string(words) + "s" : std::string(words);
}

bool Angular(AdjustedKind kind) {
  return kind == AdjustedKind::HorizontalAngle || kind == AdjustedKind::Zenith;
}

// A value of an observation's kind in the report's unit: arc-seconds or millimetres.
double InUnit(AdjustedKind kind, double value) {
  return Angular(kind) ? value * ARC_SECONDS_PER_RADIAN : value * MM_PER_M;
}

const char* Unit(AdjustedKind kind) {
  return Angular(kind) ? "\u2033" : " mm";
}

// "horizontal angles behave like 2.1″, the profile says 1″"; vectors as a factor on their
// covariances.
std::string GroupSentence(const GroupFactor& g) {
  if (g.kind == AdjustedKind::GnssVector) {
    return fmt::format("{} behave like {:.1f} times their standard deviations",
                       KindWords(g.kind, true), g.scale * g.factor);
  }
  const double said = InUnit(g.kind, g.typical_sd);
  return fmt::format("{} behave like {:.1f}{}, the profile says {:g}{}", KindWords(g.kind, true),
                     g.scale * g.factor * said, Unit(g.kind), said, Unit(g.kind));
}

std::vector<std::string> StationsOf(const AdjustmentInput& input,
                                    const AdjustmentObservation& obs) {
  std::vector<std::string> names{input.stations[static_cast<size_t>(obs.at)].name,
                                 input.stations[static_cast<size_t>(obs.fore)].name};
  if (obs.kind == AdjustedKind::HorizontalAngle) {
    names.push_back(input.stations[static_cast<size_t>(obs.back)].name);
  }
  return names;
}

// The elements of the field file that label obs's sight with its fore name: a vector's own, or
// the readings of that name in the setup of the record's first reading.
std::vector<SourceLocation> LabelledReadings(const ReadingLog& log,
                                             const AdjustmentObservation& obs,
                                             const std::string& labelled) {
  if (!obs.source.known()) return {};
  if (obs.kind == AdjustedKind::GnssVector) return {obs.source};
  const std::vector<RawReading>& readings = log.readings();
  const auto first = std::find_if(readings.begin(), readings.end(),
                                  [&](const RawReading& r) { return r.source == obs.source; });
  if (first == readings.end() || first->setup < 0) return {};
  std::vector<SourceLocation> out;
  for (const RawReading& r : readings) {
    if (r.setup == first->setup && log.names()[static_cast<size_t>(r.point)] == labelled) {
      out.push_back(r.source);
    }
  }
  return out;
}

// The component of a vector with the largest |w|, else 0.
size_t WorstComponent(const ObservationTest& t, AdjustedKind kind) {
  size_t worst = 0;
  if (kind != AdjustedKind::GnssVector) return 0;
  for (size_t k = 1; k < 3; ++k) {
    if (std::abs(t.w[k]) > std::abs(t.w[worst])) worst = k;
  }
  return worst;
}

std::string TestNote(const AdjustedKind kind, const ObservationTest& t) {
  const size_t k = WorstComponent(t, kind);
  const char* component = kind == AdjustedKind::GnssVector ? (k == 0   ? " dX"
                                                              : k == 1 ? " dY"
                                                                       : " dZ")
                                                           : "";
  return fmt::format("{}{} w {:.1f}, r {:.2f}, MDB {:.1f}{}, estimated error {:.1f}{}",
                     KindWords(kind), component, t.w_whole, t.r[k], InUnit(kind, t.mdb[k]),
                     Unit(kind), InUnit(kind, t.estimated_error[k]), Unit(kind));
}

const char* OutcomeWords(AdjustmentOutcome outcome) {
  switch (outcome) {
    case AdjustmentOutcome::Done:
      return "";
    case AdjustmentOutcome::NothingToTest:
      return "Adjustment test: no observation between stations with approximate coordinates.";
    case AdjustmentOutcome::OverBudget:
      return "Adjustment test skipped: the job's normal equations would pass the memory budget.";
    case AdjustmentOutcome::Cancelled:
      return "Adjustment test cancelled.";
    case AdjustmentOutcome::NotConverged:
    case AdjustmentOutcome::Undetermined:
      return "Adjustment test stopped: ";
    case AdjustmentOutcome::Unweighted:
      return "Adjustment test not run: ";
  }
  return "";
}

const char* VerdictWords(GlobalVerdict verdict) {
  switch (verdict) {
    case GlobalVerdict::Passed:
      return "passed";
    case GlobalVerdict::TooLarge:
      return "too large";
    case GlobalVerdict::TooSmall:
      return "too small";
    case GlobalVerdict::NoRedundancy:
      break;
  }
  return "not made";
}

// "passed (estimated σ₀ 1.02 within 0.87 to 1.13, 120 degrees of freedom)".
std::string GlobalWords(const GlobalTest& test, double sigma0, double freedom) {
  if (test.verdict == GlobalVerdict::NoRedundancy) {
    return fmt::format("(estimated \u03c3\u2080 {:.2f}, {} degrees of freedom)", sigma0, freedom);
  }
  return fmt::format(
      "{} (estimated \u03c3\u2080 {:.2f} {} {:.2f} to {:.2f}, {} degrees of freedom)",
      VerdictWords(test.verdict), sigma0,
      test.verdict == GlobalVerdict::Passed ? "within" : "outside", test.lower, test.upper,
      freedom);
}

// The family-wise level as the option gave it: "5 %", "1 %", "0.5 %".
std::string Percent(double alpha) {
  return fmt::format("{:g} %", alpha * 100.0);
}

// A JSON number: the shortest text that reads back the same, null when there is none.
std::string JsonNumber(double value) {
  return std::isfinite(value) ? fmt::format("{}", value) : std::string("null");
}

// The report's units of an observation's numbers: meters, or arc-seconds for angles.
double InJsonUnit(AdjustedKind kind, double value) {
  return Angular(kind) ? value * ARC_SECONDS_PER_RADIAN : value;
}

const char* JsonUnit(AdjustedKind kind) {
  return Angular(kind) ? "arcsec" : "m";
}

// One value of an observation, or three for a vector: [x, y, z]; in the observation's unit, or
// as they are (w, r) when in_unit is false.
std::string JsonValues(AdjustedKind kind, const std::array<double, 3>& values, bool shown,
                       bool in_unit = true) {
  if (!shown) return "null";
  if (kind != AdjustedKind::GnssVector) {
    return JsonNumber(in_unit ? InJsonUnit(kind, values[0]) : values[0]);
  }
  return "[" + JsonNumber(values[0]) + ", " + JsonNumber(values[1]) + ", " + JsonNumber(values[2]) +
         "]";
}

std::string GlobalJson(const GlobalTest& test, bool shown) {
  if (!shown || test.verdict == GlobalVerdict::NoRedundancy) return "null";
  return fmt::format(
      "{{\"sigma0\": {}, \"dof\": {}, \"lower\": {}, \"upper\": {}, \"verdict\": \"{}\"}}",
      JsonNumber(test.sigma0), JsonNumber(test.degrees_of_freedom), JsonNumber(test.lower),
      JsonNumber(test.upper), VerdictWords(test.verdict));
}

std::string GroupJson(const GroupFactor& g) {
  const double profile = InJsonUnit(g.kind, g.typical_sd);
  const double estimated = InJsonUnit(g.kind, g.typical_sd * g.scale * g.factor);
  return fmt::format(
      "{{\"kind\": \"{}\", \"observations\": {}, \"redundancy\": {}, \"profile_sd\": {}, "
      "\"estimated_sd\": {}, \"unit\": \"{}\"}}",
      KindWords(g.kind), g.count, JsonNumber(g.redundancy), JsonNumber(profile),
      g.redundancy > 0.0 ? JsonNumber(estimated) : std::string("null"), JsonUnit(g.kind));
}

void AppendObservationJson(const AdjustmentInput& input, const AdjustmentObservation& obs,
                           const ObservationTest& t, bool settled,
                           const std::vector<std::string>& files, std::string& out) {
  std::string stations, lines, names;
  for (const std::string& name : StationsOf(input, obs)) {
    stations += (stations.empty() ? "" : ", ") + JsonString(name);
  }
  if (obs.source.known()) {
    lines = std::to_string(obs.source.line);
    const auto file = static_cast<size_t>(obs.source.file);
    names = file < files.size() ? JsonString(files[file]) : std::string("null");
  }
  std::array<double, 3> sd{obs.sd, 0.0, 0.0};
  if (obs.kind == AdjustedKind::GnssVector) {
    sd = {std::sqrt(obs.covariance[0]), std::sqrt(obs.covariance[2]), std::sqrt(obs.covariance[5])};
  }
  // Values of a run that settled, for an observation in its last round or rejected in one.
  const bool judged = settled && (t.active || t.rejected_round > 0);
  const bool tested = judged && t.tested;
  out += fmt::format(
      "{{\"kind\": \"{}\", \"stations\": [{}], \"lines\": [{}], \"files\": [{}], \"sd\": {}, "
      "\"residual\": {}, \"w\": {}, \"r\": {}, \"mdb\": {}, \"error\": {}, "
      "\"external_mm\": {}, \"unit\": \"{}\", \"rejected\": {}}}",
      KindWords(obs.kind), stations, lines, names, JsonValues(obs.kind, sd, true),
      JsonValues(obs.kind, t.v, judged), JsonValues(obs.kind, t.w, tested, false),
      JsonValues(obs.kind, t.r, judged, false), JsonValues(obs.kind, t.mdb, judged),
      JsonValues(obs.kind, t.estimated_error, tested),
      tested && std::isfinite(t.external) ? JsonNumber(t.external * MM_PER_M) : "null",
      JsonUnit(obs.kind), t.rejected_round > 0 ? std::to_string(t.rejected_round) : "null");
}

std::string StationName(const AdjustmentInput& input, int32_t s) {
  return s >= 0 && static_cast<size_t>(s) < input.stations.size()
             ? input.stations[static_cast<size_t>(s)].name
             : std::string("?");
}

// "20 mm + 50 ppm".
std::string StandardWords(const RelativeStandard& standard) {
  return fmt::format("{:g} mm + {:g} ppm", standard.mm, standard.ppm);
}

// "95 %", or "1σ" for standard deviations.
std::string ConfidenceWords(double confidence) {
  if (!(confidence > 0.0) || !(confidence < 1.0)) return "1\u03c3";
  return fmt::format("{:g} %", confidence * 100.0);
}

// The datum the stations' precision stands on, in words: the minimum trace of each part, or
// the station named, and the parts free to turn held at a station of theirs.
std::string DatumWords(const AdjustmentInput& input, const AdjustmentResult& result) {
  std::string named, held;
  bool minimum_trace = false;
  for (const PartDatum& d : result.part_datums) {
    if (d.kind == PrecisionDatumKind::MinimumTrace) minimum_trace = true;
    if (d.kind == PrecisionDatumKind::Station) named = StationName(input, d.station);
    if (d.kind == PrecisionDatumKind::Held)
      held += (held.empty() ? "" : ", ") + StationName(input, d.station);
  }
  std::string words;
  if (!named.empty()) words = "relative to " + named;
  if (minimum_trace) {
    words += std::string(words.empty() ? "" : ", other parts ") +
             (named.empty() ? "on the minimum-trace datum of each part"
                            : "on their minimum-trace datum");
  }
  if (!held.empty()) {
    words += std::string(words.empty() ? "" : "; ") +
             "parts without a vector relative to the station they are held at (" + held + ")";
  }
  return words.empty() ? std::string("no datum") : words;
}

// "at 95 % (ellipses 2.4477 ×, σ 1.96 × the standard ones)", and what scales them.
std::string ConfidenceSentence(const AdjustmentResult& result) {
  const std::string scale = result.estimated_factors
                                ? "scaled by the job's estimated variance factors"
                                : "scaled by the a priori \u03c3\u2080";
  if (!(result.confidence > 0.0) || !(result.confidence < 1.0))
    return "standard deviations and standard ellipses (1\u03c3), " + scale;
  // The σ's factor by its normal quantile, not its value: a bare 1.96 would read as a
  // critical w.
  return fmt::format(
      "at {} (ellipses {:.4f} \u00d7 the standard ones, \u03c3 times z at {:g} %), {}",
      ConfidenceWords(result.confidence), PlanarConfidenceFactor(result.confidence),
      50.0 * (1.0 + result.confidence), scale);
}

// "relative precision: 412 pairs, all within 20 mm + 50 ppm at 95 %", or how many exceed it
// and the worst; empty without pairs.
std::string RelativeSentence(const AdjustmentInput& input, const AdjustmentResult& result) {
  if (result.outcome != AdjustmentOutcome::Done || result.relative.empty()) return {};
  const auto over = std::count_if(result.relative.begin(), result.relative.end(),
                                  [](const RelativePrecision& r) { return r.exceeded; });
  const std::string standard = StandardWords(result.relative_standard);
  if (over == 0) {
    return fmt::format("relative precision: {} {}, all within {} at 95 %", result.relative.size(),
                       result.relative.size() == 1 ? "pair" : "pairs", standard);
  }
  const RelativePrecision& worst = result.relative.front();
  return fmt::format(
      "relative precision: {} {} exceed {} at 95 %, the worst {}\u2013{} at "
      "{:.1f} \u00d7",
      over, over == 1 ? "pair" : "pairs", standard, StationName(input, worst.from),
      StationName(input, worst.to), worst.ratio);
}

std::string RelativeJson(const AdjustmentInput& input, const RelativePrecision& r) {
  return fmt::format(
      "{{\"stations\": [{}, {}], \"distance_m\": {}, \"major_mm\": {}, \"minor_mm\": {}, "
      "\"azimuth_deg\": {}, \"allowed_mm\": {}, \"ratio\": {}, \"exceeded\": {}}}",
      JsonString(StationName(input, r.from)), JsonString(StationName(input, r.to)),
      JsonNumber(r.distance), JsonNumber(r.major * MM_PER_M), JsonNumber(r.minor * MM_PER_M),
      JsonNumber(r.azimuth * 180.0 / std::numbers::pi), JsonNumber(r.allowed * MM_PER_M),
      JsonNumber(r.ratio), r.exceeded ? "true" : "false");
}

CheckSection RelativeSection(const AdjustmentInput& input, const AdjustmentResult& result) {
  CheckSection section;
  section.name = "relative_precision";
  section.title = "Relative precision";
  section.rule = fmt::format(
      "the 95 % semi-major axis of the relative error ellipse of two stations joined by an "
      "observation passes {} of their horizontal distance; the largest ratio first",
      StandardWords(result.relative_standard));
  section.columns = {
      {"dist m", 1}, {"major mm", 1}, {"minor mm", 1}, {"az \u00b0", 0}, {"allowed mm", 1}};
  for (const RelativePrecision& r : result.relative) {
    if (!r.exceeded && section.rows.size() >= MAX_PASSING_ROWS) {
      ++section.unlisted_rows;
      continue;
    }
    CheckRow& row = section.rows.emplace_back();
    row.stations = {StationName(input, r.from), StationName(input, r.to)};
    row.values = {r.distance, r.major * MM_PER_M, r.minor * MM_PER_M,
                  r.azimuth * 180.0 / std::numbers::pi, r.allowed * MM_PER_M};
    row.flagged = r.exceeded;
    row.ratio = r.ratio;
  }
  return section;
}

// The observations whose blunder of their MDB, left undetected, moves one of their own stations
// most: the size of a weak observation. An uncontrolled one has no MDB and no size; the line in
// the adjustment section names the largest, empty without any.
constexpr size_t EXTERNAL_ROWS = 10;
CheckSection ExternalSection(const AdjustmentInput& input, const AdjustmentResult& result,
                             std::string& line) {
  CheckSection section;
  section.name = "external_reliability";
  section.title = "External reliability";
  section.rule =
      "never; the ten observations whose undetected blunder moves a station most: how far a "
      "blunder of the observation's MDB, not found by the test, moves one of its own stations, "
      "on the datum of the station precision (a vector: the largest over a blunder in each "
      "component). Taken at the observation's own stations, where a blunder moves the network "
      "most; a station hanging beyond them can move as far, so the size is a bound from below";
  section.columns = {{"r", 2}, {"MDB", 1}, {"shift mm", 1}};
  std::vector<size_t> order;
  for (size_t i = 0; i < result.observations.size() && i < input.observations.size(); ++i) {
    const ObservationTest& t = result.observations[i];
    if (t.active && t.tested && std::isfinite(t.external)) order.push_back(i);
  }
  const auto larger = [&](size_t a, size_t b) {
    const double ea = result.observations[a].external, eb = result.observations[b].external;
    return ea != eb ? ea > eb : a < b;
  };
  const size_t shown = std::min(order.size(), EXTERNAL_ROWS);
  std::partial_sort(order.begin(), order.begin() + static_cast<ptrdiff_t>(shown), order.end(),
                    larger);
  for (size_t k = 0; k < shown; ++k) {
    const ObservationTest& t = result.observations[order[k]];
    const AdjustmentObservation& obs = input.observations[order[k]];
    const size_t c = WorstComponent(t, obs.kind);
    CheckRow& row = section.rows.emplace_back();
    row.stations = StationsOf(input, obs);
    row.observations = {obs.record};
    row.sources = {obs.source};
    row.values = {t.r[c], InUnit(obs.kind, t.mdb[c]), t.external * MM_PER_M};
    row.note = KindWords(obs.kind) +
               (t.r_min < UNCONTROLLED_REDUNDANCY ? ", uncontrolled (r below 0.1)" : "") +
               (Angular(obs.kind) ? ", MDB in arc-seconds" : ", MDB in mm");
  }
  section.unlisted_rows = static_cast<int64_t>(order.size() - shown);
  if (shown > 0) {
    const ObservationTest& t = result.observations[order[0]];
    const AdjustmentObservation& obs = input.observations[order[0]];
    std::string names;
    for (const std::string& name : StationsOf(input, obs))
      names += (names.empty() ? "" : "\u2013") + name;
    line = fmt::format(
        "external reliability: the ten observations whose undetected blunder moves a station "
        "most are listed under \"External reliability\"; the largest, the {} {}, moves a "
        "station {:.1f} mm",
        KindWords(obs.kind), names, t.external * MM_PER_M);
  }
  return section;
}

}  // namespace

std::string AdjustmentTestJson(const AdjustmentInput& input, const AdjustmentResult& result,
                               const std::vector<std::string>& files) {
  const bool settled = result.outcome == AdjustmentOutcome::Done;
  const TestLevels& lv = result.levels;
  std::string datum;
  for (size_t s = 0; s < result.stations.size() && s < input.stations.size(); ++s) {
    if (result.stations[s].datum)
      datum += (datum.empty() ? "" : ", ") + JsonString(input.stations[s].name);
  }
  std::string out = fmt::format(
      "{{\"settled\": {}, \"reason\": {}, \"alpha\": {}, \"alpha0\": {}, \"beta0\": {}, "
      "\"delta0\": {}, \"lambda0\": {}, \"critical_w\": {}, \"tests\": {}, \"rounds\": {},\n",
      settled ? "true" : "false",
      result.reason.empty() ? std::string("null") : JsonString(result.reason),
      JsonNumber(result.family_alpha), settled ? JsonNumber(lv.alpha0) : "null",
      settled ? JsonNumber(lv.beta0) : "null", settled ? JsonNumber(lv.delta0) : "null",
      settled ? JsonNumber(lv.lambda0) : "null",
      settled && result.tests > 0 ? JsonNumber(result.critical_w) : "null", result.tests,
      result.rounds);
  static constexpr const char* SOURCE[] = {"ordinary", "given", "estimated"};
  const RefractionUsed& k = result.refraction;
  out +=
      fmt::format("   \"refraction\": {{\"k\": {}, \"sigma\": {}, \"source\": \"{}\"}},\n",
                  settled ? JsonNumber(k.k) : "null",
                  settled && k.source == RefractionSource::Estimated ? JsonNumber(k.sigma) : "null",
                  SOURCE[static_cast<size_t>(k.source)]);
  std::string defects;
  for (const int32_t d : result.part_defects)
    defects += (defects.empty() ? "" : ", ") + std::to_string(d);
  out += fmt::format(
      "   \"datum\": {{\"kind\": \"free: each part held at one station, with the rotations its "
      "observations leave free\", \"stations\": [{}], \"defects\": [{}], \"precision\": {}}},\n",
      settled ? datum : std::string(), settled ? defects : std::string(),
      settled ? JsonString(DatumWords(input, result)) : "null");
  out +=
      fmt::format("   \"confidence\": {}, \"ellipse_factor\": {}, \"sd_factor\": {},\n",
                  result.confidence > 0.0 && result.confidence < 1.0 ? JsonNumber(result.confidence)
                                                                     : std::string("\"1sigma\""),
                  JsonNumber(PlanarConfidenceFactor(result.confidence)),
                  JsonNumber(LinearConfidenceFactor(result.confidence)));
  out += fmt::format("   \"relative_standard\": {{\"mm\": {}, \"ppm\": {}}},\n",
                     JsonNumber(result.relative_standard.mm),
                     JsonNumber(result.relative_standard.ppm));
  out += "   \"relative_precision\": [";
  for (size_t k = 0; settled && k < result.relative.size(); ++k)
    out += (k == 0 ? "\n    " : ",\n    ") + RelativeJson(input, result.relative[k]);
  out += settled && !result.relative.empty() ? "\n   ],\n" : "],\n";
  out += fmt::format("   \"global_test\": {{\"before\": {}, \"after\": {}}},\n",
                     GlobalJson(result.before, settled), GlobalJson(result.after, settled));
  out += result.estimated_factors ? "   \"tested_with\": \"estimated factors\",\n   \"groups\": ["
                                  : "   \"tested_with\": \"profile\",\n   \"groups\": [";
  for (size_t g = 0; settled && g < result.groups.size(); ++g) {
    out += (g == 0 ? "\n    " : ",\n    ") + GroupJson(result.groups[g]);
  }
  out += settled && !result.groups.empty() ? "\n   ],\n   \"observations\": ["
                                           : "],\n   \"observations\": [";
  const size_t count = std::min(input.observations.size(), result.observations.size());
  for (size_t i = 0; i < count; ++i) {
    out += i == 0 ? "\n    " : ",\n    ";
    AppendObservationJson(input, input.observations[i], result.observations[i], settled, files,
                          out);
  }
  out += count > 0 ? "\n   ]}" : "]}";
  return out;
}

std::string AdjustmentSummary(const AdjustmentResult& result) {
  if (result.outcome != AdjustmentOutcome::Done) {
    std::string text = OutcomeWords(result.outcome);
    if (result.outcome == AdjustmentOutcome::OverBudget) {
      text += fmt::format(" ({:.0f} MB predicted)", result.predicted_bytes / 1048576.0);
    }
    if (result.outcome == AdjustmentOutcome::Unweighted) {
      text += result.unweighted + "; give each a value above 0 to test the job.";
    }
    if (result.outcome == AdjustmentOutcome::NotConverged ||
        result.outcome == AdjustmentOutcome::Undetermined) {
      text +=
          (result.reason.empty() ? std::string("the adjustment did not settle") : result.reason) +
          "; no observation is judged.";
    }
    return text;
  }
  // A job with no redundancy left (a small one, or after data snooping) has no σ₀ to test and
  // no group to judge: saying "passed" there would read as checked.
  if (result.degrees_of_freedom < 0.5) {
    return fmt::format(
        "Adjustment test: no degrees of freedom are left, so there is no global "
        "test; {} {} rejected.",
        result.rejected.size(), result.rejected.size() == 1 ? "observation" : "observations");
  }
  // The raw data first: a blunder rejected later does not make the job's first test pass.
  const size_t rejected = result.rejected.size();
  std::string text;
  std::string own;
  if (result.estimated_factors) {
    // The group whose profile is farthest from what the job shows.
    const GroupFactor* worst = nullptr;
    for (const GroupFactor& g : result.groups) {
      if (worst == nullptr || std::abs(std::log(g.scale)) > std::abs(std::log(worst->scale))) {
        worst = &g;
      }
    }
    if (worst != nullptr) {
      own = fmt::format(
          "tested with the job's own precision: the profile's {:.3g}{} does not fit these {} "
          "(with the profile the global test of the raw data is {}, estimated \u03c3\u2080 "
          "{:.2f})",
          InUnit(worst->kind, worst->typical_sd), Unit(worst->kind), KindWords(worst->kind, true),
          VerdictWords(result.profile_test.verdict), result.profile_test.sigma0);
    }
  }
  if (rejected == 0 || result.before.verdict == GlobalVerdict::NoRedundancy) {
    text =
        "Adjustment test: the global test " +
        GlobalWords(rejected == 0 ? result.after : result.before,
                    rejected == 0 ? result.sigma0 : result.before.sigma0,
                    rejected == 0 ? result.degrees_of_freedom : result.before.degrees_of_freedom);
  } else {
    text = "Adjustment test: the global test of the raw data " +
           GlobalWords(result.before, result.before.sigma0, result.before.degrees_of_freedom) +
           fmt::format(", after {} {} ", rejected, rejected == 1 ? "rejection" : "rejections") +
           GlobalWords(result.after, result.sigma0, result.degrees_of_freedom);
  }
  // Right after the global test that the job's own precision was tested with.
  if (!own.empty()) text += "; " + own;
  for (const GroupFactor& g : result.groups) {
    if (g.redundancy >= 0.5) text += "; " + GroupSentence(g);
  }
  text += fmt::format("; {} {} rejected", result.rejected.size(),
                      result.rejected.size() == 1 ? "observation" : "observations");
  // A clean line must not read as "every observation checked" where some cannot be.
  const auto uncontrolled = std::count_if(
      result.observations.begin(), result.observations.end(),
      [](const ObservationTest& t) { return t.active && t.r_min < UNCONTROLLED_REDUNDANCY; });
  if (uncontrolled > 0) {
    text += fmt::format("; {} uncontrolled (r below {})", uncontrolled, UNCONTROLLED_REDUNDANCY);
  }
  return text + ".";
}

// The refraction coefficient the zenith angles were tested with, and where it came from.
std::string RefractionNote(const AdjustmentResult& result) {
  const RefractionUsed& k = result.refraction;
  switch (k.source) {
    case RefractionSource::Estimated:
      return fmt::format(
          "zenith angles tested with the refraction coefficient k = {:.3f} \u00b1 {:.3f}, "
          "estimated from the sights taken both ways",
          k.k, k.sigma * (result.sigma0 > 0.0 ? result.sigma0 : 1.0));
    case RefractionSource::Given:
      return fmt::format("zenith angles tested with the refraction coefficient k = {:g}, as given",
                         k.k);
    case RefractionSource::Ordinary:
      break;
  }
  return fmt::format(
      "zenith angles tested with the ordinary refraction coefficient k = {:g}: too few sights "
      "were taken both ways to estimate it",
      k.k);
}

void AddAdjustmentSections(const AdjustmentInput& input, const AdjustmentResult& result,
                           const ReadingLog& log, CheckReport& report) {
  CheckSection adjustment;
  adjustment.name = "adjustment";
  adjustment.title = "Adjustment test";
  // Without a w-test there is no critical value to speak of.
  const TestLevels& lv = result.levels;
  const std::string rejection =
      result.tests > 0
          ? fmt::format(
                "an observation is rejected when its |w| passes {:.2f}, the critical value of {} "
                "tests at a family-wise {}, the largest first, at most {} rounds (Baarda's "
                "B-method: \u03b1 = {}, \u03b10 = {:.3g} per test, power \u03b20 = {:g} %, "
                "\u03b40 = {:.2f}; a vector's MDB from the \u03c7\u00b2 of its three components "
                "at the same \u03b10 and \u03b20, \u03bb0 = {:.1f}: a blunder of the MDB is "
                "found with power \u03b20)",
                result.critical_w, result.tests, Percent(result.family_alpha), result.max_rounds,
                Percent(result.family_alpha), lv.alpha0, lv.beta0 * 100.0, lv.delta0, lv.lambda0)
          : std::string("no observation was w-tested, so none is rejected");
  adjustment.rule = fmt::format(
      "a free-network adjustment of the whole job with the weights of the adjustment file "
      "(a priori \u03c3\u2080 = 1), each part's datum held by one station; {}{}",
      rejection,
      result.part_datums.empty()
          ? std::string()
          : "; station precision " + DatumWords(input, result) + ", " + ConfidenceSentence(result));
  adjustment.columns = {{"w", 1}, {"r", 2}, {"MDB", 1}, {"error", 1}};
  const auto summary_row = [&](std::string note) {
    CheckRow& row = adjustment.rows.emplace_back();
    row.values = {NO_VALUE, NO_VALUE, NO_VALUE, NO_VALUE};
    row.note = std::move(note);
  };
  // The section's title already says whose line it is.
  std::string summary = AdjustmentSummary(result);
  constexpr std::string_view PREFIX = "Adjustment test: ";
  if (summary.starts_with(PREFIX)) summary.erase(0, PREFIX.size());
  summary_row(summary);
  const std::string relative_sentence = RelativeSentence(input, result);
  if (!relative_sentence.empty()) summary_row(relative_sentence);
  std::string external_line;
  CheckSection external = ExternalSection(input, result, external_line);
  if (result.outcome == AdjustmentOutcome::Done && !external_line.empty())
    summary_row(external_line);
  if (result.round_limit_reached) summary_row("data snooping stopped at its round limit");
  const bool zeniths =
      std::any_of(result.groups.begin(), result.groups.end(),
                  [](const GroupFactor& g) { return g.kind == AdjustedKind::Zenith; });
  if (result.outcome == AdjustmentOutcome::Done && zeniths) summary_row(RefractionNote(result));
  if (!result.stations_without_position.empty()) {
    std::string names;
    for (int32_t s : result.stations_without_position) {
      if (!names.empty()) names += ", ";
      names += input.stations[static_cast<size_t>(s)].name;
    }
    summary_row("left out, without approximate coordinates: " + names);
  }
  if (!result.undetermined_stations.empty()) {
    summary_row(fmt::format("{} stations left out: their observations do not fix them",
                            result.undetermined_stations.size()));
  }
  CheckSection uncontrolled;
  uncontrolled.name = "uncontrolled";
  uncontrolled.title = "Uncontrolled observations";
  uncontrolled.rule =
      "never; the redundancy number r is below 0.1: a blunder in these cannot be found by the "
      "network, so no suspect here does not mean checked";
  uncontrolled.columns = {{"r", 2}};
  std::vector<CheckRow> suspects;
  // A run that did not finish judges nothing: what its earlier rounds rejected is not listed.
  const bool done = result.outcome == AdjustmentOutcome::Done;
  // What each rejected observation's blunder is, where one explanation fits.
  std::unordered_map<int32_t, BlunderDiagnosis> diagnoses;
  for (BlunderDiagnosis& d : DiagnoseBlunders(input, result)) {
    diagnoses.emplace(d.observation, std::move(d));
  }
  // One blunder in a sight rejects its angle, zenith and distance in turn (an angle set's angle
  // may be a record of its own): one suspect names it. A vector is its own record.
  std::set<std::tuple<int32_t, int32_t, int32_t>> suspect_sights;
  const auto sight_of = [&](const AdjustmentObservation& obs) {
    return obs.kind == AdjustedKind::GnssVector ? std::make_tuple(-1, -1, obs.record)
                                                : std::make_tuple(obs.at, obs.fore, -1);
  };
  for (int32_t i : done ? result.rejected : std::vector<int32_t>{}) {
    const ObservationTest& t = result.observations[static_cast<size_t>(i)];
    const AdjustmentObservation& obs = input.observations[static_cast<size_t>(i)];
    const AdjustedKind kind = obs.kind;
    const size_t k = WorstComponent(t, kind);
    CheckRow row;
    row.stations = StationsOf(input, obs);
    row.observations = {obs.record};
    row.sources = {obs.source};
    row.flagged = true;
    row.ratio = std::abs(t.w_whole) / result.critical_w;
    row.note = TestNote(kind, t);
    // One reading per row where the network can tell which.
    if (const auto traced = TraceToReading(input, result, log, i)) {
      row.sources = {traced->source};
      row.note += fmt::format("; {} is farthest off ({:.1f} \u03c3)", traced->words,
                              std::abs(traced->deviation));
    }
    const std::string base_note = row.note;
    std::string said_first;
    const auto diagnosis = diagnoses.find(i);
    if (diagnosis != diagnoses.end()) {
      const BlunderDiagnosis& d = diagnosis->second;
      said_first = d.words + "; ";
      row.note += "; " + d.words;
      RowDiagnosis& said = row.diagnosis.emplace();
      said.kind = BlunderKindWords(d.kind);
      if (d.fits >= 0) {
        said.fits = input.stations[static_cast<size_t>(d.fits)].name;
        said.labelled = input.stations[static_cast<size_t>(obs.fore)].name;
        said.readings = LabelledReadings(log, obs, said.labelled);
      }
      if (d.kind != BlunderKind::WrongName && d.kind != BlunderKind::SwappedVector) {
        said.typed = d.typed;
        said.likely = d.likely;
        said.unit = d.angular ? "deg" : "m";
      }
    }
    row.values = {t.w_whole, t.r[k], InUnit(kind, t.mdb[k]), InUnit(kind, t.estimated_error[k])};
    adjustment.rows.push_back(row);
    row.diagnosis.reset();
    // Rejections traced to one field line (a reading shared by several records) are one
    // suspect too.
    const auto same_line = [&](const CheckRow& earlier) {
      return !earlier.sources.empty() && !row.sources.empty() && row.sources[0].known() &&
             earlier.sources[0] == row.sources[0];
    };
    const bool line_seen = std::any_of(suspects.begin(), suspects.end(), same_line);
    if (!suspect_sights.insert(sight_of(obs)).second || line_seen) {
      // The sight's first suspect carries the explanation when a later rejection found one.
      for (CheckRow& earlier : suspects) {
        const bool same_sight = earlier.stations.size() >= 2 &&
                                earlier.stations[0] == row.stations[0] &&
                                earlier.stations[1] == row.stations[1];
        if ((same_sight || same_line(earlier)) && !earlier.diagnosis &&
            diagnosis != diagnoses.end()) {
          earlier.diagnosis = adjustment.rows.back().diagnosis;
          // What the blunder is comes first: a long note is cut at its end.
          earlier.note.insert(std::string("adjustment test: ").size(),
                              diagnosis->second.words + "; ");
        }
      }
      continue;
    }
    if (diagnosis != diagnoses.end()) row.diagnosis = adjustment.rows.back().diagnosis;
    // Among the suspects the note says who names the observation.
    CheckRow suspect = row;
    suspect.note = "adjustment test: " + said_first + base_note;
    suspect.values.clear();
    suspects.push_back(std::move(suspect));
  }
  if (result.outcome == AdjustmentOutcome::Done) {
    for (size_t i = 0; i < result.observations.size(); ++i) {
      const ObservationTest& t = result.observations[i];
      if (!t.active || t.r_min >= UNCONTROLLED_REDUNDANCY) continue;
      if (uncontrolled.rows.size() == MAX_PASSING_ROWS) {
        ++uncontrolled.unlisted_rows;
        continue;
      }
      const AdjustmentObservation& obs = input.observations[i];
      CheckRow& row = uncontrolled.rows.emplace_back();
      row.stations = StationsOf(input, obs);
      row.observations = {obs.record};
      row.sources = {obs.source};
      row.values = {t.r_min};
      row.note = KindWords(obs.kind);
    }
  }
  // The report opens with the test's summary.
  report.sections.insert(report.sections.begin(), std::move(adjustment));
  report.sections.push_back(std::move(uncontrolled));
  if (result.outcome == AdjustmentOutcome::Done && !external.rows.empty())
    report.sections.push_back(std::move(external));
  report.summary = AdjustmentSummary(result);
  if (!relative_sentence.empty()) {
    report.summary += " R" + relative_sentence.substr(1) + ".";
    report.sections.push_back(RelativeSection(input, result));
  }
  report.adjustment_test = AdjustmentTestJson(input, result, report.files);
  CheckSection* found = nullptr;
  for (CheckSection& section : report.sections) {
    if (section.name == SUSPECTS_SECTION) found = &section;
  }
  if (found != nullptr && result.outcome == AdjustmentOutcome::Done) {
    // The network has judged every record it adjusted: a suspect from the per-record checks
    // stays only where it names a record the test could not see, or readings that no record
    // carries (a closing backsight, a face pair whose mean is fine).
    std::unordered_set<int32_t> tested_records;
    for (size_t i = 0; i < result.observations.size(); ++i) {
      if (result.observations[i].active || result.observations[i].rejected_round > 0) {
        tested_records.insert(input.observations[i].record);
      }
    }
    std::set<SourceLocation> rejected_readings;
    for (const CheckRow& row : suspects) {
      rejected_readings.insert(row.sources.begin(), row.sources.end());
    }
    std::erase_if(found->rows, [&](const CheckRow& row) {
      const bool judged =
          !row.observations.empty() &&
          std::all_of(row.observations.begin(), row.observations.end(),
                      [&](int32_t record) { return tested_records.contains(record); });
      const bool named =
          !row.sources.empty() &&
          std::all_of(row.sources.begin(), row.sources.end(), [&](const SourceLocation& source) {
            return rejected_readings.contains(source);
          });
      return judged || named;
    });
    found->rule =
        "the observations the adjustment test rejects, in the order it rejects them, each "
        "traced to its reading farthest from the adjusted network; then what the adjustment "
        "cannot judge: " +
        found->rule;
  }
  if (suspects.empty()) {
    report.Index();
    return;
  }
  if (found == nullptr) {
    CheckSection& section = report.sections.emplace_back();
    section.name = std::string(SUSPECTS_SECTION);
    section.title = "Suspect observations";
    section.rule = "the observations the adjustment test rejects, in the order it rejects them";
    section.columns = {{"rows", 0}, {"dN mm", 1}, {"dE mm", 1}, {"dU mm", 1}, {"3D mm", 1}};
    found = &section;
  }
  for (CheckRow& row : suspects) {
    row.values.assign(found->columns.size(), NO_VALUE);
  }
  found->rows.insert(found->rows.begin(), suspects.begin(), suspects.end());
  report.Index();
}

void NoteUnusedPrecisionDatum(const std::string& name, const AdjustmentResult& result,
                              CheckReport& report) {
  if (name.empty() || result.outcome != AdjustmentOutcome::Done) return;
  if (std::any_of(result.part_datums.begin(), result.part_datums.end(),
                  [](const PartDatum& d) { return d.kind == PrecisionDatumKind::Station; })) {
    return;
  }
  const std::string note = fmt::format(
      "the precision datum {} is not a station of a part with a GNSS vector: the precision "
      "stands on each part's own datum instead",
      name);
  report.summary += " The" + note.substr(3) + ".";
  for (CheckSection& section : report.sections) {
    if (section.name != "adjustment") continue;
    CheckRow& row = section.rows.emplace_back();
    row.values.assign(section.columns.size(), NO_VALUE);
    row.note = note;
  }
}

}  // namespace fenwix

namespace fenwix {

namespace {

std::string SeedCheckJson(const SeedCheck& check) {
  const auto number = [](double value) {
    return std::isfinite(value) ? JsonNumber(value) : std::string("null");
  };
  return fmt::format(
      "{{\"agrees\": {}, \"estimated_latitude_deg\": {}, \"estimated_longitude_deg\": {}, "
      "\"sigma_m\": {}, \"offset_m\": {}, \"tolerance_m\": {}, \"hint\": {}}}",
      check.agrees ? (*check.agrees ? "true" : "false") : "null",
      number(check.estimated_latitude_deg), number(check.estimated_longitude_deg),
      number(check.sigma_m), number(check.offset_m), number(check.tolerance_m),
      JsonString(check.hint));
}

}  // namespace

void AddSeedCheckSection(const SeedCheck& check, CheckReport& report) {
  if (!check.ran) return;
  CheckSection section;
  section.name = "seed_check";
  section.title = "Seed position";
  section.rule = fmt::format(
      "the seed's latitude and longitude against where the GNSS vectors and zenith angles put "
      "it (the tilt of the verticals, estimated with the stations): they agree within 3 "
      "\u03c3 of that estimate or {:g} m, whichever is larger",
      check.tolerance_m);
  section.columns = {{"offset m", 0}, {"\u03c3 m", 0}};
  CheckRow& row = section.rows.emplace_back();
  row.values = {std::isfinite(check.offset_m) ? check.offset_m : NO_VALUE,
                std::isfinite(check.sigma_m) ? check.sigma_m : NO_VALUE};
  const bool disagrees = check.agrees.has_value() && !*check.agrees;
  const std::string estimated =
      std::isfinite(check.estimated_latitude_deg)
          ? fmt::format("the network puts the seed at latitude {}, longitude {} ({:.8f}, {:.8f})",
                        DmsWords(check.estimated_latitude_deg / 180.0 * std::numbers::pi),
                        DmsWords(check.estimated_longitude_deg / 180.0 * std::numbers::pi),
                        check.estimated_latitude_deg, check.estimated_longitude_deg)
          : std::string();
  if (!check.agrees) {
    row.note = check.why.empty() ? "the job cannot tell" : check.why;
  } else if (*check.agrees) {
    row.note = "the seed agrees with the network: " + estimated;
  } else {
    // The slip first: a long note is shown cut in the middle, its start and end kept.
    row.note = check.hint.empty()
                   ? fmt::format("the seed disagrees with the network by {:.0f} m", check.offset_m)
                   : check.hint;
    if (!estimated.empty()) row.note += "; " + estimated;
  }
  row.flagged = disagrees;
  row.ratio = disagrees ? check.offset_m / std::max(3.0 * check.sigma_m, check.tolerance_m) : 0.0;
  if (!report.adjustment_test.empty() && report.adjustment_test.front() == '{') {
    report.adjustment_test.insert(1, "\"seed_check\": " + SeedCheckJson(check) + ",\n   ");
  }
  if (disagrees) {
    const std::string sentence =
        fmt::format("The seed's position disagrees with the network by {:.0f} m{}.", check.offset_m,
                    check.hint.empty() ? std::string() : ": " + check.hint);
    report.summary = report.summary.empty() ? sentence : sentence + " " + report.summary;
    report.sections.insert(report.sections.begin(), std::move(section));
  } else {
    const auto after = std::find_if(report.sections.begin(), report.sections.end(),
                                    [](const CheckSection& s) { return s.name == "adjustment"; });
    report.sections.insert(after == report.sections.end() ? after : after + 1, std::move(section));
  }
  report.Index();
}

}  // namespace fenwix

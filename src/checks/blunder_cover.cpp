// The suspects: the fewest single observations that explain the flagged rows.
//
// An observation is one XML element (a vector, or one total-station reading), known by the
// file and line it starts on. Each flagged row of the repeats, loops, face pairs, closing
// backsights and gross checks names the elements behind it; the observation in the most rows not
// yet explained is taken first, until every row is explained or no candidate is left. A vector that
// closes some loop within its limits agrees with the network and is never taken for a flagged loop.
// The two readings of a face pair explain its row alike; where approximate coordinates were
// computed, the one whose angle they refuse is taken.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <queue>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "checks/check_support.h"
#include "checks/run_checks.h"
#include "geodesy/angles.h"

namespace fenwix {

namespace {

using namespace check_support;

// The sections whose flagged rows a single bad observation explains.
constexpr const char* EXPLAINED_SECTIONS[] = {"repeated_vectors", "loop_closures", "face_pairs",
                                              "closing_backsight", "gross_approx"};
// Explained rows named in a suspect's note; the rest are counted.
constexpr size_t ROWS_NAMED = 4;

struct FlaggedRef {
  const CheckSection* section = nullptr;
  const CheckRow* row = nullptr;
};

struct Candidate {
  SourceLocation source;
  int32_t observation = 0;   // observation row, 0 for a reading without a record of its own
  std::vector<size_t> rows;  // indices into the flagged rows
  std::vector<std::string> stations;
  bool excluded = false;  // a vector that closes a passing loop
  // The opening backsight of a round that does not close: it sets the zero the round's angles
  // are turned from, so the closing reading is taken before it (leaving that out turns no angle).
  bool opens_round = false;
  // Of a face pair over its 2C limit: the other reading, and this reading's angle against the
  // coordinates, arc-minutes (NaN where they give none).
  Candidate* twin = nullptr;
  double coordinate_off = NO_VALUE;
  // The reading of such a pair that the coordinates side with: its twin is taken before it.
  bool agrees_with_coordinates = false;
};

bool Explained(const CheckSection& section) {
  return std::any_of(std::begin(EXPLAINED_SECTIONS), std::end(EXPLAINED_SECTIONS),
                     [&](const char* name) { return section.name == name; });
}

std::string RowText(const FlaggedRef& ref) {
  std::string stations;
  for (const std::string& name : ref.row->stations) {
    if (!stations.empty()) stations += '-';
    stations += name;
  }
  return fmt::format("{} {} ({})", ref.section->title, stations, ref.row->note);
}

// What a note calls the element at source: "file:line", the file without its folder where
// that names it alone.
std::string SourceName(const CheckInput& input, const SourceLocation& source) {
  const size_t file = static_cast<size_t>(source.file);
  if (input.files.size() > 1) return SourceText(source, FileLabels(input.files));
  const std::string& path = file < input.files.size() ? input.files[file] : std::string();
  const size_t slash = path.find_last_of("/\\");
  return fmt::format("{}:{}", slash == std::string::npos ? path : path.substr(slash + 1),
                     source.line);
}

// The candidates of the flagged rows, by file and line.
std::map<SourceLocation, Candidate> Candidates(const CheckInput& input,
                                               const std::vector<VectorEvidence>& evidence,
                                               const std::vector<FlaggedRef>& flagged) {
  const SurveyTables& tables = *input.tables;
  std::map<SourceLocation, Candidate> candidates;
  for (size_t f = 0; f < flagged.size(); ++f) {
    const CheckRow& row = *flagged[f].row;
    const bool loop = flagged[f].section->name == "loop_closures";
    const bool round = flagged[f].section->name == "closing_backsight";
    // Rows of vectors and records give one observation row per line.
    const bool by_record = row.observations.size() == row.sources.size();
    for (size_t i = 0; i < row.sources.size(); ++i) {
      const SourceLocation& source = row.sources[i];
      if (!source.known()) continue;
      Candidate& candidate = candidates[source];
      if (round && i == 0) candidate.opens_round = true;
      if (candidate.rows.empty() || candidate.rows.back() != f) candidate.rows.push_back(f);
      if (!candidate.source.known()) {
        candidate.source = source;
        if (by_record) {
          candidate.observation = row.observations[i];
          const ObsRow& obs = tables.observations()[static_cast<size_t>(candidate.observation)];
          candidate.stations = {tables.name(obs.at), tables.name(obs.fore)};
        }
        // A record without a foresight (a backsight alone) is named by its row's stations.
        if (!by_record || candidate.stations[0].empty() || candidate.stations[1].empty()) {
          candidate.stations.assign(
              row.stations.begin(),
              row.stations.begin() +
                  static_cast<std::ptrdiff_t>(std::min<size_t>(2, row.stations.size())));
        }
      }
      const size_t observation = static_cast<size_t>(candidate.observation);
      if (loop && by_record && observation < evidence.size() &&
          evidence[observation].closes_passing_loop) {
        candidate.excluded = true;
      }
    }
  }
  return candidates;
}

// The face check notes 2C first of the limits a pair passes; the limit itself may be its file's.
bool CollimationOver(const CheckRow& row) {
  return row.flagged && row.note == COLLIMATION_NOTE;
}

// Pairs the two readings of each face pair over its 2C limit and, with approximate coordinates,
// sets each reading's angle (turned from the same-face backsight of its round) against the one
// the coordinates give. They side with a reading when it is nearer than its twin by more than
// half the two readings' difference: a station placed by this very pointing sits half-way.
void WeighFacePairs(const CheckInput& input, const std::vector<FlaggedRef>& flagged,
                    std::map<SourceLocation, Candidate>& candidates) {
  std::vector<std::pair<Candidate*, Candidate*>> pairs;
  std::vector<SourceLocation> wanted;
  for (const FlaggedRef& ref : flagged) {
    const std::vector<SourceLocation>& sources = ref.row->sources;
    if (ref.section->name != "face_pairs" || sources.size() != 2 || !sources[0].known() ||
        !sources[1].known() || !CollimationOver(*ref.row)) {
      continue;
    }
    Candidate& one = candidates.at(sources[0]);
    Candidate& two = candidates.at(sources[1]);
    one.twin = &two;
    two.twin = &one;
    pairs.emplace_back(&one, &two);
    wanted.insert(wanted.end(), sources.begin(), sources.end());
  }
  if (!input.approx_computed || pairs.empty()) return;
  std::sort(wanted.begin(), wanted.end());
  const ReadingLog& log = *input.log;
  const SurveyTables& tables = *input.tables;
  const auto station = [&](int32_t point) {
    return point > 0 ? tables.StationIndex(log.names()[static_cast<size_t>(point)]) : 0;
  };
  for (const TurnedReading& reading : TurnedFromBacksight(log, wanted)) {
    if (std::isnan(reading.angle) || reading.setup < 0 || reading.setup >= log.setup_count()) {
      continue;
    }
    const double turned =
        CoordinateAngle(tables, station(log.setups()[static_cast<size_t>(reading.setup)].station),
                        station(reading.backsight), station(reading.point));
    if (std::isnan(turned)) continue;
    candidates.at(reading.source).coordinate_off =
        std::remainder(reading.angle - turned, TWO_PI) * MINUTES_PER_RADIAN;
  }
  for (auto [one, two] : pairs) {
    if (std::isnan(one->coordinate_off) || std::isnan(two->coordinate_off)) continue;
    if (std::fabs(one->coordinate_off) > std::fabs(two->coordinate_off)) std::swap(one, two);
    if (std::fabs(two->coordinate_off) - std::fabs(one->coordinate_off) >
        std::fabs(two->coordinate_off - one->coordinate_off) / 2.0) {
      one->agrees_with_coordinates = true;
    }
  }
}

// Why a reading was taken rather than the other reading of its face pair, which explains as many
// rows; empty when it was not a tie of a face pair.
std::string FacePairChoice(const CheckInput& input, const Candidate& taken, size_t twin_count,
                           size_t count) {
  if (taken.twin == nullptr || twin_count != count) return std::string();
  if (taken.twin->agrees_with_coordinates) {
    return fmt::format("; of its face pair, the one farther from the coordinates ({:.1f}')",
                       std::fabs(taken.coordinate_off));
  }
  if (taken.agrees_with_coordinates || taken.twin->source < taken.source) return std::string();
  return input.approx_computed
             ? "; of its face pair, the earlier reading: the coordinates do not tell them apart"
             : "; of its face pair, the earlier reading: no coordinates to tell them apart";
}

// The error of a vector: the mean misclosure its failing loops carry, else its own misfit
// in the worst repeat row. NaN where neither speaks.
std::array<double, 3> VectorError(const Candidate& candidate,
                                  const std::vector<VectorEvidence>& evidence,
                                  const FlaggedRef& worst) {
  const size_t observation = static_cast<size_t>(candidate.observation);
  if (candidate.observation > 0 && observation < evidence.size() &&
      evidence[observation].failing_loops > 0) {
    const VectorEvidence& found = evidence[observation];
    const double n = found.failing_loops;
    return {found.north / n * MM_PER_M, found.east / n * MM_PER_M, found.up / n * MM_PER_M};
  }
  if (worst.section->name == "repeated_vectors" && worst.row->values.size() >= 3) {
    return {worst.row->values[0], worst.row->values[1], worst.row->values[2]};
  }
  return {NO_VALUE, NO_VALUE, NO_VALUE};
}

}  // namespace

void FindSuspects(const CheckInput& input, const std::vector<VectorEvidence>& evidence,
                  CheckReport& report) {
  CheckSection section = MakeSection(
      std::string(SUSPECTS_SECTION), "Suspect observations",
      "the fewest single observations that explain the flagged repeats, loops, face pairs, "
      "closing backsights and gross checks, the one in most flagged rows first; a vector that "
      "closes a loop within its limits is never a suspect of a flagged loop");
  section.columns = {{"rows", 0}, {"dN mm", 1}, {"dE mm", 1}, {"dU mm", 1}, {"3D mm", 1}};

  std::vector<FlaggedRef> flagged;
  for (const CheckSection& checked : report.sections) {
    if (!Explained(checked)) continue;
    for (const CheckRow& row : checked.rows) {
      if (row.flagged) flagged.push_back({&checked, &row});
    }
  }
  std::map<SourceLocation, Candidate> candidates = Candidates(input, evidence, flagged);
  WeighFacePairs(input, flagged, candidates);
  // Counts only fall as rows get explained, so a candidate popped with a count that is still
  // true beats every other (lazy greedy); of a tie, a reading that opens a round comes last, then
  // a reading of a face pair that the coordinates side with, then the earliest in reading order
  // wins.
  struct Entry {
    size_t count;
    Candidate* candidate;
    bool operator<(const Entry& other) const {
      if (count != other.count) return count < other.count;
      if (candidate->opens_round != other.candidate->opens_round) return candidate->opens_round;
      if (candidate->agrees_with_coordinates != other.candidate->agrees_with_coordinates) {
        return candidate->agrees_with_coordinates;
      }
      return candidate->source > other.candidate->source;
    }
  };
  std::priority_queue<Entry> queue;
  for (auto& [source, candidate] : candidates) {
    if (!candidate.excluded) queue.push({candidate.rows.size(), &candidate});
  }

  std::vector<bool> explained(flagged.size(), false);
  std::vector<CheckRow> rows;
  while (!queue.empty()) {
    const Entry top = queue.top();
    queue.pop();
    const auto unexplained = [&](const Candidate& candidate) {
      return static_cast<size_t>(std::count_if(candidate.rows.begin(), candidate.rows.end(),
                                               [&](size_t f) { return !explained[f]; }));
    };
    const size_t count = unexplained(*top.candidate);
    if (count == 0) continue;
    if (count < top.count) {
      queue.push({count, top.candidate});
      continue;
    }
    Candidate* best = top.candidate;
    const size_t twin_count = best->twin != nullptr ? unexplained(*best->twin) : 0;

    CheckRow& row = rows.emplace_back();
    row.stations = best->stations;
    row.sources = {best->source};
    if (best->observation > 0) row.observations = {best->observation};
    row.flagged = true;
    std::vector<size_t> explains;
    for (const size_t f : best->rows) {
      if (explained[f]) continue;
      explained[f] = true;
      explains.push_back(f);
      row.ratio = std::max(row.ratio, flagged[f].row->ratio);
    }
    const FlaggedRef& worst =
        flagged[*std::max_element(explains.begin(), explains.end(), [&](size_t a, size_t b) {
          return flagged[a].row->ratio < flagged[b].row->ratio;
        })];
    const auto [n, e, u] = VectorError(*best, evidence, worst);
    row.values = {static_cast<double>(explains.size()), n, e, u,
                  std::isnan(n) ? NO_VALUE : std::sqrt(n * n + e * e + u * u)};
    row.note = SourceName(input, best->source) + " explains ";
    for (size_t k = 0; k < explains.size() && k < ROWS_NAMED; ++k) {
      if (k > 0) row.note += "; ";
      row.note += RowText(flagged[explains[k]]);
    }
    if (explains.size() > ROWS_NAMED) {
      row.note += fmt::format("; and {} more", explains.size() - ROWS_NAMED);
    }
    row.note += FacePairChoice(input, *best, twin_count, count);
  }
  section.rows = std::move(rows);
  report.sections.insert(report.sections.begin(), std::move(section));
}

}  // namespace fenwix

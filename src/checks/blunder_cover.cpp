// The suspects: the fewest single observations that explain the flagged rows.
//
// An observation is one XML element (a vector, or one total-station reading), known by the
// file and line it starts on. Each flagged row of the repeats, loops, face pairs, closing
// backsights and gross checks names the elements behind it; the observation in the most rows not
// yet explained is taken first, until every row is explained or no candidate is left. A vector that
// closes some loop within its limits agrees with the network and is never taken for a flagged loop.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <queue>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "checks/check_support.h"
#include "checks/run_checks.h"

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
  // Counts only fall as rows get explained, so a candidate popped with a count that is still
  // true beats every other (lazy greedy); of a tie, a reading that opens a round comes last, then
  // the earliest in reading order wins.
  struct Entry {
    size_t count;
    Candidate* candidate;
    bool operator<(const Entry& other) const {
      if (count != other.count) return count < other.count;
      if (candidate->opens_round != other.candidate->opens_round) return candidate->opens_round;
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
    const size_t count =
        static_cast<size_t>(std::count_if(top.candidate->rows.begin(), top.candidate->rows.end(),
                                          [&](size_t f) { return !explained[f]; }));
    if (count == 0) continue;
    if (count < top.count) {
      queue.push({count, top.candidate});
      continue;
    }
    Candidate* best = top.candidate;

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
  }
  section.rows = std::move(rows);
  report.sections.insert(report.sections.begin(), std::move(section));
}

}  // namespace fenwix

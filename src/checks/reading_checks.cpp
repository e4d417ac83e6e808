// Checks on the raw total-station readings: both faces of one pointing against each other, and
// the closing backsight of a round against the opening one.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "checks/check_support.h"
#include "checks/run_checks.h"
#include "geodesy/angles.h"
#include "reduce/face_reduction.h"

namespace fenwix {

namespace {

using namespace check_support;

// Readings after a pointing searched for its other face: a round of a few dozen targets.
constexpr size_t PAIR_SEARCH = 64;

// An angle brought into [-π, π).
double Reduced(double angle) {
  return std::remainder(angle, TWO_PI);
}

// Mean of directions that may straddle zero: each taken within half a turn of the first.
struct DirectionMean {
  double first = 0.0;
  double offset_sum = 0.0;
  int count = 0;
  void Add(double direction) {
    if (count == 0) first = direction;
    offset_sum += Reduced(direction - first);
    ++count;
  }
  double Mean() const { return first + offset_sum / count; }
};

// What a run of backsight readings to one point gives.
struct BacksightRun {
  int32_t point = 0;
  SourceLocation source;
  DirectionMean face_one;
  DirectionMean face_two;
  DirectionMean reduced;  // face two turned by half a circle
  double distance_sum = 0.0;
  int distance_count = 0;
};

const std::string& PointName(const ReadingLog& log, int32_t point) {
  return log.names()[static_cast<size_t>(point)];
}

// The limits of each field file's readings, from the instrument it was weighted with.
struct FileLimits {
  std::vector<CheckLimits> by_file;  // one per field file, or one for every file
  CheckLimits listed;                // as a section lists them: NaN where the files differ
  const CheckLimits& Of(int32_t file) const {
    const size_t k = static_cast<size_t>(file);
    return k < by_file.size() ? by_file[k] : by_file.front();
  }
};

FileLimits LimitsByFile(const CheckInput& input, const CheckLimits& given,
                        std::vector<LimitOrigin>& origins, double multiple) {
  FileLimits limits;
  const std::vector<InstrumentProfile>& instruments = input.instruments;
  if (instruments.size() < 2) {
    limits.by_file = {ReadingLimits(given, instruments.empty() ? nullptr : &instruments.front(),
                                    &origins, std::string(), multiple)};
    limits.listed = limits.by_file.front();
    return limits;
  }
  // One set of limits per distinct instrument, its head lines naming the files read with it.
  const std::vector<std::string> labels = FileLabels(input.files);
  std::vector<size_t> first_of(instruments.size());
  for (size_t k = 0; k < instruments.size(); ++k) {
    first_of[k] = static_cast<size_t>(
        std::find(instruments.begin(), instruments.end(), instruments[k]) - instruments.begin());
  }
  const bool one = std::all_of(first_of.begin(), first_of.end(), [](size_t f) { return f == 0; });
  limits.by_file.resize(instruments.size());
  for (size_t k = 0; k < instruments.size(); ++k) {
    if (first_of[k] != k) {
      limits.by_file[k] = limits.by_file[first_of[k]];
      continue;
    }
    std::string files;
    for (size_t j = k; !one && j < instruments.size(); ++j) {
      if (first_of[j] != k) continue;
      if (!files.empty()) files += ", ";
      files += j < labels.size() ? labels[j] : std::to_string(j + 1);
    }
    limits.by_file[k] = ReadingLimits(given, &instruments[k], &origins, files, multiple);
  }
  limits.listed = limits.by_file.front();
  for (const CheckLimitField& field : CheckLimitFields()) {
    for (const CheckLimits& file : limits.by_file) {
      if (file.*field.value != limits.listed.*field.value) limits.listed.*field.value = NAN;
    }
  }
  return limits;
}

std::string SetupStation(const ReadingLog& log, int32_t setup) {
  if (setup < 0 || setup >= log.setup_count()) return std::string();
  return PointName(log, log.setups()[static_cast<size_t>(setup)].station);
}

CheckSection FaceCheck(const ReadingLog& log, const FileLimits& file_limits) {
  const CheckLimits& listed = file_limits.listed;
  CheckSection section =
      MakeSection("face_pairs", "Face one against face two",
                  "|2C| over collimation_seconds, |index| over index_seconds, distance spread over "
                  "face_distance_mm, or prism height changed by more than prism_change_mm");
  section.columns = {{"2C \"", 1}, {"index \"", 1}, {"spread mm", 1}, {"prism mm", 1}};
  section.limits = {{"collimation_seconds", listed.collimation_seconds},
                    {"index_seconds", listed.index_seconds},
                    {"face_distance_mm", listed.face_distance_mm},
                    {"prism_change_mm", listed.prism_change_mm}};
  const auto& readings = log.readings();
  // A pointing read on one face is read on the other at once or when the round comes back: each
  // reading pairs with the next unpaired reading of its setup to the same point on the other
  // face, looked for among the next PAIR_SEARCH readings.
  std::vector<bool> paired(readings.size(), false);
  for (size_t i = 0; i < readings.size(); ++i) {
    const RawReading& a = readings[i];
    if (paired[i] || a.point == 0 || a.face == FACE_UNKNOWN) continue;
    size_t j = i + 1;
    const size_t end = std::min(readings.size(), i + 1 + PAIR_SEARCH);
    for (; j < end && readings[j].setup == a.setup; ++j) {
      const RawReading& c = readings[j];
      if (!paired[j] && c.face != FACE_UNKNOWN && c.face != a.face &&
          PointName(log, c.point) == PointName(log, a.point)) {
        break;
      }
    }
    if (j >= end || readings[j].setup != a.setup) continue;
    paired[i] = paired[j] = true;
    const RawReading& b = readings[j];
    const RawReading& one = a.face == FACE_ONE ? a : b;
    const RawReading& two = a.face == FACE_ONE ? b : a;
    const CheckLimits& limits = file_limits.Of(a.source.file);
    CheckRow& row = section.rows.emplace_back();
    row.stations = {SetupStation(log, a.setup), PointName(log, a.point)};
    row.sources = {a.source, b.source};
    const double collimation =
        Given(one.horiz_angle) && Given(two.horiz_angle)
            ? Reduced(two.horiz_angle - one.horiz_angle - PI) * SECONDS_PER_RADIAN
            : NO_VALUE;
    const double index = Given(one.zenith) && Given(two.zenith)
                             ? (one.zenith + two.zenith - TWO_PI) / 2.0 * SECONDS_PER_RADIAN
                             : NO_VALUE;
    const double spread = Given(one.slope_dist) && Given(two.slope_dist)
                              ? (two.slope_dist - one.slope_dist) * MM_PER_M
                              : NO_VALUE;
    const double prism = Given(one.prism_height) && Given(two.prism_height)
                             ? (two.prism_height - one.prism_height) * MM_PER_M
                             : NO_VALUE;
    row.values = {collimation, index, spread, prism};
    const double ratios[] = {Ratio(std::fabs(collimation), limits.collimation_seconds),
                             Ratio(std::fabs(index), limits.index_seconds),
                             Ratio(std::fabs(spread), limits.face_distance_mm),
                             Ratio(std::fabs(prism), limits.prism_change_mm)};
    const std::string_view notes[] = {COLLIMATION_NOTE, "index error over its limit",
                                      "distance spread over its limit", "prism height changed"};
    const double values[] = {collimation, index, spread, prism};
    const double bounds[] = {limits.collimation_seconds, limits.index_seconds,
                             limits.face_distance_mm, limits.prism_change_mm};
    for (int k = 0; k < 4; ++k) {
      if (std::isnan(values[k])) continue;
      if (ratios[k] > row.ratio) row.ratio = ratios[k];
      if (std::fabs(values[k]) > bounds[k]) {
        if (!row.flagged) row.note = std::string(notes[k]);
        row.flagged = true;
      }
    }
  }
  return section;
}

CheckSection BacksightCheck(const ReadingLog& log, const FileLimits& file_limits) {
  CheckSection section = MakeSection(
      "closing_backsight", "Closing backsight of a round",
      "closing direction differs from the opening one by more than backsight_seconds, or the "
      "distances by more than backsight_distance_mm");
  section.columns = {{"direction \"", 1}, {"distance mm", 1}};
  section.limits = {{"backsight_seconds", file_limits.listed.backsight_seconds},
                    {"backsight_distance_mm", file_limits.listed.backsight_distance_mm}};
  const auto& readings = log.readings();
  BacksightRun opening;
  bool have_opening = false;
  bool foresight_since = false;
  int32_t setup = -2;
  for (size_t i = 0; i < readings.size();) {
    const RawReading& first = readings[i];
    if (first.setup != setup) {
      setup = first.setup;
      have_opening = false;
      foresight_since = false;
    }
    if (first.type != ReadingType::Backsight) {
      foresight_since = true;
      ++i;
      continue;
    }
    BacksightRun run;
    run.point = first.point;
    run.source = first.source;
    for (; i < readings.size() && readings[i].setup == setup &&
           readings[i].type == ReadingType::Backsight;
         ++i) {
      const RawReading& r = readings[i];
      if (Given(r.horiz_angle) && r.face != FACE_UNKNOWN) {
        (r.face == FACE_ONE ? run.face_one : run.face_two).Add(r.horiz_angle);
        run.reduced.Add(FaceOneDirection(r.horiz_angle, r.face));
      }
      if (Given(r.slope_dist)) {
        run.distance_sum += r.slope_dist;
        ++run.distance_count;
      }
    }
    if (have_opening && foresight_since && run.point != 0 &&
        PointName(log, run.point) == PointName(log, opening.point)) {
      // Same face where both rounds have it, so that collimation does not enter; else both
      // reduced to face one.
      double difference = NO_VALUE;
      if (opening.face_one.count > 0 && run.face_one.count > 0) {
        difference = run.face_one.Mean() - opening.face_one.Mean();
      } else if (opening.face_two.count > 0 && run.face_two.count > 0) {
        difference = run.face_two.Mean() - opening.face_two.Mean();
      } else if (opening.reduced.count > 0 && run.reduced.count > 0) {
        difference = run.reduced.Mean() - opening.reduced.Mean();
      }
      if (!std::isnan(difference)) difference = Reduced(difference) * SECONDS_PER_RADIAN;
      const double distance = opening.distance_count > 0 && run.distance_count > 0
                                  ? (run.distance_sum / run.distance_count -
                                     opening.distance_sum / opening.distance_count) *
                                        MM_PER_M
                                  : NO_VALUE;
      const CheckLimits& limits = file_limits.Of(run.source.file);
      CheckRow& row = section.rows.emplace_back();
      row.stations = {SetupStation(log, setup), PointName(log, run.point)};
      row.sources = {opening.source, run.source};
      row.values = {difference, distance};
      const bool direction_off =
          !std::isnan(difference) && std::fabs(difference) > limits.backsight_seconds;
      const bool distance_off =
          !std::isnan(distance) && std::fabs(distance) > limits.backsight_distance_mm;
      row.flagged = direction_off || distance_off;
      if (!std::isnan(difference))
        row.ratio = Ratio(std::fabs(difference), limits.backsight_seconds);
      if (!std::isnan(distance)) {
        row.ratio = std::max(row.ratio, Ratio(std::fabs(distance), limits.backsight_distance_mm));
      }
      if (row.flagged) {
        row.note =
            direction_off ? "backsight direction does not close" : "backsight distance differs";
      }
    }
    // Each closing backsight opens the next round.
    opening = run;
    have_opening = true;
    foresight_since = false;
  }
  return section;
}

}  // namespace

std::vector<TurnedReading> TurnedFromBacksight(const ReadingLog& log,
                                               const std::vector<SourceLocation>& wanted) {
  std::vector<TurnedReading> turned;
  if (wanted.empty()) return turned;
  BacksightRun round;  // the backsight readings that opened the round read now
  int32_t setup = -2;
  bool in_backsight = false;
  for (const RawReading& r : log.readings()) {
    if (r.setup != setup) {
      setup = r.setup;
      round = BacksightRun{};
      in_backsight = false;
    }
    if (r.type == ReadingType::Backsight) {
      // A closing backsight opens the next round.
      if (!in_backsight) {
        round = BacksightRun{};
        round.point = r.point;
      }
      in_backsight = true;
      if (Given(r.horiz_angle) && r.face != FACE_UNKNOWN) {
        (r.face == FACE_ONE ? round.face_one : round.face_two).Add(r.horiz_angle);
      }
      continue;
    }
    in_backsight = false;
    if (!std::binary_search(wanted.begin(), wanted.end(), r.source)) continue;
    TurnedReading& reading = turned.emplace_back(TurnedReading{.source = r.source,
                                                               .setup = r.setup,
                                                               .backsight = round.point,
                                                               .point = r.point,
                                                               .angle = NO_VALUE});
    if (!Given(r.horiz_angle) || r.face == FACE_UNKNOWN) continue;
    const DirectionMean& same = r.face == FACE_ONE ? round.face_one : round.face_two;
    const DirectionMean& other = r.face == FACE_ONE ? round.face_two : round.face_one;
    if (same.count > 0) {
      reading.angle = Reduced(r.horiz_angle - same.Mean());
    } else if (other.count > 0) {
      reading.angle = Reduced(r.horiz_angle - other.Mean() - PI);
    }
  }
  return turned;
}

namespace {

// The quantities of the sections' columns whose limits come from σ: 2C, index and distance
// spread of the face pairs, direction and distance of the closing backsights (a prism height is
// typed, not measured).
int64_t ComparedQuantities(const CheckSection& faces, const CheckSection& backsights) {
  int64_t n = 0;
  for (const CheckRow& row : faces.rows) {
    for (size_t k = 0; k < 3 && k < row.values.size(); ++k) n += !std::isnan(row.values[k]);
  }
  for (const CheckRow& row : backsights.rows) {
    for (size_t k = 0; k < 2 && k < row.values.size(); ++k) n += !std::isnan(row.values[k]);
  }
  return n;
}

}  // namespace

void CheckReadings(const CheckInput& input, const CheckLimits& limits, CheckReport& report) {
  // The pairs are found once to count them, then judged at the family's limits.
  std::vector<LimitOrigin> unused;
  const FileLimits counting = LimitsByFile(input, limits, unused, LINE_MULTIPLE);
  const int64_t quantities =
      ComparedQuantities(FaceCheck(*input.log, counting), BacksightCheck(*input.log, counting));
  const FileLimits file_limits =
      LimitsByFile(input, limits, report.limit_origins, ReadingFamilyMultiple(quantities));
  report.sections.push_back(FaceCheck(*input.log, file_limits));
  report.sections.push_back(BacksightCheck(*input.log, file_limits));
}

}  // namespace fenwix

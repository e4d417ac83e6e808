// A job read in the wrong unit disagrees with its coordinates in a telling way: where GNSS
// vectors (always meters) place the stations, every total-station distance is off by the foot's
// ratio, or every angle by the gon's, one way or the other.

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "checks/check_support.h"
#include "checks/run_checks.h"
#include "geodesy/angles.h"

namespace fenwix {

namespace {

using namespace check_support;

// The international foot and the US survey foot, meters.
constexpr double INTERNATIONAL_FOOT_M = 0.3048;
constexpr double US_SURVEY_FOOT_M = 1200.0 / 3937.0;
// A gon, degrees.
constexpr double GON_DEGREES = 0.9;
// Fewest rows that make a ratio a finding rather than a coincidence.
constexpr int32_t MIN_RATIO_ROWS = 3;
// A distance's ratio to the computed one may miss a unit's by this share: the coordinates carry
// decimetres over a few hundred meters, a part in a thousand, while the feet's ratios stand
// apart from each other by 2 ppm and from 1 by a factor of three.
constexpr double DISTANCE_RATIO_TOLERANCE = 0.005;
// An angle may miss the computed one times the gon's ratio by this much, radians: minutes and
// seconds read as decimals of a gon, or the reverse, move each direction by up to 0.7 degrees.
constexpr double ANGLE_RATIO_TOLERANCE = 2.0 * std::numbers::pi / 180.0;

struct Tally {
  int32_t matched = 0;
  // Matched rows that would disagree beyond the tolerance without the ratio: only they tell.
  int32_t telling = 0;
  std::vector<double> ratios;
  std::vector<SourceLocation> sources;
  std::vector<int32_t> observations;

  void Add(const CheckRow& row, bool tells, double ratio) {
    ++matched;
    telling += tells ? 1 : 0;
    ratios.push_back(ratio);
    sources.insert(sources.end(), row.sources.begin(), row.sources.end());
    observations.insert(observations.end(), row.observations.begin(), row.observations.end());
  }
  // Most of the counted rows, and enough that tell.
  bool Holds(int32_t counted) const { return telling >= MIN_RATIO_ROWS && 2 * matched > counted; }
  double Median() {
    std::nth_element(ratios.begin(),
                     ratios.begin() + static_cast<std::ptrdiff_t>(ratios.size() / 2), ratios.end());
    return ratios[ratios.size() / 2];
  }
  CheckRow Row(std::string note) const {
    CheckRow row;
    row.sources = sources;
    row.observations = observations;
    row.note = std::move(note);
    row.flagged = true;
    return row;
  }
};

bool Near(double ratio, double unit, double tolerance) {
  return std::fabs(ratio / unit - 1.0) < tolerance;
}

// The smallest misfit of `angle` to `ratio` times the computed angle, taken either way round
// the circle (a reading past the zero wraps in the unit it was read in).
double AngleMisfit(double angle, double computed, double ratio) {
  const double turned = std::fmod(std::fmod(computed, TWO_PI) + TWO_PI, TWO_PI);
  return std::min(std::fabs(std::remainder(angle - ratio * turned, TWO_PI)),
                  std::fabs(std::remainder(angle - ratio * (turned - TWO_PI), TWO_PI)));
}

}  // namespace

std::vector<CheckRow> UnitRatioRows(const CheckInput& input, const CheckSection& gross) {
  Tally long_by_feet;   // feet read as meters
  Tally short_by_feet;  // meters read as feet
  Tally gons_as_degrees;
  Tally degrees_as_gons;
  int32_t distances = 0;
  int32_t angles = 0;
  for (const CheckRow& row : gross.rows) {
    if (!row.flagged || row.values.size() < 4) continue;
    const double distance = row.values[0];
    const double computed = row.values[1];
    if (Given(distance) && Given(computed) && computed > 0.0) {
      ++distances;
      const double ratio = distance / computed;
      if (Near(ratio, 1.0 / INTERNATIONAL_FOOT_M, DISTANCE_RATIO_TOLERANCE)) {
        long_by_feet.Add(row, true, ratio);
      } else if (Near(ratio, INTERNATIONAL_FOOT_M, DISTANCE_RATIO_TOLERANCE)) {
        short_by_feet.Add(row, true, ratio);
      }
    }
    const double off = row.values[3] / MINUTES_PER_RADIAN;
    if (!Given(row.values[3]) || row.observations.empty()) continue;
    const auto r = static_cast<size_t>(row.observations[0]);
    if (r >= input.tables->observations().size()) continue;
    const double angle = input.tables->observations()[r].horiz_angle();
    if (!Given(angle)) continue;
    ++angles;
    const bool tells = std::fabs(off) > 2.0 * ANGLE_RATIO_TOLERANCE;
    for (auto [ratio, tally] : {std::pair{1.0 / GON_DEGREES, &gons_as_degrees},
                                std::pair{GON_DEGREES, &degrees_as_gons}}) {
      if (AngleMisfit(angle, angle - off, ratio) < ANGLE_RATIO_TOLERANCE) {
        tally->Add(row, tells, ratio);
      }
    }
  }

  std::vector<CheckRow> rows;
  const auto counted = [](int32_t matched, int32_t of, const char* what) {
    return fmt::format("{} of {} {} that disagree with the coordinates", matched, of, what);
  };
  if (long_by_feet.Holds(distances)) {
    const double median = long_by_feet.Median();
    const bool us =
        std::fabs(median - 1.0 / US_SURVEY_FOOT_M) < std::fabs(median - 1.0 / INTERNATIONAL_FOOT_M);
    rows.push_back(long_by_feet.Row(fmt::format(
        "{} are {:.6f} times what the coordinates give, the ratio of the {}: the job looks like "
        "it is in feet read as meters. {} (in the dialog, Options → Distance unit)",
        counted(long_by_feet.matched, distances, "distances"), median,
        us ? "US survey foot (3937/1200)" : "international foot (1/0.3048)",
        us ? "--distance-unit usft reads US survey feet, --distance-unit ft international feet"
           : "--distance-unit ft reads international feet, --distance-unit usft US survey feet")));
  }
  if (short_by_feet.Holds(distances)) {
    rows.push_back(short_by_feet.Row(fmt::format(
        "{} are {:.6f} times what the coordinates give, the ratio of a foot to a meter: the job "
        "looks like it is in meters read as feet. --distance-unit m reads meters (in the dialog, "
        "Options → Distance unit)",
        counted(short_by_feet.matched, distances, "distances"), short_by_feet.Median())));
  }
  if (gons_as_degrees.Holds(angles)) {
    rows.push_back(gons_as_degrees.Row(fmt::format(
        "{} are about 10/9 of what the coordinates give, the ratio of a degree to a gon: the "
        "job's angles look like gons read as DD.MMSSsssss degrees. --angle-unit gon reads gons "
        "(in the dialog, Options → Angle unit)",
        counted(gons_as_degrees.matched, angles, "angles"))));
  }
  if (degrees_as_gons.Holds(angles)) {
    rows.push_back(degrees_as_gons.Row(fmt::format(
        "{} are about 9/10 of what the coordinates give, the ratio of a gon to a degree: the "
        "job's angles look like DD.MMSSsssss degrees read as gons. --angle-unit dms reads "
        "packed degrees (in the dialog, Options → Angle unit)",
        counted(degrees_as_gons.matched, angles, "angles"))));
  }
  return rows;
}

}  // namespace fenwix

#include "adjust/seed_check.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include <fmt/format.h>

#include "geodesy/angles.h"

namespace fenwix {

namespace {

constexpr double NOT_KNOWN = std::numeric_limits<double>::quiet_NaN();
// Distances between seeds on a sphere of the earth's mean radius: a slip moves the seed by
// kilometres to thousands of kilometres, a fit is judged to tens of meters.
constexpr double EARTH_RADIUS = 6371000.0;
// A clean run's estimate farther than this from the seed given, meters, may be off by more than
// its σ says (the verticals turned by degrees in one run): the slips are then tried by running
// again from each.
constexpr double RERUN_OFFSET = 5000.0;
constexpr double SLIP_SHARE = 0.01;

double Distance(double lat1, double lon1, double lat2, double lon2) {
  const double a = std::pow(std::sin(0.5 * (lat2 - lat1)), 2) +
                   std::cos(lat1) * std::cos(lat2) * std::pow(std::sin(0.5 * (lon2 - lon1)), 2);
  return 2.0 * EARTH_RADIUS * std::asin(std::min(1.0, std::sqrt(a)));
}

// The seed where one run of the test puts it: the position given moved by the tilt of the seed's
// part, with the σ of that shift (scaled by σ̂0 where the data are worse than their weights).
struct Estimate {
  double latitude = 0.0;
  double longitude = 0.0;
  double sigma = 0.0;
  size_t rejected = 0;
};

std::optional<Estimate> EstimateOf(const AdjustmentResult& result, const SeedGiven& given,
                                   double latitude, double longitude) {
  if (result.outcome != AdjustmentOutcome::Done) return std::nullopt;
  int32_t part = -1;
  if (given.station >= 0 && static_cast<size_t>(given.station) < result.stations.size())
    part = result.stations[static_cast<size_t>(given.station)].part;
  const auto tilt =
      std::find_if(result.tilts.begin(), result.tilts.end(),
                   [part](const VerticalTilt& t) { return part < 0 || t.part == part; });
  if (tilt == result.tilts.end()) return std::nullopt;
  const double s0 = std::max(result.sigma0, 1.0);
  const double north = s0 * std::sqrt(std::max(tilt->cofactor[0], 0.0)) * EARTH_RADIUS;
  const double east =
      s0 * std::sqrt(std::max(tilt->cofactor[2], 0.0)) * EARTH_RADIUS * std::cos(latitude);
  Estimate e;
  e.latitude = latitude + tilt->latitude;
  e.longitude = std::remainder(longitude + tilt->longitude, 2.0 * PI);
  e.sigma = std::sqrt(0.5 * (north * north + east * east));
  e.rejected = result.rejected.size();
  return e;
}

double Reach(const Estimate& e, double tolerance) {
  return std::max(3.0 * e.sigma, tolerance);
}

bool ValidPacked(double packed, double limit) {
  const double magnitude = std::abs(packed);
  if (!std::isfinite(packed) || magnitude > limit) return false;
  const Dms dms = SplitDms(magnitude);
  return dms.minutes < 60.0 && dms.seconds < 60.0;
}

// A seed the surveyor may have meant, and the slip that would have made the one given.
struct Candidate {
  double latitude = 0.0;  // packed
  double longitude = 0.0;
  std::string slip;
  bool typed = true;  // a slip of the format (tried by running again), not a digit
};

std::string Shown(double packed) {
  return fmt::format("{}", packed);
}

void AddFormatSlips(const SeedGiven& g, std::vector<Candidate>& out) {
  const double lat = g.latitude, lon = g.longitude;
  // Decimal degrees typed into the DD.MMSS field: the number is the angle in degrees.
  const auto as_decimal = [](double packed) { return RadiansToDms(packed / DEGREES_PER_RADIAN); };
  // DD.MMSS taken for decimal degrees and converted: the degrees of the angle given are the
  // packed number meant.
  const auto as_packed = [](double packed) { return DmsToRadians(packed) * DEGREES_PER_RADIAN; };
  const std::string la = Shown(lat), lo = Shown(lon);
  out.push_back(
      {as_decimal(lat), lon, "the seed's latitude " + la + " looks like decimal degrees"});
  out.push_back(
      {lat, as_decimal(lon), "the seed's longitude " + lo + " looks like decimal degrees"});
  out.push_back(
      {as_decimal(lat), as_decimal(lon),
       "the seed's latitude " + la + " and longitude " + lo + " look like decimal degrees"});
  for (const bool both : {false, true}) {
    const double l = as_packed(lat), m = as_packed(lon);
    if (!ValidPacked(l, 90.0) || (both && !ValidPacked(m, 180.0))) continue;
    out.push_back({l, both ? m : lon,
                   both ? "the seed's latitude " + la + " and longitude " + lo +
                              " look converted from DD.MMSS as if decimal degrees"
                        : "the seed's latitude " + la +
                              " looks converted from DD.MMSS as if decimal degrees"});
  }
  if (ValidPacked(as_packed(lon), 180.0)) {
    out.push_back(
        {lat, as_packed(lon),
         "the seed's longitude " + lo + " looks converted from DD.MMSS as if decimal degrees"});
  }
  // Mostly a minus sign left off; a sign typed where none belongs reads the same.
  const auto sign = [](double packed) {
    return packed < 0.0 ? " looks to have a minus sign too many" : " looks to lack its minus sign";
  };
  if (lat != 0.0) out.push_back({-lat, lon, "the seed's latitude " + la + sign(lat)});
  if (lon != 0.0) out.push_back({lat, -lon, "the seed's longitude " + lo + sign(lon)});
  if (std::abs(lon) <= 90.0) {
    out.push_back(
        {lon, lat, "the seed's latitude " + la + " and longitude " + lo + " look swapped"});
  }
}

// Every value one digit away from the packed number as the surveyor would read it.
void AddDigitSlips(double packed, bool latitude, double other, std::vector<Candidate>& out) {
  const std::string text = Shown(packed);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') continue;
    for (char d = '0'; d <= '9'; ++d) {
      if (d == text[i]) continue;
      std::string changed = text;
      changed[i] = d;
      const double value = std::strtod(changed.c_str(), nullptr);
      if (!ValidPacked(value, latitude ? 90.0 : 180.0)) continue;
      Candidate c;
      c.latitude = latitude ? value : other;
      c.longitude = latitude ? other : value;
      c.slip = std::string("the seed's ") + (latitude ? "latitude " : "longitude ") + text +
               " looks to have a digit off";
      c.typed = false;
      out.push_back(c);
    }
  }
}

std::string FitWords(const SeedGiven& g, const Candidate& c, double distance) {
  const bool lat = c.latitude != g.latitude, lon = c.longitude != g.longitude;
  std::string where;
  if (lat && lon) {
    where = "latitude " + DmsWords(DmsToRadians(c.latitude)) + " and longitude " +
            DmsWords(DmsToRadians(c.longitude)) + " fit";
  } else {
    where = DmsWords(DmsToRadians(lat ? c.latitude : c.longitude)) + " fits";
  }
  return fmt::format("{}: {} the network within {:.0f} m", c.slip, where,
                     std::max(1.0, std::ceil(distance)));
}

}  // namespace

std::string PackedWords(double packed) {
  std::string text = fmt::format("{:.5f}", packed);
  while (text.size() > 1 && text.back() == '0' && text[text.size() - 2] != '.') text.pop_back();
  return text;
}

std::string DmsWords(double radians) {
  const double seconds_total = std::round(std::abs(radians) * DEGREES_PER_RADIAN * 3600.0);
  const auto whole = static_cast<long long>(seconds_total);
  return fmt::format("{}{}\u00b0{:02}\u2032{:02}\u2033", radians < 0.0 ? "-" : "", whole / 3600,
                     (whole / 60) % 60, whole % 60);
}

SeedCheck CheckSeed(const AdjustmentResult& result, const SeedGiven& given, double tolerance_m,
                    const SeedRerun& rerun) {
  SeedCheck check;
  check.ran = true;
  check.tolerance_m = tolerance_m;
  check.estimated_latitude_deg = check.estimated_longitude_deg = NOT_KNOWN;
  check.sigma_m = check.offset_m = NOT_KNOWN;
  check.suggested_latitude = given.latitude;
  check.suggested_longitude = given.longitude;
  const double lat0 = DmsToRadians(given.latitude), lon0 = DmsToRadians(given.longitude);
  const std::optional<Estimate> estimate = EstimateOf(result, given, lat0, lon0);
  const auto take = [&](const Estimate& e) {
    check.estimated_latitude_deg = e.latitude * DEGREES_PER_RADIAN;
    check.estimated_longitude_deg = e.longitude * DEGREES_PER_RADIAN;
    check.sigma_m = e.sigma;
    check.offset_m = Distance(lat0, lon0, e.latitude, e.longitude);
    check.suggested_latitude = RadiansToDms(e.latitude);
    check.suggested_longitude = RadiansToDms(e.longitude);
  };
  if (estimate) {
    take(*estimate);
    if (check.offset_m <= Reach(*estimate, tolerance_m)) {
      check.agrees = true;
      return check;
    }
    check.agrees = false;
  } else if (result.outcome == AdjustmentOutcome::Done) {
    check.why =
        "the job cannot tell: no part with the seed holds both GNSS vectors and zenith "
        "angles, so the position given stands";
    return check;
  } else {
    check.why = "the adjustment test did not settle";
  }

  std::vector<Candidate> candidates;
  AddFormatSlips(given, candidates);
  AddDigitSlips(given.latitude, true, given.longitude, candidates);
  AddDigitSlips(given.longitude, false, given.latitude, candidates);
  // A slip fits where the network's estimate lies within its reach of the position the slip
  // stands for, or within a small share of how far the slip moved the seed: a position read
  // from the other hemisphere is named even where the test settles a few hundred meters off.
  const auto fits = [&](const Candidate& c, const Estimate& e, double& distance) {
    const double lat = DmsToRadians(c.latitude), lon = DmsToRadians(c.longitude);
    distance = Distance(lat, lon, e.latitude, e.longitude);
    return distance <= std::max(Reach(e, tolerance_m), SLIP_SHARE * Distance(lat, lon, lat0, lon0));
  };
  const auto accept = [&](const Candidate& c, const Estimate& e, double distance) {
    take(e);
    check.agrees = false;
    check.why.clear();
    check.hint = FitWords(given, c, distance);
    check.suggested_latitude = c.latitude;
    check.suggested_longitude = c.longitude;
  };
  // The estimate of this run, where it is clean, tells each slip at once.
  if (estimate && estimate->rejected == 0) {
    const Candidate* best = nullptr;
    double best_distance = INFINITY;
    for (const Candidate& c : candidates) {
      double distance = 0.0;
      if (fits(c, *estimate, distance) && distance < best_distance) {
        best = &c;
        best_distance = distance;
      }
    }
    if (best != nullptr) {
      accept(*best, *estimate, best_distance);
      return check;
    }
    // Within the reach of one run its estimate stands, whether or not a slip explains it.
    if (check.offset_m <= RERUN_OFFSET) return check;
  }
  if (!rerun) return check;
  // Beyond what one run reaches from the seed given: the test again from each slip's position.
  const Candidate* best = nullptr;
  Estimate best_estimate;
  double best_distance = INFINITY;
  for (const Candidate& c : candidates) {
    if (!c.typed) continue;
    const double dlat = DmsToRadians(c.latitude) - lat0;
    const double dlon = std::remainder(DmsToRadians(c.longitude) - lon0, 2.0 * PI);
    const std::optional<AdjustmentResult> again = rerun(dlat, dlon);
    if (!again) break;
    const std::optional<Estimate> e = EstimateOf(*again, given, lat0, lon0);
    double distance = 0.0;
    if (!e || !fits(c, *e, distance)) continue;
    if (best == nullptr || e->rejected < best_estimate.rejected ||
        (e->rejected == best_estimate.rejected && distance < best_distance)) {
      best = &c;
      best_estimate = *e;
      best_distance = distance;
    }
  }
  if (best != nullptr) accept(*best, best_estimate, best_distance);
  return check;
}

}  // namespace fenwix

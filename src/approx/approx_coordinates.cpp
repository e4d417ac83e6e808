#include "approx/approx_coordinates.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <queue>
#include <span>
#include <utility>
#include <vector>

#include "approx/observation_index.h"
#include "approx/pending_observations.h"
#include "approx/setup_frames.h"
#include "geodesy/angles.h"
#include "geodesy/coordinates.h"
#include "geodesy/geodesic.h"
#include "geodesy/intersection.h"

namespace fenwix {

namespace {

// Lines of sight that cross at less than this (packed 0°01') are too nearly parallel to
// intersect.
const double ONE_ARC_MINUTE = DmsToRadians(0.01);
// Smallest tolerance of the distance-only search, radians (packed 0°00'01").
const double ONE_ARC_SECOND = DmsToRadians(0.0001);
// Most distances handed to an intersection.
constexpr size_t MAX_INTERSECTION_DISTANCES = 10;

// Angle between the lines of sight along two azimuths, in [0, π/2]: azimuths either side of
// north, and opposed azimuths, lie along nearly parallel lines too.
double LinesCrossAt(double azimuth1, double azimuth2) {
  const double turn = std::fabs(SmallestAngleDifference(azimuth1, azimuth2));
  return std::min(turn, PI - turn);
}

bool Usable(const Geodetic& g) {
  return g.converged && std::isfinite(g.phi) && std::isfinite(g.lam) && std::isfinite(g.h);
}

// One value of a polar sight or a GPS vector, found or not yet.
struct Slot {
  bool found = false;
  double value = 0.0;
};

// Azimuth, zenith and slope distance gathered for one sight of an unknown station.
struct SightTriple {
  Slot azimuth;
  Slot zenith;
  Slot distance;
  int count = 0;

  void Take(Slot& slot, double value) {
    if (slot.found || value == MISSING_VALUE) return;
    slot.found = true;
    slot.value = value;
    ++count;
  }
  bool complete() const { return count >= 3; }
};

class Propagation {
 public:
  // deferred, when given: a station that is itself a setup with directions to two or more
  // known stations is not intersected by distances alone but added to it; the setup fitted as a
  // frame places it better (directions and distances against each known point together).
  Propagation(SurveyTables& tables, std::vector<StationPlacement>* placements,
              std::vector<int32_t>* deferred = nullptr)
      : tables_(tables),
        placements_(placements),
        deferred_(deferred),
        index_(tables),
        e2_(PropagationEccentricitySquared()),
        known_position_(static_cast<size_t>(tables.station_count()), -1),
        seen_(static_cast<size_t>(tables.station_count()), 0) {
    if (placements_ != nullptr) {
      placements_->assign(static_cast<size_t>(tables.station_count()), StationPlacement::None);
    }
    for (int32_t i = 1; i < tables_.station_count(); ++i) {
      if (Row(i).coords_known) {
        Placed(i, StationPlacement::Seed);
        AppendKnown(i);
      } else {
        ++unknown_count_;
      }
    }
  }

  int Run(int max_steps, const PropagationProgress& keep_going) {
    keep_going_ = &keep_going;
    if (max_steps <= 0) return RunWithoutBudget();
    int32_t pos = 1;
    int steps = 0;
    while (steps < max_steps) {
      ++steps;
      const auto count_at_start = static_cast<int32_t>(known_.size());
      if (Step(pos) || Stopped()) break;
      pos = pos + 1 > count_at_start ? 1 : pos + 1;
    }
    return steps;
  }

 private:
  // Forward: the unknown station is a target of the known station's records. Backward: the
  // known station is a target of the unknown station's records.
  enum class Direction { Forward, Backward };

  StationRecord& Row(int32_t i) { return tables_.station(i); }
  const ObsRow& Record(int32_t r) const { return tables_.observations()[static_cast<size_t>(r)]; }
  // Whether station i has coordinates, from known_position_ rather than the station's row: the
  // propagation asks this of every neighbour it meets, and on a large network a small array of
  // positions stays in the cache where the rows do not.
  bool Known(int32_t i) const { return i > 0 && known_position_[static_cast<size_t>(i)] >= 0; }

  void AppendKnown(int32_t i) {
    known_position_[static_cast<size_t>(i)] = static_cast<int32_t>(known_.size());
    known_.push_back(i);
    known_height_sum_ += Row(i).height;
  }

  void Placed(int32_t i, StationPlacement how) {
    if (placements_ != nullptr) (*placements_)[static_cast<size_t>(i)] = how;
  }

  void MarkKnown(int32_t i, const Geodetic& g, StationPlacement how = StationPlacement::Observed) {
    Placed(i, how);
    StationRecord& row = Row(i);
    row.latitude = g.phi;
    row.longitude = g.lam;
    row.height = g.h;
    row.coords_known = true;
    --unknown_count_;
    AppendKnown(i);
    if (work_list_) Unblock(i);
  }

  // Without a budget every known station is visited once, in the order it became known; what a
  // visit could not place is tried again only when something it depends on became known: the
  // reference of an angle set, or the target that orients a sight on the reference. When
  // nothing is left to try, the stations near a newly known one are offered to the stall scan.
  int RunWithoutBudget() {
    work_list_ = true;
    changed_mark_.assign(static_cast<size_t>(tables_.station_count()), 0);
    for (const int32_t k : known_) Unblock(k);
    size_t visited = 0;
    int steps = 0;
    for (;;) {
      if (++steps > 1 && Stopped()) return steps;
      if (!retries_.empty()) {
        const auto [k, t] = retries_.front();
        retries_.pop_front();
        Retry(k, t);
      } else if (visited < known_.size()) {
        const int32_t s = known_[visited++];
        // The stations visited next, as the index asks.
        if (visited + 8 < known_.size()) index_.PrefetchPlace(known_[visited + 8]);
        if (visited + 2 < known_.size()) index_.PrefetchLists(known_[visited + 2]);
        Pass(s, Direction::Forward);
        Pass(s, Direction::Backward);
      } else if (!ScanChanged()) {
        return steps;
      }
    }
  }

  bool Stopped() const {
    return *keep_going_ && !(*keep_going_)(static_cast<int32_t>(known_.size()));
  }

  // Station i just became known: queue the sights that it lets another try again, and mark
  // every unknown station that shares a record with it for the stall scan.
  void Unblock(int32_t i) {
    const auto queue = [&](int32_t k, int32_t t) {
      if (t > 0 && !Known(t) && Known(k)) retries_.emplace_back(k, t);
    };
    for (const auto& e : index_.WithReference(i)) queue(e.from, e.target);
    for (const auto& e : index_.ToTarget(i)) queue(e.from, e.reference);
    const auto mark = [&](int32_t u) {
      if (u <= 0 || Known(u) || changed_mark_[static_cast<size_t>(u)] != 0) return;
      changed_mark_[static_cast<size_t>(u)] = 1;
      changed_.push(u);
    };
    for (const auto& e : index_.FromStation(i)) {
      mark(e.target);
      mark(e.reference);
    }
    for (const auto& e : index_.ToTarget(i)) {
      mark(e.from);
      mark(e.reference);
    }
    for (const auto& e : index_.WithReference(i)) {
      mark(e.from);
      mark(e.target);
    }
  }

  // The neighbour t of known station k once more, as a visit of k would try it.
  void Retry(int32_t k, int32_t t) {
    if (Known(t)) return;
    if (!index_.Between(k, t).empty() && Compute(k, t, Direction::Forward, nullptr)) return;
    if (!index_.Between(t, k).empty()) Compute(k, t, Direction::Backward, nullptr);
  }

  // The stall scan over the unknown stations whose known neighbours changed since they were
  // last scanned, in table order; the others would gather what they gathered before. True when
  // it placed a station.
  bool ScanChanged() {
    std::vector<int32_t> linked;
    while (!changed_.empty()) {
      const int32_t u = changed_.top();
      changed_.pop();
      changed_mark_[static_cast<size_t>(u)] = 0;
      if (Known(u)) continue;
      if (Gather(u, linked) != Gathered::Nothing) return true;
    }
    return false;
  }

  // One step at position pos (1-based) of the known list; true when the run ends.
  bool Step(int32_t pos) {
    const auto count = static_cast<int32_t>(known_.size());
    if (pos <= count) {
      const int32_t s = known_[static_cast<size_t>(pos) - 1];
      Pass(s, Direction::Forward);
      Pass(s, Direction::Backward);
    }
    const bool nothing_added = static_cast<int32_t>(known_.size()) == count;
    if (nothing_added && pos == count && unknown_count_ > 0) StallScan();
    return static_cast<int32_t>(known_.size()) == count && pos == count;
  }

  // Tries every neighbour of s: the targets of its records (forward) or the from stations of
  // the records that target it (backward), each once, in record order.
  void Pass(int32_t s, Direction direction) {
    neighbours_.clear();
    ++seen_mark_;
    const bool forward = direction == Direction::Forward;
    for (const auto& e : forward ? index_.FromStation(s) : index_.ToTarget(s)) {
      const int32_t n = forward ? e.target : e.from;
      if (n > 0 && seen_[static_cast<size_t>(n)] != seen_mark_) {
        seen_[static_cast<size_t>(n)] = seen_mark_;
        neighbours_.push_back(n);
        // Each neighbour is looked up in the index, and read from it once it is placed.
        index_.PrefetchPlace(n);
      }
    }
    for (const int32_t t : neighbours_) Compute(s, t, direction, nullptr);
  }

  // Places unknown station t from known station k when a GPS vector or a polar sight allows;
  // collects what the angle sets gave into pending when it is not null. True when t was placed.
  bool Compute(int32_t k, int32_t t, Direction direction, PendingObservations* pending) {
    if (t <= 0 || Known(t) || !Known(k)) return false;
    if (TryGpsVector(k, t, direction)) return true;

    SightTriple triple;
    if (direction == Direction::Forward) {
      TakeForeSights(k, t, triple);
      TakeBackSights(k, t, triple);
    } else {
      TakeBackSights(k, t, triple);
      TakeForeSights(k, t, triple);
    }
    if (!triple.azimuth.found) TakeReferenceSights(k, t, triple);

    if (pending != nullptr) {
      if (triple.azimuth.found) pending->azimuths.Add(k, triple.azimuth.value);
      if (triple.zenith.found) pending->zeniths.Add(k, triple.zenith.value);
      if (triple.distance.found) pending->distances.Add(k, triple.distance.value);
    }
    if (!triple.azimuth.found || !triple.distance.found) return false;
    const StationRecord& from = Row(k);
    // Instrument and target heights are left to the adjustment.
    const Geodetic g = PolarPoint(
        PROPAGATION_A, e2_, from.latitude, from.longitude, from.height, triple.azimuth.value,
        triple.zenith.found ? triple.zenith.value : HALF_PI, triple.distance.value, 0.0, 0.0);
    if (!Usable(g)) return false;
    MarkKnown(t, g);
    return true;
  }

  // The vectors from k to t, then (negated) those from t to k; backward the other way round.
  // Each group is read from its last record to its first, and a component once found is kept.
  bool TryGpsVector(int32_t k, int32_t t, Direction direction) {
    Slot component[3];
    int found = 0;
    const auto take = [&](std::span<const int32_t> records, double sign) {
      for (auto r = records.rbegin(); r != records.rend() && found < 3; ++r) {
        const ObsRow& obs = Record(*r);
        if (obs.kind != ObsKind::GpsVector) continue;
        const double values[3] = {obs.dx(), obs.dy(), obs.dz()};
        for (int c = 0; c < 3; ++c) {
          if (component[c].found || values[c] == MISSING_VALUE) continue;
          component[c] = Slot{true, sign * values[c]};
          ++found;
        }
      }
    };
    if (direction == Direction::Forward) {
      take(index_.Between(k, t), 1.0);
      if (found < 3) take(index_.Between(t, k), -1.0);
    } else {
      take(index_.Between(t, k), -1.0);
      if (found < 3) take(index_.Between(k, t), 1.0);
    }
    if (found < 3) return false;
    const StationRecord& from = Row(k);
    const Cartesian p =
        GeodeticToCartesian(PROPAGATION_A, e2_, from.latitude, from.longitude, from.height);
    const Geodetic g = CartesianToGeodetic(PROPAGATION_A, e2_, p.x + component[0].value,
                                           p.y + component[1].value, p.z + component[2].value);
    if (!Usable(g)) return false;
    MarkKnown(t, g);
    return true;
  }

  // Angle sets at k with target t: azimuth through the reference, zenith, slope distance.
  void TakeForeSights(int32_t k, int32_t t, SightTriple& triple) {
    const std::span<const int32_t> records = index_.Between(k, t);
    for (auto r = records.rbegin(); r != records.rend() && !triple.complete(); ++r) {
      const ObsRow& obs = Record(*r);
      if (obs.kind != ObsKind::AngleSet) continue;
      if (!triple.azimuth.found && obs.horiz_angle() != MISSING_VALUE) {
        const FoundAzimuth a =
            AzimuthViaReference(tables_, k, index_.reference_of(*r), obs.horiz_angle());
        if (a.found) triple.Take(triple.azimuth, a.azimuth);
      }
      triple.Take(triple.zenith, obs.zenith());
      triple.Take(triple.distance, obs.slope_dist());
    }
  }

  // Angle sets at t with target k: the zenith turned round to be seen from k, and the slope
  // distance. The azimuth at t is of no use while t is unknown.
  void TakeBackSights(int32_t k, int32_t t, SightTriple& triple) {
    const std::span<const int32_t> records = index_.Between(t, k);
    for (auto r = records.rbegin(); r != records.rend() && !triple.complete(); ++r) {
      const ObsRow& obs = Record(*r);
      if (obs.kind != ObsKind::AngleSet) continue;
      if (obs.zenith() != MISSING_VALUE) triple.Take(triple.zenith, PI - obs.zenith());
      triple.Take(triple.distance, obs.slope_dist());
    }
  }

  // Angle sets at k whose reference is t: the azimuth to t, from the target turned back by the
  // angle.
  void TakeReferenceSights(int32_t k, int32_t t, SightTriple& triple) {
    const std::span<const int32_t> records = index_.FromWithReference(k, t);
    for (auto r = records.rbegin(); r != records.rend() && !triple.azimuth.found; ++r) {
      const ObsRow& obs = Record(*r);
      if (obs.kind != ObsKind::AngleSet || obs.horiz_angle() == MISSING_VALUE) continue;
      const FoundAzimuth a =
          AzimuthViaReference(tables_, k, index_.target_of(*r), -obs.horiz_angle());
      if (a.found) triple.Take(triple.azimuth, a.azimuth);
    }
  }

  // Known stations that share a record with u, in known-list order. Every other known station
  // has nothing to say about u.
  void LinkedKnown(int32_t u, std::vector<int32_t>& linked) {
    linked.clear();
    ++seen_mark_;
    const auto add = [&](int32_t k) {
      if (k > 0 && known_position_[static_cast<size_t>(k)] >= 0 &&
          seen_[static_cast<size_t>(k)] != seen_mark_) {
        seen_[static_cast<size_t>(k)] = seen_mark_;
        linked.push_back(k);
      }
    };
    for (const auto& e : index_.ToTarget(u)) add(e.from);
    for (const auto& e : index_.FromStation(u)) add(e.target);
    for (const auto& e : index_.WithReference(u)) add(e.from);
    std::sort(linked.begin(), linked.end(), [&](int32_t a, int32_t b) {
      return known_position_[static_cast<size_t>(a)] < known_position_[static_cast<size_t>(b)];
    });
  }

  // Every unknown station in table order gathers what the known stations saw of it; the scan
  // stops at the first one that an intersection places.
  void StallScan() {
    std::vector<int32_t> linked;
    for (int32_t u = 1; u < tables_.station_count(); ++u) {
      if (Known(u)) continue;
      if (Gather(u, linked) == Gathered::ByIntersection) return;
    }
  }

  enum class Gathered { Nothing, ByOneStation, ByIntersection };

  // What the known stations saw of unknown station u, placing it by one of them or by
  // intersection.
  Gathered Gather(int32_t u, std::vector<int32_t>& linked) {
    PendingObservations pending;
    LinkedKnown(u, linked);
    for (const int32_t k : linked) Compute(k, u, Direction::Forward, &pending);
    for (const int32_t k : linked) Compute(k, u, Direction::Backward, &pending);
    // Placed by one station after all (a reference became known since that station was last
    // visited): its position stands and is not intersected again.
    if (Known(u)) return Gathered::ByOneStation;
    const double mean_height = known_height_sum_ / static_cast<double>(known_.size());
    return Intersect(u, pending, mean_height) ? Gathered::ByIntersection : Gathered::Nothing;
  }

  // Horizontal distances to u where a zenith angle allows, then the remaining slope
  // distances, one per station.
  std::vector<KnownDistance> CollectDistances(const PendingObservations& pending) {
    std::vector<KnownDistance> known;
    std::vector<int32_t> used;
    const auto add = [&](int32_t k, double distance) {
      if (known.size() >= MAX_INTERSECTION_DISTANCES) return;
      if (std::find(used.begin(), used.end(), k) != used.end()) return;
      used.push_back(k);
      known.push_back(KnownDistance{Row(k).latitude, Row(k).longitude, distance});
    };
    for (const PendingEntry& z : pending.zeniths.entries()) {
      if (const PendingEntry* s = pending.distances.Of(z.station)) {
        add(z.station, std::sin(z.value) * s->value);
      }
    }
    for (const PendingEntry& s : pending.distances.entries()) add(s.station, s.value);
    return known;
  }

  bool Intersect(int32_t u, const PendingObservations& pending, double mean_height) {
    const std::vector<PendingEntry>& azimuths = pending.azimuths.entries();
    // A polar sight after all, from azimuth, distance and zenith of one station.
    for (const PendingEntry& a : azimuths) {
      const PendingEntry* s = pending.distances.Of(a.station);
      if (s == nullptr) continue;
      const PendingEntry* z = pending.zeniths.Of(a.station);
      const StationRecord& from = Row(a.station);
      const Geodetic g = PolarPoint(PROPAGATION_A, e2_, from.latitude, from.longitude, from.height,
                                    a.value, z != nullptr ? z->value : HALF_PI, s->value, 0.0, 0.0);
      if (!Usable(g)) continue;
      MarkKnown(u, g);
      return true;
    }

    IntersectionResult place{false, NAN, NAN};
    if (azimuths.size() == 2 &&
        LinesCrossAt(azimuths[0].value, azimuths[1].value) > ONE_ARC_MINUTE) {
      const StationRecord& p1 = Row(azimuths[0].station);
      const StationRecord& p2 = Row(azimuths[1].station);
      place = IntersectAzimuths(PROPAGATION_A, PROPAGATION_INV_F, p1.latitude, p1.longitude,
                                azimuths[0].value, p2.latitude, p2.longitude, azimuths[1].value,
                                INTERSECTION_TOLERANCE, INTERSECTION_STEP_CAP);
    }
    if (!place.found && !azimuths.empty() && pending.distances.size() >= 2) {
      const std::vector<KnownDistance> known = CollectDistances(pending);
      if (!known.empty()) {
        const StationRecord& p0 = Row(azimuths[0].station);
        place = IntersectAzimuthDistances(PROPAGATION_A, PROPAGATION_INV_F, p0.latitude,
                                          p0.longitude, azimuths[0].value, known,
                                          INTERSECTION_TOLERANCE, INTERSECTION_STEP_CAP);
      }
    }
    if (!place.found && pending.distances.size() >= 3 && deferred_ != nullptr &&
        SetupSightsKnown(u)) {
      deferred_->push_back(u);
      return false;
    }
    if (!place.found && pending.distances.size() >= 3) {
      const std::vector<KnownDistance> known = CollectDistances(pending);
      if (known.size() >= 2) {
        // The bracket is an angle at the first station: 0.01 m on its circle.
        const double tolerance =
            std::max(std::atan(INTERSECTION_TOLERANCE / known[0].distance), ONE_ARC_SECOND);
        place = IntersectDistances(PROPAGATION_A, PROPAGATION_INV_F, known, tolerance,
                                   INTERSECTION_STEP_CAP);
      }
    }
    if (!place.found) return false;

    double height = mean_height;
    if (!pending.zeniths.entries().empty()) {
      // Height difference from the first zenith angle over the chord at height 0.
      const PendingEntry& z = pending.zeniths.entries().front();
      const StationRecord& from = Row(z.station);
      const double chord = GeodesicInverse(PROPAGATION_A, e2_, PROPAGATION_INV_F, from.latitude,
                                           from.longitude, place.phi, place.lam)
                               .chord;
      height = std::tan(HALF_PI - z.value) * chord + from.height;
    }
    const Geodetic g{place.phi, place.lam, height};
    if (!Usable(g)) return false;
    MarkKnown(u, g, StationPlacement::Intersected);
    return true;
  }

  // Whether the angle sets at u read directions to two or more known stations.
  bool SetupSightsKnown(int32_t u) {
    ++seen_mark_;
    int known = 0;
    const auto count = [&](int32_t k) {
      if (!Known(k) || seen_[static_cast<size_t>(k)] == seen_mark_) return;
      seen_[static_cast<size_t>(k)] = seen_mark_;
      ++known;
    };
    for (const auto& e : index_.FromStation(u)) {
      const ObsRow& obs = Record(e.record);
      if (obs.kind != ObsKind::AngleSet || obs.horiz_angle() == MISSING_VALUE) continue;
      count(e.target);
      count(e.reference);
      if (known >= 2) return true;
    }
    return false;
  }

  SurveyTables& tables_;
  std::vector<StationPlacement>* placements_;
  std::vector<int32_t>* const deferred_;
  const ObservationIndex index_;
  const double e2_;
  // Known stations in the order they became known, and each station's place in that list
  // (-1 while unknown).
  std::vector<int32_t> known_;
  std::vector<int32_t> known_position_;
  // Sum of the heights of the known list, added in list order.
  double known_height_sum_ = 0.0;
  int32_t unknown_count_ = 0;
  // Marks stations already listed during one pass or scan.
  std::vector<uint32_t> seen_;
  uint32_t seen_mark_ = 0;
  std::vector<int32_t> neighbours_;
  // The run without a budget: sights to try again, and unknown stations for the stall scan.
  bool work_list_ = false;
  const PropagationProgress* keep_going_ = nullptr;
  std::deque<std::pair<int32_t, int32_t>> retries_;
  // Lowest row first; a station is in it at most once (changed_mark_).
  std::priority_queue<int32_t, std::vector<int32_t>, std::greater<int32_t>> changed_;
  std::vector<uint8_t> changed_mark_;
};

}  // namespace

FoundAzimuth AzimuthViaReference(const SurveyTables& tables, int32_t from, int32_t reference,
                                 double angle) {
  const FoundAzimuth none{false, 0.0};
  if (from < 1 || from >= tables.station_count() || reference < 1 ||
      reference >= tables.station_count()) {
    return none;
  }
  const StationRecord& p1 = tables.stations()[static_cast<size_t>(from)];
  const StationRecord& p2 = tables.stations()[static_cast<size_t>(reference)];
  if (!p1.coords_known || !p2.coords_known) return none;
  const AzimuthDistance to_reference =
      AzimuthBetween(PROPAGATION_A, PropagationEccentricitySquared(), p1.latitude, p1.longitude,
                     p1.height, p2.latitude, p2.longitude, p2.height);
  return FoundAzimuth{true, AddAngles(to_reference.azimuth, angle)};
}

int PropagateCoordinates(SurveyTables& tables, std::vector<StationPlacement>* placements,
                         int max_steps, const PropagationProgress& keep_going) {
  if (max_steps > 0) {
    Propagation propagation(tables, placements);
    return propagation.Run(max_steps, keep_going);
  }
  // Without a budget, what the setups fitted as frames place lets the propagation go on, and
  // what it places may tie in more frames. A false from keep_going ends the whole run there.
  bool stopped = false;
  const PropagationProgress watched = [&](int32_t known) {
    stopped = stopped || (keep_going && !keep_going(known));
    return !stopped;
  };
  // A free station is left to the frames while they can place it; what they cannot is then
  // intersected by its distances after all, and the frames tried again on what that adds.
  std::vector<int32_t> deferred;
  const auto still_deferred = [&] {
    std::erase_if(deferred, [&](int32_t s) {
      return tables.stations()[static_cast<size_t>(s)].coords_known;
    });
    return !deferred.empty();
  };
  std::vector<StationPlacement> more;
  const auto propagate = [&](bool defer_setups) {
    std::vector<int32_t>* defer = defer_setups ? &deferred : nullptr;
    if (placements == nullptr) {
      return Propagation(tables, nullptr, defer).Run(max_steps, watched);
    }
    const int run = Propagation(tables, &more, defer).Run(max_steps, watched);
    for (size_t i = 0; i < more.size() && i < placements->size(); ++i) {
      if ((*placements)[i] == StationPlacement::None) (*placements)[i] = more[i];
    }
    return run;
  };
  if (placements != nullptr) {
    placements->assign(static_cast<size_t>(tables.station_count()), StationPlacement::None);
  }
  int steps = propagate(true);
  for (;;) {
    while (!stopped && PlaceThroughFrames(tables, placements) > 0) steps += propagate(true);
    if (stopped || !still_deferred()) break;
    steps += propagate(false);
    deferred.clear();
    if (stopped) break;
  }
  return steps;
}

int32_t ComputeApproxCoordinates(SurveyTables& tables, int32_t seed_index, const SeedPosition& seed,
                                 const Ellipsoid& datum, std::vector<StationPlacement>* placements,
                                 int max_steps, const PropagationProgress& keep_going) {
  if (seed_index >= 1 && seed_index < tables.station_count()) {
    StationRecord& row = tables.station(seed_index);
    row.latitude = DmsToRadians(seed.latitude);
    row.longitude = DmsToRadians(seed.longitude);
    row.height = seed.height;
    row.coords_known = true;
    const double phi0 = row.latitude;
    const double lam0 = row.longitude;
    const double e2 = EccentricitySquaredOf(datum.a, datum.inv_f);
    const Cartesian p0 = GeodeticToCartesian(datum.a, e2, phi0, lam0, seed.height);

    PropagateCoordinates(tables, placements, max_steps, keep_going);

    for (int32_t i = 1; i < tables.station_count(); ++i) {
      StationRecord& station = tables.station(i);
      if (!station.coords_known) continue;
      const Cartesian p =
          GeodeticToCartesian(datum.a, e2, station.latitude, station.longitude, station.height);
      const Local local = CartesianDeltaToLocal(phi0, lam0, p.x - p0.x, p.y - p0.y, p.z - p0.z);
      station.north = local.n + seed.north;
      station.east = local.e + seed.east;
      // Adding an elevation of 0 would turn -0 into +0, which the file writes differently.
      station.elevation = seed.elevation == 0.0 ? local.u : local.u + seed.elevation;
    }
  }
  int32_t not_computed = 0;
  for (int32_t i = 1; i < tables.station_count(); ++i) {
    if (!tables.stations()[static_cast<size_t>(i)].coords_known) ++not_computed;
  }
  return not_computed;
}

}  // namespace fenwix

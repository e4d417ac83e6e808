#include "checks/adjustment_tracing.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <vector>

#include "geodesy/angles.h"
#include "reduce/face_reduction.h"

namespace fenwix {

namespace {

bool Given(double value) {
  return value != MISSING_VALUE && std::isfinite(value);
}

double Wrapped(double x) {
  return x - TWO_PI * std::round(x / TWO_PI);
}

bool FaceTwo(const RawReading& r) {
  return r.face == FACE_TWO || (r.face == FACE_UNKNOWN && Given(r.zenith) && r.zenith > PI);
}

// The direction and the zenith angle read, turned to face one as the reduction turns them.
double FaceOneDirection(const RawReading& r) {
  return fenwix::FaceOneDirection(r.horiz_angle, FaceTwo(r) ? FACE_TWO : FACE_ONE);
}

double FaceOneZenith(const RawReading& r) {
  return fenwix::FaceOneZenith(r.zenith, FaceTwo(r) ? FACE_TWO : FACE_ONE);
}

const char* TypeWords(ReadingType type) {
  switch (type) {
    case ReadingType::Backsight:
      return "backsight";
    case ReadingType::Foresight:
      return "foresight";
    case ReadingType::Shotsight:
      return "shotsight";
  }
  return "";
}

// The median of directions, taken around the first so that one near the circle's zero has one.
double MedianDirection(std::vector<double> directions) {
  const double reference = directions.front();
  for (double& d : directions) d = reference + Wrapped(d - reference);
  std::nth_element(directions.begin(),
                   directions.begin() + static_cast<std::ptrdiff_t>(directions.size() / 2),
                   directions.end());
  return directions[directions.size() / 2];
}

class Tracer {
 public:
  Tracer(const AdjustmentInput& input, const AdjustmentResult& result, const ReadingLog& log)
      : input_(input), log_(log), positions_(input.stations.size() * 3, 0.0) {
    for (size_t s = 0; s < result.stations.size() && s < input.stations.size(); ++s) {
      const StationPrecision& p = result.stations[s];
      determined_.push_back(p.determined);
      positions_[s * 3] = p.x;
      positions_[s * 3 + 1] = p.y;
      positions_[s * 3 + 2] = p.z;
    }
    determined_.resize(input.stations.size(), false);
  }

  // The rounds of one sight are records of their own, often in setups of their own; when one
  // of them holds a blunder the network sees them tie, so every record of the same sight is
  // searched, and each reading judged against the adjusted network and the other readings.
  std::optional<TracedReading> Trace(const AdjustmentObservation& rejected) {
    if (rejected.kind == AdjustedKind::GnssVector || !Known(rejected)) return std::nullopt;
    best_ = std::nullopt;
    std::vector<std::pair<size_t, double>> offsets;  // reading, read − adjusted
    std::vector<size_t> seen_setups;
    for (const AdjustmentObservation& obs : input_.observations) {
      if (obs.kind != rejected.kind || obs.at != rejected.at || obs.fore != rejected.fore ||
          (obs.kind == AdjustedKind::HorizontalAngle && obs.back != rejected.back) ||
          !FindSetup(obs)) {
        continue;
      }
      const int32_t setup = log_.readings()[record_begin_].setup;
      if (std::find(seen_setups.begin(), seen_setups.end(), setup) != seen_setups.end()) continue;
      seen_setups.push_back(setup);
      if (obs.kind == AdjustedKind::HorizontalAngle) {
        DirectionOffsets(obs, offsets);
        continue;
      }
      const double adjusted = Computed(obs);
      for (size_t i = setup_begin_; i < setup_end_; ++i) {
        const RawReading& r = log_.readings()[i];
        const bool distance = obs.kind == AdjustedKind::SlopeDistance;
        const double read = distance ? r.slope_dist : r.zenith;
        if (!SameTarget(i) || !Given(read)) continue;
        offsets.emplace_back(i, distance ? read - adjusted : Wrapped(FaceOneZenith(r) - adjusted));
      }
    }
    if (!offsets.empty()) {
      // The adjusted network votes too: with one face pair it decides which face is off.
      std::vector<double> votes{0.0};
      for (const auto& offset : offsets) votes.push_back(offset.second);
      std::nth_element(votes.begin(), votes.begin() + static_cast<std::ptrdiff_t>(votes.size() / 2),
                       votes.end());
      const double center = votes[votes.size() / 2];
      // One direction has the angle's SD over √2.
      const double sd = rejected.kind == AdjustedKind::HorizontalAngle
                            ? rejected.sd / std::sqrt(2.0)
                            : rejected.sd;
      for (const auto& [reading, offset] : offsets) Consider(reading, (offset - center) / sd);
    }
    return best_;
  }

  // The setup of obs's first reading: its range of readings and the record's first; false
  // when the log does not hold it.
  bool FindSetup(const AdjustmentObservation& obs) {
    const std::vector<RawReading>& readings = log_.readings();
    const auto first = std::find_if(readings.begin(), readings.end(),
                                    [&](const RawReading& r) { return r.source == obs.source; });
    if (first == readings.end() || first->setup < 0) return false;
    const size_t k = static_cast<size_t>(first - readings.begin());
    setup_begin_ = k;
    while (setup_begin_ > 0 && readings[setup_begin_ - 1].setup == first->setup) --setup_begin_;
    setup_end_ = k;
    while (setup_end_ < readings.size() && readings[setup_end_].setup == first->setup) ++setup_end_;
    record_begin_ = k;
    return true;
  }

 private:
  bool Known(const AdjustmentObservation& obs) const {
    const auto known = [&](int32_t s) {
      return s >= 0 && static_cast<size_t>(s) < determined_.size() &&
             determined_[static_cast<size_t>(s)];
    };
    return known(obs.at) && known(obs.fore) &&
           (obs.kind != AdjustedKind::HorizontalAngle || known(obs.back));
  }

  // A reading of the record's point of the record's kind (foresight or backsight) in its setup:
  // another round's reading of the same sight is compared too, since repeated rounds leave the
  // network unable to tell which of them holds the blunder, and the readings can.
  bool SameTarget(size_t i) const {
    const RawReading& r = log_.readings()[i];
    const RawReading& first = log_.readings()[record_begin_];
    // One name may have several indices in the log: compare the names.
    return r.type == first.type &&
           (r.point == first.point || log_.names()[static_cast<size_t>(r.point)] ==
                                          log_.names()[static_cast<size_t>(first.point)]);
  }

  double Computed(const AdjustmentObservation& obs) const {
    return ComputedValue(input_, obs, positions_)[0];
  }

  void Consider(size_t reading, double deviation) {
    if (best_ && std::abs(deviation) <= std::abs(best_->deviation)) return;
    const RawReading& r = log_.readings()[reading];
    best_ = TracedReading{r.source,
                          std::string("the ") + (FaceTwo(r) ? "face-two " : "face-one ") +
                              TypeWords(r.type) + " reading",
                          deviation};
  }

  // The directions of one round of the rejected sight: the setup's orientation (the circle
  // reading of the backsight) is the median of what every other reading says of it (a backsight
  // reading directly, a foresight to another point less its adjusted angle). A backsight reading
  // is judged against that orientation at once; a reading of the sight gives its angle less the
  // adjusted one as an offset, which the caller compares over all rounds.
  void DirectionOffsets(const AdjustmentObservation& sight,
                        std::vector<std::pair<size_t, double>>& offsets) {
    const std::vector<RawReading>& readings = log_.readings();
    const std::string& back_name = input_.stations[static_cast<size_t>(sight.back)].name;
    // The adjusted angle to each point the setup's angle records sight, by the point's name.
    std::unordered_map<std::string, double> angle_to;
    for (const AdjustmentObservation& obs : input_.observations) {
      if (obs.kind != AdjustedKind::HorizontalAngle || obs.at != sight.at ||
          obs.back != sight.back || !Known(obs)) {
        continue;
      }
      const auto end = readings.begin() + static_cast<std::ptrdiff_t>(setup_end_);
      if (std::find_if(readings.begin() + static_cast<std::ptrdiff_t>(setup_begin_), end,
                       [&](const RawReading& r) { return r.source == obs.source; }) != end) {
        angle_to.emplace(input_.stations[static_cast<size_t>(obs.fore)].name, Computed(obs));
      }
    }
    std::vector<double> orientations;
    std::vector<std::pair<size_t, double>> backsights;
    for (size_t i = setup_begin_; i < setup_end_; ++i) {
      const RawReading& r = readings[i];
      if (!Given(r.horiz_angle) || static_cast<size_t>(r.point) >= log_.names().size() ||
          SameTarget(i)) {
        continue;
      }
      const std::string& point = log_.names()[static_cast<size_t>(r.point)];
      if (r.type == ReadingType::Backsight) {
        if (point != back_name) continue;
        backsights.emplace_back(i, FaceOneDirection(r));
        orientations.push_back(FaceOneDirection(r));
      } else if (const auto angle = angle_to.find(point); angle != angle_to.end()) {
        orientations.push_back(FaceOneDirection(r) - angle->second);
      }
    }
    const double adjusted = Computed(sight);
    // The sight's own readings say something of the orientation too; a backsight reading is
    // judged against all of them, the sight's readings against the others only.
    std::vector<double> all = orientations;
    for (size_t i = setup_begin_; i < setup_end_; ++i) {
      if (SameTarget(i) && Given(readings[i].horiz_angle)) {
        all.push_back(FaceOneDirection(readings[i]) - adjusted);
      }
    }
    if (all.empty()) return;
    const double sd = sight.sd / std::sqrt(2.0);
    const double all_orientation = MedianDirection(all);
    for (const auto& [reading, direction] : backsights) {
      Consider(reading, Wrapped(direction - all_orientation) / sd);
    }
    if (orientations.empty()) return;
    const double orientation = MedianDirection(orientations);
    for (size_t i = setup_begin_; i < setup_end_; ++i) {
      if (SameTarget(i) && Given(readings[i].horiz_angle)) {
        offsets.emplace_back(i, Wrapped(FaceOneDirection(readings[i]) - orientation - adjusted));
      }
    }
  }

  const AdjustmentInput& input_;
  const ReadingLog& log_;
  std::vector<double> positions_;
  std::vector<bool> determined_;
  size_t setup_begin_ = 0, setup_end_ = 0, record_begin_ = 0;
  std::optional<TracedReading> best_;
};

}  // namespace

std::optional<TracedReading> TraceToReading(const AdjustmentInput& input,
                                            const AdjustmentResult& result, const ReadingLog& log,
                                            int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= input.observations.size()) return std::nullopt;
  Tracer tracer(input, result, log);
  return tracer.Trace(input.observations[static_cast<size_t>(index)]);
}

}  // namespace fenwix

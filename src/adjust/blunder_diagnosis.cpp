#include "adjust/blunder_diagnosis.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <unordered_map>
#include <utility>

#include <fmt/format.h>

#include "adjust/observation_geometry.h"
#include "model/units.h"

namespace fenwix {

namespace {

constexpr double DEGREE = std::numbers::pi / 180.0;
// Heights closer than this are the same height.
constexpr double SAME_HEIGHT = 0.0005;

bool Angular(AdjustedKind kind) {
  return kind == AdjustedKind::HorizontalAngle || kind == AdjustedKind::Zenith;
}

const char* KindWords(AdjustedKind kind) {
  switch (kind) {
    case AdjustedKind::GnssVector:
      return "vector";
    case AdjustedKind::HorizontalAngle:
      return "horizontal angle";
    case AdjustedKind::Zenith:
      return "zenith angle";
    case AdjustedKind::SlopeDistance:
      return "slope distance";
  }
  return "";
}

// 123°04′05.3″ from degrees.
std::string Dms(double degrees) {
  const bool negative = degrees < 0.0;
  double rest = std::round(std::abs(degrees) * 36000.0) / 10.0;  // tenths of a second
  const double d = std::floor(rest / 3600.0);
  rest -= d * 3600.0;
  const double m = std::floor(rest / 60.0);
  rest -= m * 60.0;
  return fmt::format("{}{:.0f}\u00b0{:02.0f}\u2032{:04.1f}\u2033", negative ? "-" : "", d, m, rest);
}

// The heights a surveyor types instead of h: ten times, a tenth, two neighbouring digits
// swapped (as written with three decimals).
std::vector<double> TypedAlternatives(double h) {
  std::vector<double> out{h * 10.0, h / 10.0};
  const std::string text = fmt::format("{:.3f}", std::abs(h));
  std::string digits;
  for (char c : text) {
    if (c != '.') digits += c;
  }
  const size_t point = text.find('.');
  for (size_t i = 0; i + 1 < digits.size(); ++i) {
    if (digits[i] == digits[i + 1]) continue;
    std::string swapped = digits;
    std::swap(swapped[i], swapped[i + 1]);
    swapped.insert(point, ".");
    out.push_back(std::copysign(std::stod(swapped), h == 0.0 ? 1.0 : h));
  }
  return out;
}

class Diagnoser {
 public:
  Diagnoser(const AdjustmentInput& input, const AdjustmentResult& result) : input_(input) {
    const size_t n = std::min(input.stations.size(), result.stations.size());
    positions_.assign(input.stations.size() * 3, 0.0);
    determined_.assign(input.stations.size(), 0);
    variance_.assign(input.stations.size(), 0.0);
    for (size_t s = 0; s < n; ++s) {
      const StationPrecision& p = result.stations[s];
      if (!p.determined || !input.stations[s].has_position) continue;
      determined_[s] = 1;
      positions_[s * 3] = p.x;
      positions_[s * 3 + 1] = p.y;
      positions_[s * 3 + 2] = p.z;
      variance_[s] = p.sigma_n * p.sigma_n + p.sigma_e * p.sigma_e + p.sigma_u * p.sigma_u;
    }
    for (const GroupFactor& g : result.groups) {
      const double f = result.estimated_factors ? g.scale * g.factor : g.scale;
      factor_[static_cast<int>(g.kind)] = std::isfinite(f) ? std::max(1.0, f) : 1.0;
    }
    for (const int32_t i : result.rejected) records_[Obs(i).record].clear();
    std::unordered_map<int32_t, std::vector<int32_t>> missing_records;
    for (const int32_t i : result.rejected) {
      const AdjustmentObservation& obs = Obs(i);
      if (obs.kind != AdjustedKind::Zenith && obs.kind != AdjustedKind::SlopeDistance) continue;
      std::vector<int32_t>& records = missing_records[obs.fore];
      if (std::find(records.begin(), records.end(), obs.record) == records.end()) {
        records.push_back(obs.record);
      }
    }
    for (const auto& [station, records] : missing_records) {
      missed_[station] = static_cast<int>(records.size());
    }
    for (size_t i = 0; i < input.observations.size(); ++i) {
      const auto found = records_.find(input.observations[i].record);
      if (found != records_.end()) found->second.push_back(static_cast<int32_t>(i));
    }
  }

  std::optional<BlunderDiagnosis> Diagnose(int32_t index) {
    const AdjustmentObservation& obs = Obs(index);
    if (!Known(obs)) return std::nullopt;
    std::vector<AdjustmentObservation> record;
    for (const int32_t i : records_[obs.record]) {
      if (Known(Obs(i))) record.push_back(Obs(i));
    }
    // A sight's angle may stand in a record of its own (an angle set) beside its zenith and
    // distance: the other records of the same sight that miss as labelled go with it.
    if (obs.kind != AdjustedKind::GnssVector) {
      for (const AdjustmentObservation& other : input_.observations) {
        if (other.record == obs.record || other.kind == AdjustedKind::GnssVector ||
            other.at != obs.at || other.fore != obs.fore ||
            std::abs(other.instrument_height - obs.instrument_height) >= SAME_HEIGHT ||
            !Known(other) || Fit(Worst({other}))) {
          continue;
        }
        record.push_back(other);
      }
    }
    std::optional<BlunderDiagnosis> found;
    if (obs.kind == AdjustedKind::GnssVector) {
      found = Swapped(obs);
      if (!found) found = WrongName(record);
    } else {
      found = WrongName(record);
      // An instrument height is typed once per setup: it must mend every sight of the setup.
      if (!found) found = Height(Setup(obs), false);
      // Several sights to one station missing at once point at its setup's height rather than
      // at as many target heights.
      const bool several = missed_[obs.fore] >= 2;
      if (!found && several) found = MovedSetup(record);
      if (!found) found = Height(record, true);
      if (!found && !several) found = MovedSetup(record);
    }
    if (!found) found = RoundNumber(obs);
    if (!found) return std::nullopt;
    found->observation = index;
    if (!found->source.known()) found->source = obs.source;
    if (found->source.known()) {
      found->words = fmt::format("line {}: ", found->source.line) + found->words;
    }
    return found;
  }

 private:
  const AdjustmentObservation& Obs(int32_t i) const {
    return input_.observations[static_cast<size_t>(i)];
  }

  // The known observations of obs's setup: from its station with its instrument height.
  std::vector<AdjustmentObservation> Setup(const AdjustmentObservation& obs) const {
    std::vector<AdjustmentObservation> setup;
    for (const AdjustmentObservation& other : input_.observations) {
      if (other.kind != AdjustedKind::GnssVector && other.at == obs.at &&
          std::abs(other.instrument_height - obs.instrument_height) < SAME_HEIGHT && Known(other)) {
        setup.push_back(other);
      }
    }
    return setup;
  }

  bool Determined(int32_t s) const {
    return s >= 0 && static_cast<size_t>(s) < determined_.size() &&
           determined_[static_cast<size_t>(s)];
  }

  bool Known(const AdjustmentObservation& obs) const {
    return Determined(obs.at) && Determined(obs.fore) &&
           (obs.kind != AdjustedKind::HorizontalAngle || Determined(obs.back));
  }

  double Distance(int32_t a, int32_t b) const {
    const auto i = static_cast<size_t>(a) * 3, j = static_cast<size_t>(b) * 3;
    return std::hypot(positions_[i] - positions_[j], positions_[i + 1] - positions_[j + 1],
                      positions_[i + 2] - positions_[j + 2]);
  }

  // The observation's standard deviation in component k with the positions' precision.
  double Sigma(const AdjustmentObservation& obs, size_t k) const {
    const double f = factor_[static_cast<int>(obs.kind)];
    // One direction's share of the 3D variance of both ends.
    const double ends =
        (variance_[static_cast<size_t>(obs.at)] + variance_[static_cast<size_t>(obs.fore)]) / 3.0;
    if (obs.kind == AdjustedKind::GnssVector) {
      const size_t diag[3] = {0, 2, 5};
      return std::sqrt(obs.covariance[diag[k]] * f * f + ends);
    }
    const double sd = obs.sd * f;
    if (!Angular(obs.kind)) return std::sqrt(sd * sd + ends);
    const double length = std::max(Distance(obs.at, obs.fore), 1.0);
    return std::sqrt(sd * sd + ends / (length * length));
  }

  // Computed − observed of component k, angles wrapped.
  std::array<double, 3> Misfit(const AdjustmentObservation& obs) const {
    const std::array<double, 3> computed = ComputedValue(input_, obs, positions_);
    std::array<double, 3> d{};
    const size_t n = obs.kind == AdjustedKind::GnssVector ? 3 : 1;
    for (size_t k = 0; k < n; ++k) {
      d[k] = computed[k] - obs.value[k];
      if (Angular(obs.kind)) d[k] = std::remainder(d[k], 2.0 * std::numbers::pi);
    }
    return d;
  }

  // The largest misfit of the observations in standard deviations; infinite when none is
  // finite.
  double Worst(const std::vector<AdjustmentObservation>& observations) const {
    double worst = 0.0;
    for (const AdjustmentObservation& obs : observations) {
      const std::array<double, 3> d = Misfit(obs);
      const size_t n = obs.kind == AdjustedKind::GnssVector ? 3 : 1;
      for (size_t k = 0; k < n; ++k) {
        const double w = std::abs(d[k]) / Sigma(obs, k);
        worst = std::isfinite(w) ? std::max(worst, w) : INFINITY;
      }
    }
    return observations.empty() ? INFINITY : worst;
  }

  static bool Fit(double worst) { return worst <= DIAGNOSIS_SIGMAS; }

  std::optional<BlunderDiagnosis> Swapped(const AdjustmentObservation& obs) const {
    AdjustmentObservation reversed = obs;
    for (double& v : reversed.value) v = -v;
    if (Fit(Worst({obs})) || !Fit(Worst({reversed}))) return std::nullopt;
    BlunderDiagnosis d;
    d.kind = BlunderKind::SwappedVector;
    d.words = "base and rover swapped";
    return d;
  }

  // The record's sight (or vector) to every other station: the one station it fits.
  std::optional<BlunderDiagnosis> WrongName(const std::vector<AdjustmentObservation>& record) {
    if (record.empty() || Fit(Worst(record))) return std::nullopt;
    const AdjustmentObservation& first = record.front();
    // A measured distance leaves only the stations at about that distance.
    double distance = -1.0, slack = 0.0;
    for (const AdjustmentObservation& obs : record) {
      if (obs.kind == AdjustedKind::SlopeDistance) {
        distance = obs.value[0];
        slack = std::abs(obs.instrument_height) + std::abs(obs.target_height) + 1.0;
      }
      if (obs.kind == AdjustedKind::GnssVector) {
        distance = std::hypot(obs.value[0], obs.value[1], obs.value[2]);
        slack = 1.0;
      }
    }
    int32_t fits = -1, count = 0;
    double best = INFINITY;
    std::vector<AdjustmentObservation> renamed = record;
    for (size_t q = 0; q < determined_.size(); ++q) {
      const auto s = static_cast<int32_t>(q);
      if (!determined_[q] || s == first.at || s == first.fore) continue;
      if (distance >= 0.0 && std::abs(Distance(first.at, s) - distance) > slack) continue;
      bool usable = true;
      for (AdjustmentObservation& obs : renamed) {
        obs.fore = s;
        usable = usable && !(obs.kind == AdjustedKind::HorizontalAngle && obs.back == s);
      }
      if (!usable) continue;
      const double worst = Worst(renamed);
      if (!Fit(worst)) continue;
      ++count;
      if (worst < best) {
        best = worst;
        fits = s;
      }
    }
    if (count != 1) return std::nullopt;
    BlunderDiagnosis d;
    d.kind = BlunderKind::WrongName;
    d.fits = fits;
    for (AdjustmentObservation obs : record) {
      obs.fore = fits;
      const double m = std::abs(Misfit(obs)[0]);
      if (obs.kind == AdjustedKind::GnssVector) {
        d.linear_misfit = std::max({d.linear_misfit, std::abs(Misfit(obs)[0]),
                                    std::abs(Misfit(obs)[1]), std::abs(Misfit(obs)[2])});
      } else if (Angular(obs.kind)) {
        d.angular_misfit = std::max(d.angular_misfit, m);
      } else {
        d.linear_misfit = std::max(d.linear_misfit, m);
      }
    }
    std::string misfit;
    if (d.linear_misfit >= 0.0) misfit = fmt::format("{:.0f} mm", d.linear_misfit * 1000.0);
    if (d.angular_misfit >= 0.0) {
      misfit += fmt::format("{}{:.0f}\u2033", misfit.empty() ? "" : ", ",
                            d.angular_misfit * ARC_SECONDS_PER_RADIAN);
    }
    d.words = fmt::format("the {} labelled {} fits {} ({}) \u2014 a wrong point name?",
                          first.kind == AdjustedKind::GnssVector ? "vector" : "sight",
                          input_.stations[static_cast<size_t>(first.fore)].name,
                          input_.stations[static_cast<size_t>(fits)].name, misfit);
    return d;
  }

  // The record's zenith and distance with the target (or instrument) height typed otherwise.
  std::optional<BlunderDiagnosis> Height(const std::vector<AdjustmentObservation>& record,
                                         bool target) const {
    std::vector<AdjustmentObservation> heighted;
    for (const AdjustmentObservation& obs : record) {
      if (obs.kind == AdjustedKind::Zenith || obs.kind == AdjustedKind::SlopeDistance) {
        heighted.push_back(obs);
      }
    }
    if (heighted.empty() || Fit(Worst(heighted))) return std::nullopt;
    const AdjustmentObservation& first = heighted.front();
    const double typed = target ? first.target_height : first.instrument_height;
    std::vector<double> candidates = TypedAlternatives(typed);
    // What the other records of the same instrument give the same target, or the instrument.
    for (const AdjustmentObservation& other : input_.observations) {
      if (other.kind == AdjustedKind::GnssVector || other.at != first.at) continue;
      if (target && other.fore == first.fore) candidates.push_back(other.target_height);
      if (!target) candidates.push_back(other.instrument_height);
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end(),
                                 [](double a, double b) { return std::abs(a - b) < SAME_HEIGHT; }),
                     candidates.end());
    double likely = NAN, best = INFINITY;
    int count = 0;
    for (const double h : candidates) {
      if (std::abs(h - typed) < SAME_HEIGHT) continue;
      std::vector<AdjustmentObservation> changed = heighted;
      for (AdjustmentObservation& obs : changed)
        (target ? obs.target_height : obs.instrument_height) = h;
      const double worst = Worst(changed);
      if (!Fit(worst)) continue;
      ++count;
      if (worst < best) {
        best = worst;
        likely = h;
      }
    }
    if (count != 1) return std::nullopt;
    BlunderDiagnosis d;
    d.kind = target ? BlunderKind::TargetHeight : BlunderKind::InstrumentHeight;
    d.typed = typed;
    d.likely = likely;
    d.words = fmt::format("{} height {:.3f} typed; {:.3f} fits", target ? "target" : "instrument",
                          typed, likely);
    return d;
  }

  // The record's zenith and distance to a station whose setup's instrument height was typed
  // wrong: the adjustment holds the instrument where the setup's own sights put it, so the
  // station sits off by the height's error along its normal and the sights to it miss.
  std::optional<BlunderDiagnosis> MovedSetup(const std::vector<AdjustmentObservation>& record) {
    std::vector<AdjustmentObservation> heighted;
    for (const AdjustmentObservation& obs : record) {
      if (obs.kind == AdjustedKind::Zenith || obs.kind == AdjustedKind::SlopeDistance) {
        heighted.push_back(obs);
      }
    }
    if (heighted.empty() || Fit(Worst(heighted))) return std::nullopt;
    const int32_t station = heighted.front().fore;
    // The heights typed at the station's setups, each with its first record.
    std::vector<std::pair<double, SourceLocation>> typed;
    for (const AdjustmentObservation& other : input_.observations) {
      if (other.kind == AdjustedKind::GnssVector || other.at != station) continue;
      if (std::none_of(typed.begin(), typed.end(), [&](const auto& t) {
            return std::abs(t.first - other.instrument_height) < SAME_HEIGHT;
          })) {
        typed.emplace_back(other.instrument_height, other.source);
      }
    }
    const AdjustmentStation& st = input_.stations[static_cast<size_t>(station)];
    const adjust_geometry::Vec3 up = adjust_geometry::FrameAt(st.latitude, st.longitude).u;
    double* position = &positions_[static_cast<size_t>(station) * 3];
    const std::array<double, 3> kept{position[0], position[1], position[2]};
    int count = 0;
    BlunderDiagnosis d;
    double best = INFINITY;
    for (const auto& [height, source] : typed) {
      std::vector<double> candidates = TypedAlternatives(height);
      for (const auto& other : typed) candidates.push_back(other.first);
      for (const double c : candidates) {
        if (std::abs(c - height) < SAME_HEIGHT) continue;
        for (size_t k = 0; k < 3; ++k) position[k] = kept[k] + (height - c) * up[k];
        const double worst = Worst(heighted);
        if (!Fit(worst)) continue;
        ++count;
        if (worst >= best) continue;
        best = worst;
        d.typed = height;
        d.likely = c;
        d.source = source;
      }
    }
    for (size_t k = 0; k < 3; ++k) position[k] = kept[k];
    if (count != 1) return std::nullopt;
    d.kind = BlunderKind::InstrumentHeight;
    d.words = fmt::format("instrument height {:.3f} typed at {}; {:.3f} fits", d.typed, st.name,
                          d.likely);
    return d;
  }

  // The observation off by a round number in one of its components.
  std::optional<BlunderDiagnosis> RoundNumber(const AdjustmentObservation& obs) const {
    if (Fit(Worst({obs}))) return std::nullopt;
    std::vector<double> steps;
    switch (obs.kind) {
      case AdjustedKind::GnssVector:
      case AdjustedKind::SlopeDistance:
        steps = {1.0, 10.0, 100.0};
        break;
      case AdjustedKind::HorizontalAngle:
        steps = {DEGREE, 10.0 * DEGREE, 90.0 * DEGREE, 180.0 * DEGREE};
        break;
      case AdjustedKind::Zenith:
        steps = {DEGREE, 10.0 * DEGREE};
        break;
    }
    const size_t components = obs.kind == AdjustedKind::GnssVector ? 3 : 1;
    int count = 0;
    BlunderDiagnosis d;
    double best = INFINITY;
    for (size_t k = 0; k < components; ++k) {
      for (const double step : steps) {
        for (const double sign : {-1.0, 1.0}) {
          // 180° either way is one and the same.
          if (Angular(obs.kind) && sign > 0.0 && step > 179.0 * DEGREE) continue;
          AdjustmentObservation fixed = obs;
          fixed.value[k] += sign * step;
          const double worst = Worst({fixed});
          if (!Fit(worst)) continue;
          ++count;
          if (worst >= best) continue;
          best = worst;
          const bool angular = Angular(obs.kind);
          const double unit = angular ? DEGREE : 1.0;
          d.angular = angular;
          d.typed = obs.value[k] / unit;
          d.likely = fixed.value[k] / unit;
          // An angle as a reading: within one turn.
          if (angular) d.likely = std::fmod(std::fmod(d.likely, 360.0) + 360.0, 360.0);
          const char* axis = components == 3 ? (k == 0 ? " dX" : k == 1 ? " dY" : " dZ") : "";
          const std::string off =
              angular ? fmt::format("{:g}\u00b0", step / DEGREE) : fmt::format("{:g} m", step);
          d.words = angular ? fmt::format("the {} is {} off: {} observed; {} fits",
                                          KindWords(obs.kind), off, Dms(d.typed), Dms(d.likely))
                            : fmt::format("the {}{} is {} off: {:.3f} observed; {:.3f} fits",
                                          KindWords(obs.kind), axis, off, d.typed, d.likely);
        }
      }
    }
    if (count != 1) return std::nullopt;
    d.kind = BlunderKind::RoundNumber;
    return d;
  }

  const AdjustmentInput& input_;
  std::vector<double> positions_;
  std::vector<char> determined_;
  std::vector<double> variance_;
  double factor_[ADJUSTED_KIND_COUNT] = {1.0, 1.0, 1.0, 1.0};
  std::unordered_map<int32_t, std::vector<int32_t>> records_;
  // Per station, the rejected records whose zenith or distance sights it.
  std::unordered_map<int32_t, int> missed_;
};

}  // namespace

const char* BlunderKindWords(BlunderKind kind) {
  switch (kind) {
    case BlunderKind::WrongName:
      return "wrong name";
    case BlunderKind::SwappedVector:
      return "swapped vector";
    case BlunderKind::TargetHeight:
      return "target height";
    case BlunderKind::InstrumentHeight:
      return "instrument height";
    case BlunderKind::RoundNumber:
      return "round number";
  }
  return "";
}

std::vector<BlunderDiagnosis> DiagnoseBlunders(const AdjustmentInput& input,
                                               const AdjustmentResult& result) {
  std::vector<BlunderDiagnosis> out;
  if (result.outcome != AdjustmentOutcome::Done) return out;
  Diagnoser diagnoser(input, result);
  for (const int32_t i : result.rejected) {
    if (i < 0 || static_cast<size_t>(i) >= input.observations.size()) continue;
    if (auto d = diagnoser.Diagnose(i)) out.push_back(std::move(*d));
  }
  return out;
}

}  // namespace fenwix

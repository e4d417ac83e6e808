#include "adjust/network_adjustment.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <numeric>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "adjust/external_reliability.h"
#include "adjust/network_layout.h"
#include "adjust/normal_assembly.h"
#include "adjust/observation_geometry.h"
#include "adjust/observation_tests.h"
#include "adjust/robust_start.h"
#include "adjust/sparse_normals.h"
#include "adjust/station_precision.h"
#include "adjust/test_statistics.h"
#include "weights/weight_fields.h"

namespace fenwix {

namespace {

// The profile field's name in a job file, with its letter: "angle_sd (S)".
std::string ProfileField(std::string_view symbol) {
  for (const WeightField& field : WEIGHT_FIELDS) {
    if (field.symbol == symbol)
      return std::string(field.job_key) + " (" + std::string(symbol) + ")";
  }
  return std::string(symbol);
}

// An observation with no weight would only be left out of the test without a word, and a test
// of what remains reads as a check of the whole job: each kind of observation that has one,
// with the field that gives it no weight and the line of its first record, or nothing when
// every observation has a weight.
std::string UnweightedObservation(const AdjustmentInput& input) {
  std::array<std::string, ADJUSTED_KIND_COUNT> found;
  for (const AdjustmentObservation& obs : input.observations) {
    std::string& what = found[static_cast<size_t>(obs.kind)];
    if (!what.empty()) continue;
    switch (obs.kind) {
      case AdjustedKind::GnssVector: {
        const std::array<double, 6>& c = obs.covariance;
        if (c[0] > 0.0 && c[2] > 0.0 && c[5] > 0.0) continue;
        what = "GNSS vectors have a variance of 0 (SX, SY or SZ, with the weight profile's " +
               ProfileField("F") + ")";
        break;
      }
      case AdjustedKind::HorizontalAngle:
        if (obs.sd > 0.0) continue;
        what = "horizontal angles have an SD of 0 (the weight profile's " + ProfileField("S") + ")";
        break;
      case AdjustedKind::Zenith:
        if (obs.sd > 0.0) continue;
        what = "zenith angles have an SD of 0 (the weight profile's " + ProfileField("Z") + ")";
        break;
      case AdjustedKind::SlopeDistance:
        if (obs.sd > 0.0) continue;
        what = "slope distances have an SD of 0 (the weight profile's " + ProfileField("A") +
               " with its ppm, P)";
        break;
    }
    if (obs.source.line > 0) what += ", the first at line " + std::to_string(obs.source.line);
  }
  std::string text;
  for (const std::string& what : found) {
    if (what.empty()) continue;
    text += (text.empty() ? "" : "; ") + what;
  }
  return text;
}

using namespace adjust_geometry;

// Attempts at finding the stations the observations fix before giving up.
constexpr int LAYOUT_ATTEMPTS = 6;
// A Gauss-Newton step keeps the factor of the step before when that step moved no station by
// more than this, meters: the normal matrix then changes by parts in a million, which leaves
// the redundancy numbers from that factor true to six digits and where the iteration ends
// unchanged (the right-hand side is always new).
constexpr double REFACTOR_STEP = 0.001;
// Pairs of stations whose zeniths were taken both ways that the refraction coefficient is
// estimated from.
constexpr int32_t MIN_RECIPROCAL_SIGHTS = 2;
// The robust start ends when no station moved by more than a millimetre.
constexpr double ROBUST_SETTLED = 0.001;
// The verticals of a part are estimated from at least this many zeniths, whose directions
// spread enough: the smaller eigenvalue of the mean of (cos A, sin A)(cos A, sin A)ᵀ, 0 for
// sights along one line, 0.5 for sights all round.
constexpr int32_t MIN_TILT_ZENITHS = 3;
constexpr double MIN_TILT_SPREAD = 0.05;
// A step of the tilt counts as the movement of a sight's end this far away, meters.
constexpr double TILT_REACH = 10000.0;

class Adjuster {
 public:
  Adjuster(const AdjustmentInput& input, const AdjustmentOptions& options, AdjustmentResult& result)
      : input_(input), options_(options), result_(result) {}

  void Run();

 private:
  bool Cancelled() const { return options_.cancelled && options_.cancelled(); }
  // The share never goes back, though a step may run again.
  void Progress(int percent) {
    percent_ = std::max(percent_, percent);
    if (options_.progress) options_.progress(percent_);
  }
  // Carries a step's share from the present one over span points, and asks about Cancel.
  StepCheck Share(int span) {
    const int from = percent_;
    const int to = std::min(95, from + span);
    return [this, from, to](double share) {
      Progress(from + static_cast<int>(share * (to - from)));
      return Cancelled();
    };
  }
  // Bytes of the adjuster's own tables and the result, per station and observation.
  double TableBytes() const {
    const double stations = static_cast<double>(input_.stations.size());
    const double observations = static_cast<double>(input_.observations.size());
    return stations * static_cast<double>(sizeof(Frame) + 3 * sizeof(double) + sizeof(int32_t) +
                                          sizeof(std::array<Vec3, 3>) + sizeof(StationPrecision)) +
           observations *
               static_cast<double>(1 + sizeof(Mat3) + sizeof(ObservationTest) + 2 * sizeof(double));
  }
  void SelectObservations();
  // Parts, datum, unknowns and the pattern; false when the budget is passed.
  bool Layout();
  int32_t Worst() const;
  enum class Iteration { Converged, Undetermined, NotConverged, Cancelled };
  Iteration Iterate();
  bool Test();
  void Deactivate(const std::vector<int32_t>& stations);
  // Whether the job's zeniths tell the refraction coefficient: they do where stations see each
  // other both ways, which separates the bending of the sight from the height difference.
  bool RefractionEstimable() const;
  void AddRefractionUnknown(std::vector<std::pair<int32_t, int32_t>>& pairs);
  // Whether a part's zeniths tell the tilt of its verticals: enough of them, sighted in
  // directions that are not all along one line.
  bool TiltEstimable(const NetworkLayout& layout, size_t part) const;
  void AddTiltUnknowns(const NetworkLayout& layout,
                       std::vector<std::pair<int32_t, int32_t>>& pairs);
  // Every station's frame at its approximate latitude and longitude shifted by its part's tilt.
  void ApplyTilts();
  Geometry GeometryNow() const {
    return Geometry{input_, frames_, positions_, refraction_, &tilt_of_};
  }
  CofactorBlock Cofactors() const {
    return [this](int32_t s, int32_t t, double* out) { normals_.InverseBlock(s, t, out); };
  }
  // Solves with the present factor (its right-hand side is rebuilt by the next step).
  CofactorSolve Solver() {
    return [this](const std::vector<std::array<double, 3>>& b) {
      normals_.Clear(false);
      for (size_t s = 0; s < b.size(); ++s)
        if (unknowns_.count[s] > 0) normals_.AddRhs(static_cast<int32_t>(s), b[s].data());
      const std::vector<double> x = normals_.Solve();
      std::vector<std::array<double, 3>> out(b.size(), std::array<double, 3>{});
      for (size_t s = 0; s < b.size(); ++s)
        for (int32_t a = 0; a < unknowns_.count[s]; ++a)
          out[s][static_cast<size_t>(a)] =
              x[static_cast<size_t>(normals_.offset(static_cast<int32_t>(s)) + a)];
      return out;
    };
  }

  const AdjustmentInput& input_;
  const AdjustmentOptions& options_;
  AdjustmentResult& result_;
  std::vector<Frame> frames_;
  std::vector<double> positions_;
  std::vector<char> active_;
  std::vector<Mat3> weight_;  // inverse covariance of each vector
  StationUnknowns unknowns_;
  SparseNormals normals_;
  // The index of the refraction coefficient's unknown after the stations (its value the first
  // of its three numbers in positions_), −1 when the input's coefficient holds.
  int32_t refraction_ = -1;
  // The robust start's weight factor of each observation; empty outside it.
  std::vector<double> robust_;
  // The observations the robust start weighted to nothing, out until tested against the rest.
  std::vector<int32_t> set_aside_;
  std::vector<double> approximate_;  // the stations' approximate positions
  bool refraction_undetermined_ = false;
  bool layout_cancelled_ = false;
  // The tilt's unknown of each part whose verticals are estimated (after the stations and the
  // refraction coefficient; latitude and longitude shifts, radians, the first two of its three
  // numbers in positions_), and of each station, −1 where the frame is fixed.
  std::vector<int32_t> tilts_;
  std::vector<int32_t> tilt_parts_;
  std::vector<int32_t> tilt_of_;
  bool tilt_undetermined_ = false;
  int percent_ = 0;
  double largest_step_ = 0.0;  // of the last Gauss-Newton step, meters
  int32_t largest_at_ = -1;    // the station it moved
  // Why the run stopped, in words, for a station that is undetermined or did not settle.
  std::string UndeterminedReason() const;
  std::string UnsettledReason() const;
  void FinishTests(const RoundSums& sums);
  Iteration Step(bool matrix);
  Iteration RobustStart();
  // Gauss-Newton from where the stations are, and where that does not settle, from a robust
  // start.
  Iteration Settle();
  // Tests the set-aside observations against the round's adjustment, rejects those that fail
  // and brings back the rest; false when any came back (the network is to be adjusted again).
  bool SettleSetAside(int round);
  // Each active observation's misfit at the present positions over its SD (a vector's as the
  // root mean square of its three components in its own metric).
  double Misfit(const Geometry& geometry, size_t i) const;
};

std::string Adjuster::UnsettledReason() const {
  std::string where;
  if (largest_at_ >= 0) {
    where = std::isfinite(largest_step_)
                ? fmt::format(": the largest correction was {:.4f} m at station {}", largest_step_,
                              input_.stations[static_cast<size_t>(largest_at_)].name)
                : fmt::format(": the correction at station {} is not a number",
                              input_.stations[static_cast<size_t>(largest_at_)].name);
  }
  return fmt::format("did not settle after {} iterations{}", result_.iterations, where);
}

// The first station the observations do not fix, and what fixes it.
std::string Adjuster::UndeterminedReason() const {
  if (result_.undetermined_stations.empty()) return "undetermined";
  const int32_t station = result_.undetermined_stations.back();
  // The observations that still reached it before it was left out: rejected ones stay out.
  int32_t count = 0;
  AdjustedKind kind = AdjustedKind::SlopeDistance;
  for (size_t i = 0; i < input_.observations.size(); ++i) {
    if (result_.observations[i].rejected_round > 0) continue;
    int32_t st[3];
    const int n = StationsOf(input_.observations[i], st);
    if (std::find(st, st + n, station) == st + n) continue;
    kind = input_.observations[i].kind;
    ++count;
  }
  static constexpr const char* KIND[] = {"GNSS vector", "horizontal angle", "zenith angle",
                                         "slope distance"};
  const std::string& name = input_.stations[static_cast<size_t>(station)].name;
  if (count == 1) {
    return fmt::format("undetermined: station {} is fixed by one {}", name,
                       KIND[static_cast<size_t>(kind)]);
  }
  return fmt::format("undetermined: station {} is not fixed by its {} observations", name, count);
}

void Adjuster::SelectObservations() {
  const size_t stations = input_.stations.size();
  frames_.resize(stations);
  positions_.assign(stations * 3, 0.0);
  for (size_t s = 0; s < stations; ++s) {
    const AdjustmentStation& st = input_.stations[s];
    if (!st.has_position) continue;
    frames_[s] = FrameAt(st.latitude, st.longitude);
    const Vec3 p = StationPosition(input_, static_cast<int32_t>(s));
    std::copy(p.begin(), p.end(), positions_.begin() + static_cast<ptrdiff_t>(s * 3));
  }
  approximate_ = positions_;
  const size_t count = input_.observations.size();
  active_.assign(count, 0);
  weight_.assign(count, Mat3{});
  std::vector<char> missing(stations, 0);
  for (size_t i = 0; i < count; ++i) {
    const AdjustmentObservation& obs = input_.observations[i];
    int32_t st[3];
    const int n = StationsOf(obs, st);
    bool usable = true;
    for (int k = 0; k < n; ++k) {
      if (st[k] < 0 || static_cast<size_t>(st[k]) >= stations) {
        usable = false;
        continue;
      }
      if (!input_.stations[static_cast<size_t>(st[k])].has_position) {
        missing[static_cast<size_t>(st[k])] = 1;
        usable = false;
      }
    }
    for (int a = 0; a < n; ++a)
      for (int b = a + 1; b < n; ++b) usable = usable && st[a] != st[b];
    if (obs.kind == AdjustedKind::GnssVector) {
      usable = usable && InvertSymmetric(CovarianceOf(obs), weight_[i]) &&
               std::isfinite(obs.value[0] + obs.value[1] + obs.value[2]);
    } else {
      usable = usable && obs.sd > 0.0 && std::isfinite(obs.sd) && std::isfinite(obs.value[0]);
    }
    active_[i] = usable ? 1 : 0;
    if (!usable) ++result_.observations_left_out;
  }
  for (size_t s = 0; s < stations; ++s) {
    if (missing[s]) result_.stations_without_position.push_back(static_cast<int32_t>(s));
  }
}

void Adjuster::Deactivate(const std::vector<int32_t>& stations) {
  std::vector<char> gone(input_.stations.size(), 0);
  for (int32_t s : stations) {
    // Zeniths that cannot tell the refraction keep the input's coefficient.
    if (s == refraction_) {
      refraction_undetermined_ = true;
      continue;
    }
    // Zeniths that cannot tell the verticals leave them where the seed puts them.
    if (std::find(tilts_.begin(), tilts_.end(), s) != tilts_.end()) {
      tilt_undetermined_ = true;
      continue;
    }
    gone[static_cast<size_t>(s)] = 1;
    result_.undetermined_stations.push_back(s);
  }
  for (size_t i = 0; i < active_.size(); ++i) {
    if (!active_[i]) continue;
    int32_t st[3];
    const int n = StationsOf(input_.observations[i], st);
    for (int k = 0; k < n; ++k) {
      if (gone[static_cast<size_t>(st[k])]) {
        active_[i] = 0;
        ++result_.observations_left_out;
        break;
      }
    }
  }
}

bool Adjuster::RefractionEstimable() const {
  if (!options_.estimate_refraction || refraction_undetermined_) return false;
  std::vector<std::pair<int32_t, int32_t>> sights;
  for (size_t i = 0; i < active_.size(); ++i) {
    const AdjustmentObservation& obs = input_.observations[i];
    if (active_[i] && obs.kind == AdjustedKind::Zenith) sights.emplace_back(obs.at, obs.fore);
  }
  std::sort(sights.begin(), sights.end());
  sights.erase(std::unique(sights.begin(), sights.end()), sights.end());
  int32_t both_ways = 0;
  for (const auto& [at, fore] : sights) {
    if (at < fore && std::binary_search(sights.begin(), sights.end(), std::pair{fore, at}))
      ++both_ways;
  }
  return both_ways >= MIN_RECIPROCAL_SIGHTS;
}

// The coefficient as one more unknown after the stations, joined to both ends of every zenith.
void Adjuster::AddRefractionUnknown(std::vector<std::pair<int32_t, int32_t>>& pairs) {
  const auto stations = static_cast<int32_t>(input_.stations.size());
  const double k =
      refraction_ >= 0 ? positions_[static_cast<size_t>(refraction_) * 3] : input_.refraction;
  refraction_ = RefractionEstimable() ? stations : -1;
  frames_.resize(static_cast<size_t>(stations) + (refraction_ >= 0 ? 1 : 0));
  positions_.resize(frames_.size() * 3, 0.0);
  if (refraction_ < 0) return;
  positions_[static_cast<size_t>(refraction_) * 3] = k;
  unknowns_.count.push_back(1);
  unknowns_.basis.push_back({Vec3{1, 0, 0}, Vec3{}, Vec3{}});
  for (size_t i = 0; i < active_.size(); ++i) {
    const AdjustmentObservation& obs = input_.observations[i];
    if (!active_[i] || obs.kind != AdjustedKind::Zenith) continue;
    pairs.emplace_back(obs.at, refraction_);
    pairs.emplace_back(obs.fore, refraction_);
  }
}

bool Adjuster::TiltEstimable(const NetworkLayout& layout, size_t part) const {
  if (!layout.has_vector[part] || !layout.has_zenith[part]) return false;
  // Σ of (cos A, sin A)(cos A, sin A)ᵀ over the zeniths' azimuths: its smaller eigenvalue is
  // small when every sight runs along one line, which leaves the tilt across it free.
  double nn = 0.0, ne = 0.0, ee = 0.0;
  int32_t count = 0;
  for (size_t i = 0; i < active_.size(); ++i) {
    const AdjustmentObservation& obs = input_.observations[i];
    if (!active_[i] || obs.kind != AdjustedKind::Zenith) continue;
    if (layout.part[static_cast<size_t>(obs.at)] != static_cast<int32_t>(part)) continue;
    const Frame& f = frames_[static_cast<size_t>(obs.at)];
    Vec3 d;
    for (size_t c = 0; c < 3; ++c)
      d[c] = positions_[static_cast<size_t>(obs.fore) * 3 + c] -
             positions_[static_cast<size_t>(obs.at) * 3 + c];
    const double e = Dot(f.e, d), n = Dot(f.n, d), h = std::hypot(e, n);
    if (!(h > 0.0)) continue;
    nn += n * n / (h * h);
    ne += n * e / (h * h);
    ee += e * e / (h * h);
    ++count;
  }
  if (count < MIN_TILT_ZENITHS) return false;
  const double mean = 0.5 * (nn + ee), spread = std::hypot(0.5 * (nn - ee), ne);
  return (mean - spread) / count >= MIN_TILT_SPREAD;
}

// Each part whose zeniths and vectors tell its verticals gets one more unknown after the
// stations: the shift of latitude and longitude its frames follow, joined to every station its
// zeniths and horizontal angles reach (and to the refraction coefficient).
void Adjuster::AddTiltUnknowns(const NetworkLayout& layout,
                               std::vector<std::pair<int32_t, int32_t>>& pairs) {
  const auto first = static_cast<int32_t>(frames_.size());
  tilts_.clear();
  tilt_parts_.clear();
  tilt_of_.assign(input_.stations.size(), -1);
  for (size_t p = 0; p < layout.members.size() && options_.estimate_tilt && !tilt_undetermined_;
       ++p) {
    if (!TiltEstimable(layout, p)) continue;
    const auto t = first + static_cast<int32_t>(tilts_.size());
    tilts_.push_back(t);
    tilt_parts_.push_back(static_cast<int32_t>(p));
    for (int32_t s : layout.members[p]) tilt_of_[static_cast<size_t>(s)] = t;
  }
  frames_.resize(static_cast<size_t>(first) + tilts_.size());
  positions_.resize(frames_.size() * 3, 0.0);
  for (int32_t t : tilts_) {
    positions_[static_cast<size_t>(t) * 3] = options_.tilt_start[0];
    positions_[static_cast<size_t>(t) * 3 + 1] = options_.tilt_start[1];
    positions_[static_cast<size_t>(t) * 3 + 2] = 0.0;
    unknowns_.count.push_back(2);
    unknowns_.basis.push_back({Vec3{1, 0, 0}, Vec3{0, 1, 0}, Vec3{}});
  }
  for (size_t i = 0; i < active_.size(); ++i) {
    const AdjustmentObservation& obs = input_.observations[i];
    if (!active_[i] || obs.kind == AdjustedKind::GnssVector ||
        obs.kind == AdjustedKind::SlopeDistance)
      continue;
    const int32_t t = tilt_of_[static_cast<size_t>(obs.at)];
    if (t < 0) continue;
    int32_t st[3];
    const int n = StationsOf(obs, st);
    for (int k = 0; k < n; ++k) pairs.emplace_back(st[k], t);
    if (obs.kind == AdjustedKind::Zenith && refraction_ >= 0) pairs.emplace_back(refraction_, t);
  }
  ApplyTilts();
}

void Adjuster::ApplyTilts() {
  for (size_t s = 0; s < input_.stations.size(); ++s) {
    const AdjustmentStation& st = input_.stations[s];
    if (!st.has_position) continue;
    const int32_t t = tilt_of_.empty() ? -1 : tilt_of_[s];
    const double dphi = t >= 0 ? positions_[static_cast<size_t>(t) * 3] : 0.0;
    const double dlam = t >= 0 ? positions_[static_cast<size_t>(t) * 3 + 1] : 0.0;
    frames_[s] = FrameAt(st.latitude + dphi, st.longitude + dlam);
  }
}

bool Adjuster::Layout() {
  NetworkLayout layout = LayOutNetwork(input_, active_, frames_, positions_, options_.datum_choice);
  Progress(3);
  if (Cancelled()) {
    layout_cancelled_ = true;
    return false;
  }
  // A part without vector or distance has no scale: nothing in it can be tested.
  if (!layout.unscaled.empty()) {
    Deactivate(layout.unscaled);
    return Layout();
  }
  unknowns_ = std::move(layout.unknowns);
  result_.part_defects = std::move(layout.defects);
  result_.parts = static_cast<int32_t>(layout.members.size());
  for (size_t s = 0; s < result_.stations.size(); ++s) {
    result_.stations[s].part = layout.part[s];
    result_.stations[s].datum = false;
  }
  for (int32_t datum : layout.datum) result_.stations[static_cast<size_t>(datum)].datum = true;

  std::vector<std::pair<int32_t, int32_t>> pairs;
  for (size_t i = 0; i < active_.size(); ++i) {
    if (!active_[i]) continue;
    int32_t st[3];
    const int n = StationsOf(input_.observations[i], st);
    for (int a = 0; a < n; ++a)
      for (int b = a + 1; b < n; ++b) pairs.emplace_back(st[a], st[b]);
  }
  AddRefractionUnknown(pairs);
  AddTiltUnknowns(layout, pairs);
  normals_.SetOrdering(options_.ordering);
  if (!normals_.Layout(unknowns_.count, std::move(pairs), Share(7))) {
    layout_cancelled_ = true;
    return false;
  }
  result_.unknowns = normals_.size();
  result_.predicted_bytes = normals_.PredictedBytes() + TableBytes();
  return result_.predicted_bytes <= options_.memory_budget;
}

// One Gauss-Newton step: the normals at the present positions (the matrix only when asked),
// factored when asked, solved, and the stations moved.
Adjuster::Iteration Adjuster::Step(bool matrix) {
  const Geometry geometry = GeometryNow();
  normals_.Clear(matrix);
  for (size_t i = 0; i < active_.size(); ++i) {
    if (!active_[i]) continue;
    if ((i & 4095) == 0 && Cancelled()) return Iteration::Cancelled;
    const AdjustmentObservation& obs = input_.observations[i];
    AddToNormals(obs, weight_[i], geometry.Linearise(obs), unknowns_, matrix, normals_,
                 robust_.empty() ? 1.0 : robust_[i]);
  }
  if (Cancelled()) return Iteration::Cancelled;
  if (matrix) {
    std::vector<int32_t> undetermined;
    const SparseNormals::Outcome factored =
        normals_.Factor(undetermined, Share(result_.rounds == 0 ? 12 : 2));
    if (factored == SparseNormals::Outcome::Cancelled) return Iteration::Cancelled;
    if (factored == SparseNormals::Outcome::Undetermined) {
      Deactivate(undetermined);
      return Iteration::Undetermined;
    }
    if (Cancelled()) return Iteration::Cancelled;
  }
  const std::vector<double> x = normals_.Solve();
  double largest = 0.0;
  for (size_t s = 0; s < unknowns_.count.size(); ++s) {
    const int32_t o = normals_.offset(static_cast<int32_t>(s));
    if (static_cast<int32_t>(s) == refraction_) {
      positions_[s * 3] += x[static_cast<size_t>(o)];
      continue;
    }
    if (std::find(tilts_.begin(), tilts_.end(), static_cast<int32_t>(s)) != tilts_.end()) {
      positions_[s * 3] += x[static_cast<size_t>(o)];
      positions_[s * 3 + 1] += x[static_cast<size_t>(o + 1)];
      // Counted by how far it turns the farthest sight's end.
      const double step =
          TILT_REACH * std::hypot(x[static_cast<size_t>(o)], x[static_cast<size_t>(o + 1)]);
      if (!(step <= largest)) largest = std::isnan(step) ? INFINITY : step;
      continue;
    }
    for (int32_t a = 0; a < unknowns_.count[s]; ++a) {
      for (size_t c = 0; c < 3; ++c) {
        const double step =
            unknowns_.basis[s][static_cast<size_t>(a)][c] * x[static_cast<size_t>(o + a)];
        positions_[s * 3 + c] += step;
        // A NaN step counts as the largest: the run cannot settle from there.
        if (!(std::abs(step) <= largest)) {
          largest = std::isnan(step) ? INFINITY : std::abs(step);
          largest_at_ = static_cast<int32_t>(s);
        }
      }
    }
  }
  largest_step_ = largest;
  if (!tilts_.empty()) ApplyTilts();
  if (!std::isfinite(largest)) return Iteration::NotConverged;
  return largest < options_.convergence ? Iteration::Converged : Iteration::NotConverged;
}

double Adjuster::Misfit(const Geometry& geometry, size_t i) const {
  const AdjustmentObservation& obs = input_.observations[i];
  const Linearised lin = geometry.Linearise(obs);
  if (obs.kind != AdjustedKind::GnssVector) return std::abs(lin.misclosure[0]) / obs.sd;
  const Mat3& p = weight_[i];
  double sum = 0.0;
  for (size_t r = 0; r < 3; ++r)
    for (size_t c = 0; c < 3; ++c) sum += lin.misclosure[r] * p[r * 3 + c] * lin.misclosure[c];
  return std::sqrt(std::max(sum, 0.0) / 3.0);
}

// Iteratively reweighted least squares from the approximate positions: an observation that
// misfits by more than ROBUST_CUT SDs has its weight cut steeply (a redescending weight), so a
// wrong point name or a swapped vector stops pulling its stations; it ends once the stations
// stay put. Only the starting positions of the ordinary adjustment come from here.
Adjuster::Iteration Adjuster::RobustStart() {
  std::copy(approximate_.begin(), approximate_.end(), positions_.begin());
  for (int32_t t : tilts_) {
    positions_[static_cast<size_t>(t) * 3] = options_.tilt_start[0];
    positions_[static_cast<size_t>(t) * 3 + 1] = options_.tilt_start[1];
  }
  ApplyTilts();
  robust_.assign(active_.size(), 1.0);
  Iteration state = Iteration::NotConverged;
  std::vector<double> first;  // the weights at the approximate positions
  for (int iteration = 1; iteration <= options_.max_robust_iterations; ++iteration) {
    const Geometry geometry = GeometryNow();
    std::vector<double> misfit(active_.size(), 0.0);
    for (size_t i = 0; i < active_.size(); ++i)
      if (active_[i]) misfit[i] = Misfit(geometry, i);
    RobustWeights(misfit, active_, robust_);
    if (iteration == 1) first = robust_;
    state = Step(true);
    if (state == Iteration::Cancelled || state == Iteration::Undetermined) break;
    if (!std::isfinite(largest_step_)) break;
    if (largest_step_ < ROBUST_SETTLED) {
      state = Iteration::Converged;
      break;
    }
  }
  // Where it does not settle either (a blunder in a sight that alone fixes its station), what
  // misfits grossly at the approximate positions is set aside from there.
  if (state == Iteration::NotConverged && !first.empty()) {
    robust_ = std::move(first);
    std::copy(approximate_.begin(), approximate_.end(), positions_.begin());
    state = Iteration::Converged;
  }
  if (state == Iteration::Converged) {
    const std::vector<int32_t> aside = SetAside(robust_, active_);
    set_aside_.insert(set_aside_.end(), aside.begin(), aside.end());
  }
  robust_.clear();
  return state;
}

bool Adjuster::SettleSetAside(int round) {
  const SetAsideOutcome aside = fenwix::SettleSetAside(
      input_, set_aside_, result_.stations, GeometryNow(), unknowns_, Cofactors(), Solver(),
      result_.levels, result_.critical_w, active_, result_.observations);
  set_aside_.clear();
  result_.observations_left_out += aside.left_out;
  for (const int32_t i : aside.rejected) {
    result_.observations[static_cast<size_t>(i)].rejected_round = round;
    result_.rejected.push_back(i);
  }
  // The global test before any rejection counts what was set aside.
  if (round == 1) {
    result_.before = GlobalTestOf(
        result_.vtpv + aside.vtpv,
        result_.degrees_of_freedom + static_cast<double>(aside.components), options_.global_alpha);
  }
  return aside.brought_back == 0;
}

Adjuster::Iteration Adjuster::Settle() {
  const Iteration state = Iterate();
  if (state != Iteration::NotConverged || !options_.robust_start) return state;
  result_.robust_start = true;
  const Iteration robust = RobustStart();
  return robust == Iteration::Converged ? Iterate() : robust;
}

Adjuster::Iteration Adjuster::Iterate() {
  bool refactor = true;
  // From a robust start a gross misfit back at full weight pulls slowly: Gauss-Newton with large
  // residuals converges linearly.
  const int iterations = options_.max_iterations * (result_.robust_start ? 4 : 1);
  for (int iteration = 1; iteration <= iterations; ++iteration) {
    result_.iterations = iteration;
    const Iteration state = Step(refactor);
    if (state != Iteration::NotConverged || !std::isfinite(largest_step_)) return state;
    refactor = largest_step_ > REFACTOR_STEP;
  }
  return Iteration::NotConverged;
}

// The tests of every active observation at the adjusted positions, the global test, the
// group factors and the stations' precision; false when cancelled.
bool Adjuster::Test() {
  if (!normals_.SelectInverse(Share(8))) return false;
  const Geometry geometry = GeometryNow();
  // The tests ask about Cancel every few thousand observations; the bar moves by a point every
  // eight asks, three at most.
  const int from = percent_;
  int asked = 0;
  const std::optional<RoundSums> sums =
      TestObservations(input_, active_, weight_, geometry, unknowns_, Cofactors(),
                       result_.observations, [this, from, &asked] {
                         Progress(std::min({95, from + 3, from + ++asked / 8}));
                         return Cancelled();
                       });
  if (!sums) return false;
  // The bar moves between the steps that follow; each is a small share of the round.
  const auto step_done = [this] {
    Progress(std::min(95, percent_ + 1));
    return !Cancelled();
  };
  if (!step_done()) return false;
  FinishTests(*sums);
  result_.groups.clear();
  for (int k = 0; k < ADJUSTED_KIND_COUNT; ++k) {
    const KindSums& kind = sums->kinds[static_cast<size_t>(k)];
    if (kind.count == 0) continue;
    GroupFactor g;
    g.kind = static_cast<AdjustedKind>(k);
    g.count = kind.count;
    g.redundancy = kind.redundancy;
    g.vtpv = kind.vtpv;
    g.factor = g.redundancy > 0.0 ? std::sqrt(g.vtpv / g.redundancy) : 0.0;
    std::vector<double> sds = kind.sds;
    std::nth_element(sds.begin(), sds.begin() + static_cast<ptrdiff_t>(sds.size() / 2), sds.end());
    g.typical_sd = sds[sds.size() / 2];
    result_.groups.push_back(g);
  }
  ComputeStationPrecision(frames_, positions_, unknowns_, Cofactors(), Solver(),
                          result_.part_defects, options_.precision, result_.stations,
                          result_.part_datums);
  if (!step_done()) return false;
  result_.confidence = options_.precision.confidence;
  result_.relative_standard = options_.relative_standard;
  std::vector<int32_t> parts(result_.stations.size());
  for (size_t s = 0; s < parts.size(); ++s) parts[s] = result_.stations[s].part;
  result_.relative = ComputeRelativePrecision(input_, active_, frames_, positions_, parts,
                                              unknowns_, Cofactors(), options_.relative_standard);
  if (!step_done()) return false;
  ComputeExternalReliability(input_, weight_, GeometryNow(), unknowns_, Cofactors(), Solver(),
                             result_.stations, result_.part_datums, result_.observations);
  if (!step_done()) return false;
  result_.refraction = {GeometryNow().Refraction(), 0.0,
                        refraction_ >= 0               ? RefractionSource::Estimated
                        : options_.estimate_refraction ? RefractionSource::Ordinary
                                                       : RefractionSource::Given};
  if (refraction_ >= 0) {
    double z = 0.0;
    normals_.InverseBlock(refraction_, refraction_, &z);
    result_.refraction.sigma = std::sqrt(std::max(z, 0.0));
  }
  result_.tilts.clear();
  for (size_t k = 0; k < tilts_.size(); ++k) {
    const auto t = static_cast<size_t>(tilts_[k]);
    VerticalTilt tilt;
    tilt.part = tilt_parts_[k];
    tilt.latitude = positions_[t * 3];
    tilt.longitude = positions_[t * 3 + 1];
    double z[4] = {};
    normals_.InverseBlock(tilts_[k], tilts_[k], z);
    tilt.cofactor = {z[0], z[1], z[3]};
    result_.tilts.push_back(tilt);
  }
  return true;
}

// The round's global test, critical value and B-method constants; the minimal detectable
// biases of the active observations scaled to them.
void Adjuster::FinishTests(const RoundSums& sums) {
  const double vtpv = sums.vtpv;
  const int32_t tests = sums.tests;
  result_.vtpv = vtpv;
  result_.degrees_of_freedom = static_cast<double>(sums.components - normals_.size());
  const double f = result_.degrees_of_freedom;
  result_.sigma0 = f > 0 ? std::sqrt(vtpv / f) : 0.0;
  result_.chi2_upper = ChiSquareUpperQuantile(f, 0.5 * options_.global_alpha);
  result_.after = GlobalTestOf(vtpv, f, options_.global_alpha);
  if (result_.rounds <= 1) result_.before = result_.after;
  result_.global_passed = result_.after.verdict != GlobalVerdict::TooLarge &&
                          result_.after.verdict != GlobalVerdict::TooSmall;
  result_.tests = tests;
  result_.family_alpha = options_.family_alpha;
  result_.critical_w = FamilyCriticalW(tests, options_.family_alpha);
  result_.levels = LevelsFor(result_.critical_w, options_.power);
  const double scalar = result_.levels.delta0, vector = std::sqrt(result_.levels.lambda0);
  for (size_t i = 0; i < active_.size(); ++i) {
    if (!active_[i]) continue;
    ObservationTest& t = result_.observations[i];
    const bool whole = input_.observations[i].kind == AdjustedKind::GnssVector;
    for (double& m : t.mdb) m *= whole ? vector : scalar;
  }
}

// The active tested observation with the largest |w| above the critical value; −1 if none.
int32_t Adjuster::Worst() const {
  int32_t worst = -1;
  double largest = result_.critical_w;
  for (size_t i = 0; i < active_.size(); ++i) {
    const ObservationTest& t = result_.observations[i];
    if (t.active && t.tested && std::abs(t.w_whole) > largest) {
      largest = std::abs(t.w_whole);
      worst = static_cast<int32_t>(i);
    }
  }
  return worst;
}

void Adjuster::Run() {
  result_.max_rounds = options_.max_rounds;
  result_.observations.resize(input_.observations.size());
  for (size_t i = 0; i < result_.observations.size(); ++i) {
    result_.observations[i].index = static_cast<int32_t>(i);
  }
  result_.stations.assign(input_.stations.size(), StationPrecision{});
  result_.unweighted = UnweightedObservation(input_);
  if (!result_.unweighted.empty()) {
    result_.outcome = AdjustmentOutcome::Unweighted;
    return;
  }
  SelectObservations();
  Progress(2);
  Iteration state = Iteration::Undetermined;
  for (int attempt = 0; attempt < LAYOUT_ATTEMPTS && state == Iteration::Undetermined; ++attempt) {
    if (std::none_of(active_.begin(), active_.end(), [](char a) { return a != 0; })) {
      result_.outcome = AdjustmentOutcome::NothingToTest;
      return;
    }
    if (!Layout()) {
      result_.outcome =
          layout_cancelled_ ? AdjustmentOutcome::Cancelled : AdjustmentOutcome::OverBudget;
      return;
    }
    if (normals_.size() == 0) {
      result_.outcome = AdjustmentOutcome::NothingToTest;
      return;
    }
    Progress(10);
    state = Settle();
  }
  for (int round = 1;; ++round) {
    if (state == Iteration::Cancelled) {
      result_.outcome = AdjustmentOutcome::Cancelled;
      return;
    }
    if (state != Iteration::Converged) {
      // A run that cannot finish gives no test values: none of them would mean anything.
      const bool undetermined = state == Iteration::Undetermined;
      result_.outcome =
          undetermined ? AdjustmentOutcome::Undetermined : AdjustmentOutcome::NotConverged;
      result_.reason = undetermined ? UndeterminedReason() : UnsettledReason();
      return;
    }
    result_.rounds = round;
    Progress(std::min(95, 40 + 10 * round));
    if (!Test()) {
      result_.outcome = AdjustmentOutcome::Cancelled;
      return;
    }
    if (!set_aside_.empty() && !SettleSetAside(round)) {
      state = Iterate();
      continue;
    }
    // Data snooping: the largest |w| above the critical value goes, and the network is adjusted
    // again without it.
    const int32_t worst = Worst();
    if (worst < 0) break;
    if (round > options_.max_rounds) {
      result_.round_limit_reached = true;
      break;
    }
    result_.observations[static_cast<size_t>(worst)].rejected_round = round;
    result_.rejected.push_back(worst);
    active_[static_cast<size_t>(worst)] = 0;
    state = Settle();
  }
  // A rejected observation keeps the values of its round; mark it out of the final one.
  for (int32_t i : result_.rejected) result_.observations[static_cast<size_t>(i)].active = false;
  Progress(100);
  result_.outcome = AdjustmentOutcome::Done;
}

}  // namespace

GlobalTest GlobalTestOf(double vtpv, double degrees_of_freedom, double alpha) {
  GlobalTest test;
  test.degrees_of_freedom = degrees_of_freedom;
  if (!(degrees_of_freedom > 0.0)) return test;
  const double f = degrees_of_freedom;
  test.sigma0 = std::sqrt(vtpv / f);
  test.lower = std::sqrt(ChiSquareUpperQuantile(f, 1.0 - 0.5 * alpha) / f);
  test.upper = std::sqrt(ChiSquareUpperQuantile(f, 0.5 * alpha) / f);
  test.verdict = test.sigma0 > test.upper   ? GlobalVerdict::TooLarge
                 : test.sigma0 < test.lower ? GlobalVerdict::TooSmall
                                            : GlobalVerdict::Passed;
  return test;
}

namespace {

AdjustmentResult AdjustOnce(const AdjustmentInput& input, const AdjustmentOptions& options) {
  AdjustmentResult result;
  Adjuster adjuster(input, options, result);
  adjuster.Run();
  for (GroupFactor& g : result.groups) g.estimated_sd = g.typical_sd * g.factor;
  return result;
}

// The input with each group's SDs (a vector's covariance) scaled.
AdjustmentInput Scaled(const AdjustmentInput& input,
                       const std::array<double, ADJUSTED_KIND_COUNT>& scale) {
  AdjustmentInput scaled = input;
  for (AdjustmentObservation& obs : scaled.observations) {
    const double s = scale[static_cast<size_t>(obs.kind)];
    obs.sd *= s;
    for (double& c : obs.covariance) c *= s * s;
  }
  return scaled;
}

// A group needs this share of the degrees of freedom for its factor to be estimated.
constexpr double FACTOR_REDUNDANCY = 2.0;
// The iteration ends when no group's factor is farther from 1 than this.
constexpr double FACTOR_SETTLED = 0.01;

}  // namespace

AdjustmentResult AdjustNetwork(const AdjustmentInput& input, const AdjustmentOptions& options) {
  AdjustmentResult profile = AdjustOnce(input, options);
  // The profile does not fit when the raw data are too good for it, or too poor for it even
  // after data snooping: rejections that explain the raw data's failure are blunders.
  const bool too_small = profile.before.verdict == GlobalVerdict::TooSmall;
  const bool too_large = profile.before.verdict == GlobalVerdict::TooLarge &&
                         profile.after.verdict != GlobalVerdict::Passed;
  if (!options.estimate_factors || profile.outcome != AdjustmentOutcome::Done ||
      !(too_small || too_large)) {
    return profile;
  }
  // Iterated variance components: each group's weights scaled by its σ̂² from the residuals of
  // the observations the last run kept, until the factors settle at 1.
  std::array<double, ADJUSTED_KIND_COUNT> scale;
  scale.fill(1.0);
  AdjustmentResult current = std::move(profile);
  const GlobalTest profile_test = current.before;
  int iteration = 0;
  for (; iteration < options.max_factor_iterations; ++iteration) {
    bool settled = true;
    std::array<double, ADJUSTED_KIND_COUNT> next_scale = scale;
    for (const GroupFactor& g : current.groups) {
      if (g.redundancy < FACTOR_REDUNDANCY || !(g.factor > 0.0)) continue;
      settled = settled && std::abs(g.factor - 1.0) <= FACTOR_SETTLED;
      next_scale[static_cast<size_t>(g.kind)] *= g.factor;
    }
    if (settled && iteration > 0) break;
    scale = next_scale;
    AdjustmentResult next = AdjustOnce(Scaled(input, scale), options);
    // A run with the estimated factors that cannot finish leaves the profile's test standing.
    if (next.outcome != AdjustmentOutcome::Done) {
      if (next.outcome == AdjustmentOutcome::Cancelled) return next;
      return AdjustOnce(input, options);
    }
    current = std::move(next);
  }
  current.estimated_factors = true;
  current.profile_test = profile_test;
  current.factor_iterations = iteration;
  // The groups speak in the profile's SDs: the scale is part of the job's own estimate.
  for (GroupFactor& g : current.groups) {
    const double s = scale[static_cast<size_t>(g.kind)];
    g.scale = s;
    g.typical_sd /= s;
    g.estimated_sd = g.typical_sd * s * g.factor;
  }
  return current;
}

}  // namespace fenwix

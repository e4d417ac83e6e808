#include "adjust/network_adjustment.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <numeric>
#include <string>
#include <string_view>

#include <fmt/format.h>
#include <Eigen/Eigenvalues>

#include "adjust/observation_geometry.h"
#include "adjust/sparse_normals.h"
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

// The least share of a vector's own precision that the network leaves to its residuals, over
// every direction: the smallest eigenvalue of Q_vv against the vector's covariance C. Each
// component's r can be well above 0 while one direction has none (a vector that alone closes a
// traverse without orientation): its whole test would divide noise by noise there, and its
// rejection would leave the traverse free to turn.
double SmallestRedundancy(const Mat3& qvv, const Mat3& cov) {
  Eigen::Matrix3d q, c;
  for (int r = 0; r < 3; ++r) {
    for (int k = 0; k < 3; ++k) {
      q(r, k) = 0.5 * (qvv[static_cast<size_t>(r * 3 + k)] + qvv[static_cast<size_t>(k * 3 + r)]);
      c(r, k) = cov[static_cast<size_t>(r * 3 + k)];
    }
  }
  const Eigen::GeneralizedSelfAdjointEigenSolver<Eigen::Matrix3d> solver(q, c,
                                                                         Eigen::EigenvaluesOnly);
  if (solver.info() != Eigen::Success) return 0.0;
  return std::max(solver.eigenvalues().minCoeff(), 0.0);
}
// Attempts at finding the stations the observations fix before giving up.
constexpr int LAYOUT_ATTEMPTS = 6;
// A Gauss-Newton step keeps the factor of the step before when that step moved no station by
// more than this, meters: the normal matrix then changes by parts in a million, which leaves
// the redundancy numbers from that factor true to six digits and where the iteration ends
// unchanged (the right-hand side is always new).
constexpr double REFACTOR_STEP = 0.001;

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
  StepCheck Step(int span) {
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
  enum class Iteration { Converged, Undetermined, NotConverged, Cancelled };
  Iteration Iterate();
  bool Test();
  void Deactivate(const std::vector<int32_t>& stations);
  void HoldRotations(const std::vector<int32_t>& members, int32_t datum);
  // g = Bᵀ·gradient for station s (k_s numbers).
  void Project(int32_t s, const Vec3& gradient, double* g) const;

  const AdjustmentInput& input_;
  const AdjustmentOptions& options_;
  AdjustmentResult& result_;
  std::vector<Frame> frames_;
  std::vector<double> positions_;
  std::vector<char> active_;
  std::vector<Mat3> weight_;  // inverse covariance of each vector
  std::vector<int32_t> unknowns_;
  std::vector<std::array<Vec3, 3>> basis_;  // geocentric direction of each unknown
  SparseNormals normals_;
  int percent_ = 0;
  double largest_step_ = 0.0;  // of the last Gauss-Newton step, meters
  int32_t largest_at_ = -1;    // the station it moved
  // Why the run stopped, in words, for a station that is undetermined or did not settle.
  std::string UndeterminedReason() const;
  std::string UnsettledReason() const;
  void FinishTests(int32_t tests, double vtpv, int64_t components);
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

void Adjuster::Project(int32_t s, const Vec3& gradient, double* g) const {
  for (int32_t a = 0; a < unknowns_[static_cast<size_t>(s)]; ++a) {
    g[a] = Dot(basis_[static_cast<size_t>(s)][static_cast<size_t>(a)], gradient);
  }
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

// A part without vector or zenith angle may turn about any axis through its datum station:
// the station farthest from it keeps only its distance along their line, and the station
// farthest from that line only its place in the plane of the three.
void Adjuster::HoldRotations(const std::vector<int32_t>& members, int32_t datum) {
  const Vec3 origin = Geometry{input_, frames_, positions_}.Position(datum);
  const auto from = [&](int32_t s) {
    const size_t i = static_cast<size_t>(s) * 3;
    return Vec3{positions_[i] - origin[0], positions_[i + 1] - origin[1],
                positions_[i + 2] - origin[2]};
  };
  int32_t far = -1;
  double best = 0.0;
  for (int32_t s : members) {
    const Vec3 d = from(s);
    if (std::sqrt(Dot(d, d)) > best) best = std::sqrt(Dot(d, d)), far = s;
  }
  if (far < 0) return;
  Vec3 line = from(far);
  for (double& c : line) c /= best;
  int32_t third = -1;
  double off_line = 0.0;
  Vec3 across{};
  for (int32_t s : members) {
    const Vec3 d = from(s);
    const double along = Dot(d, line);
    const Vec3 rest{d[0] - along * line[0], d[1] - along * line[1], d[2] - along * line[2]};
    const double size = std::sqrt(Dot(rest, rest));
    if (size > off_line) {
      off_line = size;
      third = s;
      for (int c = 0; c < 3; ++c) across[c] = rest[c] / size;
    }
  }
  unknowns_[static_cast<size_t>(far)] = 1;
  basis_[static_cast<size_t>(far)] = {line, Vec3{}, Vec3{}};
  if (third < 0 || third == far) return;
  unknowns_[static_cast<size_t>(third)] = 2;
  basis_[static_cast<size_t>(third)] = {line, across, Vec3{}};
}

void Adjuster::Deactivate(const std::vector<int32_t>& stations) {
  std::vector<char> gone(input_.stations.size(), 0);
  for (int32_t s : stations) {
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

bool Adjuster::Layout() {
  const size_t stations = input_.stations.size();
  // Connected parts, by union-find over the active observations.
  std::vector<int32_t> root(stations);
  std::iota(root.begin(), root.end(), 0);
  const auto find = [&](int32_t s) {
    while (root[static_cast<size_t>(s)] != s) {
      root[static_cast<size_t>(s)] = root[static_cast<size_t>(root[static_cast<size_t>(s)])];
      s = root[static_cast<size_t>(s)];
    }
    return s;
  };
  std::vector<char> used(stations, 0);
  for (size_t i = 0; i < active_.size(); ++i) {
    if (!active_[i]) continue;
    int32_t st[3];
    const int n = StationsOf(input_.observations[i], st);
    for (int k = 0; k < n; ++k) {
      used[static_cast<size_t>(st[k])] = 1;
      const int32_t a = find(st[0]), b = find(st[k]);
      if (a != b) root[static_cast<size_t>(std::max(a, b))] = std::min(a, b);
    }
  }
  std::vector<int32_t> part(stations, -1);
  std::vector<std::vector<int32_t>> members;
  for (size_t s = 0; s < stations; ++s) {
    if (!used[s]) continue;
    const int32_t r = find(static_cast<int32_t>(s));
    if (part[static_cast<size_t>(r)] < 0) {
      part[static_cast<size_t>(r)] = static_cast<int32_t>(members.size());
      members.emplace_back();
    }
    part[s] = part[static_cast<size_t>(r)];
    members[static_cast<size_t>(part[s])].push_back(static_cast<int32_t>(s));
  }
  std::vector<char> has_vector(members.size(), 0), has_scale(members.size(), 0),
      has_zenith(members.size(), 0);
  for (size_t i = 0; i < active_.size(); ++i) {
    if (!active_[i]) continue;
    const AdjustmentObservation& obs = input_.observations[i];
    const auto p = static_cast<size_t>(part[static_cast<size_t>(obs.at)]);
    if (obs.kind == AdjustedKind::GnssVector) has_vector[p] = has_scale[p] = 1;
    if (obs.kind == AdjustedKind::SlopeDistance) has_scale[p] = 1;
    if (obs.kind == AdjustedKind::Zenith) has_zenith[p] = 1;
  }
  // A part without vector or distance has no scale: nothing in it can be tested.
  std::vector<int32_t> unscaled;
  for (size_t p = 0; p < members.size(); ++p) {
    if (!has_scale[p]) unscaled.insert(unscaled.end(), members[p].begin(), members[p].end());
  }
  if (!unscaled.empty()) {
    Deactivate(unscaled);
    return Layout();
  }

  unknowns_.assign(stations, 0);
  basis_.assign(stations, {});
  for (size_t s = 0; s < stations; ++s) {
    if (!used[s]) continue;
    unknowns_[s] = 3;
    basis_[s] = {Vec3{1, 0, 0}, Vec3{0, 1, 0}, Vec3{0, 0, 1}};
  }
  for (StationPrecision& sp : result_.stations) {
    sp.part = -1;
    sp.datum = false;
  }
  result_.part_defects.assign(members.size(), 3);
  for (size_t p = 0; p < members.size(); ++p) {
    const std::vector<int32_t>& m = members[p];
    const int32_t datum =
        m[static_cast<size_t>(std::max<int32_t>(options_.datum_choice, 0)) % m.size()];
    for (int32_t s : m) result_.stations[static_cast<size_t>(s)].part = static_cast<int32_t>(p);
    result_.stations[static_cast<size_t>(datum)].datum = true;
    unknowns_[static_cast<size_t>(datum)] = 0;
    if (has_vector[p]) continue;
    result_.part_defects[p] = has_zenith[p] ? 4 : 6;
    if (!has_zenith[p]) {
      HoldRotations(m, datum);
      continue;
    }
    // Without a vector the part may turn about the vertical of its datum station: the second
    // station farthest from it keeps only its distance and height.
    const Frame& f = frames_[static_cast<size_t>(datum)];
    int32_t far = -1;
    double best = 0.0;
    Vec3 radial{};
    for (int32_t s : m) {
      Vec3 d;
      for (int c = 0; c < 3; ++c) d[c] = positions_[s * 3 + c] - positions_[datum * 3 + c];
      const double e = Dot(f.e, d), n = Dot(f.n, d);
      if (std::hypot(e, n) > best) {
        best = std::hypot(e, n);
        far = s;
        for (int c = 0; c < 3; ++c) radial[c] = (e * f.e[c] + n * f.n[c]) / best;
      }
    }
    if (far >= 0) {
      unknowns_[static_cast<size_t>(far)] = 2;
      basis_[static_cast<size_t>(far)] = {radial, f.u, Vec3{}};
    }
  }
  result_.parts = static_cast<int32_t>(members.size());

  std::vector<std::pair<int32_t, int32_t>> pairs;
  for (size_t i = 0; i < active_.size(); ++i) {
    if (!active_[i]) continue;
    int32_t st[3];
    const int n = StationsOf(input_.observations[i], st);
    for (int a = 0; a < n; ++a)
      for (int b = a + 1; b < n; ++b) pairs.emplace_back(st[a], st[b]);
  }
  normals_.SetOrdering(options_.ordering);
  normals_.Layout(unknowns_, std::move(pairs));
  result_.unknowns = normals_.size();
  result_.predicted_bytes = normals_.PredictedBytes() + TableBytes();
  return result_.predicted_bytes <= options_.memory_budget;
}

Adjuster::Iteration Adjuster::Iterate() {
  const Geometry geometry{input_, frames_, positions_};
  bool refactor = true;
  for (int iteration = 1; iteration <= options_.max_iterations; ++iteration) {
    result_.iterations = iteration;
    normals_.Clear(refactor);
    for (size_t i = 0; i < active_.size(); ++i) {
      if (!active_[i]) continue;
      if ((i & 4095) == 0 && Cancelled()) return Iteration::Cancelled;
      const AdjustmentObservation& obs = input_.observations[i];
      const Linearised lin = geometry.Linearise(obs);
      int32_t st[3];
      const int n = StationsOf(obs, st);
      if (obs.kind == AdjustedKind::GnssVector) {
        // J_fore = B_fore, J_at = −B_at; N gets JᵀPJ, the right-hand side −JᵀPm.
        const Mat3& p = weight_[i];
        double jp[2][3][3];  // (±Bᵀ P) of at and fore, k × 3
        for (int e = 0; e < 2; ++e) {
          const int32_t s = st[e];
          const double sign = e == 0 ? -1.0 : 1.0;
          for (int32_t a = 0; a < unknowns_[static_cast<size_t>(s)]; ++a) {
            const Vec3& b = basis_[static_cast<size_t>(s)][static_cast<size_t>(a)];
            for (int c = 0; c < 3; ++c) {
              jp[e][a][c] =
                  sign * (b[0] * p[0 * 3 + c] + b[1] * p[1 * 3 + c] + b[2] * p[2 * 3 + c]);
            }
          }
        }
        for (int e = 0; e < 2; ++e) {
          const int32_t s = st[e];
          const int32_t ks = unknowns_[static_cast<size_t>(s)];
          if (ks == 0) continue;
          double g[3];
          for (int32_t a = 0; a < ks; ++a)
            g[a] = -Dot({jp[e][a][0], jp[e][a][1], jp[e][a][2]}, lin.misclosure);
          normals_.AddRhs(s, g);
          for (int f = e; f < 2 && refactor; ++f) {
            const int32_t t = st[f];
            const int32_t kt = unknowns_[static_cast<size_t>(t)];
            if (kt == 0) continue;
            const double sign = f == 0 ? -1.0 : 1.0;
            double block[9];
            for (int32_t a = 0; a < ks; ++a) {
              for (int32_t b = 0; b < kt; ++b) {
                const Vec3& bt = basis_[static_cast<size_t>(t)][static_cast<size_t>(b)];
                block[a * kt + b] =
                    sign * (jp[e][a][0] * bt[0] + jp[e][a][1] * bt[1] + jp[e][a][2] * bt[2]);
              }
            }
            normals_.AddBlock(s, t, block);
          }
        }
        continue;
      }
      const double weight = 1.0 / (obs.sd * obs.sd);
      double g[3][3];
      for (int e = 0; e < n; ++e) Project(st[e], lin.gradient[e], g[e]);
      for (int e = 0; e < n; ++e) {
        const int32_t ks = unknowns_[static_cast<size_t>(st[e])];
        if (ks == 0) continue;
        double rhs[3];
        for (int32_t a = 0; a < ks; ++a) rhs[a] = -weight * g[e][a] * lin.misclosure[0];
        normals_.AddRhs(st[e], rhs);
        for (int f = e; f < n && refactor; ++f) {
          const int32_t kt = unknowns_[static_cast<size_t>(st[f])];
          if (kt == 0) continue;
          double block[9];
          for (int32_t a = 0; a < ks; ++a)
            for (int32_t b = 0; b < kt; ++b) block[a * kt + b] = weight * g[e][a] * g[f][b];
          normals_.AddBlock(st[e], st[f], block);
        }
      }
    }
    if (Cancelled()) return Iteration::Cancelled;
    std::vector<int32_t> undetermined;
    if (refactor) {
      const SparseNormals::Outcome factored =
          normals_.Factor(undetermined, Step(result_.rounds == 0 ? 12 : 2));
      if (factored == SparseNormals::Outcome::Cancelled) return Iteration::Cancelled;
      if (factored == SparseNormals::Outcome::Undetermined) {
        Deactivate(undetermined);
        return Iteration::Undetermined;
      }
    }
    if (Cancelled()) return Iteration::Cancelled;
    const std::vector<double> x = normals_.Solve();
    double largest = 0.0;
    for (size_t s = 0; s < unknowns_.size(); ++s) {
      const int32_t o = normals_.offset(static_cast<int32_t>(s));
      for (int32_t a = 0; a < unknowns_[s]; ++a) {
        for (int c = 0; c < 3; ++c) {
          const double step = basis_[s][static_cast<size_t>(a)][c] * x[static_cast<size_t>(o + a)];
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
    if (!std::isfinite(largest)) return Iteration::NotConverged;
    if (largest < options_.convergence) return Iteration::Converged;
    refactor = largest > REFACTOR_STEP;
  }
  return Iteration::NotConverged;
}

// The tests of every active observation at the adjusted positions, the global test, the
// group factors and the stations' precision; false when cancelled.
bool Adjuster::Test() {
  if (!normals_.SelectInverse(Step(8))) return false;
  const Geometry geometry{input_, frames_, positions_};
  double vtpv = 0.0;
  int64_t components = 0;
  std::array<GroupFactor, ADJUSTED_KIND_COUNT> groups{};
  std::array<std::vector<double>, ADJUSTED_KIND_COUNT> sds;
  int32_t tests = 0;
  for (size_t i = 0; i < active_.size(); ++i) {
    ObservationTest& t = result_.observations[i];
    t.active = active_[i] != 0;
    if (!t.active) continue;
    if ((i & 4095) == 0 && Cancelled()) return false;
    const AdjustmentObservation& obs = input_.observations[i];
    const Linearised lin = geometry.Linearise(obs);
    int32_t st[3];
    const int n = StationsOf(obs, st);
    double blocks[3][3][9];
    for (int e = 0; e < n; ++e)
      for (int f = 0; f < n; ++f) {
        if (unknowns_[static_cast<size_t>(st[e])] && unknowns_[static_cast<size_t>(st[f])]) {
          normals_.InverseBlock(st[e], st[f], blocks[e][f]);
        }
      }
    GroupFactor& group = groups[static_cast<size_t>(obs.kind)];
    ++group.count;
    if (obs.kind == AdjustedKind::GnssVector) {
      // Q_l̂ = Σ J_s Z_st J_tᵀ with J = ±B (3 × k).
      Mat3 q{};
      for (int e = 0; e < 2; ++e)
        for (int f = 0; f < 2; ++f) {
          const int32_t s = st[e], u = st[f];
          const int32_t ks = unknowns_[static_cast<size_t>(s)],
                        ku = unknowns_[static_cast<size_t>(u)];
          if (!ks || !ku) continue;
          const double sign = (e == f) ? 1.0 : -1.0;
          for (int32_t a = 0; a < ks; ++a)
            for (int32_t b = 0; b < ku; ++b) {
              const double z = sign * blocks[e][f][a * ku + b];
              const Vec3& ba = basis_[static_cast<size_t>(s)][static_cast<size_t>(a)];
              const Vec3& bb = basis_[static_cast<size_t>(u)][static_cast<size_t>(b)];
              for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) q[r * 3 + c] += ba[r] * z * bb[c];
            }
        }
      const Mat3 cov = CovarianceOf(obs);
      Mat3 qvv;
      for (int k = 0; k < 9; ++k) qvv[k] = cov[k] - q[k];
      const Mat3 qvvp = Multiply(qvv, weight_[i]);
      // P Q_vv P: a bias ∇ along component k moves the vector's test by ∇²·(PQ_vvP)_kk, and
      // its own w-test is (Pv)_k over the root of that, the correlations of the residuals kept.
      const Mat3 pqvvp = Multiply(weight_[i], qvvp);
      const Vec3& v = lin.misclosure;
      Vec3 pv{};
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) pv[r] += weight_[i][r * 3 + c] * v[c];
      const double part = Dot(v, pv);
      vtpv += part;
      group.vtpv += part;
      components += 3;
      t.r_min = 1.0;
      for (int k = 0; k < 3; ++k) {
        const double m = pqvvp[k * 4];
        t.v[k] = v[k];
        t.r[k] = std::max(qvvp[k * 4], 0.0);
        t.w[k] = m > 0.0 ? pv[k] / std::sqrt(m) : 0.0;
        // Per unit of non-centrality; FinishTests scales it by √λ0 of the vector's test.
        t.mdb[k] = m > 0.0 ? 1.0 / std::sqrt(m) : INFINITY;
        t.r_min = std::min(t.r_min, t.r[k]);
        group.redundancy += t.r[k];
      }
      sds[static_cast<size_t>(obs.kind)].push_back(std::sqrt((cov[0] + cov[4] + cov[8]) / 3.0));
      Mat3 qvv_inverse, qvvp_inverse;
      const bool whole = InvertSymmetric(qvv, qvv_inverse) && t.r_min >= TESTED_REDUNDANCY &&
                         SmallestRedundancy(qvv, cov) >= TESTED_REDUNDANCY;
      t.tested = whole;
      if (whole) {
        Vec3 qv{};
        for (int r = 0; r < 3; ++r)
          for (int c = 0; c < 3; ++c) qv[r] += qvv_inverse[r * 3 + c] * v[c];
        t.w_whole = EquivalentW(Dot(v, qv));
        // ∇̂ = −(Q_vv P)⁻¹ v = −C Q_vv⁻¹ v.
        for (int r = 0; r < 3; ++r) {
          t.estimated_error[r] = 0.0;
          for (int c = 0; c < 3; ++c) t.estimated_error[r] -= cov[r * 3 + c] * qv[c];
        }
        (void)qvvp_inverse;
      } else {
        t.w_whole = 0.0;
        t.estimated_error = {};
      }
    } else {
      double q = 0.0;
      double g[3][3];
      for (int e = 0; e < n; ++e) Project(st[e], lin.gradient[e], g[e]);
      for (int e = 0; e < n; ++e)
        for (int f = 0; f < n; ++f) {
          const int32_t ks = unknowns_[static_cast<size_t>(st[e])];
          const int32_t kf = unknowns_[static_cast<size_t>(st[f])];
          if (!ks || !kf) continue;
          for (int32_t a = 0; a < ks; ++a)
            for (int32_t b = 0; b < kf; ++b) q += g[e][a] * blocks[e][f][a * kf + b] * g[f][b];
        }
      const double var = obs.sd * obs.sd;
      const double qvv = var - q;
      const double v = lin.misclosure[0];
      vtpv += v * v / var;
      group.vtpv += v * v / var;
      components += 1;
      t.v = {v, 0, 0};
      // Rounding can leave a fully determined observation a hair below zero.
      t.r = {std::max(qvv / var, 0.0), 0, 0};
      t.r_min = t.r[0];
      group.redundancy += t.r[0];
      t.w = {qvv > 0.0 ? v / std::sqrt(qvv) : 0.0, 0, 0};
      // Per unit of δ; FinishTests scales it by δ0 of the round's critical value.
      t.mdb = {t.r[0] > 0.0 ? obs.sd / std::sqrt(t.r[0]) : INFINITY, 0, 0};
      t.tested = t.r[0] >= TESTED_REDUNDANCY;
      t.estimated_error = {t.tested ? -v / t.r[0] : 0.0, 0, 0};
      t.w_whole = t.tested ? t.w[0] : 0.0;
      sds[static_cast<size_t>(obs.kind)].push_back(obs.sd);
    }
    if (t.tested) ++tests;
  }
  FinishTests(tests, vtpv, components);
  result_.groups.clear();
  for (int k = 0; k < ADJUSTED_KIND_COUNT; ++k) {
    GroupFactor g = groups[static_cast<size_t>(k)];
    if (g.count == 0) continue;
    g.kind = static_cast<AdjustedKind>(k);
    g.factor = g.redundancy > 0.0 ? std::sqrt(g.vtpv / g.redundancy) : 0.0;
    std::vector<double>& v = sds[static_cast<size_t>(k)];
    std::nth_element(v.begin(), v.begin() + static_cast<ptrdiff_t>(v.size() / 2), v.end());
    g.typical_sd = v[v.size() / 2];
    result_.groups.push_back(g);
  }

  // Station precision: B Z_ss Bᵀ turned into the local frame.
  for (size_t s = 0; s < input_.stations.size(); ++s) {
    StationPrecision& sp = result_.stations[s];
    sp.x = positions_[s * 3];
    sp.y = positions_[s * 3 + 1];
    sp.z = positions_[s * 3 + 2];
    sp.determined = sp.part >= 0;
    const int32_t k = unknowns_[s];
    if (!sp.determined) continue;
    Mat3 c{};
    if (k > 0) {
      double z[9];
      normals_.InverseBlock(static_cast<int32_t>(s), static_cast<int32_t>(s), z);
      for (int32_t a = 0; a < k; ++a)
        for (int32_t b = 0; b < k; ++b)
          for (int r = 0; r < 3; ++r)
            for (int col = 0; col < 3; ++col)
              c[r * 3 + col] += basis_[s][static_cast<size_t>(a)][r] * z[a * k + b] *
                                basis_[s][static_cast<size_t>(b)][col];
    }
    const Frame& f = frames_[s];
    const auto project = [&](const Vec3& x, const Vec3& y) {
      double sum = 0.0;
      for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col) sum += x[r] * c[r * 3 + col] * y[col];
      return sum;
    };
    const double ee = project(f.e, f.e), nn = project(f.n, f.n), en = project(f.e, f.n);
    sp.sigma_e = std::sqrt(std::max(ee, 0.0));
    sp.sigma_n = std::sqrt(std::max(nn, 0.0));
    sp.sigma_u = std::sqrt(std::max(project(f.u, f.u), 0.0));
    const double mean = 0.5 * (ee + nn);
    const double radius = std::hypot(0.5 * (nn - ee), en);
    sp.ellipse_major = std::sqrt(std::max(mean + radius, 0.0));
    sp.ellipse_minor = std::sqrt(std::max(mean - radius, 0.0));
    double azimuth = 0.5 * std::atan2(2.0 * en, nn - ee);
    if (azimuth < 0.0) azimuth += std::numbers::pi;
    sp.ellipse_azimuth = azimuth;
  }
  return true;
}

// The round's global test, critical value and B-method constants; the minimal detectable
// biases of the active observations scaled to them.
void Adjuster::FinishTests(int32_t tests, double vtpv, int64_t components) {
  result_.vtpv = vtpv;
  result_.degrees_of_freedom = static_cast<double>(components - normals_.size());
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
      result_.outcome = AdjustmentOutcome::OverBudget;
      return;
    }
    if (normals_.size() == 0) {
      result_.outcome = AdjustmentOutcome::NothingToTest;
      return;
    }
    Progress(10);
    state = Iterate();
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
    // Data snooping: the largest |w| above the critical value goes, and the network is adjusted
    // again without it.
    int32_t worst = -1;
    double largest = result_.critical_w;
    for (size_t i = 0; i < active_.size(); ++i) {
      const ObservationTest& t = result_.observations[i];
      if (t.active && t.tested && std::abs(t.w_whole) > largest) {
        largest = std::abs(t.w_whole);
        worst = static_cast<int32_t>(i);
      }
    }
    if (worst < 0) break;
    if (round > options_.max_rounds) {
      result_.round_limit_reached = true;
      break;
    }
    result_.observations[static_cast<size_t>(worst)].rejected_round = round;
    result_.rejected.push_back(worst);
    active_[static_cast<size_t>(worst)] = 0;
    state = Iterate();
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

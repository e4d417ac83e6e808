#include "approx/setup_frames.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <set>
#include <utility>
#include <vector>

#include "geodesy/angles.h"
#include "geodesy/coordinates.h"
#include "geodesy/ellipsoid.h"

namespace fenwix {

namespace {

bool Given(double v) {
  return v != MISSING_VALUE && std::isfinite(v);
}

double Wrap(double a) {
  return std::remainder(a, TWO_PI);
}

// A station in a frame: plane east and north, and a height relative to the frame's (has_h
// false when no zenith angle gave one).
struct FramePoint {
  int32_t station = 0;
  double e = 0.0;
  double n = 0.0;
  double h = 0.0;
  bool has_h = false;
};

// A direction without a distance from a point of the frame to a station, in the frame's
// orientation.
struct FrameRay {
  int32_t from = 0;
  int32_t target = 0;
  double direction = 0.0;
};

struct Frame {
  std::vector<FramePoint> points;
  std::vector<FrameRay> rays;
  // Whether the frame's directions are already azimuths of the plane (a GNSS cluster): it only
  // needs moving.
  bool oriented = false;
  // The station at the origin while the frame is one setup alone (resections need one), else 0.
  int32_t setup = 0;
  bool alive = true;

  const FramePoint* Find(int32_t s) const {
    for (const FramePoint& p : points) {
      if (p.station == s) return &p;
    }
    return nullptr;
  }
};

// Turn and move taking one frame onto another: e' = c e + s n + te, n' = -s e + c n + tn
// (directions grow by atan2(s, c)), heights by th.
struct Motion {
  double c = 1.0, s = 0.0, te = 0.0, tn = 0.0, th = 0.0;
  bool has_th = false;
  double Rotation() const { return std::atan2(s, c); }
  FramePoint Apply(const FramePoint& p) const {
    return FramePoint{p.station, c * p.e + s * p.n + te, -s * p.e + c * p.n + tn, p.h + th,
                      p.has_h && has_th};
  }
};

// A point of the moving frame with the place the reference frame gives it.
struct Tie {
  FramePoint from;
  FramePoint to;
};
// A direction of the moving frame with the azimuth the reference gives it, and its length there.
struct RayTie {
  double direction;
  double azimuth;
  double length;
};

struct FitResult {
  bool fitted = false;
  Motion motion;
  double worst = 0.0;   // largest misfit of a tie, meters
  double extent = 0.0;  // largest distance of a tie from their centre, meters
  size_t worst_tie = 0;
};

double MisfitLimit(double extent) {
  return FRAME_MISFIT_M + FRAME_MISFIT_PPM * 1e-6 * extent;
}

// Least-squares turn (unless oriented) and move of the ties, scale 1.
FitResult FitTies(const std::vector<Tie>& ties, const std::vector<RayTie>& rays, bool oriented) {
  FitResult fit;
  if (ties.empty()) return fit;
  double ae = 0, an = 0, be = 0, bn = 0;
  for (const Tie& t : ties) {
    ae += t.from.e;
    an += t.from.n;
    be += t.to.e;
    bn += t.to.n;
  }
  const auto count = static_cast<double>(ties.size());
  ae /= count, an /= count, be /= count, bn /= count;
  Motion& m = fit.motion;
  if (!oriented) {
    double sin_sum = 0, cos_sum = 0, spread = 0;
    for (const Tie& t : ties) {
      const double a_e = t.from.e - ae, a_n = t.from.n - an;
      const double b_e = t.to.e - be, b_n = t.to.n - bn;
      sin_sum += a_n * b_e - a_e * b_n;
      cos_sum += a_e * b_e + a_n * b_n;
      spread += a_e * a_e + a_n * a_n;
    }
    for (const RayTie& r : rays) {
      const double w = r.length * r.length;
      sin_sum += w * std::sin(r.azimuth - r.direction);
      cos_sum += w * std::cos(r.azimuth - r.direction);
      spread += w;
    }
    // Points on top of each other and no direction: nothing fixes the turn.
    if (spread < 1.0) return fit;
    const double norm = std::hypot(sin_sum, cos_sum);
    m.c = cos_sum / norm;
    m.s = sin_sum / norm;
  }
  m.te = be - (m.c * ae + m.s * an);
  m.tn = bn - (-m.s * ae + m.c * an);
  double dh = 0;
  int heights = 0;
  for (const Tie& t : ties) {
    if (t.from.has_h && t.to.has_h) {
      dh += t.to.h - t.from.h;
      ++heights;
    }
  }
  m.has_th = heights > 0;
  if (heights > 0) m.th = dh / heights;
  for (size_t i = 0; i < ties.size(); ++i) {
    const FramePoint p = m.Apply(ties[i].from);
    const double off = std::hypot(p.e - ties[i].to.e, p.n - ties[i].to.n);
    fit.extent = std::max(fit.extent, std::hypot(ties[i].to.e - be, ties[i].to.n - bn));
    if (off > fit.worst) {
      fit.worst = off;
      fit.worst_tie = i;
    }
  }
  for (const RayTie& r : rays) {
    const double off = std::fabs(Wrap(r.azimuth - r.direction - m.Rotation())) * r.length;
    fit.extent = std::max(fit.extent, r.length);
    if (off > fit.worst) {
      fit.worst = off;
      fit.worst_tie = ties.size();
    }
  }
  fit.fitted = true;
  return fit;
}

// The readings of one setup: per target the mean horizontal distance and height difference,
// and a direction when an angle ties the target to the setup's first backsight.
struct Target {
  double direction = 0.0;
  bool has_direction = false;
  double distance = 0.0;
  int distances = 0;
  double dh = 0.0;
  int heights = 0;
};

class Frames {
 public:
  explicit Frames(SurveyTables& tables, std::vector<StationPlacement>* placements)
      : tables_(tables), placements_(placements), e2_(PropagationEccentricitySquared()) {}

  int32_t Run() {
    const int32_t count = tables_.station_count();
    int32_t centre = 0;
    for (int32_t s = 1; s < count && centre == 0; ++s) {
      if (tables_.station(s).coords_known) centre = s;
    }
    if (centre == 0) return 0;
    const StationRecord& c = tables_.station(centre);
    phi0_ = c.latitude;
    lam0_ = c.longitude;
    // Horizontal distances are measured at the stations' height, not on the ellipsoid: the
    // plane lies at the first known station's height (400 m lower would shrink them by 6e-5).
    plane_h_ = c.height;
    origin_ = GeodeticToCartesian(PROPAGATION_A, e2_, phi0_, lam0_, plane_h_);
    known_.assign(static_cast<size_t>(count), FramePoint{});
    is_known_.assign(static_cast<size_t>(count), 0);
    for (int32_t s = 1; s < count; ++s) {
      if (tables_.station(s).coords_known) MarkKnownPoint(s);
    }
    BuildSetupFrames();
    BuildGnssFrames();
    int32_t placed = 0;
    for (;;) {
      bool changed = false;
      for (Frame& f : frames_) {
        if (!f.alive) continue;
        const int32_t n = PlaceFrame(f);
        if (n > 0) {
          placed += n;
          changed = true;
        }
      }
      if (changed) continue;
      if (!MergeOnePair()) break;
    }
    return placed;
  }

 private:
  const ObsRow& Record(size_t r) const { return tables_.observations()[r]; }
  bool IsKnown(int32_t s) const { return s > 0 && is_known_[static_cast<size_t>(s)] != 0; }

  void MarkKnownPoint(int32_t s) {
    const StationRecord& row = tables_.station(s);
    const Cartesian p =
        GeodeticToCartesian(PROPAGATION_A, e2_, row.latitude, row.longitude, plane_h_);
    const Local l =
        CartesianDeltaToLocal(phi0_, lam0_, p.x - origin_.x, p.y - origin_.y, p.z - origin_.z);
    known_[static_cast<size_t>(s)] = FramePoint{s, l.e, l.n, row.height, true};
    is_known_[static_cast<size_t>(s)] = 1;
  }

  // The point at the plane's height whose plane east and north are e, n, then raised to h.
  bool PlacePoint(int32_t s, double e, double n, double h) {
    double ge = e, gn = n;
    Geodetic g{};
    for (int pass = 0; pass < 5; ++pass) {
      const double r = std::hypot(ge, gn);
      const double u = -r * r / (2.0 * PROPAGATION_A);
      const Cartesian x =
          LocalToCartesian(phi0_, lam0_, ge, gn, u, origin_.x, origin_.y, origin_.z);
      g = CartesianToGeodetic(PROPAGATION_A, e2_, x.x, x.y, x.z);
      if (!g.converged) return false;
      const Cartesian foot = GeodeticToCartesian(PROPAGATION_A, e2_, g.phi, g.lam, plane_h_);
      const Local l = CartesianDeltaToLocal(phi0_, lam0_, foot.x - origin_.x, foot.y - origin_.y,
                                            foot.z - origin_.z);
      ge += e - l.e;
      gn += n - l.n;
    }
    if (!std::isfinite(g.phi) || !std::isfinite(g.lam) || !std::isfinite(h)) return false;
    StationRecord& row = tables_.station(s);
    row.latitude = g.phi;
    row.longitude = g.lam;
    row.height = h;
    row.coords_known = true;
    if (placements_ != nullptr)
      (*placements_)[static_cast<size_t>(s)] = StationPlacement::Intersected;
    MarkKnownPoint(s);
    return true;
  }

  // One frame per setup station: the angle sets and single sights read there.
  void BuildSetupFrames() {
    std::map<int32_t, std::vector<size_t>> at;
    const auto observations = tables_.observations();
    for (size_t r = 1; r < observations.size(); ++r) {
      const ObsRow& obs = observations[r];
      if ((obs.kind == ObsKind::AngleSet || obs.kind == ObsKind::Sight) && obs.at > 0) {
        at[obs.at].push_back(r);
      }
    }
    for (const auto& [s, records] : at) AddSetup(s, records);
  }

  void AddSetup(int32_t s, const std::vector<size_t>& records) {
    std::map<int32_t, Target> targets;
    const auto distance = [&](int32_t t, const ObsRow& obs) {
      if (t <= 0 || t == s || !Given(obs.slope_dist())) return;
      Target& target = targets[t];
      const bool zenith = Given(obs.zenith());
      target.distance += zenith ? obs.slope_dist() * std::sin(obs.zenith()) : obs.slope_dist();
      ++target.distances;
      if (zenith) {
        target.dh += obs.slope_dist() * std::cos(obs.zenith());
        ++target.heights;
      }
    };
    for (const size_t r : records) {
      const ObsRow& obs = Record(r);
      distance(obs.kind == ObsKind::Sight ? obs.back : obs.fore, obs);
      if (obs.kind == ObsKind::AngleSet) {
        if (obs.back > 0 && obs.back != s) targets[obs.back];
        if (obs.fore > 0 && obs.fore != s) targets[obs.fore];
      }
    }
    // Directions: the first backsight at 0, each angle carrying it to its foresight (or back).
    // Sets not tied to that backsight by a chain of angles start frames of their own.
    for (;;) {
      int32_t start = 0;
      for (const size_t r : records) {
        const ObsRow& obs = Record(r);
        if (obs.kind == ObsKind::AngleSet && Given(obs.horiz_angle()) && obs.back > 0 &&
            obs.back != s && obs.fore > 0 && obs.fore != s && !targets[obs.back].has_direction &&
            !targets[obs.fore].has_direction) {
          start = obs.back;
          break;
        }
      }
      if (start == 0) break;
      std::set<int32_t> group{start};
      targets[start].has_direction = true;
      targets[start].direction = 0.0;
      for (bool grew = true; grew;) {
        grew = false;
        for (const size_t r : records) {
          const ObsRow& obs = Record(r);
          if (obs.kind != ObsKind::AngleSet || !Given(obs.horiz_angle()) || obs.back <= 0 ||
              obs.fore <= 0 || obs.back == s || obs.fore == s) {
            continue;
          }
          Target& b = targets[obs.back];
          Target& f = targets[obs.fore];
          if (group.count(obs.back) != 0 && !f.has_direction) {
            f.direction = b.direction + obs.horiz_angle();
            f.has_direction = true;
            group.insert(obs.fore);
            grew = true;
          } else if (group.count(obs.fore) != 0 && !b.has_direction) {
            b.direction = f.direction - obs.horiz_angle();
            b.has_direction = true;
            group.insert(obs.back);
            grew = true;
          }
        }
      }
      AddSetupFrame(s, targets, &group);
    }
    // The distances of targets without a direction still tie the setup to them.
    std::set<int32_t> rest;
    for (const auto& [t, target] : targets) {
      if (!target.has_direction && target.distances > 0) rest.insert(t);
    }
    if (!rest.empty()) AddSetupFrame(s, targets, &rest, /*distances_only=*/true);
  }

  void AddSetupFrame(int32_t s, const std::map<int32_t, Target>& targets,
                     const std::set<int32_t>* members, bool distances_only = false) {
    Frame f;
    f.setup = s;
    f.points.push_back(FramePoint{s, 0.0, 0.0, 0.0, true});
    for (const int32_t t : *members) {
      const Target& target = targets.at(t);
      if (distances_only) {
        // A distance alone fixes no point of the frame; only a GNSS fit could use it, and
        // intersections by distances are the propagation's.
        continue;
      }
      if (target.distances > 0) {
        const double d = target.distance / target.distances;
        f.points.push_back(
            FramePoint{t, d * std::sin(target.direction), d * std::cos(target.direction),
                       target.heights > 0 ? target.dh / target.heights : 0.0, target.heights > 0});
      } else {
        f.rays.push_back(FrameRay{s, t, target.direction});
      }
    }
    if (f.points.size() + f.rays.size() >= 2) frames_.push_back(std::move(f));
  }

  // One frame per cluster of stations joined by GNSS vectors, in the plane's orientation: the
  // cluster is carried from its first station placed at the plane's origin.
  void BuildGnssFrames() {
    const int32_t count = tables_.station_count();
    std::vector<std::vector<std::pair<int32_t, size_t>>> links(static_cast<size_t>(count));
    const auto observations = tables_.observations();
    for (size_t r = 1; r < observations.size(); ++r) {
      const ObsRow& obs = observations[r];
      if (obs.kind != ObsKind::GpsVector || obs.at <= 0 || obs.fore <= 0 || obs.at == obs.fore ||
          !Given(obs.dx()) || !Given(obs.dy()) || !Given(obs.dz())) {
        continue;
      }
      links[static_cast<size_t>(obs.at)].emplace_back(obs.fore, r);
      links[static_cast<size_t>(obs.fore)].emplace_back(obs.at, r);
    }
    std::vector<uint8_t> done(static_cast<size_t>(count), 0);
    std::vector<Cartesian> at(static_cast<size_t>(count));
    for (int32_t root = 1; root < count; ++root) {
      if (done[static_cast<size_t>(root)] != 0 || links[static_cast<size_t>(root)].empty()) {
        continue;
      }
      std::vector<int32_t> members{root};
      done[static_cast<size_t>(root)] = 1;
      at[static_cast<size_t>(root)] = origin_;
      for (size_t i = 0; i < members.size(); ++i) {
        const int32_t m = members[i];
        for (const auto& [other, r] : links[static_cast<size_t>(m)]) {
          if (done[static_cast<size_t>(other)] != 0) continue;
          const ObsRow& obs = Record(r);
          const double sign = obs.at == m ? 1.0 : -1.0;
          const Cartesian& p = at[static_cast<size_t>(m)];
          at[static_cast<size_t>(other)] =
              Cartesian{p.x + sign * obs.dx(), p.y + sign * obs.dy(), p.z + sign * obs.dz()};
          done[static_cast<size_t>(other)] = 1;
          members.push_back(other);
        }
      }
      if (std::all_of(members.begin(), members.end(), [&](int32_t m) { return IsKnown(m); })) {
        continue;
      }
      Frame f;
      f.oriented = true;
      for (const int32_t m : members) {
        const Cartesian& p = at[static_cast<size_t>(m)];
        const Geodetic g = CartesianToGeodetic(PROPAGATION_A, e2_, p.x, p.y, p.z);
        if (!g.converged) continue;
        const Cartesian foot = GeodeticToCartesian(PROPAGATION_A, e2_, g.phi, g.lam, plane_h_);
        const Local l = CartesianDeltaToLocal(phi0_, lam0_, foot.x - origin_.x, foot.y - origin_.y,
                                              foot.z - origin_.z);
        f.points.push_back(FramePoint{m, l.e, l.n, g.h, true});
      }
      frames_.push_back(std::move(f));
    }
  }

  // The ties of frame f with frame `to` (or with the known stations when to is null).
  void TiesOf(const Frame& f, const Frame* to, std::vector<Tie>& ties,
              std::vector<RayTie>& rays) const {
    ties.clear();
    rays.clear();
    const auto place = [&](int32_t s) -> const FramePoint* {
      if (to == nullptr) return IsKnown(s) ? &known_[static_cast<size_t>(s)] : nullptr;
      return to->Find(s);
    };
    for (const FramePoint& p : f.points) {
      if (const FramePoint* q = place(p.station)) ties.push_back(Tie{p, *q});
    }
    for (const FrameRay& r : f.rays) {
      const FramePoint* a = place(r.from);
      const FramePoint* b = place(r.target);
      if (a == nullptr || b == nullptr) continue;
      const double length = std::hypot(b->e - a->e, b->n - a->n);
      if (length < 1e-3) continue;
      rays.push_back(RayTie{r.direction, std::atan2(b->e - a->e, b->n - a->n), length});
    }
  }

  // A fit of the ties that passes the misfit limit: all of them, or with three or more points
  // all but the one that disagrees.
  static FitResult AcceptableFit(std::vector<Tie> ties, const std::vector<RayTie>& rays,
                                 bool oriented) {
    FitResult fit = FitTies(ties, rays, oriented);
    if (!fit.fitted || fit.worst <= MisfitLimit(fit.extent)) return fit;
    // Without each point in turn; the best fit that passes stands. A gross error spreads over
    // the fit of all points, so the largest misfit need not be the wrong one.
    FitResult best;
    for (size_t i = 0; ties.size() >= 3 && i < ties.size(); ++i) {
      std::vector<Tie> fewer = ties;
      fewer.erase(fewer.begin() + static_cast<std::ptrdiff_t>(i));
      const FitResult again = FitTies(fewer, rays, oriented);
      if (again.fitted && again.worst <= MisfitLimit(again.extent) &&
          (!best.fitted || again.worst < best.worst)) {
        best = again;
      }
    }
    return best;
  }

  // Fits the frame on the known stations and places its unknown points; the number placed.
  int32_t PlaceFrame(Frame& f) {
    if (std::all_of(f.points.begin(), f.points.end(),
                    [&](const FramePoint& p) { return IsKnown(p.station); })) {
      f.alive = false;
      return 0;
    }
    TiesOf(f, nullptr, ties_, rays_);
    FitResult fit;
    if (!ties_.empty() && (f.oriented || ties_.size() >= 2 || !rays_.empty())) {
      fit = AcceptableFit(ties_, rays_, f.oriented);
    }
    if (!fit.fitted && f.setup > 0 && !IsKnown(f.setup)) fit = Resect(f);
    if (!fit.fitted) return 0;
    // A point without a height difference gets the mean height of the known stations the
    // frame names: a station 400 m too low would also sit a few cm off in the plane.
    double mean_h = 0;
    int heights = 0;
    const auto add_height = [&](int32_t s) {
      if (!IsKnown(s)) return;
      mean_h += known_[static_cast<size_t>(s)].h;
      ++heights;
    };
    for (const FramePoint& p : f.points) add_height(p.station);
    for (const FrameRay& r : f.rays) add_height(r.target);
    if (heights > 0) mean_h /= heights;
    int32_t placed = 0;
    for (const FramePoint& p : f.points) {
      if (IsKnown(p.station)) continue;
      const FramePoint q = fit.motion.Apply(p);
      if (PlacePoint(p.station, q.e, q.n, q.has_h ? q.h : mean_h)) ++placed;
    }
    f.alive = false;
    return placed;
  }

  // A setup's directions to three or more known stations fix its place and orientation, unless
  // the station lies near the circle through them.
  FitResult Resect(const Frame& f) const {
    FitResult none;
    struct Sighted {
      double e, n, direction;
    };
    std::vector<Sighted> seen;
    for (const FramePoint& p : f.points) {
      if (p.station != f.setup && IsKnown(p.station)) {
        const FramePoint& k = known_[static_cast<size_t>(p.station)];
        seen.push_back(Sighted{k.e, k.n, std::atan2(p.e, p.n)});
      }
    }
    for (const FrameRay& r : f.rays) {
      if (r.from == f.setup && IsKnown(r.target)) {
        const FramePoint& k = known_[static_cast<size_t>(r.target)];
        seen.push_back(Sighted{k.e, k.n, r.direction});
      }
    }
    if (seen.size() < 3) return none;
    double ce = 0, cn = 0, spread = 0;
    for (const Sighted& s : seen) ce += s.e, cn += s.n;
    ce /= static_cast<double>(seen.size());
    cn /= static_cast<double>(seen.size());
    for (const Sighted& s : seen) spread = std::max(spread, std::hypot(s.e - ce, s.n - cn));
    // Orientation for a trial place: the mean of azimuth minus direction.
    const auto orientation = [&](double e, double n) {
      double ss = 0, cc = 0;
      for (const Sighted& s : seen) {
        const double d = std::atan2(s.e - e, s.n - n) - s.direction;
        ss += std::sin(d);
        cc += std::cos(d);
      }
      return std::atan2(ss, cc);
    };
    double best_e = 0, best_n = 0, best_cost = INFINITY;
    const double radii[] = {0.0, 0.5, 1.5, 4.0};
    for (const double radius : radii) {
      for (int k = 0; k < (radius == 0.0 ? 1 : 8); ++k) {
        double e = ce + radius * spread * std::sin(k * PI / 4);
        double n = cn + radius * spread * std::cos(k * PI / 4);
        double w = orientation(e, n);
        for (int iteration = 0; iteration < 30; ++iteration) {
          // Gauss-Newton on east, north and orientation.
          double a[3][3] = {}, b[3] = {};
          for (const Sighted& s : seen) {
            const double de = s.e - e, dn = s.n - n, r2 = de * de + dn * dn;
            if (r2 < 1e-6) break;
            const double v = Wrap(std::atan2(de, dn) - w - s.direction);
            const double j[3] = {-dn / r2, de / r2, -1.0};
            for (int x = 0; x < 3; ++x) {
              b[x] += j[x] * v;
              for (int y = 0; y < 3; ++y) a[x][y] += j[x] * j[y];
            }
          }
          double step[3];
          if (!Solve3(a, b, step)) break;
          e -= step[0];
          n -= step[1];
          w -= step[2];
          if (std::hypot(step[0], step[1]) < 1e-5) break;
        }
        double cost = 0;
        for (const Sighted& s : seen) {
          const double r = std::hypot(s.e - e, s.n - n);
          cost =
              std::max(cost, std::fabs(Wrap(std::atan2(s.e - e, s.n - n) - w - s.direction)) * r);
        }
        if (std::isfinite(cost) && cost < best_cost) {
          best_cost = cost;
          best_e = e;
          best_n = n;
        }
      }
    }
    if (!(best_cost <= MisfitLimit(spread))) return none;
    // How far a direction error moves the station: the position part of (JᵀJ)⁻¹.
    double a[3][3] = {};
    for (const Sighted& s : seen) {
      const double de = s.e - best_e, dn = s.n - best_n, r2 = de * de + dn * dn;
      const double j[3] = {-dn / r2, de / r2, -1.0};
      for (int x = 0; x < 3; ++x) {
        for (int y = 0; y < 3; ++y) a[x][y] += j[x] * j[y];
      }
    }
    double ex[3], ny[3];
    const double unit_e[3] = {1, 0, 0}, unit_n[3] = {0, 1, 0};
    if (!Solve3(a, unit_e, ex) || !Solve3(a, unit_n, ny)) return none;
    const double moved = RESECTION_DIRECTION_ERROR * std::sqrt(std::max(0.0, ex[0] + ny[1]));
    if (!(moved <= RESECTION_WEAK_M)) return none;
    // The frame's points then follow from the place and orientation of its origin.
    FitResult fit;
    fit.fitted = true;
    const double w = orientation(best_e, best_n);
    fit.motion.c = std::cos(w);
    fit.motion.s = std::sin(w);
    fit.motion.te = best_e;
    fit.motion.tn = best_n;
    double dh = 0;
    int heights = 0;
    for (const FramePoint& p : f.points) {
      if (p.station != f.setup && p.has_h && IsKnown(p.station)) {
        dh += known_[static_cast<size_t>(p.station)].h - p.h;
        ++heights;
      }
    }
    fit.motion.has_th = heights > 0;
    fit.motion.th = heights > 0 ? dh / heights : 0.0;
    return fit;
  }

  static bool Solve3(const double a[3][3], const double b[3], double x[3]) {
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                       a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    if (!(std::fabs(det) > 1e-30)) return false;
    for (int c = 0; c < 3; ++c) {
      double m[3][3];
      for (int r = 0; r < 3; ++r) {
        for (int k = 0; k < 3; ++k) m[r][k] = k == c ? b[r] : a[r][k];
      }
      x[c] = (m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
              m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
              m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0])) /
             det;
    }
    return std::isfinite(x[0]) && std::isfinite(x[1]) && std::isfinite(x[2]);
  }

  // Joins two frames that share enough to fit one on the other (two points, or one point and
  // a direction, or one point when both are oriented): the first such pair in frame order,
  // the smaller frame moved onto the larger (an unoriented one onto an oriented one).
  bool MergeOnePair() {
    std::map<int32_t, std::vector<size_t>> holding;
    for (size_t i = 0; i < frames_.size(); ++i) {
      if (!frames_[i].alive) continue;
      for (const FramePoint& p : frames_[i].points) holding[p.station].push_back(i);
    }
    for (size_t i = 0; i < frames_.size(); ++i) {
      if (!frames_[i].alive) continue;
      std::map<size_t, int> shared;
      for (const FramePoint& p : frames_[i].points) {
        for (const size_t j : holding[p.station]) {
          if (j != i) ++shared[j];
        }
      }
      for (const auto& [j, n] : shared) {
        if (refused_.count({std::min(i, j), std::max(i, j)}) != 0) continue;
        if (Merge(i, j)) return true;
        refused_.insert({std::min(i, j), std::max(i, j)});
      }
    }
    return false;
  }

  bool Merge(size_t i, size_t j) {
    size_t from = i, onto = j;
    const Frame& fi = frames_[i];
    const Frame& fj = frames_[j];
    if (fi.oriented != fj.oriented) {
      if (fi.oriented) std::swap(from, onto);
    } else if (fi.points.size() > fj.points.size()) {
      std::swap(from, onto);
    }
    Frame& a = frames_[from];
    Frame& b = frames_[onto];
    TiesOf(a, &b, ties_, rays_);
    const bool oriented = a.oriented && b.oriented;
    if (ties_.empty() || (!oriented && ties_.size() < 2 && rays_.empty())) return false;
    const FitResult fit = AcceptableFit(ties_, rays_, oriented);
    if (!fit.fitted) return false;
    for (const FramePoint& p : a.points) {
      if (b.Find(p.station) == nullptr) b.points.push_back(fit.motion.Apply(p));
    }
    for (const FrameRay& r : a.rays) {
      b.rays.push_back(FrameRay{r.from, r.target, r.direction + fit.motion.Rotation()});
    }
    b.setup = 0;
    a.alive = false;
    return true;
  }

  SurveyTables& tables_;
  std::vector<StationPlacement>* placements_;
  const double e2_;
  double phi0_ = 0, lam0_ = 0, plane_h_ = 0;
  Cartesian origin_{};
  std::vector<FramePoint> known_;
  std::vector<uint8_t> is_known_;
  std::vector<Frame> frames_;
  std::set<std::pair<size_t, size_t>> refused_;
  std::vector<Tie> ties_;
  std::vector<RayTie> rays_;
};

}  // namespace

int32_t PlaceThroughFrames(SurveyTables& tables, std::vector<StationPlacement>* placements) {
  if (placements != nullptr && placements->size() < static_cast<size_t>(tables.station_count())) {
    placements->resize(static_cast<size_t>(tables.station_count()), StationPlacement::None);
  }
  bool unknown = false;
  for (int32_t s = 1; s < tables.station_count() && !unknown; ++s) {
    unknown = !tables.stations()[static_cast<size_t>(s)].coords_known;
  }
  if (!unknown) return 0;
  Frames frames(tables, placements);
  return frames.Run();
}

}  // namespace fenwix

#pragma once
// The geometry of the adjustment's observations: local level frames, the value an observation
// has between geocentric positions and its gradient by them, and the small 3×3 algebra of GNSS
// vectors. Shared by the adjustment and by what it reports.

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "adjust/adjustment_input.h"

namespace fenwix::adjust_geometry {

using Vec3 = std::array<double, 3>;
using Mat3 = std::array<double, 9>;  // row-major

inline double Dot(const Vec3& a, const Vec3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// The east, north and up unit vectors of the local level frame at (phi, lam), geocentric.
struct Frame {
  Vec3 e, n, u;
};

inline Frame FrameAt(double phi, double lam) {
  const double sp = std::sin(phi), cp = std::cos(phi), sl = std::sin(lam), cl = std::cos(lam);
  return {{-sl, cl, 0.0}, {-sp * cl, -sp * sl, cp}, {cp * cl, cp * sl, sp}};
}

// The inverse of a symmetric 3×3 matrix; false when it is not positive definite.
inline bool InvertSymmetric(const Mat3& m, Mat3& out) {
  const double c00 = m[4] * m[8] - m[5] * m[7];
  const double c01 = m[5] * m[6] - m[3] * m[8];
  const double c02 = m[3] * m[7] - m[4] * m[6];
  const double det = m[0] * c00 + m[1] * c01 + m[2] * c02;
  const double minor = m[0] * m[4] - m[1] * m[3];
  if (!(m[0] > 0.0) || !(minor > 0.0) || !(det > 0.0) || !std::isfinite(det)) return false;
  out = {c00 / det, (m[2] * m[7] - m[1] * m[8]) / det, (m[1] * m[5] - m[2] * m[4]) / det,
         c01 / det, (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
         c02 / det, (m[1] * m[6] - m[0] * m[7]) / det, minor / det};
  return true;
}

inline Mat3 Multiply(const Mat3& a, const Mat3& b) {
  Mat3 c{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) c[i * 3 + j] += a[i * 3 + k] * b[k * 3 + j];
  return c;
}

inline Mat3 CovarianceOf(const AdjustmentObservation& obs) {
  const auto& c = obs.covariance;
  return {c[0], c[1], c[3], c[1], c[2], c[4], c[3], c[4], c[5]};
}

inline double WrapAngle(double a) {
  a = std::remainder(a, 2.0 * std::numbers::pi);
  return a;
}

// The stations an observation joins: at and fore, and the backsight of an angle.
inline int StationsOf(const AdjustmentObservation& obs, int32_t* out) {
  out[0] = obs.at;
  out[1] = obs.fore;
  if (obs.kind == AdjustedKind::HorizontalAngle) {
    out[2] = obs.back;
    return 3;
  }
  return 2;
}

// The most unknowns one observation's value depends on: an angle's three stations and the tilt
// of their verticals, or a zenith's two stations, the refraction coefficient and the tilt.
inline constexpr int MAX_OBSERVATION_UNKNOWNS = 4;

// An observation linearised at the current positions: its misclosure (computed − observed)
// and, for an angle or a distance, the gradient of the computed value by each station's
// geocentric position.
struct Linearised {
  Vec3 misclosure{};
  Vec3 gradient[MAX_OBSERVATION_UNKNOWNS]{};
  // What the gradients are by: the observation's stations (StationsOf); for a zenith angle
  // whose refraction coefficient is estimated, the coefficient's unknown next, its gradient in
  // the first component; last, where the verticals of the observation's part are unknowns, the
  // tilt's unknown, its gradient by the latitude and the longitude in the first two components.
  int32_t unknowns[MAX_OBSERVATION_UNKNOWNS]{};
  int count = 0;
};

// The radius of the earth a line of sight bends against: the Gaussian mean radius where the
// sine of the latitude is sin_phi, meters.
inline double MeanRadius(double a, double e2, double sin_phi) {
  return a * std::sqrt(1.0 - e2) / (1.0 - e2 * sin_phi * sin_phi);
}

struct Geometry {
  const AdjustmentInput& input;
  const std::vector<Frame>& frames;
  const std::vector<double>& positions;
  // Where the refraction coefficient is an unknown: the index whose first "coordinate" in
  // positions holds it. −1: the input's coefficient holds.
  int32_t refraction = -1;
  // Per station: the index whose first two "coordinates" in positions hold the tilt of its
  // part's verticals (a shift of latitude and longitude, radians, that frames already follow);
  // −1 or absent: the station's frame is fixed.
  const std::vector<int32_t>* tilt = nullptr;

  int32_t TiltOf(int32_t s) const {
    return tilt && static_cast<size_t>(s) < tilt->size() ? (*tilt)[static_cast<size_t>(s)] : -1;
  }

  double Refraction() const {
    return refraction >= 0 ? positions[static_cast<size_t>(refraction) * 3] : input.refraction;
  }

  Vec3 Position(int32_t s) const {
    const size_t i = static_cast<size_t>(s) * 3;
    return {positions[i], positions[i + 1], positions[i + 2]};
  }

  // Azimuth at `at` towards `to` (marks), and its gradient by the position of `to`.
  double Azimuth(int32_t at, int32_t to, Vec3& gradient) const {
    const Frame& f = frames[static_cast<size_t>(at)];
    const Vec3 p = Position(at), q = Position(to);
    const Vec3 d{q[0] - p[0], q[1] - p[1], q[2] - p[2]};
    const double e = Dot(f.e, d), n = Dot(f.n, d);
    const double h2 = e * e + n * n;
    for (int c = 0; c < 3; ++c) gradient[c] = (n * f.e[c] - e * f.n[c]) / h2;
    return std::atan2(e, n);
  }

  // The gradient of that azimuth by the tilt of the verticals at `at` (latitude, longitude):
  // turning the frame changes e, n and u of the sight as the frame's derivatives say.
  Vec3 AzimuthByTilt(int32_t at, int32_t to) const {
    const Frame& f = frames[static_cast<size_t>(at)];
    const Vec3 p = Position(at), q = Position(to);
    const Vec3 d{q[0] - p[0], q[1] - p[1], q[2] - p[2]};
    const double e = Dot(f.e, d), n = Dot(f.n, d), u = Dot(f.u, d);
    const double h2 = e * e + n * n;
    const double sin_phi = f.u[2], cos_phi = f.n[2];
    return {e * u / h2, sin_phi - cos_phi * n * u / h2, 0.0};
  }

  // Appends the tilt's unknown of station s's part, with gradient g, when it has one.
  void AddTilt(int32_t s, const Vec3& g, Linearised& out) const {
    const int32_t t = TiltOf(s);
    if (t < 0) return;
    out.unknowns[out.count] = t;
    out.gradient[out.count] = g;
    ++out.count;
  }

  Linearised Linearise(const AdjustmentObservation& obs) const {
    Linearised out;
    out.count = StationsOf(obs, out.unknowns);
    if (obs.kind == AdjustedKind::GnssVector) {
      const Vec3 p = Position(obs.at), q = Position(obs.fore);
      for (int c = 0; c < 3; ++c) out.misclosure[c] = (q[c] - p[c]) - obs.value[c];
      return out;
    }
    if (obs.kind == AdjustedKind::HorizontalAngle) {
      Vec3 gf, gb;
      const double fore = Azimuth(obs.at, obs.fore, gf);
      const double back = Azimuth(obs.at, obs.back, gb);
      out.misclosure[0] = WrapAngle(fore - back - obs.value[0]);
      for (int c = 0; c < 3; ++c) {
        out.gradient[0][c] = -gf[c] + gb[c];
        out.gradient[1][c] = gf[c];
        out.gradient[2][c] = -gb[c];
      }
      if (TiltOf(obs.at) >= 0) {
        const Vec3 tf = AzimuthByTilt(obs.at, obs.fore), tb = AzimuthByTilt(obs.at, obs.back);
        AddTilt(obs.at, {tf[0] - tb[0], tf[1] - tb[1], 0.0}, out);
      }
      return out;
    }
    // Instrument and target stand on their marks along the normals.
    const Frame& f = frames[static_cast<size_t>(obs.at)];
    const Frame& g = frames[static_cast<size_t>(obs.fore)];
    const Vec3 p = Position(obs.at), q = Position(obs.fore);
    Vec3 d;
    for (int c = 0; c < 3; ++c) {
      d[c] = q[c] + obs.target_height * g.u[c] - p[c] - obs.instrument_height * f.u[c];
    }
    const double s2 = Dot(d, d);
    const double s = std::sqrt(s2);
    Vec3 grad;
    if (obs.kind == AdjustedKind::SlopeDistance) {
      out.misclosure[0] = s - obs.value[0];
      for (int c = 0; c < 3; ++c) grad[c] = d[c] / s;
    } else {
      // The line of sight bends down to the earth with curvature k/R: the target is seen higher
      // than it stands, by the angle k·s/2R.
      const double e = Dot(f.e, d), n = Dot(f.n, d), u = Dot(f.u, d);
      const double h = std::hypot(e, n);
      const double bend = s / (2.0 * MeanRadius(input.a, input.e2, f.u[2]));
      const double k = Refraction();
      out.misclosure[0] = std::atan2(h, u) - k * bend - obs.value[0];
      for (int c = 0; c < 3; ++c) {
        grad[c] = (u * (e * f.e[c] + n * f.n[c]) / h - h * f.u[c]) / s2 - k * bend * d[c] / s2;
      }
      if (refraction >= 0) {
        out.unknowns[2] = refraction;
        out.count = 3;
        out.gradient[2] = {-bend, 0.0, 0.0};
      }
      if (TiltOf(obs.at) >= 0) {
        // Tilting the vertical north lowers the zenith towards the north by the tilt; the
        // instrument and target heights turn with their normals.
        const double cos_f = f.n[2], cos_g = g.n[2];
        Vec3 by_lat, by_lon;
        for (int c = 0; c < 3; ++c) {
          by_lat[c] = obs.target_height * g.n[c] - obs.instrument_height * f.n[c];
          by_lon[c] = obs.target_height * cos_g * g.e[c] - obs.instrument_height * cos_f * f.e[c];
        }
        AddTilt(obs.at, {-n / h + Dot(grad, by_lat), -cos_f * e / h + Dot(grad, by_lon), 0.0}, out);
      }
    }
    for (int c = 0; c < 3; ++c) {
      out.gradient[0][c] = -grad[c];
      out.gradient[1][c] = grad[c];
    }
    return out;
  }
};

}  // namespace fenwix::adjust_geometry

namespace fenwix {

// The geocentric position of a station's approximate coordinates.
std::array<double, 3> StationPosition(const AdjustmentInput& input, int32_t station);

// The value observation obs would have between the geocentric positions given per station
// (three numbers each): one value, or three for a vector.
std::array<double, 3> ComputedValue(const AdjustmentInput& input, const AdjustmentObservation& obs,
                                    const std::vector<double>& positions);

}  // namespace fenwix

#include "adjust/station_precision.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "adjust/test_statistics.h"

namespace fenwix {

using namespace adjust_geometry;

void SetLocalPrecision(const Frame& f, const Mat3& c, StationPrecision& sp, double linear,
                       double planar) {
  const auto project = [&](const Vec3& x, const Vec3& y) {
    double sum = 0.0;
    for (size_t r = 0; r < 3; ++r)
      for (size_t col = 0; col < 3; ++col) sum += x[r] * c[r * 3 + col] * y[col];
    return sum;
  };
  const double ee = project(f.e, f.e), nn = project(f.n, f.n), en = project(f.e, f.n);
  sp.sigma_e = linear * std::sqrt(std::max(ee, 0.0));
  sp.sigma_n = linear * std::sqrt(std::max(nn, 0.0));
  sp.sigma_u = linear * std::sqrt(std::max(project(f.u, f.u), 0.0));
  const double mean = 0.5 * (ee + nn);
  const double radius = std::hypot(0.5 * (nn - ee), en);
  sp.ellipse_major = planar * std::sqrt(std::max(mean + radius, 0.0));
  sp.ellipse_minor = planar * std::sqrt(std::max(mean - radius, 0.0));
  double azimuth = 0.5 * std::atan2(2.0 * en, nn - ee);
  if (azimuth < 0.0) azimuth += std::numbers::pi;
  sp.ellipse_azimuth = azimuth;
}

double LinearConfidenceFactor(double confidence) {
  if (!(confidence > 0.0) || !(confidence < 1.0)) return 1.0;
  return NormalUpperQuantile(0.5 * (1.0 - confidence));
}

double PlanarConfidenceFactor(double confidence) {
  if (!(confidence > 0.0) || !(confidence < 1.0)) return 1.0;
  return std::sqrt(-2.0 * std::log1p(-confidence));
}

Mat3 StationCovariance(const StationUnknowns& unknowns, const CofactorBlock& cofactor, int32_t s) {
  if (unknowns.of(s) == 0) return Mat3{};
  double z[9];
  cofactor(s, s, z);
  return unknowns.Geocentric(s, z);
}

namespace {

// The parts' datums: the named station's part (if it may only move) on that station, the parts
// free to turn on their held station, the rest on their minimum trace.
std::vector<PartDatum> ChooseDatums(const std::vector<StationPrecision>& stations,
                                    const std::vector<int32_t>& defects,
                                    const PrecisionSettings& settings) {
  std::vector<PartDatum> datums(defects.size());
  for (size_t s = 0; s < stations.size(); ++s) {
    const int32_t p = stations[s].part;
    if (p < 0 || static_cast<size_t>(p) >= datums.size()) continue;
    PartDatum& d = datums[static_cast<size_t>(p)];
    if (defects[static_cast<size_t>(p)] > 3) {
      if (stations[s].datum) d = {PrecisionDatumKind::Held, static_cast<int32_t>(s)};
    } else if (static_cast<int32_t>(s) == settings.datum_station) {
      d = {PrecisionDatumKind::Station, static_cast<int32_t>(s)};
    }
  }
  return datums;
}

}  // namespace

void ComputeStationPrecision(const std::vector<Frame>& frames, const std::vector<double>& positions,
                             const StationUnknowns& unknowns, const CofactorBlock& cofactor,
                             const CofactorSolve& solve, const std::vector<int32_t>& defects,
                             const PrecisionSettings& settings,
                             std::vector<StationPrecision>& stations,
                             std::vector<PartDatum>& datums) {
  datums = ChooseDatums(stations, defects, settings);
  const auto moved = [&](int32_t p) {
    return p >= 0 && static_cast<size_t>(p) < datums.size() &&
           datums[static_cast<size_t>(p)].kind != PrecisionDatumKind::Held;
  };
  // W = C Kᵀ, K summing the geocentric coordinates of the datum's stations (every station of
  // a minimum-trace part, the named one alone otherwise): three solves for all parts at once,
  // the parts' normals being independent. m: the datum's stations per part; sum: Σ W_s over them.
  const size_t n = stations.size();
  std::vector<int32_t> m(datums.size(), 0);
  std::vector<char> in_datum(n, 0);
  for (size_t s = 0; s < n; ++s) {
    const int32_t p = stations[s].part;
    if (!moved(p)) continue;
    const PartDatum& d = datums[static_cast<size_t>(p)];
    in_datum[s] =
        d.kind == PrecisionDatumKind::MinimumTrace || d.station == static_cast<int32_t>(s);
    m[static_cast<size_t>(p)] += in_datum[s];
  }
  std::vector<Mat3> w;
  std::vector<Mat3> sum(datums.size(), Mat3{});
  const bool any = std::any_of(m.begin(), m.end(), [](int32_t k) { return k > 0; });
  if (any && solve) {
    w.assign(n, Mat3{});
    for (size_t c = 0; c < 3; ++c) {
      std::vector<std::array<double, 3>> b(n, std::array<double, 3>{});
      for (size_t s = 0; s < n; ++s) {
        if (!in_datum[s]) continue;
        Vec3 axis{};
        axis[c] = 1.0;
        unknowns.Project(static_cast<int32_t>(s), axis, b[s].data());
      }
      const std::vector<std::array<double, 3>> x = solve(b);
      for (size_t s = 0; s < n; ++s) {
        if (!moved(stations[s].part)) continue;
        const auto& basis = unknowns.basis[s];
        for (int32_t a = 0; a < unknowns.of(static_cast<int32_t>(s)); ++a)
          for (size_t r = 0; r < 3; ++r)
            w[s][r * 3 + c] += basis[static_cast<size_t>(a)][r] * x[s][static_cast<size_t>(a)];
      }
    }
    for (size_t s = 0; s < n; ++s) {
      if (!in_datum[s]) continue;
      Mat3& total = sum[static_cast<size_t>(stations[s].part)];
      for (size_t k = 0; k < 9; ++k) total[k] += w[s][k];
    }
  }
  const double linear = LinearConfidenceFactor(settings.confidence);
  const double planar = PlanarConfidenceFactor(settings.confidence);
  for (size_t s = 0; s < stations.size(); ++s) {
    StationPrecision& sp = stations[s];
    sp.x = positions[s * 3];
    sp.y = positions[s * 3 + 1];
    sp.z = positions[s * 3 + 2];
    sp.determined = sp.part >= 0;
    if (!sp.determined) continue;
    Mat3 c = StationCovariance(unknowns, cofactor, static_cast<int32_t>(s));
    const auto p = static_cast<size_t>(sp.part);
    if (!w.empty() && moved(sp.part) && m[p] > 0) {
      // C'_ss = C_ss − (W_s + W_sᵀ)/m + Σ W_t / m².
      const double k = static_cast<double>(m[p]);
      for (size_t r = 0; r < 3; ++r)
        for (size_t col = 0; col < 3; ++col)
          c[r * 3 + col] +=
              -(w[s][r * 3 + col] + w[s][col * 3 + r]) / k + sum[p][r * 3 + col] / (k * k);
    }
    SetLocalPrecision(frames[s], c, sp, linear, planar);
  }
}

}  // namespace fenwix

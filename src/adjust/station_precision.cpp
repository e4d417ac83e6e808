#include "adjust/station_precision.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace fenwix {

using namespace adjust_geometry;

void SetLocalPrecision(const Frame& f, const Mat3& c, StationPrecision& sp) {
  const auto project = [&](const Vec3& x, const Vec3& y) {
    double sum = 0.0;
    for (size_t r = 0; r < 3; ++r)
      for (size_t col = 0; col < 3; ++col) sum += x[r] * c[r * 3 + col] * y[col];
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

void ComputeStationPrecision(const std::vector<Frame>& frames, const std::vector<double>& positions,
                             const StationUnknowns& unknowns, const CofactorBlock& cofactor,
                             std::vector<StationPrecision>& stations) {
  for (size_t s = 0; s < stations.size(); ++s) {
    StationPrecision& sp = stations[s];
    sp.x = positions[s * 3];
    sp.y = positions[s * 3 + 1];
    sp.z = positions[s * 3 + 2];
    sp.determined = sp.part >= 0;
    if (!sp.determined) continue;
    const auto station = static_cast<int32_t>(s);
    Mat3 c{};
    if (unknowns.of(station) > 0) {
      double z[9];
      cofactor(station, station, z);
      c = unknowns.Geocentric(station, z);
    }
    SetLocalPrecision(frames[s], c, sp);
  }
}

}  // namespace fenwix

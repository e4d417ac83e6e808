#include "adjust/relative_precision.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "adjust/station_precision.h"

namespace fenwix {

using namespace adjust_geometry;

Mat3 CrossCovariance(const StationUnknowns& unknowns, const CofactorBlock& cofactor, int32_t s,
                     int32_t t) {
  const int32_t ks = unknowns.of(s), kt = unknowns.of(t);
  Mat3 c{};
  if (ks == 0 || kt == 0) return c;
  double z[9];
  cofactor(s, t, z);
  const auto& bs = unknowns.basis[static_cast<size_t>(s)];
  const auto& bt = unknowns.basis[static_cast<size_t>(t)];
  for (int32_t a = 0; a < ks; ++a)
    for (int32_t d = 0; d < kt; ++d)
      for (size_t r = 0; r < 3; ++r)
        for (size_t col = 0; col < 3; ++col)
          c[r * 3 + col] +=
              bs[static_cast<size_t>(a)][r] * z[a * kt + d] * bt[static_cast<size_t>(d)][col];
  return c;
}

std::vector<RelativePrecision> ComputeRelativePrecision(
    const AdjustmentInput& input, const std::vector<char>& active, const std::vector<Frame>& frames,
    const std::vector<double>& positions, const std::vector<int32_t>& part,
    const StationUnknowns& unknowns, const CofactorBlock& cofactor,
    const RelativeStandard& standard) {
  std::vector<std::pair<int32_t, int32_t>> pairs;
  for (size_t i = 0; i < active.size() && i < input.observations.size(); ++i) {
    if (!active[i]) continue;
    int32_t st[3];
    const int n = StationsOf(input.observations[i], st);
    for (int k = 1; k < n; ++k) {
      if (st[0] == st[k]) continue;
      pairs.emplace_back(std::min(st[0], st[k]), std::max(st[0], st[k]));
    }
  }
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());

  const double planar = PlanarConfidenceFactor(0.95);
  std::vector<RelativePrecision> out;
  out.reserve(pairs.size());
  for (const auto& [i, j] : pairs) {
    const auto si = static_cast<size_t>(i), sj = static_cast<size_t>(j);
    if (si >= part.size() || sj >= part.size() || part[si] < 0 || part[si] != part[sj]) continue;
    const Mat3 cii = StationCovariance(unknowns, cofactor, i);
    const Mat3 cjj = StationCovariance(unknowns, cofactor, j);
    const Mat3 cij = CrossCovariance(unknowns, cofactor, i, j);
    Mat3 c{};
    for (size_t r = 0; r < 3; ++r)
      for (size_t col = 0; col < 3; ++col)
        c[r * 3 + col] = cii[r * 3 + col] + cjj[r * 3 + col] - cij[r * 3 + col] - cij[col * 3 + r];
    StationPrecision sp;
    SetLocalPrecision(frames[si], c, sp, 1.0, planar);
    const Frame& f = frames[si];
    const Vec3 d{positions[sj * 3] - positions[si * 3],
                 positions[sj * 3 + 1] - positions[si * 3 + 1],
                 positions[sj * 3 + 2] - positions[si * 3 + 2]};
    RelativePrecision rp;
    rp.from = i;
    rp.to = j;
    rp.distance = std::hypot(Dot(f.e, d), Dot(f.n, d));
    rp.major = sp.ellipse_major;
    rp.minor = sp.ellipse_minor;
    rp.azimuth = sp.ellipse_azimuth;
    rp.allowed = standard.mm * 1e-3 + standard.ppm * 1e-6 * rp.distance;
    rp.ratio = rp.allowed > 0.0 ? rp.major / rp.allowed : 0.0;
    rp.exceeded = rp.major > rp.allowed;
    out.push_back(rp);
  }
  std::stable_sort(
      out.begin(), out.end(),
      [](const RelativePrecision& a, const RelativePrecision& b) { return a.ratio > b.ratio; });
  return out;
}

}  // namespace fenwix

#include "adjust/external_reliability.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace fenwix {

using namespace adjust_geometry;

namespace {

// X_s = Σ_t Z_st B_tᵀ over the datum's stations t (k_s × 3 row-major, per unknown holder s,
// the refraction coefficient's too): Σ_t Δx_t = Σ_s X_sᵀ h_s for a right-hand side h. Empty
// when no part moves its datum.
struct DatumSums {
  std::vector<std::array<double, 9>> x;
  std::vector<int32_t> members;  // the datum's stations per part, 0 for a part held as it is

  DatumSums(const StationUnknowns& unknowns, const CofactorSolve& solve,
            const std::vector<StationPrecision>& stations, const std::vector<PartDatum>& datums)
      : members(datums.size(), 0) {
    const size_t holders = unknowns.count.size();
    std::vector<char> in_datum(holders, 0);
    for (size_t s = 0; s < stations.size() && s < holders; ++s) {
      const int32_t p = stations[s].part;
      if (p < 0 || static_cast<size_t>(p) >= datums.size()) continue;
      const PartDatum& d = datums[static_cast<size_t>(p)];
      in_datum[s] = d.kind == PrecisionDatumKind::MinimumTrace ||
                    (d.kind == PrecisionDatumKind::Station && d.station == static_cast<int32_t>(s));
      members[static_cast<size_t>(p)] += in_datum[s];
    }
    if (!solve || std::none_of(in_datum.begin(), in_datum.end(), [](char c) { return c != 0; }))
      return;
    x.assign(holders, std::array<double, 9>{});
    for (size_t c = 0; c < 3; ++c) {
      std::vector<std::array<double, 3>> b(holders, std::array<double, 3>{});
      for (size_t s = 0; s < holders; ++s) {
        if (!in_datum[s]) continue;
        Vec3 axis{};
        axis[c] = 1.0;
        unknowns.Project(static_cast<int32_t>(s), axis, b[s].data());
      }
      const std::vector<std::array<double, 3>> solved = solve(b);
      for (size_t s = 0; s < holders && s < solved.size(); ++s)
        for (size_t a = 0; a < 3; ++a) x[s][a * 3 + c] = solved[s][a];
    }
  }
};

// The largest shift of the observation's own stations for the right-hand sides h[e] = A_eᵀ P ∇
// (unknowns.of(st[e]) numbers each) of its unknown holders st[0..n).
double LargestOwnShift(const int32_t* st, int n, const double (*h)[3],
                       const double (*z)[MAX_OBSERVATION_UNKNOWNS][9],
                       const StationUnknowns& unknowns, const DatumSums& datum, int32_t members,
                       size_t station_count) {
  Vec3 mean{};
  if (members > 0 && !datum.x.empty()) {
    for (int f = 0; f < n; ++f) {
      const auto& xf = datum.x[static_cast<size_t>(st[f])];
      for (int32_t a = 0; a < unknowns.of(st[f]); ++a)
        for (size_t c = 0; c < 3; ++c) mean[c] += xf[static_cast<size_t>(a) * 3 + c] * h[f][a];
    }
    for (double& m : mean) m /= static_cast<double>(members);
  }
  double largest = 0.0;
  for (int e = 0; e < n; ++e) {
    if (static_cast<size_t>(st[e]) >= station_count)
      continue;  // the refraction coefficient, a tilt
    const int32_t ke = unknowns.of(st[e]);
    double du[3] = {0.0, 0.0, 0.0};
    for (int f = 0; f < n; ++f) {
      const int32_t kf = unknowns.of(st[f]);
      if (ke == 0 || kf == 0) continue;
      for (int32_t a = 0; a < ke; ++a)
        for (int32_t b = 0; b < kf; ++b) du[a] += z[e][f][a * kf + b] * h[f][b];
    }
    Vec3 d{-mean[0], -mean[1], -mean[2]};
    const auto& basis = unknowns.basis[static_cast<size_t>(st[e])];
    for (int32_t a = 0; a < ke; ++a)
      for (size_t c = 0; c < 3; ++c) d[c] += basis[static_cast<size_t>(a)][c] * du[a];
    largest = std::max(largest, std::sqrt(Dot(d, d)));
  }
  return largest;
}

}  // namespace

void ComputeExternalReliability(const AdjustmentInput& input, const std::vector<Mat3>& weights,
                                const Geometry& geometry, const StationUnknowns& unknowns,
                                const CofactorBlock& cofactor, const CofactorSolve& solve,
                                const std::vector<StationPrecision>& stations,
                                const std::vector<PartDatum>& datums,
                                std::vector<ObservationTest>& tests) {
  const DatumSums datum(unknowns, solve, stations, datums);
  const size_t station_count = input.stations.size();
  for (size_t i = 0; i < tests.size() && i < input.observations.size(); ++i) {
    ObservationTest& t = tests[i];
    if (!t.active) continue;
    t.external = NAN;
    if (!t.tested) continue;
    const AdjustmentObservation& obs = input.observations[i];
    const Linearised lin = geometry.Linearise(obs);
    const int n = lin.count;
    const int32_t* st = lin.unknowns;
    double z[MAX_OBSERVATION_UNKNOWNS][MAX_OBSERVATION_UNKNOWNS][9] = {};
    for (int e = 0; e < n; ++e)
      for (int f = 0; f < n; ++f)
        if (unknowns.of(st[e]) && unknowns.of(st[f])) cofactor(st[e], st[f], z[e][f]);
    const int32_t part = static_cast<size_t>(obs.at) < stations.size()
                             ? stations[static_cast<size_t>(obs.at)].part
                             : -1;
    const int32_t members = part >= 0 && static_cast<size_t>(part) < datum.members.size()
                                ? datum.members[static_cast<size_t>(part)]
                                : 0;
    double h[MAX_OBSERVATION_UNKNOWNS][3] = {};
    double largest = 0.0;
    if (obs.kind == AdjustedKind::GnssVector) {
      // A blunder along each component in turn; A is −I at the start, +I at the end.
      const Mat3& p = weights[i];
      for (size_t k = 0; k < 3; ++k) {
        if (!std::isfinite(t.mdb[k])) continue;
        Vec3 pb{};
        for (size_t r = 0; r < 3; ++r) pb[r] = p[r * 3 + k] * t.mdb[k];
        for (int e = 0; e < 2; ++e) {
          const Vec3 signed_pb = e == 0 ? Vec3{-pb[0], -pb[1], -pb[2]} : pb;
          unknowns.Project(st[e], signed_pb, h[e]);
        }
        largest = std::max(largest,
                           LargestOwnShift(st, n, h, z, unknowns, datum, members, station_count));
      }
    } else {
      if (!std::isfinite(t.mdb[0]) || !(obs.sd > 0.0)) continue;
      const double scale = t.mdb[0] / (obs.sd * obs.sd);
      for (int e = 0; e < n; ++e) {
        const Vec3 g{lin.gradient[e][0] * scale, lin.gradient[e][1] * scale,
                     lin.gradient[e][2] * scale};
        unknowns.Project(st[e], g, h[e]);
      }
      largest = LargestOwnShift(st, n, h, z, unknowns, datum, members, station_count);
    }
    t.external = largest;
  }
}

}  // namespace fenwix

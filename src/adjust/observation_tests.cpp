#include "adjust/observation_tests.h"

#include <algorithm>
#include <cmath>

#include <Eigen/Eigenvalues>

#include "adjust/test_statistics.h"

namespace fenwix {

using namespace adjust_geometry;

// Each component's r can be well above 0 while one direction has none (a vector that alone
// closes a traverse without orientation): its whole test would divide noise by noise there, and
// its rejection would leave the traverse free to turn.
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

namespace {

// The cofactor blocks among the unknowns of an observation's stations (and its refraction).
struct ObservationBlocks {
  int32_t st[MAX_OBSERVATION_UNKNOWNS];
  int n = 0;
  double z[MAX_OBSERVATION_UNKNOWNS][MAX_OBSERVATION_UNKNOWNS][9];

  ObservationBlocks(const Linearised& lin, const StationUnknowns& unknowns,
                    const CofactorBlock& cofactor) {
    n = lin.count;
    std::copy(lin.unknowns, lin.unknowns + n, st);
    for (int e = 0; e < n; ++e)
      for (int f = 0; f < n; ++f)
        if (unknowns.of(st[e]) && unknowns.of(st[f])) cofactor(st[e], st[f], z[e][f]);
  }
};

// Q_l̂ of a vector: Σ J_s Z_st J_tᵀ with J = ±B (3 × k).
Mat3 AdjustedVectorCofactor(const ObservationBlocks& blocks, const StationUnknowns& unknowns) {
  Mat3 q{};
  for (int e = 0; e < 2; ++e)
    for (int f = 0; f < 2; ++f) {
      const int32_t s = blocks.st[e], u = blocks.st[f];
      const int32_t ks = unknowns.of(s), ku = unknowns.of(u);
      if (!ks || !ku) continue;
      const double sign = (e == f) ? 1.0 : -1.0;
      for (int32_t a = 0; a < ks; ++a)
        for (int32_t b = 0; b < ku; ++b) {
          const double z = sign * blocks.z[e][f][a * ku + b];
          const Vec3& ba = unknowns.basis[static_cast<size_t>(s)][static_cast<size_t>(a)];
          const Vec3& bb = unknowns.basis[static_cast<size_t>(u)][static_cast<size_t>(b)];
          for (size_t r = 0; r < 3; ++r)
            for (size_t c = 0; c < 3; ++c) q[r * 3 + c] += ba[r] * z * bb[c];
        }
    }
  return q;
}

void TestVector(const AdjustmentObservation& obs, const Mat3& weight, const Linearised& lin,
                const ObservationBlocks& blocks, const StationUnknowns& unknowns,
                ObservationTest& t, RoundSums& sums) {
  KindSums& kind = sums.kinds[static_cast<size_t>(obs.kind)];
  const Mat3 q = AdjustedVectorCofactor(blocks, unknowns);
  const Mat3 cov = CovarianceOf(obs);
  Mat3 qvv;
  for (size_t k = 0; k < 9; ++k) qvv[k] = cov[k] - q[k];
  const Mat3 qvvp = Multiply(qvv, weight);
  // P Q_vv P: a bias ∇ along component k moves the vector's test by ∇²·(PQ_vvP)_kk, and its
  // own w-test is (Pv)_k over the root of that, the correlations of the residuals kept.
  const Mat3 pqvvp = Multiply(weight, qvvp);
  const Vec3& v = lin.misclosure;
  Vec3 pv{};
  for (size_t r = 0; r < 3; ++r)
    for (size_t c = 0; c < 3; ++c) pv[r] += weight[r * 3 + c] * v[c];
  const double part = Dot(v, pv);
  sums.vtpv += part;
  kind.vtpv += part;
  sums.components += 3;
  t.r_min = 1.0;
  for (size_t k = 0; k < 3; ++k) {
    const double m = pqvvp[k * 4];
    t.v[k] = v[k];
    t.r[k] = std::max(qvvp[k * 4], 0.0);
    t.w[k] = m > 0.0 ? pv[k] / std::sqrt(m) : 0.0;
    t.mdb[k] = m > 0.0 ? 1.0 / std::sqrt(m) : INFINITY;
    t.r_min = std::min(t.r_min, t.r[k]);
    kind.redundancy += t.r[k];
  }
  kind.sds.push_back(std::sqrt((cov[0] + cov[4] + cov[8]) / 3.0));
  Mat3 qvv_inverse;
  t.tested = InvertSymmetric(qvv, qvv_inverse) && t.r_min >= TESTED_REDUNDANCY &&
             SmallestRedundancy(qvv, cov) >= TESTED_REDUNDANCY;
  t.w_whole = 0.0;
  t.estimated_error = {};
  if (!t.tested) return;
  Vec3 qv{};
  for (size_t r = 0; r < 3; ++r)
    for (size_t c = 0; c < 3; ++c) qv[r] += qvv_inverse[r * 3 + c] * v[c];
  t.w_whole = EquivalentW(Dot(v, qv));
  // ∇̂ = −(Q_vv P)⁻¹ v = −C Q_vv⁻¹ v.
  for (size_t r = 0; r < 3; ++r)
    for (size_t c = 0; c < 3; ++c) t.estimated_error[r] -= cov[r * 3 + c] * qv[c];
}

void TestScalar(const AdjustmentObservation& obs, const Linearised& lin,
                const ObservationBlocks& blocks, const StationUnknowns& unknowns,
                ObservationTest& t, RoundSums& sums) {
  KindSums& kind = sums.kinds[static_cast<size_t>(obs.kind)];
  double q = 0.0;
  double g[MAX_OBSERVATION_UNKNOWNS][3];
  const int n = blocks.n;
  for (int e = 0; e < n; ++e) unknowns.Project(blocks.st[e], lin.gradient[e], g[e]);
  for (int e = 0; e < n; ++e)
    for (int f = 0; f < n; ++f) {
      const int32_t ks = unknowns.of(blocks.st[e]), kf = unknowns.of(blocks.st[f]);
      if (!ks || !kf) continue;
      for (int32_t a = 0; a < ks; ++a)
        for (int32_t b = 0; b < kf; ++b) q += g[e][a] * blocks.z[e][f][a * kf + b] * g[f][b];
    }
  const double var = obs.sd * obs.sd;
  const double qvv = var - q;
  const double v = lin.misclosure[0];
  sums.vtpv += v * v / var;
  kind.vtpv += v * v / var;
  sums.components += 1;
  t.v = {v, 0, 0};
  // Rounding can leave a fully determined observation a hair below zero.
  t.r = {std::max(qvv / var, 0.0), 0, 0};
  t.r_min = t.r[0];
  kind.redundancy += t.r[0];
  t.w = {qvv > 0.0 ? v / std::sqrt(qvv) : 0.0, 0, 0};
  t.mdb = {t.r[0] > 0.0 ? obs.sd / std::sqrt(t.r[0]) : INFINITY, 0, 0};
  t.tested = t.r[0] >= TESTED_REDUNDANCY;
  t.estimated_error = {t.tested ? -v / t.r[0] : 0.0, 0, 0};
  t.w_whole = t.tested ? t.w[0] : 0.0;
  kind.sds.push_back(obs.sd);
}

}  // namespace

std::optional<RoundSums> TestObservations(
    const AdjustmentInput& input, const std::vector<char>& active, const std::vector<Mat3>& weights,
    const Geometry& geometry, const StationUnknowns& unknowns, const CofactorBlock& cofactor,
    std::vector<ObservationTest>& tests, const std::function<bool()>& cancelled) {
  RoundSums sums;
  for (size_t i = 0; i < active.size(); ++i) {
    ObservationTest& t = tests[i];
    t.active = active[i] != 0;
    if (!t.active) continue;
    if ((i & 4095) == 0 && cancelled && cancelled()) return std::nullopt;
    const AdjustmentObservation& obs = input.observations[i];
    const Linearised lin = geometry.Linearise(obs);
    const ObservationBlocks blocks(lin, unknowns, cofactor);
    ++sums.kinds[static_cast<size_t>(obs.kind)].count;
    if (obs.kind == AdjustedKind::GnssVector) {
      TestVector(obs, weights[i], lin, blocks, unknowns, t, sums);
    } else {
      TestScalar(obs, lin, blocks, unknowns, t, sums);
    }
    if (t.tested) ++sums.tests;
  }
  return sums;
}

}  // namespace fenwix

#include "adjust/robust_start.h"

#include <algorithm>
#include <cmath>

namespace fenwix {

using namespace adjust_geometry;

void RobustWeights(const std::vector<double>& misfit, const std::vector<char>& active,
                   std::vector<double>& robust) {
  std::vector<double> sizes;
  for (size_t i = 0; i < active.size(); ++i)
    if (active[i]) sizes.push_back(std::abs(misfit[i]));
  double scale = 1.0;
  if (!sizes.empty()) {
    const auto middle = sizes.begin() + static_cast<ptrdiff_t>(sizes.size() / 2);
    std::nth_element(sizes.begin(), middle, sizes.end());
    if (std::isfinite(*middle)) scale = std::max(1.0, 1.4826 * *middle);
  }
  robust.resize(active.size(), 1.0);
  for (size_t i = 0; i < active.size(); ++i) {
    if (!active[i]) continue;
    const double u = std::abs(misfit[i]) / (ROBUST_CUT * scale);
    robust[i] = u <= 1.0 ? 1.0 : std::max(std::exp(1.0 - u * u), ROBUST_FLOOR);
    if (!std::isfinite(robust[i])) robust[i] = ROBUST_FLOOR;
  }
}

std::vector<int32_t> SetAside(const std::vector<double>& robust, std::vector<char>& active) {
  std::vector<int32_t> out;
  for (size_t i = 0; i < active.size() && i < robust.size(); ++i) {
    if (!active[i] || !(robust[i] < SET_ASIDE_WEIGHT)) continue;
    active[i] = 0;
    out.push_back(static_cast<int32_t>(i));
  }
  return out;
}

namespace {

// The rows of an observation's design matrix by the unknowns of its stations: rows[c][e] holds
// component c's derivatives by the unknowns of lin.unknowns[e].
struct DesignRows {
  int components = 1;
  int n = 0;
  int32_t st[MAX_OBSERVATION_UNKNOWNS]{};
  double rows[3][MAX_OBSERVATION_UNKNOWNS][3]{};
};

DesignRows RowsOf(const AdjustmentObservation& obs, const Linearised& lin,
                  const StationUnknowns& unknowns) {
  DesignRows d;
  d.n = lin.count;
  std::copy(lin.unknowns, lin.unknowns + d.n, d.st);
  if (obs.kind != AdjustedKind::GnssVector) {
    for (int e = 0; e < d.n; ++e) unknowns.Project(d.st[e], lin.gradient[e], d.rows[0][e]);
    return d;
  }
  // The vector is fore − at.
  d.components = 3;
  for (int e = 0; e < 2; ++e) {
    const double sign = e == 0 ? -1.0 : 1.0;
    const auto& basis = unknowns.basis[static_cast<size_t>(d.st[e])];
    for (int32_t a = 0; a < unknowns.of(d.st[e]); ++a)
      for (size_t c = 0; c < 3; ++c) d.rows[c][e][a] = sign * basis[static_cast<size_t>(a)][c];
  }
  return d;
}

// The cofactor of the observation's adjusted value, A N⁻¹ Aᵀ: from the cofactor blocks where the
// factor's pattern holds them, else by solving.
Mat3 AdjustedCofactor(const DesignRows& d, const StationUnknowns& unknowns,
                      const CofactorBlock& cofactor, const CofactorSolve& solve) {
  Mat3 q{};
  bool known = true;
  for (int e = 0; e < d.n && known; ++e) {
    for (int f = 0; f < d.n && known; ++f) {
      const int32_t ke = unknowns.of(d.st[e]), kf = unknowns.of(d.st[f]);
      if (!ke || !kf) continue;
      double z[9];
      cofactor(d.st[e], d.st[f], z);
      for (int c = 0; c < d.components; ++c)
        for (int k = 0; k < d.components; ++k)
          for (int32_t a = 0; a < ke; ++a)
            for (int32_t b = 0; b < kf; ++b)
              q[static_cast<size_t>(c * 3 + k)] +=
                  d.rows[c][e][a] * z[a * kf + b] * d.rows[k][f][b];
      known = std::all_of(z, z + ke * kf, [](double v) { return std::isfinite(v); });
    }
  }
  if (known) return q;
  q = Mat3{};
  for (int k = 0; k < d.components; ++k) {
    std::vector<std::array<double, 3>> b(unknowns.count.size(), std::array<double, 3>{});
    for (int f = 0; f < d.n; ++f)
      for (int32_t a = 0; a < unknowns.of(d.st[f]); ++a)
        b[static_cast<size_t>(d.st[f])][static_cast<size_t>(a)] += d.rows[k][f][a];
    const std::vector<std::array<double, 3>> x = solve(b);
    for (int c = 0; c < d.components; ++c)
      for (int e = 0; e < d.n; ++e)
        for (int32_t a = 0; a < unknowns.of(d.st[e]); ++a)
          q[static_cast<size_t>(c * 3 + k)] +=
              d.rows[c][e][a] * x[static_cast<size_t>(d.st[e])][static_cast<size_t>(a)];
  }
  return q;
}

}  // namespace

ObservationTest LeftOutTest(const AdjustmentObservation& obs, const Linearised& lin,
                            const StationUnknowns& unknowns, const CofactorBlock& cofactor,
                            const CofactorSolve& solve, double* chi2) {
  ObservationTest t;
  double ignored = 0.0;
  if (chi2 == nullptr) chi2 = &ignored;
  const DesignRows d = RowsOf(obs, lin, unknowns);
  const Mat3 q = AdjustedCofactor(d, unknowns, cofactor, solve);
  const Vec3& e = lin.misclosure;
  if (obs.kind != AdjustedKind::GnssVector) {
    const double var = obs.sd * obs.sd;
    const double m = var + std::max(q[0], 0.0);
    const double r = var / m;
    t.v = {r * e[0], 0, 0};
    t.r = {r, 0, 0};
    t.r_min = r;
    t.w = {e[0] / std::sqrt(m), 0, 0};
    *chi2 = t.w[0] * t.w[0];
    t.mdb = {obs.sd / std::sqrt(r), 0, 0};
    t.tested = std::isfinite(t.w[0]) && r > 0.0;
    t.estimated_error = {t.tested ? -e[0] : 0.0, 0, 0};
    t.w_whole = t.tested ? t.w[0] : 0.0;
    return t;
  }
  const Mat3 cov = CovarianceOf(obs);
  Mat3 m, m_inverse;
  for (size_t k = 0; k < 9; ++k) m[k] = cov[k] + q[k];
  if (!InvertSymmetric(m, m_inverse)) return t;
  // Inside the adjustment it would have Q_vv = C M⁻¹ C, v = C M⁻¹ e and P Q_vv P = M⁻¹.
  const Mat3 cm = Multiply(cov, m_inverse);
  const Mat3 qvv = Multiply(cm, cov);
  Vec3 me{};
  for (size_t r = 0; r < 3; ++r)
    for (size_t c = 0; c < 3; ++c) me[r] += m_inverse[r * 3 + c] * e[c];
  t.r_min = 1.0;
  for (size_t k = 0; k < 3; ++k) {
    const double diagonal = m_inverse[k * 4];
    for (size_t c = 0; c < 3; ++c) t.v[k] += cov[k * 3 + c] * me[c];
    // Q_vv P = C M⁻¹ C P = C M⁻¹.
    t.r[k] = std::max(cm[k * 4], 0.0);
    t.w[k] = diagonal > 0.0 ? me[k] / std::sqrt(diagonal) : 0.0;
    t.mdb[k] = diagonal > 0.0 ? 1.0 / std::sqrt(diagonal) : INFINITY;
    t.r_min = std::min(t.r_min, t.r[k]);
  }
  *chi2 = Dot(e, me);
  t.tested = std::isfinite(*chi2) && t.r_min > 0.0 && SmallestRedundancy(qvv, cov) > 0.0;
  if (!t.tested) return t;
  t.w_whole = EquivalentW(*chi2);
  for (size_t k = 0; k < 3; ++k) t.estimated_error[k] = -e[k];
  return t;
}

SetAsideOutcome SettleSetAside(const AdjustmentInput& input, const std::vector<int32_t>& set_aside,
                               const std::vector<StationPrecision>& stations,
                               const Geometry& geometry, const StationUnknowns& unknowns,
                               const CofactorBlock& cofactor, const CofactorSolve& solve,
                               const TestLevels& levels, double critical_w,
                               std::vector<char>& active, std::vector<ObservationTest>& tests) {
  SetAsideOutcome out;
  std::vector<std::pair<double, int32_t>> above;
  for (const int32_t i : set_aside) {
    const auto index = static_cast<size_t>(i);
    const AdjustmentObservation& obs = input.observations[index];
    int32_t st[3];
    const int n = StationsOf(obs, st);
    bool held = true, joined = true;
    for (int k = 0; k < n; ++k) {
      const int32_t p = stations[static_cast<size_t>(st[k])].part;
      held = held && p >= 0;
      joined = joined && p == stations[static_cast<size_t>(st[0])].part;
    }
    // Stations the adjustment no longer holds, or parts it holds apart: nothing to test against.
    if (!held || !joined) {
      ++out.left_out;
      continue;
    }
    double chi2 = 0.0;
    ObservationTest t = LeftOutTest(obs, geometry.Linearise(obs), unknowns, cofactor, solve, &chi2);
    const bool whole = obs.kind == AdjustedKind::GnssVector;
    for (double& m : t.mdb) m *= whole ? std::sqrt(levels.lambda0) : levels.delta0;
    t.index = i;
    t.rejected_round = tests[index].rejected_round;
    tests[index] = t;
    out.vtpv += chi2;
    out.components += obs.kind == AdjustedKind::GnssVector ? 3 : 1;
    // An observation the adjustment would not test is no candidate for rejection.
    if (t.tested && std::abs(t.w_whole) > critical_w) {
      above.emplace_back(std::abs(t.w_whole), i);
      continue;
    }
    active[index] = 1;
    ++out.brought_back;
  }
  std::sort(above.begin(), above.end(), [](const auto& a, const auto& b) { return a > b; });
  for (const auto& [w, i] : above) out.rejected.push_back(i);
  return out;
}

}  // namespace fenwix

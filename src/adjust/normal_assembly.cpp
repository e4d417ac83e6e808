#include "adjust/normal_assembly.h"

namespace fenwix {

using namespace adjust_geometry;

namespace {

// A vector's J is −B_at and +B_fore: N gets (±Bᵀ P)(±B), the right-hand side −(±Bᵀ P) m.
void AddVector(const AdjustmentObservation& obs, const Mat3& p, const Linearised& lin,
               const StationUnknowns& unknowns, bool matrix, SparseNormals& normals) {
  const int32_t st[2] = {obs.at, obs.fore};
  double jp[2][3][3];
  for (int e = 0; e < 2; ++e) {
    const double sign = e == 0 ? -1.0 : 1.0;
    for (int32_t a = 0; a < unknowns.of(st[e]); ++a) {
      const Vec3& b = unknowns.basis[static_cast<size_t>(st[e])][static_cast<size_t>(a)];
      for (size_t c = 0; c < 3; ++c)
        jp[e][a][c] = sign * (b[0] * p[0 * 3 + c] + b[1] * p[1 * 3 + c] + b[2] * p[2 * 3 + c]);
    }
  }
  for (int e = 0; e < 2; ++e) {
    const int32_t s = st[e];
    const int32_t ks = unknowns.of(s);
    if (ks == 0) continue;
    double g[3];
    for (int32_t a = 0; a < ks; ++a)
      g[a] = -Dot({jp[e][a][0], jp[e][a][1], jp[e][a][2]}, lin.misclosure);
    normals.AddRhs(s, g);
    for (int f = e; f < 2 && matrix; ++f) {
      const int32_t t = st[f];
      const int32_t kt = unknowns.of(t);
      if (kt == 0) continue;
      const double sign = f == 0 ? -1.0 : 1.0;
      double block[9];
      for (int32_t a = 0; a < ks; ++a) {
        for (int32_t b = 0; b < kt; ++b) {
          const Vec3& bt = unknowns.basis[static_cast<size_t>(t)][static_cast<size_t>(b)];
          block[a * kt + b] =
              sign * (jp[e][a][0] * bt[0] + jp[e][a][1] * bt[1] + jp[e][a][2] * bt[2]);
        }
      }
      normals.AddBlock(s, t, block);
    }
  }
}

}  // namespace

void AddToNormals(const AdjustmentObservation& obs, const Mat3& weight, const Linearised& lin,
                  const StationUnknowns& unknowns, bool matrix, SparseNormals& normals,
                  double factor) {
  if (obs.kind == AdjustedKind::GnssVector) {
    Mat3 scaled = weight;
    for (double& w : scaled) w *= factor;
    AddVector(obs, scaled, lin, unknowns, matrix, normals);
    return;
  }
  const int32_t* st = lin.unknowns;
  const int n = lin.count;
  const double p = factor / (obs.sd * obs.sd);
  double g[MAX_OBSERVATION_UNKNOWNS][3];
  for (int e = 0; e < n; ++e) unknowns.Project(st[e], lin.gradient[e], g[e]);
  for (int e = 0; e < n; ++e) {
    const int32_t ks = unknowns.of(st[e]);
    if (ks == 0) continue;
    double rhs[3];
    for (int32_t a = 0; a < ks; ++a) rhs[a] = -p * g[e][a] * lin.misclosure[0];
    normals.AddRhs(st[e], rhs);
    for (int f = e; f < n && matrix; ++f) {
      const int32_t kt = unknowns.of(st[f]);
      if (kt == 0) continue;
      double block[9];
      for (int32_t a = 0; a < ks; ++a)
        for (int32_t b = 0; b < kt; ++b) block[a * kt + b] = p * g[e][a] * g[f][b];
      normals.AddBlock(st[e], st[f], block);
    }
  }
}

}  // namespace fenwix

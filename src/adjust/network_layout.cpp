#include "adjust/network_layout.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace fenwix {

using namespace adjust_geometry;

void StationUnknowns::Project(int32_t s, const Vec3& gradient, double* g) const {
  const auto& b = basis[static_cast<size_t>(s)];
  for (int32_t a = 0; a < of(s); ++a) g[a] = Dot(b[static_cast<size_t>(a)], gradient);
}

Mat3 StationUnknowns::Geocentric(int32_t s, const double* z) const {
  const int32_t k = of(s);
  const auto& b = basis[static_cast<size_t>(s)];
  Mat3 c{};
  for (int32_t a = 0; a < k; ++a)
    for (int32_t d = 0; d < k; ++d)
      for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col)
          c[static_cast<size_t>(r * 3 + col)] +=
              b[static_cast<size_t>(a)][static_cast<size_t>(r)] * z[a * k + d] *
              b[static_cast<size_t>(d)][static_cast<size_t>(col)];
  return c;
}

namespace {

// Parts by union-find over the active observations' stations.
void FindParts(const AdjustmentInput& input, const std::vector<char>& active, NetworkLayout& out) {
  const size_t stations = input.stations.size();
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
  for (size_t i = 0; i < active.size(); ++i) {
    if (!active[i]) continue;
    int32_t st[3];
    const int n = StationsOf(input.observations[i], st);
    for (int k = 0; k < n; ++k) {
      used[static_cast<size_t>(st[k])] = 1;
      const int32_t a = find(st[0]), b = find(st[k]);
      if (a != b) root[static_cast<size_t>(std::max(a, b))] = std::min(a, b);
    }
  }
  out.part.assign(stations, -1);
  for (size_t s = 0; s < stations; ++s) {
    if (!used[s]) continue;
    const int32_t r = find(static_cast<int32_t>(s));
    if (out.part[static_cast<size_t>(r)] < 0) {
      out.part[static_cast<size_t>(r)] = static_cast<int32_t>(out.members.size());
      out.members.emplace_back();
    }
    out.part[s] = out.part[static_cast<size_t>(r)];
    out.members[static_cast<size_t>(out.part[s])].push_back(static_cast<int32_t>(s));
  }
}

struct Holder {
  const std::vector<Frame>& frames;
  const std::vector<double>& positions;
  StationUnknowns& unknowns;

  Vec3 From(int32_t origin, int32_t s) const {
    const size_t i = static_cast<size_t>(s) * 3, o = static_cast<size_t>(origin) * 3;
    return {positions[i] - positions[o], positions[i + 1] - positions[o + 1],
            positions[i + 2] - positions[o + 2]};
  }

  // A part without vector or zenith angle may turn about any axis through its datum station:
  // the station farthest from it keeps only its distance along their line, and the station
  // farthest from that line only its place in the plane of the three.
  void HoldRotations(const std::vector<int32_t>& members, int32_t datum) {
    int32_t far = -1;
    double best = 0.0;
    for (int32_t s : members) {
      const Vec3 d = From(datum, s);
      if (std::sqrt(Dot(d, d)) > best) best = std::sqrt(Dot(d, d)), far = s;
    }
    if (far < 0) return;
    Vec3 line = From(datum, far);
    for (double& c : line) c /= best;
    int32_t third = -1;
    double off_line = 0.0;
    Vec3 across{};
    for (int32_t s : members) {
      const Vec3 d = From(datum, s);
      const double along = Dot(d, line);
      const Vec3 rest{d[0] - along * line[0], d[1] - along * line[1], d[2] - along * line[2]};
      const double size = std::sqrt(Dot(rest, rest));
      if (size > off_line) {
        off_line = size;
        third = s;
        for (size_t c = 0; c < 3; ++c) across[c] = rest[c] / size;
      }
    }
    unknowns.count[static_cast<size_t>(far)] = 1;
    unknowns.basis[static_cast<size_t>(far)] = {line, Vec3{}, Vec3{}};
    if (third < 0 || third == far) return;
    unknowns.count[static_cast<size_t>(third)] = 2;
    unknowns.basis[static_cast<size_t>(third)] = {line, across, Vec3{}};
  }

  // Without a vector a part may turn about the vertical of its datum station: the station
  // farthest from it horizontally keeps only its distance and height.
  void HoldTurn(const std::vector<int32_t>& members, int32_t datum) {
    const Frame& f = frames[static_cast<size_t>(datum)];
    int32_t far = -1;
    double best = 0.0;
    Vec3 radial{};
    for (int32_t s : members) {
      const Vec3 d = From(datum, s);
      const double e = Dot(f.e, d), n = Dot(f.n, d);
      if (std::hypot(e, n) > best) {
        best = std::hypot(e, n);
        far = s;
        for (size_t c = 0; c < 3; ++c) radial[c] = (e * f.e[c] + n * f.n[c]) / best;
      }
    }
    if (far < 0) return;
    unknowns.count[static_cast<size_t>(far)] = 2;
    unknowns.basis[static_cast<size_t>(far)] = {radial, f.u, Vec3{}};
  }
};

}  // namespace

NetworkLayout LayOutNetwork(const AdjustmentInput& input, const std::vector<char>& active,
                            const std::vector<Frame>& frames, const std::vector<double>& positions,
                            int32_t datum_choice) {
  NetworkLayout out;
  FindParts(input, active, out);
  const size_t parts = out.members.size();
  std::vector<char>& has_vector = out.has_vector;
  std::vector<char>& has_zenith = out.has_zenith;
  has_vector.assign(parts, 0);
  has_zenith.assign(parts, 0);
  std::vector<char> has_scale(parts, 0);
  for (size_t i = 0; i < active.size(); ++i) {
    if (!active[i]) continue;
    const AdjustmentObservation& obs = input.observations[i];
    const auto p = static_cast<size_t>(out.part[static_cast<size_t>(obs.at)]);
    if (obs.kind == AdjustedKind::GnssVector) has_vector[p] = has_scale[p] = 1;
    if (obs.kind == AdjustedKind::SlopeDistance) has_scale[p] = 1;
    if (obs.kind == AdjustedKind::Zenith) has_zenith[p] = 1;
  }
  for (size_t p = 0; p < parts; ++p) {
    if (!has_scale[p])
      out.unscaled.insert(out.unscaled.end(), out.members[p].begin(), out.members[p].end());
  }
  if (!out.unscaled.empty()) return out;

  const size_t stations = input.stations.size();
  out.unknowns.count.assign(stations, 0);
  out.unknowns.basis.assign(stations, {});
  for (size_t s = 0; s < stations; ++s) {
    if (out.part[s] < 0) continue;
    out.unknowns.count[s] = 3;
    out.unknowns.basis[s] = {Vec3{1, 0, 0}, Vec3{0, 1, 0}, Vec3{0, 0, 1}};
  }
  out.defects.assign(parts, 3);
  out.datum.assign(parts, -1);
  Holder holder{frames, positions, out.unknowns};
  for (size_t p = 0; p < parts; ++p) {
    const std::vector<int32_t>& m = out.members[p];
    const int32_t datum = m[static_cast<size_t>(std::max<int32_t>(datum_choice, 0)) % m.size()];
    out.datum[p] = datum;
    out.unknowns.count[static_cast<size_t>(datum)] = 0;
    if (has_vector[p]) continue;
    out.defects[p] = has_zenith[p] ? 4 : 6;
    if (has_zenith[p]) {
      holder.HoldTurn(m, datum);
    } else {
      holder.HoldRotations(m, datum);
    }
  }
  return out;
}

}  // namespace fenwix

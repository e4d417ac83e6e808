// GNSS vectors: repeated vectors against each other, closures of the triangles of the vector
// graph, and vectors without standard deviations.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "checks/check_support.h"
#include "checks/run_checks.h"
#include "geodesy/coordinates.h"

namespace fenwix {

namespace {

using namespace check_support;

struct Vec3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
  Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
  Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
  Vec3 operator*(double k) const { return {x * k, y * k, z * k}; }
  double Length() const { return std::sqrt(x * x + y * y + z * z); }
};

// A vector turned to run from the lower station row to the higher.
struct PairVector {
  int32_t low = 0;
  int32_t high = 0;
  int32_t row = 0;  // observation row
  Vec3 delta;
  bool reversed = false;  // measured from the higher station row to the lower
};

// The vectors of one station pair, and their mean.
struct Edge {
  int32_t low = 0;
  int32_t high = 0;
  size_t first = 0;  // range in the sorted vectors
  size_t count = 0;
  Vec3 mean;
};

struct Frame {
  double phi;
  double lam;
};

Frame FrameAt(const CheckInput& input, int32_t station) {
  const StationRecord& record = input.tables->stations()[static_cast<size_t>(station)];
  if (input.approx_computed && record.coords_known) return {record.latitude, record.longitude};
  return {input.frame_latitude, input.frame_longitude};
}

// Horizontal and vertical limits in meters for a length in meters.
struct PlanHeightLimits {
  double horizontal_mm, horizontal_ppm, vertical_mm, vertical_ppm;
  double Horizontal(double length) const {
    return horizontal_mm / MM_PER_M + horizontal_ppm * length / PER_MILLION;
  }
  double Vertical(double length) const {
    return vertical_mm / MM_PER_M + vertical_ppm * length / PER_MILLION;
  }
};

bool WithinLimits(const Local& local, double length, const PlanHeightLimits& limits) {
  return std::hypot(local.n, local.e) <= limits.Horizontal(length) &&
         std::fabs(local.u) <= limits.Vertical(length);
}

// Fills a row with the north, east, up, horizontal, 3D and ppm of a misfit over a length.
void MisfitRow(const Frame& frame, const Vec3& misfit, double length,
               const PlanHeightLimits& limits, CheckRow& row) {
  const Local local = CartesianDeltaToLocal(frame.phi, frame.lam, misfit.x, misfit.y, misfit.z);
  const double horizontal = std::hypot(local.n, local.e);
  const double spatial = misfit.Length();
  row.values = {local.n * MM_PER_M,
                local.e * MM_PER_M,
                local.u * MM_PER_M,
                horizontal * MM_PER_M,
                spatial * MM_PER_M,
                length,
                length > 0.0 ? spatial / length * PER_MILLION : NO_VALUE};
  const double horizontal_limit = limits.Horizontal(length);
  const double vertical_limit = limits.Vertical(length);
  row.ratio =
      std::max(Ratio(horizontal, horizontal_limit), Ratio(std::fabs(local.u), vertical_limit));
  row.flagged = horizontal > horizontal_limit || std::fabs(local.u) > vertical_limit;
  if (row.flagged) {
    row.note = horizontal > horizontal_limit ? "horizontal misfit over its limit"
                                             : "vertical misfit over its limit";
  }
}

// A section of misfits whose limits are named prefix_horizontal_mm, prefix_horizontal_ppm,
// prefix_vertical_mm and prefix_vertical_ppm.
CheckSection MisfitSection(const char* name, const char* title, const std::string& prefix,
                           const std::string& misfit, const std::string& length,
                           const PlanHeightLimits& limits) {
  CheckSection section = MakeSection(
      name, title,
      "horizontal " + misfit + " over " + prefix + "_horizontal_mm + " + prefix +
          "_horizontal_ppm of the " + (length == "loop" ? "loop length" : length) +
          ", or vertical over " + prefix + "_vertical_mm + " + prefix + "_vertical_ppm");
  section.columns = {{"dN mm", 1}, {"dE mm", 1},       {"dU mm", 1}, {"horiz mm", 1},
                     {"3D mm", 1}, {length + " m", 3}, {"ppm", 1}};
  section.limits = {{prefix + "_horizontal_mm", limits.horizontal_mm},
                    {prefix + "_horizontal_ppm", limits.horizontal_ppm},
                    {prefix + "_vertical_mm", limits.vertical_mm},
                    {prefix + "_vertical_ppm", limits.vertical_ppm}};
  return section;
}

void AddVectorRows(const CheckInput& input, const std::vector<PairVector>& vectors,
                   const Edge& edge, const PlanHeightLimits& limits, CheckSection& section) {
  const SurveyTables& tables = *input.tables;
  const Frame frame = FrameAt(input, edge.low);
  const double length = edge.mean.Length();
  // Two vectors give one row, their difference; more give a row per vector against the mean of
  // the others, so that the one that disagrees stands out.
  const size_t rows = edge.count == 2 ? 1 : edge.count;
  for (size_t k = 0; k < rows; ++k) {
    const PairVector& own = vectors[edge.first + (edge.count == 2 ? 1 : k)];
    Vec3 others;
    for (size_t j = 0; j < edge.count; ++j) {
      if (edge.count != 2 && j == k) continue;
      if (edge.count == 2 && j == 1) continue;
      others = others + vectors[edge.first + j].delta;
    }
    others = others * (1.0 / static_cast<double>(edge.count == 2 ? 1 : edge.count - 1));
    CheckRow& row = section.rows.emplace_back();
    row.stations = {NameOf(tables, edge.low), NameOf(tables, edge.high)};
    for (size_t j = 0; j < edge.count; ++j) {
      const int32_t observation = vectors[edge.first + j].row;
      row.observations.push_back(observation);
      row.sources.push_back(input.log->record_source(observation));
    }
    MisfitRow(frame, own.delta - others, length, limits, row);
  }
}

// Closes a loop again with each vector of its edges in place of the edge's mean, and adds what
// that says about the vector to its evidence. sign is how the edge (low to high) enters the
// closure.
void AddLoopEvidence(const Frame& frame, const Vec3& closure, double length,
                     const PlanHeightLimits& limits, const std::vector<PairVector>& vectors,
                     const Edge& edge, double sign, std::vector<VectorEvidence>& evidence) {
  for (size_t j = edge.first; j < edge.first + edge.count; ++j) {
    const PairVector& vector = vectors[j];
    const Vec3 own = closure + (vector.delta - edge.mean) * sign;
    const Local local = CartesianDeltaToLocal(frame.phi, frame.lam, own.x, own.y, own.z);
    VectorEvidence& found = evidence[static_cast<size_t>(vector.row)];
    if (WithinLimits(local, length, limits)) {
      found.closes_passing_loop = true;
      continue;
    }
    // The misclosure as an error of the vector as measured.
    const double toward = vector.reversed ? -sign : sign;
    ++found.failing_loops;
    found.north += local.n * toward;
    found.east += local.e * toward;
    found.up += local.u * toward;
  }
}

}  // namespace

void CheckVectors(const CheckInput& input, const CheckLimits& limits, CheckReport& report,
                  std::vector<VectorEvidence>* evidence) {
  const SurveyTables& tables = *input.tables;
  const auto& observations = tables.observations();
  if (evidence != nullptr) evidence->assign(observations.size(), VectorEvidence{});

  CheckSection no_sd =
      MakeSection("vectors_without_sd", "Vectors without standard deviations",
                  "SX, SY or SZ missing or zero: the vector is written with a zero covariance");
  no_sd.columns = {{"SX mm", 1}, {"SY mm", 1}, {"SZ mm", 1}};

  std::vector<PairVector> vectors;
  for (size_t r = 1; r < observations.size(); ++r) {
    const ObsRow& obs = observations[r];
    if (obs.kind != ObsKind::GpsVector) continue;
    const int32_t row = static_cast<int32_t>(r);
    if (!(obs.sx() > 0.0 && obs.sy() > 0.0 && obs.sz() > 0.0)) {
      CheckRow& flagged = no_sd.rows.emplace_back();
      flagged.stations = {tables.name(obs.at), tables.name(obs.fore)};
      flagged.values = {obs.sx() * MM_PER_M, obs.sy() * MM_PER_M, obs.sz() * MM_PER_M};
      flagged.sources = {input.log->record_source(row)};
      flagged.observations = {row};
      flagged.flagged = true;
      flagged.note = "no standard deviation";
    }
    const int32_t base = StationOf(tables, obs.at);
    const int32_t rover = StationOf(tables, obs.fore);
    if (base == 0 || rover == 0 || base == rover || !Given(obs.dx()) || !Given(obs.dy()) ||
        !Given(obs.dz())) {
      continue;
    }
    const Vec3 delta{obs.dx(), obs.dy(), obs.dz()};
    if (base < rover) {
      vectors.push_back({base, rover, row, delta, false});
    } else {
      vectors.push_back({rover, base, row, delta * -1.0, true});
    }
  }
  std::stable_sort(vectors.begin(), vectors.end(), [](const PairVector& a, const PairVector& b) {
    return a.low != b.low ? a.low < b.low : a.high < b.high;
  });

  std::vector<Edge> edges;
  for (size_t i = 0; i < vectors.size();) {
    Edge edge{vectors[i].low, vectors[i].high, i, 0, {}};
    while (i < vectors.size() && vectors[i].low == edge.low && vectors[i].high == edge.high) {
      edge.mean = edge.mean + vectors[i].delta;
      ++edge.count;
      ++i;
    }
    edge.mean = edge.mean * (1.0 / static_cast<double>(edge.count));
    edges.push_back(edge);
  }

  const PlanHeightLimits vector_limits{limits.vector_horizontal_mm, limits.vector_horizontal_ppm,
                                       limits.vector_vertical_mm, limits.vector_vertical_ppm};
  CheckSection repeated = MisfitSection("repeated_vectors", "Repeated GNSS vectors", "vector",
                                        "difference", "length", vector_limits);
  for (const Edge& edge : edges) {
    if (edge.count > 1) AddVectorRows(input, vectors, edge, vector_limits, repeated);
  }

  const PlanHeightLimits loop_limits{limits.loop_horizontal_mm, limits.loop_horizontal_ppm,
                                     limits.loop_vertical_mm, limits.loop_vertical_ppm};
  CheckSection loops = MisfitSection("loop_closures", "GNSS loop closures", "loop", "misclosure",
                                     "loop", loop_limits);

  // Triangles by the degree ordering: each edge points from the station of lower degree to the
  // higher, so every station has at most about sqrt(2E) successors and the listing costs
  // O(E sqrt(E)) at worst, near E for the sparse graphs of survey networks.
  const size_t station_count = static_cast<size_t>(tables.station_count());
  std::vector<int32_t> degree(station_count, 0);
  for (const Edge& edge : edges) {
    ++degree[static_cast<size_t>(edge.low)];
    ++degree[static_cast<size_t>(edge.high)];
  }
  const auto before = [&degree](int32_t a, int32_t b) {
    const int32_t da = degree[static_cast<size_t>(a)];
    const int32_t db = degree[static_cast<size_t>(b)];
    return da != db ? da < db : a < b;
  };
  std::vector<size_t> out_begin(station_count + 1, 0);
  for (const Edge& edge : edges) {
    ++out_begin[static_cast<size_t>(before(edge.low, edge.high) ? edge.low : edge.high) + 1];
  }
  for (size_t s = 0; s < station_count; ++s) out_begin[s + 1] += out_begin[s];
  std::vector<std::pair<int32_t, size_t>> out(edges.size());  // (successor, edge)
  {
    std::vector<size_t> fill(out_begin.begin(), out_begin.end() - 1);
    for (size_t e = 0; e < edges.size(); ++e) {
      const Edge& edge = edges[e];
      const bool low_first = before(edge.low, edge.high);
      const int32_t from = low_first ? edge.low : edge.high;
      const int32_t to = low_first ? edge.high : edge.low;
      out[fill[static_cast<size_t>(from)]++] = {to, e};
    }
  }
  // The vector of an edge walked from station `from`.
  const auto walked = [&edges](size_t e, int32_t from) {
    return edges[e].low == from ? edges[e].mean : edges[e].mean * -1.0;
  };
  constexpr size_t NO_EDGE = SIZE_MAX;
  std::vector<size_t> mark(station_count, NO_EDGE);
  for (size_t u = 1; u < station_count; ++u) {
    for (size_t k = out_begin[u]; k < out_begin[u + 1]; ++k)
      mark[static_cast<size_t>(out[k].first)] = out[k].second;
    for (size_t k = out_begin[u]; k < out_begin[u + 1]; ++k) {
      const auto [v, uv] = out[k];
      for (size_t m = out_begin[static_cast<size_t>(v)]; m < out_begin[static_cast<size_t>(v) + 1];
           ++m) {
        const auto [w, vw] = out[m];
        const size_t uw = mark[static_cast<size_t>(w)];
        if (uw == NO_EDGE) continue;
        const int32_t a = static_cast<int32_t>(u);
        const Vec3 closure = walked(uv, a) + walked(vw, v) - walked(uw, a);
        const double length =
            edges[uv].mean.Length() + edges[vw].mean.Length() + edges[uw].mean.Length();
        CheckRow& row = loops.rows.emplace_back();
        row.stations = {NameOf(tables, a), NameOf(tables, v), NameOf(tables, w)};
        for (const size_t e : {uv, vw, uw}) {
          for (size_t j = 0; j < edges[e].count; ++j) {
            const int32_t observation = vectors[edges[e].first + j].row;
            row.observations.push_back(observation);
            row.sources.push_back(input.log->record_source(observation));
          }
        }
        const Frame frame = FrameAt(input, a);
        MisfitRow(frame, closure, length, loop_limits, row);
        if (evidence != nullptr) {
          AddLoopEvidence(frame, closure, length, loop_limits, vectors, edges[uv],
                          edges[uv].low == a ? 1.0 : -1.0, *evidence);
          AddLoopEvidence(frame, closure, length, loop_limits, vectors, edges[vw],
                          edges[vw].low == v ? 1.0 : -1.0, *evidence);
          AddLoopEvidence(frame, closure, length, loop_limits, vectors, edges[uw],
                          edges[uw].low == a ? -1.0 : 1.0, *evidence);
        }
      }
    }
    for (size_t k = out_begin[u]; k < out_begin[u + 1]; ++k)
      mark[static_cast<size_t>(out[k].first)] = NO_EDGE;
  }
  report.sections.push_back(std::move(repeated));
  report.sections.push_back(std::move(loops));
  report.sections.push_back(std::move(no_sd));
}

}  // namespace fenwix

// GNSS vectors: repeated vectors against each other, closures of the triangles of the vector
// graph, and vectors without standard deviations.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>

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

// A covariance as the lower triangle row by row (xx, xy, yy, xz, yz, zz), m².
struct Covariance {
  VectorCovariance c{};
  Covariance operator+(const Covariance& o) const {
    Covariance sum;
    for (size_t k = 0; k < c.size(); ++k) sum.c[k] = c[k] + o.c[k];
    return sum;
  }
  Covariance operator*(double f) const {
    Covariance scaled;
    for (size_t k = 0; k < c.size(); ++k) scaled.c[k] = c[k] * f;
    return scaled;
  }
  double At(int r, int col) const {
    if (r < col) std::swap(r, col);
    return c[static_cast<size_t>(r * (r + 1) / 2 + col)];
  }
};

// A vector turned to run from the lower station row to the higher.
struct PairVector {
  int32_t low = 0;
  int32_t high = 0;
  int32_t row = 0;  // observation row
  Vec3 delta;
  bool reversed = false;  // measured from the higher station row to the lower
  Covariance covariance;  // as weighted, m²; turning the vector leaves it as it is
  bool weighted = false;  // the weights give the vector a covariance
};

// The vectors of one station pair, and their mean.
struct Edge {
  int32_t low = 0;
  int32_t high = 0;
  size_t first = 0;  // range in the sorted vectors
  size_t count = 0;
  Vec3 mean;
  Covariance mean_covariance;  // of the mean, the vectors taken as independent
  bool weighted = true;        // every vector of the pair has a covariance
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

// The standard deviations of a misfit in the frame: one in each of north and east (their mean
// square) and the one up, meters.
struct MisfitSigma {
  double plan;
  double up;
};

MisfitSigma LocalSigma(const Frame& frame, const Covariance& covariance) {
  // Columns of the rotation from cartesian to east, north, up.
  Local axes[3];
  for (int k = 0; k < 3; ++k) {
    axes[k] = CartesianDeltaToLocal(frame.phi, frame.lam, k == 0 ? 1.0 : 0.0, k == 1 ? 1.0 : 0.0,
                                    k == 2 ? 1.0 : 0.0);
  }
  const auto variance = [&](double Local::*along) {
    double sum = 0.0;
    for (int r = 0; r < 3; ++r) {
      for (int col = 0; col < 3; ++col) {
        sum += axes[r].*along * axes[col].*along * covariance.At(r, col);
      }
    }
    return std::max(0.0, sum);
  };
  return {std::sqrt((variance(&Local::n) + variance(&Local::e)) / 2.0),
          std::sqrt(variance(&Local::u))};
}

// The limits of a section's misfits: the fixed or hand-set mm + ppm of a length, or k × σ of
// the misfit where the weights give its vectors covariances and the limit was not set by hand.
struct MisfitLimits {
  double horizontal_mm, horizontal_ppm, vertical_mm, vertical_ppm;
  bool horizontal_by_hand, vertical_by_hand;
  bool weighted;  // the weights of the conversion are known
};

// A row's limits in meters.
struct RowLimits {
  double horizontal;
  double vertical;
};

// What the rows of a section were held to, for the report's head.
struct LimitTally {
  double plan_min = INFINITY, plan_max = 0.0, up_min = INFINITY, up_max = 0.0;
  int64_t from_covariances = 0;
  int64_t without_sds = 0;  // rows with a vector the weights give no covariance
};

RowLimits LimitsOf(const MisfitLimits& limits, const Frame& frame, double length,
                   const Covariance& covariance, bool weighted, LimitTally* tally) {
  RowLimits row{limits.horizontal_mm / MM_PER_M + limits.horizontal_ppm * length / PER_MILLION,
                limits.vertical_mm / MM_PER_M + limits.vertical_ppm * length / PER_MILLION};
  if (!limits.weighted || (limits.horizontal_by_hand && limits.vertical_by_hand)) return row;
  if (!weighted) {
    if (tally != nullptr) ++tally->without_sds;
    return row;
  }
  const MisfitSigma sigma = LocalSigma(frame, covariance);
  if (!(sigma.plan > 0.0) || !(sigma.up > 0.0)) {
    if (tally != nullptr) ++tally->without_sds;
    return row;
  }
  if (!limits.horizontal_by_hand) row.horizontal = PLAN_MULTIPLE * sigma.plan;
  if (!limits.vertical_by_hand) row.vertical = LINE_MULTIPLE * sigma.up;
  if (tally != nullptr) {
    ++tally->from_covariances;
    tally->plan_min = std::min(tally->plan_min, sigma.plan);
    tally->plan_max = std::max(tally->plan_max, sigma.plan);
    tally->up_min = std::min(tally->up_min, sigma.up);
    tally->up_max = std::max(tally->up_max, sigma.up);
  }
  return row;
}

bool WithinLimits(const Local& local, const RowLimits& limits) {
  return std::hypot(local.n, local.e) <= limits.horizontal && std::fabs(local.u) <= limits.vertical;
}

// Fills a row with the north, east, up, horizontal, 3D and ppm of a misfit over a length.
void MisfitRow(const Frame& frame, const Vec3& misfit, double length, const RowLimits& limits,
               CheckRow& row) {
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
  row.ratio =
      std::max(Ratio(horizontal, limits.horizontal), Ratio(std::fabs(local.u), limits.vertical));
  row.flagged = horizontal > limits.horizontal || std::fabs(local.u) > limits.vertical;
  if (row.flagged) {
    row.note = horizontal > limits.horizontal ? "horizontal misfit over its limit"
                                              : "vertical misfit over its limit";
  }
}

// The head's lines for the horizontal and the vertical limits of a section whose limits are
// named prefix_horizontal_mm, prefix_horizontal_ppm, prefix_vertical_mm and prefix_vertical_ppm.
void AddMisfitOrigins(const std::string& prefix, const std::string& misfit,
                      const MisfitLimits& limits, const LimitTally& tally,
                      std::vector<LimitOrigin>& origins) {
  for (const bool horizontal : {true, false}) {
    const std::string part = horizontal ? "_horizontal" : "_vertical";
    const double mm = horizontal ? limits.horizontal_mm : limits.vertical_mm;
    const double ppm = horizontal ? limits.horizontal_ppm : limits.vertical_ppm;
    const bool by_hand = horizontal ? limits.horizontal_by_hand : limits.vertical_by_hand;
    LimitOrigin& origin = origins.emplace_back();
    origin.limits = {prefix + part + "_mm", prefix + part + "_ppm"};
    const std::string fixed = fmt::format("{:g} mm + {:g} ppm", mm, ppm);
    if (by_hand) {
      origin.rule = LimitRule::Hand;
      origin.text = fixed + ", set by hand";
    } else if (!limits.weighted) {
      origin.text = fixed + ", fixed: no weights";
    } else if (tally.from_covariances == 0 && tally.without_sds > 0) {
      origin.text = fixed + ", fixed: the vectors give no σ";
    } else {
      origin.rule = LimitRule::Covariances;
      origin.multiple = horizontal ? PLAN_MULTIPLE : LINE_MULTIPLE;
      const double low = (horizontal ? tally.plan_min : tally.up_min) * MM_PER_M;
      const double high = (horizontal ? tally.plan_max : tally.up_max) * MM_PER_M;
      origin.text = fmt::format("{:g} × σ of each {} {}, from its vectors' covariances",
                                origin.multiple, misfit, horizontal ? "in north and east" : "up");
      if (tally.from_covariances > 0) {
        if (high - low < 0.05) origin.sigma = low;
        origin.text += high - low < 0.05 ? fmt::format(" (σ {:.1f} mm)", low)
                                         : fmt::format(" (σ {:.1f} to {:.1f} mm)", low, high);
      }
      if (tally.without_sds > 0) {
        origin.text += fmt::format("; {} for {} {} with a vector without SDs", fixed,
                                   tally.without_sds, tally.without_sds == 1 ? "row" : "rows");
      }
    }
    origin.text = prefix + part + ": " + origin.text;
  }
}

// A section of misfits whose limits are named prefix_horizontal_mm, prefix_horizontal_ppm,
// prefix_vertical_mm and prefix_vertical_ppm. A limit that follows each row's covariance has no
// one value: it is listed as NaN, and the head says what it is.
CheckSection MisfitSection(const char* name, const char* title, const std::string& prefix,
                           const std::string& misfit, const std::string& length,
                           const MisfitLimits& limits) {
  const std::string of_length = "of the " + (length == "loop" ? "loop length" : length);
  const auto rule = [&](const std::string& part, bool by_hand, double multiple, const char* axes) {
    const std::string fixed =
        prefix + "_" + part + "_mm + " + prefix + "_" + part + "_ppm " + of_length;
    if (!limits.weighted || by_hand) return fixed;
    return fmt::format("{:g} × its σ {} ({} where a vector has no SDs)", multiple, axes, fixed);
  };
  CheckSection section = MakeSection(
      name, title,
      "horizontal " + misfit + " over " +
          rule("horizontal", limits.horizontal_by_hand, PLAN_MULTIPLE, "in north and east") +
          ", or vertical over " + rule("vertical", limits.vertical_by_hand, LINE_MULTIPLE, "up"));
  section.columns = {{"dN mm", 1}, {"dE mm", 1},       {"dU mm", 1}, {"horiz mm", 1},
                     {"3D mm", 1}, {length + " m", 3}, {"ppm", 1}};
  const bool horizontal_fixed = !limits.weighted || limits.horizontal_by_hand;
  const bool vertical_fixed = !limits.weighted || limits.vertical_by_hand;
  section.limits = {{prefix + "_horizontal_mm", horizontal_fixed ? limits.horizontal_mm : NAN},
                    {prefix + "_horizontal_ppm", horizontal_fixed ? limits.horizontal_ppm : NAN},
                    {prefix + "_vertical_mm", vertical_fixed ? limits.vertical_mm : NAN},
                    {prefix + "_vertical_ppm", vertical_fixed ? limits.vertical_ppm : NAN}};
  return section;
}

void AddVectorRows(const CheckInput& input, const std::vector<PairVector>& vectors,
                   const Edge& edge, const MisfitLimits& limits, LimitTally& tally,
                   CheckSection& section) {
  const SurveyTables& tables = *input.tables;
  const Frame frame = FrameAt(input, edge.low);
  const double length = edge.mean.Length();
  // Two vectors give one row, their difference; more give a row per vector against the mean of
  // the others, so that the one that disagrees stands out.
  const size_t rows = edge.count == 2 ? 1 : edge.count;
  for (size_t k = 0; k < rows; ++k) {
    const PairVector& own = vectors[edge.first + (edge.count == 2 ? 1 : k)];
    Vec3 others;
    Covariance others_covariance;
    const double share = 1.0 / static_cast<double>(edge.count == 2 ? 1 : edge.count - 1);
    for (size_t j = 0; j < edge.count; ++j) {
      if (edge.count != 2 && j == k) continue;
      if (edge.count == 2 && j == 1) continue;
      others = others + vectors[edge.first + j].delta;
      others_covariance = others_covariance + vectors[edge.first + j].covariance;
    }
    others = others * share;
    CheckRow& row = section.rows.emplace_back();
    row.stations = {NameOf(tables, edge.low), NameOf(tables, edge.high)};
    for (size_t j = 0; j < edge.count; ++j) {
      const int32_t observation = vectors[edge.first + j].row;
      row.observations.push_back(observation);
      row.sources.push_back(input.log->record_source(observation));
    }
    const RowLimits row_limits =
        LimitsOf(limits, frame, length, own.covariance + others_covariance * (share * share),
                 edge.weighted, &tally);
    MisfitRow(frame, own.delta - others, length, row_limits, row);
  }
}

// Closes a loop again with each vector of its edges in place of the edge's mean, and adds what
// that says about the vector to its evidence. sign is how the edge (low to high) enters the
// closure; covariance is the closure's, weighted whether every vector of the loop has one.
void AddLoopEvidence(const Frame& frame, const Vec3& closure, const Covariance& covariance,
                     bool weighted, double length, const MisfitLimits& limits,
                     const std::vector<PairVector>& vectors, const Edge& edge, double sign,
                     std::vector<VectorEvidence>& evidence) {
  for (size_t j = edge.first; j < edge.first + edge.count; ++j) {
    const PairVector& vector = vectors[j];
    const Vec3 own = closure + (vector.delta - edge.mean) * sign;
    const Local local = CartesianDeltaToLocal(frame.phi, frame.lam, own.x, own.y, own.z);
    // The edge's mean leaves the closure and the vector alone takes its place.
    const Covariance own_covariance = covariance + edge.mean_covariance * -1.0 + vector.covariance;
    const RowLimits row_limits = LimitsOf(limits, frame, length, own_covariance, weighted, nullptr);
    VectorEvidence& found = evidence[static_cast<size_t>(vector.row)];
    if (WithinLimits(local, row_limits)) {
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
    Covariance covariance;
    if (input.weights != nullptr) covariance.c = input.weights->Vector(r, obs);
    const bool weighted = covariance.c[0] > 0.0 && covariance.c[2] > 0.0 && covariance.c[5] > 0.0;
    if (base < rover) {
      vectors.push_back({base, rover, row, delta, false, covariance, weighted});
    } else {
      vectors.push_back({rover, base, row, delta * -1.0, true, covariance, weighted});
    }
  }
  std::stable_sort(vectors.begin(), vectors.end(), [](const PairVector& a, const PairVector& b) {
    return a.low != b.low ? a.low < b.low : a.high < b.high;
  });

  std::vector<Edge> edges;
  for (size_t i = 0; i < vectors.size();) {
    Edge edge{vectors[i].low, vectors[i].high, i, 0, {}, {}, true};
    while (i < vectors.size() && vectors[i].low == edge.low && vectors[i].high == edge.high) {
      edge.mean = edge.mean + vectors[i].delta;
      edge.mean_covariance = edge.mean_covariance + vectors[i].covariance;
      edge.weighted = edge.weighted && vectors[i].weighted;
      ++edge.count;
      ++i;
    }
    const double share = 1.0 / static_cast<double>(edge.count);
    edge.mean = edge.mean * share;
    edge.mean_covariance = edge.mean_covariance * (share * share);
    edges.push_back(edge);
  }

  const bool weighted = input.weights != nullptr;
  const MisfitLimits vector_limits{limits.vector_horizontal_mm,
                                   limits.vector_horizontal_ppm,
                                   limits.vector_vertical_mm,
                                   limits.vector_vertical_ppm,
                                   limits.ByHand(&CheckLimits::vector_horizontal_mm) ||
                                       limits.ByHand(&CheckLimits::vector_horizontal_ppm),
                                   limits.ByHand(&CheckLimits::vector_vertical_mm) ||
                                       limits.ByHand(&CheckLimits::vector_vertical_ppm),
                                   weighted};
  CheckSection repeated = MisfitSection("repeated_vectors", "Repeated GNSS vectors", "vector",
                                        "difference", "length", vector_limits);
  LimitTally repeat_tally;
  for (const Edge& edge : edges) {
    if (edge.count > 1) AddVectorRows(input, vectors, edge, vector_limits, repeat_tally, repeated);
  }

  const MisfitLimits loop_limits{limits.loop_horizontal_mm,
                                 limits.loop_horizontal_ppm,
                                 limits.loop_vertical_mm,
                                 limits.loop_vertical_ppm,
                                 limits.ByHand(&CheckLimits::loop_horizontal_mm) ||
                                     limits.ByHand(&CheckLimits::loop_horizontal_ppm),
                                 limits.ByHand(&CheckLimits::loop_vertical_mm) ||
                                     limits.ByHand(&CheckLimits::loop_vertical_ppm),
                                 weighted};
  LimitTally loop_tally;
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
        const Covariance covariance =
            edges[uv].mean_covariance + edges[vw].mean_covariance + edges[uw].mean_covariance;
        const bool loop_weighted = edges[uv].weighted && edges[vw].weighted && edges[uw].weighted;
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
        MisfitRow(frame, closure, length,
                  LimitsOf(loop_limits, frame, length, covariance, loop_weighted, &loop_tally),
                  row);
        if (evidence != nullptr) {
          const auto add = [&](size_t e, double sign) {
            AddLoopEvidence(frame, closure, covariance, loop_weighted, length, loop_limits, vectors,
                            edges[e], sign, *evidence);
          };
          add(uv, edges[uv].low == a ? 1.0 : -1.0);
          add(vw, edges[vw].low == v ? 1.0 : -1.0);
          add(uw, edges[uw].low == a ? -1.0 : 1.0);
        }
      }
    }
    for (size_t k = out_begin[u]; k < out_begin[u + 1]; ++k)
      mark[static_cast<size_t>(out[k].first)] = NO_EDGE;
  }
  AddMisfitOrigins("vector", "difference", vector_limits, repeat_tally, report.limit_origins);
  AddMisfitOrigins("loop", "misclosure", loop_limits, loop_tally, report.limit_origins);
  report.sections.push_back(std::move(repeated));
  report.sections.push_back(std::move(loops));
  report.sections.push_back(std::move(no_sd));
}

}  // namespace fenwix

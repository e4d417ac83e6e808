#include "adjust/sparse_normals.h"

#include "adjust/selected_inverse.h"
#include "adjust/supernodal_factor.h"

#include <Eigen/Core>
#include <Eigen/OrderingMethods>
#include <Eigen/SparseCore>

#include <algorithm>
#include <cmath>
#include <limits>

#ifdef FENWIX_HAVE_METIS
#include <metis.h>
#endif

namespace fenwix {

namespace {

using SparseMatrix = Eigen::SparseMatrix<double, Eigen::ColMajor, int>;

// A pivot below this share of its diagonal term leaves its unknown unfixed by the
// observations: roundoff in a matrix whose terms span twelve orders of magnitude sits near
// 1e-16 of them.
constexpr double PIVOT_SHARE = 1e-10;
// Below this many stations minimum degree orders as well as nested dissection, and faster.
constexpr int32_t NESTED_DISSECTION_FROM = 1000;

// The stations in an order that keeps the factor small: graph holds each station's neighbours
// (start offsets and the neighbours, both ways, no station with itself).
std::vector<int32_t> MinimumDegreeOrder(int32_t stations, const std::vector<int32_t>& start,
                                        const std::vector<int32_t>& adjacent) {
  // AMD reads the pattern of a symmetric matrix with its diagonal.
  SparseMatrix graph(stations, stations);
  graph.reserve(Eigen::VectorXi::Constant(stations, 1) +
                Eigen::Map<const Eigen::VectorXi>(start.data() + 1, stations) -
                Eigen::Map<const Eigen::VectorXi>(start.data(), stations));
  for (int32_t s = 0; s < stations; ++s) {
    bool diagonal = false;
    for (int32_t q = start[static_cast<size_t>(s)]; q < start[static_cast<size_t>(s) + 1]; ++q) {
      const int32_t t = adjacent[static_cast<size_t>(q)];
      if (!diagonal && t > s) {
        graph.insert(s, s) = 1.0;
        diagonal = true;
      }
      graph.insert(t, s) = 1.0;
    }
    if (!diagonal) graph.insert(s, s) = 1.0;
  }
  graph.makeCompressed();
  Eigen::PermutationMatrix<Eigen::Dynamic, Eigen::Dynamic, int> permutation;
  Eigen::AMDOrdering<int> amd;
  amd(graph, permutation);
  std::vector<int32_t> order(static_cast<size_t>(stations));
  for (int32_t p = 0; p < stations; ++p) order[static_cast<size_t>(p)] = permutation.indices()[p];
  return order;
}

#ifdef FENWIX_HAVE_METIS
// Nested dissection of the station graph; empty when METIS fails.
std::vector<int32_t> NestedDissectionOrder(int32_t stations, std::vector<int32_t>& start,
                                           std::vector<int32_t>& adjacent) {
  static_assert(sizeof(idx_t) == sizeof(int32_t), "METIS built with 32-bit indices");
  idx_t options[METIS_NOPTIONS];
  METIS_SetDefaultOptions(options);
  options[METIS_OPTION_NUMBERING] = 0;
  options[METIS_OPTION_SEED] = 20261210;  // the same order on every run
  idx_t count = stations;
  std::vector<idx_t> permutation(static_cast<size_t>(stations));
  std::vector<idx_t> inverse(static_cast<size_t>(stations));
  if (METIS_NodeND(&count, start.data(), adjacent.data(), nullptr, options, permutation.data(),
                   inverse.data()) != METIS_OK) {
    return {};
  }
  // Row p of the ordered matrix is station permutation[p].
  return std::vector<int32_t>(permutation.begin(), permutation.end());
}
#endif

// The station pairs as the graph takes them: each once, the lower station first, none of a
// station with itself or with a station without unknowns.
void TidyPairs(const std::vector<int32_t>& unknowns,
               std::vector<std::pair<int32_t, int32_t>>& pairs) {
  for (auto& [s, t] : pairs) {
    if (s > t) std::swap(s, t);
  }
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  pairs.erase(std::remove_if(pairs.begin(), pairs.end(),
                             [&](const auto& p) {
                               return p.first == p.second || unknowns[p.first] == 0 ||
                                      unknowns[p.second] == 0;
                             }),
              pairs.end());
  pairs.shrink_to_fit();
}

// Each station's place in the order and its first unknown, and the station of each unknown;
// the number of unknowns.
int32_t PlaceStations(const std::vector<int32_t>& order, const std::vector<int32_t>& unknowns,
                      std::vector<int32_t>& position, std::vector<int32_t>& offset,
                      std::vector<int32_t>& station_of_unknown) {
  const auto stations = static_cast<int32_t>(unknowns.size());
  position.assign(static_cast<size_t>(stations), 0);
  offset.assign(static_cast<size_t>(stations), 0);
  int32_t next = 0;
  for (int32_t p = 0; p < stations; ++p) {
    const int32_t s = order[static_cast<size_t>(p)];
    position[static_cast<size_t>(s)] = p;
    offset[static_cast<size_t>(s)] = next;
    next += unknowns[static_cast<size_t>(s)];
  }
  station_of_unknown.assign(static_cast<size_t>(next), 0);
  for (int32_t s = 0; s < stations; ++s) {
    for (int32_t a = 0; a < unknowns[static_cast<size_t>(s)]; ++a) {
      station_of_unknown[static_cast<size_t>(offset[static_cast<size_t>(s)] + a)] = s;
    }
  }
  return next;
}

// The earlier neighbours of each station, by place: where its list starts, the neighbours, the
// first row of each in the station's block column, and the rows they take together.
struct NeighbourTable {
  std::vector<int32_t>& start;
  std::vector<int32_t>& neighbours;
  std::vector<int32_t>& row;
  std::vector<int32_t>& earlier_rows;
};

// The pairs are let go once the neighbours hold them, before the rows are laid out.
void EarlierNeighbours(std::vector<std::pair<int32_t, int32_t>>& pairs,
                       const std::vector<int32_t>& position, const std::vector<int32_t>& unknowns,
                       NeighbourTable& table) {
  const auto stations = static_cast<int32_t>(unknowns.size());
  std::vector<int32_t> count(static_cast<size_t>(stations) + 1, 0);
  for (const auto& [s, t] : pairs) {
    const int32_t later = position[s] > position[t] ? s : t;
    ++count[static_cast<size_t>(later) + 1];
  }
  for (int32_t s = 0; s < stations; ++s) count[s + 1] += count[s];
  table.start = count;
  table.neighbours.assign(pairs.size(), 0);
  for (const auto& [s, t] : pairs) {
    const bool s_later = position[s] > position[t];
    const int32_t later = s_later ? s : t;
    table.neighbours[static_cast<size_t>(count[later]++)] = s_later ? t : s;
  }
  const size_t pair_count = pairs.size();
  pairs = {};
  count = {};
  table.row.assign(pair_count, 0);
  table.earlier_rows.assign(static_cast<size_t>(stations), 0);
  for (int32_t t = 0; t < stations; ++t) {
    const auto begin = table.neighbours.begin() + table.start[t];
    const auto end = table.neighbours.begin() + table.start[t + 1];
    std::sort(begin, end, [&](int32_t a, int32_t b) { return position[a] < position[b]; });
    int32_t rows = 0;
    for (int32_t i = table.start[t]; i < table.start[t + 1]; ++i) {
      table.row[static_cast<size_t>(i)] = rows;
      rows += unknowns[static_cast<size_t>(table.neighbours[static_cast<size_t>(i)])];
    }
    table.earlier_rows[static_cast<size_t>(t)] = rows;
  }
}

// The upper triangle's pattern, column by column in factor order, its values zero; the number
// of its entries.
int64_t UpperPattern(const std::vector<int32_t>& order, const std::vector<int32_t>& unknowns,
                     const std::vector<int32_t>& offset, const NeighbourTable& table, int32_t size,
                     SparseMatrix& n) {
  const auto stations = static_cast<int32_t>(unknowns.size());
  n.resize(size, size);
  int64_t nonzeros = 0;
  for (int32_t s = 0; s < stations; ++s) {
    const int32_t k = unknowns[static_cast<size_t>(s)];
    nonzeros +=
        static_cast<int64_t>(k) * table.earlier_rows[static_cast<size_t>(s)] + k * (k + 1) / 2;
  }
  n.resizeNonZeros(static_cast<Eigen::Index>(nonzeros));
  int* outer = n.outerIndexPtr();
  int* inner = n.innerIndexPtr();
  int32_t at = 0;
  for (int32_t p = 0; p < stations; ++p) {
    const int32_t t = order[static_cast<size_t>(p)];
    for (int32_t b = 0; b < unknowns[static_cast<size_t>(t)]; ++b) {
      outer[offset[t] + b] = at;
      for (int32_t i = table.start[t]; i < table.start[t + 1]; ++i) {
        const int32_t s = table.neighbours[static_cast<size_t>(i)];
        for (int32_t a = 0; a < unknowns[static_cast<size_t>(s)]; ++a) inner[at++] = offset[s] + a;
      }
      for (int32_t a = 0; a <= b; ++a) inner[at++] = offset[t] + a;
    }
  }
  outer[size] = at;
  std::fill(n.valuePtr(), n.valuePtr() + nonzeros, 0.0);
  return nonzeros;
}

// The elimination tree of the pattern and the factor's column counts (below the diagonal).
void EliminationTree(int32_t size, const int* outer, const int* inner, std::vector<int32_t>& parent,
                     std::vector<int32_t>& column) {
  parent.assign(static_cast<size_t>(size), -1);
  column.assign(static_cast<size_t>(size), 0);
  std::vector<int32_t> flag(static_cast<size_t>(size), -1);
  for (int32_t k = 0; k < size; ++k) {
    flag[k] = k;
    for (int32_t q = outer[k]; q < outer[k + 1]; ++q) {
      int32_t i = inner[q];
      if (i >= k) continue;
      for (; flag[i] != k; i = parent[i]) {
        if (parent[i] == -1) parent[i] = k;
        ++column[i];
        flag[i] = k;
      }
    }
  }
}

// The peak comes with the selected inverse: the normals, the factor, the inverse and the
// inverse's workspace, beside the station tables; or with the factorisation's update.
double PredictedPeak(int32_t stations, size_t pair_count, int32_t size, int64_t nonzeros,
                     const SupernodalFactor& factor) {
  const auto bytes = [](double count, double size) { return count * size; };
  const double n_unknowns = size;
  const double stored = static_cast<double>(factor.stored_values());
  const double supernodes = factor.count();
  const double tables =
      bytes(stations, 4 * 6) + bytes(static_cast<double>(pair_count), 8) + bytes(n_unknowns, 8 + 4);
  const double normals = bytes(static_cast<double>(nonzeros), 8 + 4) + bytes(n_unknowns + 1, 4);
  const double factor_bytes = bytes(stored, 8) +
                              bytes(static_cast<double>(factor.row_indices()), 4) +
                              bytes(supernodes, 4 + 8 + 8) + bytes(n_unknowns, 4 + 8);
  const double below = factor.tallest_below();
  const double inverse = bytes(stored, 8);
  const double inverse_work =
      bytes(static_cast<double>(SelectedInverse::Workspace(factor)), 8) + bytes(below, 4);
  const double factor_work =
      bytes(static_cast<double>(factor.largest_update() + factor.largest_panel()), 8) +
      bytes(below, 4);
  const double solve_work = bytes(n_unknowns, 8) + bytes(below, 8);
  return tables + normals + factor_bytes +
         std::max({inverse + inverse_work, factor_work, solve_work});
}

}  // namespace

bool HasNestedDissection() {
#ifdef FENWIX_HAVE_METIS
  return true;
#else
  return false;
#endif
}

const char* BuildOrderingName() {
  return HasNestedDissection() ? "nested dissection (METIS)" : "minimum degree (AMD)";
}

struct SparseNormals::Impl {
  SparseMatrix normals;  // upper triangle, in factor order
  SupernodalFactor factor;
  SelectedInverse inverse;
  int64_t factor_nonzeros = 0;  // of L below the diagonal
};

SparseNormals::SparseNormals() : impl_(std::make_unique<Impl>()) {}
SparseNormals::~SparseNormals() = default;

int64_t SparseNormals::FactorNonZeros() const {
  return impl_->factor_nonzeros;
}

std::vector<int32_t> SparseNormals::Order(const std::vector<std::pair<int32_t, int32_t>>& pairs) {
  const auto stations = static_cast<int32_t>(unknowns_.size());
  std::vector<int32_t> start(static_cast<size_t>(stations) + 1, 0);
  for (const auto& [s, t] : pairs) {
    ++start[static_cast<size_t>(s) + 1];
    ++start[static_cast<size_t>(t) + 1];
  }
  for (int32_t s = 0; s < stations; ++s) start[s + 1] += start[s];
  std::vector<int32_t> adjacent(2 * pairs.size());
  {
    std::vector<int32_t> at(start.begin(), start.end() - 1);
    // pairs are sorted, so each station's neighbours come out ascending.
    for (const auto& [s, t] : pairs) adjacent[static_cast<size_t>(at[t]++)] = s;
    for (const auto& [s, t] : pairs) adjacent[static_cast<size_t>(at[s]++)] = t;
    for (int32_t s = 0; s < stations; ++s)
      std::sort(adjacent.begin() + start[s], adjacent.begin() + start[s + 1]);
  }
  nested_dissection_used_ = false;
#ifdef FENWIX_HAVE_METIS
  const bool dissect =
      ordering_ == StationOrdering::NestedDissection ||
      (ordering_ == StationOrdering::Automatic && stations >= NESTED_DISSECTION_FROM);
  if (dissect && !pairs.empty()) {
    std::vector<int32_t> order = NestedDissectionOrder(stations, start, adjacent);
    if (!order.empty()) {
      nested_dissection_used_ = true;
      return order;
    }
  }
#endif
  return MinimumDegreeOrder(stations, start, adjacent);
}

void SparseNormals::Layout(const std::vector<int32_t>& unknowns,
                           std::vector<std::pair<int32_t, int32_t>> pairs) {
  impl_ = std::make_unique<Impl>();
  unknowns_ = unknowns;
  const auto stations = static_cast<int32_t>(unknowns.size());
  TidyPairs(unknowns_, pairs);

  // A fill-reducing order of the stations, on the station graph: its blocks keep a station's
  // unknowns together.
  const std::vector<int32_t> order = Order(pairs);
  size_ = PlaceStations(order, unknowns_, position_, offset_, station_of_unknown_);
  NeighbourTable neighbours{neighbour_start_, neighbours_, neighbour_row_, earlier_rows_};
  const size_t pair_count = pairs.size();
  EarlierNeighbours(pairs, position_, unknowns_, neighbours);

  SparseMatrix& n = impl_->normals;
  const int64_t nonzeros = UpperPattern(order, unknowns_, offset_, neighbours, size_, n);
  std::vector<int32_t> parent;
  std::vector<int32_t> column;
  EliminationTree(size_, n.outerIndexPtr(), n.innerIndexPtr(), parent, column);
  impl_->factor_nonzeros = 0;
  for (int32_t j = 0; j < size_; ++j) impl_->factor_nonzeros += column[j];
  SupernodalFactor& factor = impl_->factor;
  factor.Analyse(size_, n.outerIndexPtr(), n.innerIndexPtr(), parent, column);
  predicted_bytes_ = PredictedPeak(stations, pair_count, size_, nonzeros, factor);
  rhs_.assign(static_cast<size_t>(size_), 0.0);
}

void SparseNormals::Clear(bool matrix) {
  SparseMatrix& n = impl_->normals;
  if (matrix) std::fill(n.valuePtr(), n.valuePtr() + n.nonZeros(), 0.0);
  std::fill(rhs_.begin(), rhs_.end(), 0.0);
}

int32_t SparseNormals::NeighbourRows(int32_t s, int32_t t) const {
  const auto begin = neighbours_.begin() + neighbour_start_[t];
  const auto end = neighbours_.begin() + neighbour_start_[t + 1];
  const auto it = std::lower_bound(
      begin, end, s, [&](int32_t a, int32_t b) { return position_[a] < position_[b]; });
  return neighbour_row_[static_cast<size_t>(it - neighbours_.begin())];
}

void SparseNormals::AddBlock(int32_t s, int32_t t, const double* block) {
  const int32_t ks = unknowns_[s];
  const int32_t kt = unknowns_[t];
  if (ks == 0 || kt == 0) return;
  double* values = impl_->normals.valuePtr();
  const int* outer = impl_->normals.outerIndexPtr();
  if (s == t) {
    for (int32_t b = 0; b < kt; ++b) {
      const int64_t base = outer[offset_[t] + b] + earlier_rows_[t];
      for (int32_t a = 0; a <= b; ++a) values[base + a] += block[a * kt + b];
    }
    return;
  }
  const bool s_first = position_[s] < position_[t];
  const int32_t row_station = s_first ? s : t;
  const int32_t col_station = s_first ? t : s;
  const int32_t rows = NeighbourRows(row_station, col_station);
  const int32_t kc = unknowns_[col_station];
  const int32_t kr = unknowns_[row_station];
  for (int32_t b = 0; b < kc; ++b) {
    const int64_t base = outer[offset_[col_station] + b] + rows;
    for (int32_t a = 0; a < kr; ++a) {
      values[base + a] += s_first ? block[a * kt + b] : block[b * kt + a];
    }
  }
}

void SparseNormals::AddRhs(int32_t s, const double* g) {
  for (int32_t a = 0; a < unknowns_[s]; ++a) rhs_[static_cast<size_t>(offset_[s] + a)] += g[a];
}

SparseNormals::Outcome SparseNormals::Factor(std::vector<int32_t>& undetermined,
                                             const StepCheck& check) {
  Impl& m = *impl_;
  m.inverse.Clear();
  const int* ap = m.normals.outerIndexPtr();
  const int* ai = m.normals.innerIndexPtr();
  const double* ax = m.normals.valuePtr();
  const SupernodalFactor::Outcome outcome = m.factor.Factor(ap, ai, ax, check);
  if (outcome == SupernodalFactor::Outcome::Cancelled) return Outcome::Cancelled;
  // A pivot that is exactly zero ends the factorisation: the pivots after it are zero too, and
  // only the first unfixed unknown is named.
  const bool singular = outcome == SupernodalFactor::Outcome::ZeroPivot;
  bool ok = !singular;
  for (int32_t j = 0; j < size_; ++j) {
    const double diagonal = ax[ap[j + 1] - 1];
    const double pivot = m.factor.pivot(j);
    if (!(pivot > PIVOT_SHARE * diagonal) || !std::isfinite(pivot)) {
      undetermined.push_back(station_of_unknown_[static_cast<size_t>(j)]);
      ok = false;
      if (singular) break;
    }
  }
  std::sort(undetermined.begin(), undetermined.end());
  undetermined.erase(std::unique(undetermined.begin(), undetermined.end()), undetermined.end());
  return ok ? Outcome::Done : Outcome::Undetermined;
}

std::vector<double> SparseNormals::Solve() const {
  std::vector<double> x = rhs_;
  impl_->factor.Solve(x);
  return x;
}

bool SparseNormals::SelectInverse(const StepCheck& check) {
  return impl_->inverse.Compute(impl_->factor, check);
}

double SparseNormals::Entry(int32_t i, int32_t j) const {
  return impl_->inverse.Entry(i, j);
}

void SparseNormals::InverseBlock(int32_t s, int32_t t, double* out) const {
  const int32_t ks = unknowns_[s];
  const int32_t kt = unknowns_[t];
  for (int32_t a = 0; a < ks; ++a) {
    for (int32_t b = 0; b < kt; ++b) out[a * kt + b] = Entry(offset_[s] + a, offset_[t] + b);
  }
}

}  // namespace fenwix

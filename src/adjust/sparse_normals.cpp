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
// A piece of the station graph larger than this is split by a separator before METIS orders
// it whole: an ordering of this many stations takes a few hundredths of a second, so Cancel is
// asked and the bar moves that often at any size.
constexpr int32_t ORDER_PIECE = 8000;

// Nested dissection in pieces: the top levels split here by METIS's vertex separators, each
// piece of at most ORDER_PIECE stations ordered by METIS_NodeND; each piece's order, then the
// other's, then the separator, as nested dissection itself numbers them.
class Dissection {
 public:
  enum class Outcome { Done, Failed, Cancelled };

  Dissection(const std::vector<int32_t>& start, const std::vector<int32_t>& adjacent,
             const StepCheck& check)
      : start_(start),
        adjacent_(adjacent),
        check_(check),
        total_(static_cast<double>(start.size() - 1)),
        local_(start.size() - 1, -1) {
    METIS_SetDefaultOptions(options_);
    options_[METIS_OPTION_NUMBERING] = 0;
    options_[METIS_OPTION_SEED] = 20261210;  // the same order on every run
  }

  // Appends the order of the stations members to order.
  Outcome Order(const std::vector<int32_t>& members, std::vector<int32_t>& order) {
    static_assert(sizeof(idx_t) == sizeof(int32_t), "METIS built with 32-bit indices");
    idx_t count = static_cast<idx_t>(members.size());
    Subgraph(members);
    if (adjncy_.empty()) {
      order.insert(order.end(), members.begin(), members.end());
      return Finished(members.size());
    }
    if (count > ORDER_PIECE) {
      std::vector<idx_t> side(members.size());
      idx_t separator = 0;
      if (METIS_ComputeVertexSeparator(&count, xadj_.data(), adjncy_.data(), nullptr, options_,
                                       &separator, side.data()) != METIS_OK) {
        return Outcome::Failed;
      }
      std::vector<int32_t> parts[3];
      for (size_t i = 0; i < members.size(); ++i) parts[side[i]].push_back(members[i]);
      // A graph that does not split (a clique, a star) is ordered whole.
      if (!parts[0].empty() && !parts[1].empty()) {
        for (int half = 0; half < 2; ++half) {
          const Outcome outcome = Order(parts[half], order);
          if (outcome != Outcome::Done) return outcome;
        }
        order.insert(order.end(), parts[2].begin(), parts[2].end());
        return Finished(parts[2].size());
      }
      Subgraph(members);
    }
    std::vector<idx_t> permutation(members.size()), inverse(members.size());
    if (METIS_NodeND(&count, xadj_.data(), adjncy_.data(), nullptr, options_, permutation.data(),
                     inverse.data()) != METIS_OK) {
      return Outcome::Failed;
    }
    // Row p of the piece's order is its station permutation[p].
    for (const idx_t p : permutation) order.push_back(members[static_cast<size_t>(p)]);
    return Finished(members.size());
  }

 private:
  Outcome Finished(size_t stations) {
    done_ += static_cast<double>(stations);
    return check_ && check_(done_ / total_) ? Outcome::Cancelled : Outcome::Done;
  }

  // The graph of members alone, numbered by their place in members.
  void Subgraph(const std::vector<int32_t>& members) {
    for (size_t i = 0; i < members.size(); ++i) local_[members[i]] = static_cast<int32_t>(i);
    xadj_.assign(1, 0);
    adjncy_.clear();
    for (const int32_t s : members) {
      for (int32_t q = start_[s]; q < start_[s + 1]; ++q) {
        const int32_t t = local_[static_cast<size_t>(adjacent_[static_cast<size_t>(q)])];
        if (t >= 0) adjncy_.push_back(t);
      }
      xadj_.push_back(static_cast<idx_t>(adjncy_.size()));
    }
    for (const int32_t s : members) local_[s] = -1;
  }

  const std::vector<int32_t>& start_;
  const std::vector<int32_t>& adjacent_;
  const StepCheck& check_;
  double total_;
  double done_ = 0.0;
  std::vector<int32_t> local_;  // a station's place in the piece at hand, −1 outside it
  std::vector<idx_t> xadj_, adjncy_;
  idx_t options_[METIS_NOPTIONS];
};
#endif

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

bool SparseNormals::Order(const Pairs& pairs, const StepCheck& check, std::vector<int32_t>& order) {
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
  if (check && check(0.0)) return false;
  nested_dissection_used_ = false;
  order.clear();
#ifdef FENWIX_HAVE_METIS
  const bool dissect =
      ordering_ == StationOrdering::NestedDissection ||
      (ordering_ == StationOrdering::Automatic && stations >= NESTED_DISSECTION_FROM);
  if (dissect && !pairs.empty()) {
    std::vector<int32_t> all(static_cast<size_t>(stations));
    for (int32_t s = 0; s < stations; ++s) all[static_cast<size_t>(s)] = s;
    Dissection dissection(start, adjacent, check);
    const Dissection::Outcome outcome = dissection.Order(all, order);
    if (outcome == Dissection::Outcome::Cancelled) return false;
    if (outcome == Dissection::Outcome::Done) {
      nested_dissection_used_ = true;
      return true;
    }
    order.clear();
  }
#endif
  order = MinimumDegreeOrder(stations, start, adjacent);
  return !check || !check(1.0);
}

bool SparseNormals::Layout(const std::vector<int32_t>& unknowns, Pairs pairs,
                           const StepCheck& check) {
  impl_ = std::make_unique<Impl>();
  unknowns_ = unknowns;
  const auto stations = static_cast<int32_t>(unknowns.size());
  for (auto& [s, t] : pairs) {
    if (s > t) std::swap(s, t);
  }
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  pairs.erase(std::remove_if(pairs.begin(), pairs.end(),
                             [&](const auto& p) {
                               return p.first == p.second || unknowns_[p.first] == 0 ||
                                      unknowns_[p.second] == 0;
                             }),
              pairs.end());
  pairs.shrink_to_fit();

  // A fill-reducing order of the stations, on the station graph: its blocks keep a station's
  // unknowns together. The ordering is most of the layout's time; the rest follows in steps.
  const StepCheck ordering_check = [&check](double share) {
    return check && check(0.15 + 0.55 * share);
  };
  std::vector<int32_t> order;
  if (!Order(pairs, ordering_check, order)) return false;
  PlaceStations(order);
  const size_t pair_count = pairs.size();
  LinkNeighbours(std::move(pairs));
  if (check && check(0.8)) return false;
  const int64_t nonzeros = LayOutPattern(order);
  if (check && check(0.85)) return false;
  if (!AnalyseFactor(check)) return false;
  PredictPeak(stations, pair_count, nonzeros);
  rhs_.assign(static_cast<size_t>(size_), 0.0);
  return true;
}

// Each station's place in the order and its first unknown.
void SparseNormals::PlaceStations(const std::vector<int32_t>& order) {
  const auto stations = static_cast<int32_t>(unknowns_.size());
  position_.assign(static_cast<size_t>(stations), 0);
  offset_.assign(static_cast<size_t>(stations), 0);
  int32_t next = 0;
  for (int32_t p = 0; p < stations; ++p) {
    const int32_t s = order[static_cast<size_t>(p)];
    position_[static_cast<size_t>(s)] = p;
    offset_[static_cast<size_t>(s)] = next;
    next += unknowns_[static_cast<size_t>(s)];
  }
  size_ = next;
  station_of_unknown_.assign(static_cast<size_t>(size_), 0);
  for (int32_t s = 0; s < stations; ++s) {
    for (int32_t a = 0; a < unknowns_[static_cast<size_t>(s)]; ++a) {
      station_of_unknown_[static_cast<size_t>(offset_[static_cast<size_t>(s)] + a)] = s;
    }
  }
}

// The earlier neighbours of each station, by place, and the rows before each in its columns.
void SparseNormals::LinkNeighbours(Pairs pairs) {
  const auto stations = static_cast<int32_t>(unknowns_.size());
  std::vector<int32_t> count(static_cast<size_t>(stations) + 1, 0);
  for (const auto& [s, t] : pairs) {
    const int32_t later = position_[s] > position_[t] ? s : t;
    ++count[static_cast<size_t>(later) + 1];
  }
  for (int32_t s = 0; s < stations; ++s) count[s + 1] += count[s];
  neighbour_start_ = count;
  neighbours_.assign(pairs.size(), 0);
  for (const auto& [s, t] : pairs) {
    const bool s_later = position_[s] > position_[t];
    const int32_t later = s_later ? s : t;
    neighbours_[static_cast<size_t>(count[later]++)] = s_later ? t : s;
  }
  const size_t pair_count = pairs.size();
  pairs = {};
  count = {};
  neighbour_row_.assign(pair_count, 0);
  earlier_rows_.assign(static_cast<size_t>(stations), 0);
  for (int32_t t = 0; t < stations; ++t) {
    const auto begin = neighbours_.begin() + neighbour_start_[t];
    const auto end = neighbours_.begin() + neighbour_start_[t + 1];
    std::sort(begin, end, [&](int32_t a, int32_t b) { return position_[a] < position_[b]; });
    int32_t rows = 0;
    for (int32_t i = neighbour_start_[t]; i < neighbour_start_[t + 1]; ++i) {
      neighbour_row_[static_cast<size_t>(i)] = rows;
      rows += unknowns_[static_cast<size_t>(neighbours_[static_cast<size_t>(i)])];
    }
    earlier_rows_[static_cast<size_t>(t)] = rows;
  }
}

// The upper triangle's pattern of the normals, column by column in factor order; its size.
int64_t SparseNormals::LayOutPattern(const std::vector<int32_t>& order) {
  const auto stations = static_cast<int32_t>(unknowns_.size());
  SparseMatrix& n = impl_->normals;
  n.resize(size_, size_);
  int64_t nonzeros = 0;
  for (int32_t s = 0; s < stations; ++s) {
    const int32_t k = unknowns_[static_cast<size_t>(s)];
    nonzeros += static_cast<int64_t>(k) * earlier_rows_[static_cast<size_t>(s)] + k * (k + 1) / 2;
  }
  n.resizeNonZeros(static_cast<Eigen::Index>(nonzeros));
  int* outer = n.outerIndexPtr();
  int* inner = n.innerIndexPtr();
  int32_t at = 0;
  for (int32_t p = 0; p < stations; ++p) {
    const int32_t t = order[static_cast<size_t>(p)];
    for (int32_t b = 0; b < unknowns_[static_cast<size_t>(t)]; ++b) {
      outer[offset_[t] + b] = at;
      for (int32_t i = neighbour_start_[t]; i < neighbour_start_[t + 1]; ++i) {
        const int32_t s = neighbours_[static_cast<size_t>(i)];
        for (int32_t a = 0; a < unknowns_[static_cast<size_t>(s)]; ++a)
          inner[at++] = offset_[s] + a;
      }
      for (int32_t a = 0; a <= b; ++a) inner[at++] = offset_[t] + a;
    }
  }
  outer[size_] = at;
  std::fill(n.valuePtr(), n.valuePtr() + nonzeros, 0.0);
  return nonzeros;
}

// The elimination tree and the factor's column counts (below the diagonal), and the
// supernodes from them.
bool SparseNormals::AnalyseFactor(const StepCheck& check) {
  const int* outer = impl_->normals.outerIndexPtr();
  const int* inner = impl_->normals.innerIndexPtr();
  std::vector<int32_t> parent(static_cast<size_t>(size_), -1);
  std::vector<int32_t> column(static_cast<size_t>(size_), 0);
  {
    std::vector<int32_t> flag(static_cast<size_t>(size_), -1);
    for (int32_t k = 0; k < size_; ++k) {
      if ((k & 0x7fff) == 0 && check && check(0.85 + 0.05 * k / size_)) return false;
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
  impl_->factor_nonzeros = 0;
  for (int32_t j = 0; j < size_; ++j) impl_->factor_nonzeros += column[j];
  const StepCheck analysis = [&check](double share) { return check && check(0.9 + 0.1 * share); };
  return impl_->factor.Analyse(size_, outer, inner, parent, column, analysis);
}

// The peak comes with the selected inverse: the normals, the factor, the inverse and the
// inverse's workspace, beside the station tables; or with the factorisation's update.
void SparseNormals::PredictPeak(int32_t stations, size_t pair_count, int64_t nonzeros) {
  const SupernodalFactor& factor = impl_->factor;
  const auto bytes = [](double count, double size) { return count * size; };
  const double n_unknowns = size_;
  const double stored = static_cast<double>(factor.stored_values());
  const double supernodes = factor.count();
  const double tables = bytes(stations, 4 * 6) + bytes(pair_count, 8) + bytes(n_unknowns, 8 + 4);
  const double normals = bytes(nonzeros, 8 + 4) + bytes(n_unknowns + 1, 4);
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
  predicted_bytes_ =
      tables + normals + factor_bytes + std::max({inverse + inverse_work, factor_work, solve_work});
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

#include "adjust/sparse_normals.h"

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
// Operations (multiply-adds) between two asks whether to stop: some milliseconds.
constexpr double PIECE = 4.0 * 1024 * 1024;
// Below this many stations minimum degree orders as well as nested dissection, and faster.
constexpr int32_t NESTED_DISSECTION_FROM = 1000;

// Asks check every PIECE operations; true once it says stop.
class Pieces {
 public:
  Pieces(const StepCheck& check, double total) : check_(check), total_(std::max(total, 1.0)) {}
  bool Add(double work) {
    done_ += work;
    if (done_ < next_ || !check_) return false;
    next_ = done_ + PIECE;
    return check_(std::min(done_ / total_, 1.0));
  }

 private:
  const StepCheck& check_;
  double total_;
  double done_ = 0.0;
  double next_ = PIECE;
};

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
  // The unit lower factor L, column by column (rows ascending), and D; the elimination tree.
  std::vector<int32_t> parent;
  std::vector<int64_t> lp;
  std::vector<int32_t> li;
  std::vector<double> lx;
  std::vector<double> d;
  bool factored = false;
  double factor_work = 0.0;          // operations of the factorisation
  double inverse_work = 0.0;         // and of the selected inverse
  int32_t widest = 0;                // rows below the widest station's block in the factor
  std::vector<double> inverse;       // on the factor's pattern
  std::vector<double> inverse_diag;  // the diagonal
};

SparseNormals::SparseNormals() : impl_(std::make_unique<Impl>()) {}
SparseNormals::~SparseNormals() = default;

int64_t SparseNormals::FactorNonZeros() const {
  return impl_->lp.empty() ? 0 : impl_->lp.back();
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
  // unknowns together.
  const std::vector<int32_t> order = Order(pairs);
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

  // The earlier neighbours of each station, by place.
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

  // The upper triangle's pattern, column by column in factor order.
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

  // The elimination tree and the factor's column counts (below the diagonal).
  std::vector<int32_t>& parent = impl_->parent;
  parent.assign(static_cast<size_t>(size_), -1);
  std::vector<int32_t> column(static_cast<size_t>(size_), 0);
  {
    std::vector<int32_t> flag(static_cast<size_t>(size_), -1);
    for (int32_t k = 0; k < size_; ++k) {
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
  std::vector<int64_t>& lp = impl_->lp;
  lp.assign(static_cast<size_t>(size_) + 1, 0);
  for (int32_t j = 0; j < size_; ++j) {
    const double c = column[j];
    lp[j + 1] = lp[j] + column[j];
    impl_->factor_work += c * (c + 1.0) / 2.0;
  }
  // The selected inverse gathers, per station, the part of the inverse on the rows below its
  // block: a dense m × m matrix.
  for (int32_t s = 0; s < stations; ++s) {
    const int32_t k = unknowns_[static_cast<size_t>(s)];
    if (k == 0) continue;
    const int32_t m = column[offset_[s] + k - 1];
    impl_->widest = std::max(impl_->widest, m);
    impl_->inverse_work += static_cast<double>(m) * m * (k + 1);
  }

  // The peak comes with the selected inverse: the normals, the factor, the inverse and the
  // inverse's workspace, beside the station tables. The factorisation's and the solve's
  // workspaces are smaller than the inverse they come before.
  const auto bytes = [](double count, double size) { return count * size; };
  const double n_unknowns = size_;
  const double factor_nonzeros = static_cast<double>(lp.back());
  const double widest = impl_->widest;
  const double tables = bytes(stations, 4 * 6) + bytes(pair_count, 8) + bytes(n_unknowns, 8 + 4);
  const double normals = bytes(nonzeros, 8 + 4) + bytes(n_unknowns + 1, 4);
  const double factor =
      bytes(factor_nonzeros, 8 + 4) + bytes(n_unknowns + 1, 8) + bytes(n_unknowns, 4 + 8);
  const double inverse = bytes(factor_nonzeros, 8) + bytes(n_unknowns, 8);
  const double inverse_work = bytes(widest * widest + 3 * widest, 8) + bytes(stations, 4);
  const double factor_work = bytes(n_unknowns, 8 + 4 + 4 + 4);
  const double solve_work = bytes(n_unknowns, 8 * 2);
  predicted_bytes_ =
      tables + normals + factor + std::max({inverse + inverse_work, factor_work, solve_work});
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
  // Up-looking LDLᵀ: row k of L is the sparse solve L(0:k,0:k) D l = N(0:k,k), its pattern the
  // path of each N(i,k) up the elimination tree to k. Each row is appended to the columns it
  // touches, so every column keeps its rows in ascending order.
  Impl& m = *impl_;
  const int32_t n = size_;
  const std::vector<int32_t>& parent = m.parent;
  const int64_t* lp = m.lp.data();
  m.factored = false;
  m.li.resize(static_cast<size_t>(lp[n]));
  m.lx.resize(static_cast<size_t>(lp[n]));
  m.d.assign(static_cast<size_t>(n), 0.0);
  int32_t* li = m.li.data();
  double* lx = m.lx.data();
  double* d = m.d.data();
  const int* ap = m.normals.outerIndexPtr();
  const int* ai = m.normals.innerIndexPtr();
  const double* ax = m.normals.valuePtr();
  std::vector<double> y(static_cast<size_t>(n), 0.0);
  std::vector<int32_t> pattern(static_cast<size_t>(n));
  std::vector<int32_t> tags(static_cast<size_t>(n));
  std::vector<int32_t> filled(static_cast<size_t>(n));
  Pieces pieces(check, m.factor_work);
  bool singular = false;
  for (int32_t k = 0; k < n; ++k) {
    y[k] = 0.0;
    int32_t top = n;
    tags[k] = k;
    filled[k] = 0;
    for (int32_t q = ap[k]; q < ap[k + 1]; ++q) {
      int32_t i = ai[q];
      y[i] += ax[q];
      int32_t len = 0;
      for (; tags[i] != k; i = parent[i]) {
        pattern[len++] = i;
        tags[i] = k;
      }
      while (len > 0) pattern[--top] = pattern[--len];
    }
    double dk = y[k];
    y[k] = 0.0;
    double work = 0.0;
    for (; top < n; ++top) {
      const int32_t i = pattern[top];
      const double yi = y[i];
      y[i] = 0.0;
      const double l_ki = yi / d[i];
      const int64_t p2 = lp[i] + filled[i];
      int64_t p = lp[i];
      for (; p < p2; ++p) y[li[p]] -= lx[p] * yi;
      dk -= l_ki * yi;
      li[p] = k;
      lx[p] = l_ki;
      ++filled[i];
      work += filled[i];
    }
    d[k] = dk;
    if (dk == 0.0) {
      singular = true;
      break;
    }
    if (pieces.Add(work)) return Outcome::Cancelled;
  }
  bool ok = !singular;
  for (int32_t j = 0; j < n; ++j) {
    const double diagonal = ax[ap[j + 1] - 1];
    const double pivot = d[j];
    if (!(pivot > PIVOT_SHARE * diagonal) || !std::isfinite(pivot)) {
      undetermined.push_back(station_of_unknown_[static_cast<size_t>(j)]);
      ok = false;
      if (singular) break;
    }
  }
  std::sort(undetermined.begin(), undetermined.end());
  undetermined.erase(std::unique(undetermined.begin(), undetermined.end()), undetermined.end());
  if (!ok) return Outcome::Undetermined;
  m.factored = true;
  return Outcome::Done;
}

std::vector<double> SparseNormals::Solve() const {
  // L z = b, D u = z, Lᵀ x = u.
  const Impl& m = *impl_;
  const int64_t* lp = m.lp.data();
  const int32_t* li = m.li.data();
  const double* lx = m.lx.data();
  std::vector<double> x = rhs_;
  for (int32_t i = 0; i < size_; ++i) {
    const double xi = x[static_cast<size_t>(i)];
    if (xi == 0.0) continue;
    for (int64_t p = lp[i]; p < lp[i + 1]; ++p) x[static_cast<size_t>(li[p])] -= xi * lx[p];
  }
  for (int32_t i = 0; i < size_; ++i)
    x[static_cast<size_t>(i)] *= 1.0 / m.d[static_cast<size_t>(i)];
  for (int32_t i = size_ - 1; i >= 0; --i) {
    double xi = x[static_cast<size_t>(i)];
    for (int64_t p = lp[i]; p < lp[i + 1]; ++p) xi -= lx[p] * x[static_cast<size_t>(li[p])];
    x[static_cast<size_t>(i)] = xi;
  }
  return x;
}

bool SparseNormals::SelectInverse(const StepCheck& check) {
  // Takahashi's recurrence for Z = N⁻¹ = L⁻ᵀD⁻¹L⁻¹ on the pattern of the unit lower factor L,
  // from the last column back: for i > j in the pattern of column j,
  //   Z_ij = −Σ_k L_kj Z_ik,   Z_jj = 1/d_j − Σ_k L_kj Z_kj   (k over column j's pattern);
  // every Z_ik needed lies on the pattern, the factor's graph being chordal. A station's
  // columns share the rows below its own block (its pattern is made of whole blocks), so the
  // part of Z on those rows is gathered once per station into a dense matrix.
  Impl& impl = *impl_;
  const int64_t* lp = impl.lp.data();
  const int32_t* li = impl.li.data();
  const double* lx = impl.lx.data();
  const std::vector<double>& d = impl.d;
  std::vector<double>& z = impl.inverse;
  std::vector<double>& zd = impl.inverse_diag;
  z.assign(static_cast<size_t>(lp[size_]), 0.0);
  zd.assign(static_cast<size_t>(size_), 0.0);
  std::vector<int32_t> order(unknowns_.size());
  for (size_t s = 0; s < unknowns_.size(); ++s)
    order[static_cast<size_t>(position_[s])] = static_cast<int32_t>(s);
  const auto widest = static_cast<size_t>(impl.widest);
  std::vector<double> gathered_space(widest * widest);
  std::vector<double> below_space(widest * 3);
  Pieces pieces(check, impl.inverse_work);
  for (auto p = static_cast<int32_t>(order.size()) - 1; p >= 0; --p) {
    const int32_t t = order[static_cast<size_t>(p)];
    const int32_t k = unknowns_[static_cast<size_t>(t)];
    if (k == 0) continue;
    const int32_t j0 = offset_[static_cast<size_t>(t)];
    const int32_t last = j0 + k - 1;
    const int32_t* rows = li + lp[last];
    const auto m = static_cast<int32_t>(lp[last + 1] - lp[last]);
    if (pieces.Add(static_cast<double>(m) * m * (k + 1))) return false;
    Eigen::Map<Eigen::MatrixXd> gathered(gathered_space.data(), m, m);
    for (int32_t a = 0; a < m; ++a) {
      const int32_t col = rows[a];
      gathered(a, a) = zd[static_cast<size_t>(col)];
      int64_t r = lp[col];
      const int64_t r_end = lp[col + 1];
      for (int32_t b = a + 1; b < m; ++b) {
        while (r < r_end && li[r] < rows[b]) ++r;
        const double value = (r < r_end && li[r] == rows[b]) ? z[static_cast<size_t>(r)] : 0.0;
        gathered(a, b) = gathered(b, a) = value;
      }
    }
    // Z on the shared rows of each of the station's columns.
    Eigen::Map<Eigen::MatrixXd> below(below_space.data(), m, k);
    // Own block of Z, k × k.
    double own[3][3] = {};
    for (int32_t j = last; j >= j0; --j) {
      const int32_t c = j - j0;
      const int32_t own_rows = last - j;  // rows j+1..last come first in column j
      const int64_t start = lp[j] + own_rows;
      const Eigen::Map<const Eigen::VectorXd> lcol(lx + start, m);
      below.col(c).noalias() = -gathered * lcol;
      for (int32_t o = 1; o <= own_rows; ++o) below.col(c) -= lx[lp[j] + o - 1] * below.col(c + o);
      // Own rows o > j: Z_oj = −Σ_S L_aj Z_ao − Σ_own L_o'j Z_oo'.
      for (int32_t o = 1; o <= own_rows; ++o) {
        double sum = lcol.dot(below.col(c + o));
        for (int32_t o2 = 1; o2 <= own_rows; ++o2) sum += lx[lp[j] + o2 - 1] * own[c + o][c + o2];
        own[c + o][c] = own[c][c + o] = -sum;
        z[static_cast<size_t>(lp[j] + o - 1)] = -sum;
      }
      double diagonal = 1.0 / d[j] - lcol.dot(below.col(c));
      for (int32_t o = 1; o <= own_rows; ++o) diagonal -= lx[lp[j] + o - 1] * own[c + o][c];
      own[c][c] = diagonal;
      zd[static_cast<size_t>(j)] = diagonal;
      for (int32_t a = 0; a < m; ++a) z[static_cast<size_t>(start + a)] = below(a, c);
    }
  }
  return true;
}

double SparseNormals::Entry(int32_t i, int32_t j) const {
  if (i == j) return impl_->inverse_diag[static_cast<size_t>(i)];
  const int32_t row = std::max(i, j);
  const int32_t col = std::min(i, j);
  const int32_t* rows = impl_->li.data();
  const int32_t* begin = rows + impl_->lp[static_cast<size_t>(col)];
  const int32_t* end = rows + impl_->lp[static_cast<size_t>(col) + 1];
  const int32_t* it = std::lower_bound(begin, end, row);
  if (it == end || *it != row) return std::numeric_limits<double>::quiet_NaN();
  return impl_->inverse[static_cast<size_t>(it - rows)];
}

void SparseNormals::InverseBlock(int32_t s, int32_t t, double* out) const {
  const int32_t ks = unknowns_[s];
  const int32_t kt = unknowns_[t];
  for (int32_t a = 0; a < ks; ++a) {
    for (int32_t b = 0; b < kt; ++b) out[a * kt + b] = Entry(offset_[s] + a, offset_[t] + b);
  }
}

}  // namespace fenwix

#include "adjust/sparse_normals.h"

#include <Eigen/OrderingMethods>
#include <Eigen/SparseCholesky>
#include <Eigen/SparseCore>

#include <algorithm>
#include <cmath>
#include <limits>

namespace fenwix {

namespace {

using SparseMatrix = Eigen::SparseMatrix<double, Eigen::ColMajor, int>;
// The matrix is given as its upper triangle in factor order, which the factorisation then
// reads as it is, without a permuted copy.
using Factorization =
    Eigen::SimplicialLDLT<SparseMatrix, Eigen::Upper, Eigen::NaturalOrdering<int>>;

// A pivot below this share of its diagonal term leaves its unknown unfixed by the
// observations: roundoff in a matrix whose terms span twelve orders of magnitude sits near
// 1e-16 of them.
constexpr double PIVOT_SHARE = 1e-10;

}  // namespace

struct SparseNormals::Impl {
  SparseMatrix normals;
  Factorization factor;
  bool analysed = false;
  std::vector<double> inverse;       // on the factor's pattern
  std::vector<double> inverse_diag;  // the diagonal
};

SparseNormals::SparseNormals() : impl_(std::make_unique<Impl>()) {}
SparseNormals::~SparseNormals() = default;

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

  // A fill-reducing order of the stations (approximate minimum degree on the station graph:
  // its blocks keep a station's unknowns together).
  std::vector<int32_t> order(static_cast<size_t>(stations));
  {
    std::vector<Eigen::Triplet<double, int>> entries;
    entries.reserve(2 * pairs.size() + static_cast<size_t>(stations));
    for (int32_t s = 0; s < stations; ++s) entries.emplace_back(s, s, 1.0);
    for (const auto& [s, t] : pairs) {
      entries.emplace_back(s, t, 1.0);
      entries.emplace_back(t, s, 1.0);
    }
    SparseMatrix graph(stations, stations);
    graph.setFromTriplets(entries.begin(), entries.end());
    Eigen::PermutationMatrix<Eigen::Dynamic, Eigen::Dynamic, int> permutation;
    Eigen::AMDOrdering<int> amd;
    amd(graph, permutation);
    for (int32_t p = 0; p < stations; ++p) order[static_cast<size_t>(p)] = permutation.indices()[p];
  }
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
  neighbour_row_.assign(pairs.size(), 0);
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

  // The factor's column counts from the elimination tree, as the factorisation will find them.
  std::vector<int32_t> parent(static_cast<size_t>(size_), -1);
  std::vector<int32_t> flag(static_cast<size_t>(size_), -1);
  int64_t factor_nonzeros = 0;
  for (int32_t k = 0; k < size_; ++k) {
    flag[k] = k;
    for (int32_t q = outer[k]; q < outer[k + 1]; ++q) {
      int32_t i = inner[q];
      if (i >= k) continue;
      for (; flag[i] != k; i = parent[i]) {
        if (parent[i] == -1) parent[i] = k;
        ++factor_nonzeros;
        flag[i] = k;
      }
    }
  }
  // The factor's values and row indices, its selected inverse's values, the diagonal and the
  // work vectors of both.
  predicted_bytes_ = static_cast<double>(factor_nonzeros) * (8.0 + 4.0 + 8.0) +
                     static_cast<double>(nonzeros) * 12.0 + static_cast<double>(size_) * 64.0;
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

int64_t SparseNormals::ValueIndex(int32_t row, int32_t col) const {
  const int32_t t = station_of_unknown_[static_cast<size_t>(col)];
  const int32_t s = station_of_unknown_[static_cast<size_t>(row)];
  const int* outer = impl_->normals.outerIndexPtr();
  if (s == t) return outer[col] + earlier_rows_[t] + (row - offset_[t]);
  return outer[col] + NeighbourRows(s, t) + (row - offset_[s]);
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

bool SparseNormals::Factor(std::vector<int32_t>& undetermined) {
  if (!impl_->analysed) {
    impl_->factor.analyzePattern(impl_->normals);
    impl_->analysed = true;
  }
  impl_->factor.factorize(impl_->normals);
  const Eigen::VectorXd& d = impl_->factor.vectorD();
  const SparseMatrix& n = impl_->normals;
  bool ok = impl_->factor.info() == Eigen::Success;
  for (int32_t j = 0; j < size_; ++j) {
    const double diagonal = n.valuePtr()[n.outerIndexPtr()[j + 1] - 1];
    const double pivot = j < d.size() ? d[j] : 0.0;
    if (!(pivot > PIVOT_SHARE * diagonal) || !std::isfinite(pivot)) {
      undetermined.push_back(station_of_unknown_[static_cast<size_t>(j)]);
      ok = false;
      if (impl_->factor.info() != Eigen::Success) break;
    }
  }
  std::sort(undetermined.begin(), undetermined.end());
  undetermined.erase(std::unique(undetermined.begin(), undetermined.end()), undetermined.end());
  return ok;
}

std::vector<double> SparseNormals::Solve() const {
  const Eigen::Map<const Eigen::VectorXd> b(rhs_.data(), size_);
  const Eigen::VectorXd x = impl_->factor.solve(b);
  return std::vector<double>(x.data(), x.data() + x.size());
}

bool SparseNormals::SelectInverse(const std::function<bool()>& cancelled) {
  // Takahashi's recurrence for Z = N⁻¹ = L⁻ᵀD⁻¹L⁻¹ on the pattern of the unit lower factor L,
  // from the last column back: for i > j in the pattern of column j,
  //   Z_ij = −Σ_k L_kj Z_ik,   Z_jj = 1/d_j − Σ_k L_kj Z_kj   (k over column j's pattern);
  // every Z_ik needed lies on the pattern, the factor's graph being chordal. A station's
  // columns share the rows below its own block (its pattern is made of whole blocks), so the
  // part of Z on those rows is gathered once per station into a dense matrix.
  const SparseMatrix& l = impl_->factor.matrixL().nestedExpression();
  const Eigen::VectorXd& d = impl_->factor.vectorD();
  const int* lp = l.outerIndexPtr();
  const int* li = l.innerIndexPtr();
  const double* lx = l.valuePtr();
  std::vector<double>& z = impl_->inverse;
  std::vector<double>& zd = impl_->inverse_diag;
  z.assign(static_cast<size_t>(lp[size_]), 0.0);
  zd.assign(static_cast<size_t>(size_), 0.0);
  std::vector<int32_t> order(unknowns_.size());
  for (size_t s = 0; s < unknowns_.size(); ++s)
    order[static_cast<size_t>(position_[s])] = static_cast<int32_t>(s);
  Eigen::MatrixXd gathered;
  Eigen::MatrixXd below;  // Z on the shared rows of each of the station's columns
  int32_t done = 0;
  for (auto p = static_cast<int32_t>(order.size()) - 1; p >= 0; --p) {
    const int32_t t = order[static_cast<size_t>(p)];
    const int32_t k = unknowns_[static_cast<size_t>(t)];
    if (k == 0) continue;
    if ((++done & 255) == 0 && cancelled && cancelled()) return false;
    const int32_t j0 = offset_[static_cast<size_t>(t)];
    const int32_t last = j0 + k - 1;
    const int32_t* rows = li + lp[last];
    const int32_t m = lp[last + 1] - lp[last];
    gathered.resize(m, m);
    for (int32_t a = 0; a < m; ++a) {
      const int32_t col = rows[a];
      gathered(a, a) = zd[static_cast<size_t>(col)];
      int32_t r = lp[col];
      const int32_t r_end = lp[col + 1];
      for (int32_t b = a + 1; b < m; ++b) {
        while (r < r_end && li[r] < rows[b]) ++r;
        const double value = (r < r_end && li[r] == rows[b]) ? z[static_cast<size_t>(r)] : 0.0;
        gathered(a, b) = gathered(b, a) = value;
      }
    }
    below.resize(m, k);
    // Own block of Z, k × k.
    double own[3][3] = {};
    for (int32_t j = last; j >= j0; --j) {
      const int32_t c = j - j0;
      const int32_t own_rows = last - j;  // rows j+1..last come first in column j
      const int32_t start = lp[j] + own_rows;
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
  const SparseMatrix& l = impl_->factor.matrixL().nestedExpression();
  const int* begin = l.innerIndexPtr() + l.outerIndexPtr()[col];
  const int* end = l.innerIndexPtr() + l.outerIndexPtr()[col + 1];
  const int* it = std::lower_bound(begin, end, row);
  if (it == end || *it != row) return std::numeric_limits<double>::quiet_NaN();
  return impl_->inverse[static_cast<size_t>(it - l.innerIndexPtr())];
}

void SparseNormals::InverseBlock(int32_t s, int32_t t, double* out) const {
  const int32_t ks = unknowns_[s];
  const int32_t kt = unknowns_[t];
  for (int32_t a = 0; a < ks; ++a) {
    for (int32_t b = 0; b < kt; ++b) out[a * kt + b] = Entry(offset_[s] + a, offset_[t] + b);
  }
}

}  // namespace fenwix

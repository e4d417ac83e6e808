#include "adjust/supernodal_factor.h"

#include <Eigen/Core>

#include <algorithm>

namespace fenwix {

namespace {

using Matrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic>;
using Block = Eigen::Map<Matrix>;
using ConstBlock = Eigen::Map<const Matrix>;

// Operations (multiply-adds) between two asks whether to stop: some milliseconds.
constexpr double PIECE = 4.0 * 1024 * 1024;
// Columns of the symbolic analysis between two asks (a power of two).
constexpr int32_t ANALYSIS_PIECE = 1 << 15;
// Columns of a diagonal block factored one by one before the rest of it is updated at once.
constexpr int32_t PANEL = 32;
// The widest supernode.
constexpr int32_t WIDEST = 128;

}  // namespace

StepPieces::StepPieces(const StepCheck& check, double total)
    : check_(check), total_(std::max(total, 1.0)), next_(PIECE) {}

bool StepPieces::Add(double work) {
  done_ += work;
  if (done_ < next_ || !check_) return false;
  next_ = done_ + PIECE;
  return check_(std::min(done_ / total_, 1.0));
}

bool SupernodalFactor::Analyse(int32_t n, const int* outer, const int* inner,
                               const std::vector<int32_t>& parent,
                               const std::vector<int32_t>& below, const StepCheck& check) {
  n_ = n;
  values_ = {};
  d_ = {};
  // Column j joins the supernode of column j − 1 when it is that column's parent and its
  // structure is the earlier one's without j: the two then share every row below.
  first_.assign(1, 0);
  for (int32_t j = 1; j < n; ++j) {
    const bool joins = parent[static_cast<size_t>(j) - 1] == j &&
                       below[static_cast<size_t>(j) - 1] == below[static_cast<size_t>(j)] + 1;
    if (!joins) first_.push_back(j);
  }
  if (n > 0) first_.push_back(n);
  Amalgamate(parent, below);
  if (check && check(0.25)) return false;
  const int32_t supernodes = count();
  supernode_.assign(static_cast<size_t>(n), 0);
  row_start_.assign(static_cast<size_t>(supernodes) + 1, 0);
  value_start_.assign(static_cast<size_t>(supernodes) + 1, 0);
  factor_work_ = 0.0;
  largest_update_ = largest_panel_ = 0;
  tallest_below_ = widest_ = 0;
  std::vector<int64_t> fill(static_cast<size_t>(supernodes));
  for (int32_t j = 0; j < supernodes; ++j) {
    const int32_t w = width(j);
    const int32_t m = w + below[static_cast<size_t>(first(j + 1)) - 1];
    const int32_t r = m - w;
    for (int32_t c = first(j); c < first(j + 1); ++c) supernode_[static_cast<size_t>(c)] = j;
    row_start_[static_cast<size_t>(j) + 1] = row_start_[static_cast<size_t>(j)] + m;
    value_start_[static_cast<size_t>(j) + 1] =
        value_start_[static_cast<size_t>(j)] + static_cast<int64_t>(m) * w;
    fill[static_cast<size_t>(j)] = row_start_[static_cast<size_t>(j)] + w;
    factor_work_ += static_cast<double>(m) * w * w / 2.0 + static_cast<double>(r) * r * w / 2.0;
    largest_update_ = std::max(largest_update_, static_cast<int64_t>(r) * r);
    largest_panel_ = std::max(largest_panel_, static_cast<int64_t>(std::max(r, PANEL)) * w);
    tallest_below_ = std::max(tallest_below_, r);
    widest_ = std::max(widest_, w);
  }
  rows_.assign(static_cast<size_t>(row_start_.back()), 0);
  for (int32_t j = 0; j < supernodes; ++j) {
    for (int32_t c = first(j); c < first(j + 1); ++c)
      rows_[static_cast<size_t>(row_start_[static_cast<size_t>(j)] + c - first(j))] = c;
  }
  // Row k of L holds the columns on the paths up the elimination tree from the entries of row
  // k of the matrix to k; a supernode's rows below are those of its last column.
  std::vector<int32_t> flag(static_cast<size_t>(n), -1);
  for (int32_t k = 0; k < n; ++k) {
    if ((k & (ANALYSIS_PIECE - 1)) == 0 && check && check(0.5 + 0.5 * k / n)) return false;
    flag[static_cast<size_t>(k)] = k;
    for (int q = outer[k]; q < outer[k + 1]; ++q) {
      for (int32_t c = inner[q]; flag[static_cast<size_t>(c)] != k;
           c = parent[static_cast<size_t>(c)]) {
        flag[static_cast<size_t>(c)] = k;
        const int32_t j = supernode_[static_cast<size_t>(c)];
        if (c == first(j + 1) - 1) rows_[static_cast<size_t>(fill[static_cast<size_t>(j)]++)] = k;
      }
    }
  }
  return true;
}

void SupernodalFactor::Amalgamate(const std::vector<int32_t>& parent,
                                  const std::vector<int32_t>& below) {
  // A supernode takes in the next one where its last column's parent is among the next one's
  // columns (its rows below are then the next one's rows), as long as the zeros it would store
  // stay few: larger blocks make faster products. The share of zeros allowed falls as the
  // supernode widens.
  if (count() < 2) {
    Split();
    return;
  }
  const std::vector<int32_t> exact = first_;
  const auto lower = [](int64_t w, int64_t r) { return w * r + w * (w + 1) / 2; };
  const auto entries = [&](size_t s) {
    int64_t sum = 0;
    for (int32_t c = exact[s]; c < exact[s + 1]; ++c) sum += below[static_cast<size_t>(c)] + 1;
    return sum;
  };
  first_.assign(1, 0);
  int64_t width = exact[1];
  int64_t nonzeros = entries(0);
  for (size_t s = 1; s + 1 < exact.size(); ++s) {
    const int32_t begin = exact[s];
    const int32_t end = exact[s + 1];
    const int32_t up = parent[static_cast<size_t>(begin) - 1];
    const int64_t merged_width = width + (end - begin);
    const int64_t merged_nonzeros = nonzeros + entries(s);
    const auto stored = lower(merged_width, below[static_cast<size_t>(end) - 1]);
    const double zeros =
        static_cast<double>(stored - merged_nonzeros) / static_cast<double>(stored);
    const bool few = merged_width <= 4 || (merged_width <= 16 && zeros < 0.8) ||
                     (merged_width <= 48 && zeros < 0.1) || zeros < 0.05;
    if (up >= begin && up < end && few) {
      width = merged_width;
      nonzeros = merged_nonzeros;
      continue;
    }
    first_.push_back(begin);
    width = end - begin;
    nonzeros = entries(s);
  }
  first_.push_back(exact.back());
  Split();
}

void SupernodalFactor::Split() {
  // A wide supernode goes in pieces of at most WIDEST columns, each a supernode whose rows
  // below start with the columns of the pieces after it: the dense block of its columns then
  // costs the factorisation and the inverse about a third of its width cubed, not all of it.
  std::vector<int32_t> pieces(1, 0);
  for (size_t s = 1; s < first_.size(); ++s) {
    const int32_t w = first_[s] - first_[s - 1];
    const int32_t parts = (w + WIDEST - 1) / WIDEST;
    for (int32_t p = 1; p <= parts; ++p)
      pieces.push_back(first_[s - 1] + static_cast<int32_t>(static_cast<int64_t>(w) * p / parts));
  }
  first_ = std::move(pieces);
}

int32_t SupernodalFactor::RowPlace(int32_t j, int32_t row) const {
  const int32_t* begin = rows(j);
  if (row < first(j + 1)) return row - first(j);
  return static_cast<int32_t>(std::lower_bound(begin + width(j), begin + height(j), row) - begin);
}

void RelativePlaces(const SupernodalFactor& factor, int32_t j, int32_t from, int32_t k,
                    std::vector<int32_t>& places) {
  const int32_t* rows = factor.rows(j);
  const int32_t* target = factor.rows(k);
  const int32_t m = factor.height(j);
  places.resize(static_cast<size_t>(m - from));
  int32_t p = rows[from] - factor.first(k);
  for (int32_t i = from; i < m; ++i) {
    while (target[p] < rows[i]) ++p;
    places[static_cast<size_t>(i - from)] = p;
  }
}

SupernodalFactor::Outcome SupernodalFactor::Factor(const int* outer, const int* inner,
                                                   const double* values, const StepCheck& check) {
  values_.assign(static_cast<size_t>(stored_values()), 0.0);
  d_.assign(static_cast<size_t>(n_), 0.0);
  // The matrix into the blocks: entry (i, c) of the upper triangle is row c of column i.
  for (int32_t c = 0; c < n_; ++c) {
    for (int q = outer[c]; q < outer[c + 1]; ++q) {
      const int32_t i = inner[q];
      const int32_t j = supernode_[static_cast<size_t>(i)];
      values_[static_cast<size_t>(value_start(j) + static_cast<int64_t>(i - first(j)) * height(j) +
                                  RowPlace(j, c))] += values[q];
    }
  }
  std::vector<double> update_space(static_cast<size_t>(largest_update_));
  std::vector<double> scaled_space(static_cast<size_t>(largest_panel_));
  std::vector<int32_t> places;
  StepPieces pieces(check, factor_work_);
  for (int32_t j = 0; j < count(); ++j) {
    const int32_t w = width(j);
    const int32_t m = height(j);
    const int32_t r = m - w;
    const int32_t f = first(j);
    Block b(values_.data() + value_start(j), m, w);
    // LDLᵀ of the diagonal block, PANEL columns at a time, the rows below carried along.
    for (int32_t p0 = 0; p0 < w; p0 += PANEL) {
      const int32_t p1 = std::min(p0 + PANEL, w);
      for (int32_t c = p0; c < p1; ++c) {
        const double pivot = b(c, c);
        d_[static_cast<size_t>(f + c)] = pivot;
        if (pivot == 0.0) return Outcome::ZeroPivot;
        b.col(c).tail(m - c - 1) /= pivot;
        for (int32_t c2 = c + 1; c2 < p1; ++c2)
          b.col(c2).tail(m - c2) -= b.col(c).tail(m - c2) * (pivot * b(c2, c));
      }
      if (p1 < w) {
        const int32_t nb = p1 - p0;
        Block scaled(scaled_space.data(), w - p1, nb);
        for (int32_t c = 0; c < nb; ++c)
          scaled.col(c) = b.col(p0 + c).segment(p1, w - p1) * d_[static_cast<size_t>(f + p0 + c)];
        b.block(p1, p1, m - p1, w - p1).noalias() -=
            b.block(p1, p0, m - p1, nb) * scaled.transpose();
      }
    }
    // The update passed on: L_R D L_Rᵀ (its lower triangle), into the supernodes of rows R.
    if (r > 0) {
      const auto below = b.bottomRows(r);
      Block scaled(scaled_space.data(), r, w);
      for (int32_t c = 0; c < w; ++c) scaled.col(c) = below.col(c) * d_[static_cast<size_t>(f + c)];
      Block update(update_space.data(), r, r);
      update.triangularView<Eigen::Lower>() = below * scaled.transpose();
      const int32_t* rows_j = rows(j);
      for (int32_t a = 0; a < r;) {
        const int32_t k = supernode_[static_cast<size_t>(rows_j[w + a])];
        const int32_t last = first(k + 1);
        int32_t e = a;
        while (e < r && rows_j[w + e] < last) ++e;
        RelativePlaces(*this, j, w + a, k, places);
        double* target = values_.data() + value_start(k);
        const int64_t mk = height(k);
        for (int32_t c = a; c < e; ++c) {
          double* column = target + (rows_j[w + c] - first(k)) * mk;
          const double* from = update_space.data() + static_cast<int64_t>(c) * r;
          for (int32_t i = c; i < r; ++i) column[places[static_cast<size_t>(i - a)]] -= from[i];
        }
        a = e;
      }
    }
    if (pieces.Add(static_cast<double>(m) * w * w / 2.0 + static_cast<double>(r) * r * w / 2.0))
      return Outcome::Cancelled;
  }
  return Outcome::Done;
}

void SupernodalFactor::Solve(std::vector<double>& x) const {
  std::vector<double> gathered(static_cast<size_t>(tallest_below_));
  // L z = b.
  for (int32_t j = 0; j < count(); ++j) {
    const int32_t w = width(j);
    const int32_t r = height(j) - w;
    const ConstBlock b(block(j), height(j), w);
    Eigen::Map<Eigen::VectorXd> own(x.data() + first(j), w);
    b.topRows(w).triangularView<Eigen::UnitLower>().solveInPlace(own);
    if (r == 0) continue;
    Eigen::Map<Eigen::VectorXd> part(gathered.data(), r);
    part.noalias() = b.bottomRows(r) * own;
    const int32_t* below = rows(j) + w;
    for (int32_t i = 0; i < r; ++i) x[static_cast<size_t>(below[i])] -= part[i];
  }
  // D u = z.
  for (int32_t i = 0; i < n_; ++i) x[static_cast<size_t>(i)] /= d_[static_cast<size_t>(i)];
  // Lᵀ x = u.
  for (int32_t j = count() - 1; j >= 0; --j) {
    const int32_t w = width(j);
    const int32_t r = height(j) - w;
    const ConstBlock b(block(j), height(j), w);
    Eigen::Map<Eigen::VectorXd> own(x.data() + first(j), w);
    if (r > 0) {
      Eigen::Map<Eigen::VectorXd> part(gathered.data(), r);
      const int32_t* below = rows(j) + w;
      for (int32_t i = 0; i < r; ++i) part[i] = x[static_cast<size_t>(below[i])];
      own.noalias() -= b.bottomRows(r).transpose() * part;
    }
    b.topRows(w).triangularView<Eigen::UnitLower>().transpose().solveInPlace(own);
  }
}

}  // namespace fenwix

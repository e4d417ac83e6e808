#include "adjust/selected_inverse.h"

#include <Eigen/Core>

#include <algorithm>
#include <limits>

namespace fenwix {

namespace {

using Matrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic>;

double Work(int64_t w, int64_t r) {
  return static_cast<double>(r * r * w + 2 * r * w * w + 2 * w * w * w);
}

}  // namespace

int64_t SelectedInverse::Workspace(const SupernodalFactor& factor) {
  const int64_t widest = factor.widest();
  return factor.largest_update() + factor.largest_panel() + 2 * widest * widest;
}

void SelectedInverse::Clear() {
  z_ = {};
  factor_ = nullptr;
}

bool SelectedInverse::Compute(const SupernodalFactor& factor, const StepCheck& check) {
  factor_ = &factor;
  z_.assign(static_cast<size_t>(factor.stored_values()), 0.0);
  double total = 0.0;
  for (int32_t j = 0; j < factor.count(); ++j)
    total += Work(factor.width(j), factor.height(j) - factor.width(j));
  StepPieces pieces(check, total);
  Matrix gathered, solved, inverse_own, scaled;
  std::vector<int32_t> places;
  for (int32_t j = factor.count() - 1; j >= 0; --j) {
    const int32_t w = factor.width(j);
    const int32_t m = factor.height(j);
    const int32_t r = m - w;
    const Eigen::Map<const Matrix> l(factor.block(j), m, w);
    Eigen::Map<Matrix> z(z_.data() + factor.value_start(j), m, w);
    // L_JJ⁻¹, and D_J⁻¹ L_JJ⁻¹.
    inverse_own.setIdentity(w, w);
    l.topRows(w).triangularView<Eigen::UnitLower>().solveInPlace(inverse_own);
    scaled.resize(w, w);
    for (int32_t a = 0; a < w; ++a)
      scaled.row(a) = inverse_own.row(a) / factor.pivot(factor.first(j) + a);
    if (r > 0) {
      // Z_RR from the later supernodes that hold the rows R, its lower triangle.
      gathered.resize(r, r);
      const int32_t* rows = factor.rows(j);
      for (int32_t a = 0; a < r;) {
        const int32_t k = factor.supernode_of(rows[w + a]);
        const int32_t end = factor.first(k + 1);
        int32_t e = a;
        while (e < r && rows[w + e] < end) ++e;
        RelativePlaces(factor, j, w + a, k, places);
        const double* from = z_.data() + factor.value_start(k);
        const int64_t mk = factor.height(k);
        for (int32_t c = a; c < e; ++c) {
          const double* column = from + (rows[w + c] - factor.first(k)) * mk;
          for (int32_t i = c; i < r; ++i)
            gathered(i, c) = column[places[static_cast<size_t>(i - a)]];
        }
        a = e;
      }
      // The upper triangle too: a general product runs faster than a symmetric one.
      for (int32_t c = 1; c < r; ++c) gathered.col(c).head(c) = gathered.row(c).head(c).transpose();
      solved.noalias() = l.bottomRows(r) * inverse_own;  // L_RJ L_JJ⁻¹
      z.bottomRows(r).noalias() = -(gathered * solved);
      z.topRows(w).noalias() = -(z.bottomRows(r).transpose() * solved);
      z.topRows(w).noalias() += inverse_own.transpose() * scaled;
    } else {
      z.topRows(w).noalias() = inverse_own.transpose() * scaled;
    }
    if (pieces.Add(Work(w, r))) return false;
  }
  return true;
}

double SelectedInverse::Entry(int32_t i, int32_t j) const {
  if (factor_ == nullptr) return std::numeric_limits<double>::quiet_NaN();
  const SupernodalFactor& factor = *factor_;
  const int32_t row = std::max(i, j);
  const int32_t col = std::min(i, j);
  const int32_t k = factor.supernode_of(col);
  const int32_t place = factor.RowPlace(k, row);
  if (place >= factor.height(k) || factor.rows(k)[place] != row)
    return std::numeric_limits<double>::quiet_NaN();
  return z_[static_cast<size_t>(factor.value_start(k) +
                                static_cast<int64_t>(col - factor.first(k)) * factor.height(k) +
                                place)];
}

}  // namespace fenwix

#pragma once
// A sparse LDLᵀ factor held in supernodes: runs of consecutive columns of the unit lower factor
// L that share one row structure below their diagonal block. Each supernode is one dense
// column-major block (its rows × its columns: the unit lower diagonal block on top, the rows
// below under it), so the factorisation is done by dense block operations: an LDLᵀ of the
// diagonal block, a triangular solve for the rows below, and one matrix product for the update
// that the supernode passes on to the later columns.
//
// The factorisation proceeds supernode by supernode; between supernodes it tells the share of
// the operations done and asks whether to stop.

#include <cstdint>
#include <functional>
#include <vector>

namespace fenwix {

// Told the share of a step done so far (0 to 1); returns true to stop the step.
using StepCheck = std::function<bool(double)>;

// Asks check once some millions of operations have passed since the last ask; true once it
// says stop.
class StepPieces {
 public:
  StepPieces(const StepCheck& check, double total);
  bool Add(double work);

 private:
  const StepCheck& check_;
  double total_;
  double done_ = 0.0;
  double next_;
};

class SupernodalFactor {
 public:
  enum class Outcome { Done, ZeroPivot, Cancelled };

  // The symbolic analysis of the n × n symmetric matrix whose upper triangle has the pattern
  // (outer, inner) (column by column, rows ascending, the diagonal last), from its elimination
  // tree (parent, −1 at a root) and the count of each column of L below the diagonal.
  // Consecutive columns merge where their structures nest exactly, and further where the zeros
  // stored would be few. Tells the share done every few ten thousand columns and asks whether
  // to stop; false when stopped.
  bool Analyse(int32_t n, const int* outer, const int* inner, const std::vector<int32_t>& parent,
               const std::vector<int32_t>& below, const StepCheck& check = {});

  // Factors the matrix of the analysed pattern. Stops at the first pivot that is exactly zero
  // (ZeroPivot; the pivots after it stay zero); a pivot that is merely small is left to the
  // caller to judge.
  Outcome Factor(const int* outer, const int* inner, const double* values,
                 const StepCheck& check = {});
  // x := (LDLᵀ)⁻¹ x.
  void Solve(std::vector<double>& x) const;

  int32_t size() const { return n_; }
  int32_t count() const { return static_cast<int32_t>(first_.size()) - 1; }
  int32_t first(int32_t j) const { return first_[static_cast<size_t>(j)]; }
  int32_t width(int32_t j) const { return first(j + 1) - first(j); }
  // The rows of supernode j: its own columns first, then the rows below, ascending.
  const int32_t* rows(int32_t j) const { return rows_.data() + row_start_[static_cast<size_t>(j)]; }
  int32_t height(int32_t j) const {
    return static_cast<int32_t>(row_start_[static_cast<size_t>(j) + 1] -
                                row_start_[static_cast<size_t>(j)]);
  }
  // Where supernode j's block starts among height × width values.
  int64_t value_start(int32_t j) const { return value_start_[static_cast<size_t>(j)]; }
  const double* block(int32_t j) const { return values_.data() + value_start(j); }
  int32_t supernode_of(int32_t column) const { return supernode_[static_cast<size_t>(column)]; }
  double pivot(int32_t column) const { return d_[static_cast<size_t>(column)]; }
  // The place of row among the rows of supernode j (which holds it), by bisection.
  int32_t RowPlace(int32_t j, int32_t row) const;

  // Sizes from the analysis: values stored (the diagonal blocks whole), row indices, operations
  // of the factorisation, and the largest update a supernode passes on (rows below × rows
  // below) and its rows below × width.
  int64_t stored_values() const { return value_start_.empty() ? 0 : value_start_.back(); }
  int64_t row_indices() const { return static_cast<int64_t>(rows_.size()); }
  double factor_work() const { return factor_work_; }
  int64_t largest_update() const { return largest_update_; }
  int64_t largest_panel() const { return largest_panel_; }
  int32_t tallest_below() const { return tallest_below_; }
  int32_t widest() const { return widest_; }

 private:
  void Amalgamate(const std::vector<int32_t>& parent, const std::vector<int32_t>& below);
  void Split();

  int32_t n_ = 0;
  std::vector<int32_t> first_;  // first column of each supernode, n at the end
  std::vector<int32_t> supernode_;
  std::vector<int64_t> row_start_;
  std::vector<int32_t> rows_;
  std::vector<int64_t> value_start_;
  std::vector<double> values_;
  std::vector<double> d_;
  double factor_work_ = 0.0;
  int64_t largest_update_ = 0;
  int64_t largest_panel_ = 0;
  int32_t tallest_below_ = 0;
  int32_t widest_ = 0;
};

// For the rows from `from` on of supernode j (a subset of supernode k's rows, sorted), their
// places among supernode k's rows.
void RelativePlaces(const SupernodalFactor& factor, int32_t j, int32_t from, int32_t k,
                    std::vector<int32_t>& places);

}  // namespace fenwix

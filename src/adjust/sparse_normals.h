#pragma once
// The normal equations of a network in blocks of one station's unknowns (up to three), held
// sparse: a fill-reducing order of the stations, the size of the factor predicted before any of
// it is allocated, a sparse LDLᵀ factor, and the selected inverse (the inverse's entries on the
// factor's pattern, by Takahashi's recurrence), which holds every block that an observation
// or a station's precision needs. Never a dense matrix of the network's size.

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace fenwix {

class SparseNormals {
 public:
  SparseNormals();
  ~SparseNormals();
  SparseNormals(const SparseNormals&) = delete;
  SparseNormals& operator=(const SparseNormals&) = delete;

  // unknowns[s] of station s (0 to 3); pairs: the stations that share an observation. Orders
  // the stations and lays out the pattern; allocates in proportion to the pairs only.
  void Layout(const std::vector<int32_t>& unknowns, std::vector<std::pair<int32_t, int32_t>> pairs);
  // Bytes the factor and its selected inverse will take, from the symbolic analysis.
  double PredictedBytes() const { return predicted_bytes_; }
  int32_t size() const { return size_; }

  // Assembly: clear (the right-hand side, and the matrix when asked), then add blocks N_st
  // (k_s × k_t, row-major) and right-hand sides.
  void Clear(bool matrix = true);
  void AddBlock(int32_t s, int32_t t, const double* block);
  void AddRhs(int32_t s, const double* g);
  // Factors N; the stations with an unknown that the observations do not fix go to
  // undetermined (false is returned then).
  bool Factor(std::vector<int32_t>& undetermined);
  // The solution of N x = b, per station, k_s numbers from offset(s) in the returned vector.
  std::vector<double> Solve() const;
  int32_t offset(int32_t s) const { return offset_[static_cast<size_t>(s)]; }
  // The selected inverse of the current factor; false when cancelled.
  bool SelectInverse(const std::function<bool()>& cancelled);
  // Block (s, t) of N⁻¹, k_s × k_t row-major into out; the pair must share an observation or
  // be one station.
  void InverseBlock(int32_t s, int32_t t, double* out) const;

 private:
  double Entry(int32_t i, int32_t j) const;
  int64_t ValueIndex(int32_t row, int32_t col) const;
  // The place of neighbour s among the earlier neighbours of t, in rows before t's own.
  int32_t NeighbourRows(int32_t s, int32_t t) const;

  struct Impl;
  std::unique_ptr<Impl> impl_;
  int32_t size_ = 0;
  double predicted_bytes_ = 0.0;
  std::vector<int32_t> unknowns_;
  std::vector<int32_t> offset_;    // first unknown of each station, in factor order
  std::vector<int32_t> position_;  // place of each station in the order
  // Per station t: the stations before it in the order that share an observation with it,
  // sorted by their place, and the number of rows before each in t's columns.
  std::vector<int32_t> neighbour_start_;
  std::vector<int32_t> neighbours_;
  std::vector<int32_t> neighbour_row_;
  std::vector<int32_t> earlier_rows_;  // rows of the earlier neighbours of each station
  std::vector<double> rhs_;
  std::vector<int32_t> station_of_unknown_;
};

}  // namespace fenwix

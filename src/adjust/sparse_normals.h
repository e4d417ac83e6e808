#pragma once
// The normal equations of a network in blocks of one station's unknowns (up to three), held
// sparse: a fill-reducing order of the stations, the size of the factor predicted before any of
// it is allocated, a supernodal LDLᵀ factor, and the selected inverse (the inverse's entries on the
// factor's pattern, by Takahashi's recurrence), which holds every block that an observation
// or a station's precision needs. Never a dense matrix of the network's size.
//
// The factorisation and the selected inverse proceed supernode by supernode; after a few million
// operations they tell the share done and ask whether to stop.

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "adjust/supernodal_factor.h"

namespace fenwix {

// How the stations are ordered before factoring. Nested dissection (METIS) keeps the factor of
// a planar network near n log n; where this build has no METIS it falls back to minimum degree.
enum class StationOrdering {
  Automatic,         // nested dissection where built with METIS and the network is large
  NestedDissection,  // METIS, or minimum degree without it
  MinimumDegree,     // approximate minimum degree (AMD)
};

// True when this build orders large networks by nested dissection.
bool HasNestedDissection();
// The ordering this build uses for large networks, in words: for --version and the benchmarks.
const char* BuildOrderingName();

class SparseNormals {
 public:
  enum class Outcome { Done, Undetermined, Cancelled };

  SparseNormals();
  ~SparseNormals();
  SparseNormals(const SparseNormals&) = delete;
  SparseNormals& operator=(const SparseNormals&) = delete;

  void SetOrdering(StationOrdering ordering) { ordering_ = ordering; }
  using Pairs = std::vector<std::pair<int32_t, int32_t>>;

  // unknowns[s] of station s (0 to 3); pairs: the stations that share an observation. Orders
  // the stations and lays out the pattern; allocates in proportion to the pairs only. Large
  // networks are ordered in pieces, each telling the share done and asking whether to stop;
  // false when stopped.
  bool Layout(const std::vector<int32_t>& unknowns, Pairs pairs, const StepCheck& check = {});
  // Peak bytes from the symbolic analysis: the normals, the factor, its selected inverse, the
  // station tables and the largest workspace of the factorisation, the solve and the inverse.
  double PredictedBytes() const { return predicted_bytes_; }
  int64_t FactorNonZeros() const;
  bool NestedDissectionUsed() const { return nested_dissection_used_; }
  int32_t size() const { return size_; }

  // Assembly: clear (the right-hand side, and the matrix when asked), then add blocks N_st
  // (k_s × k_t, row-major) and right-hand sides.
  void Clear(bool matrix = true);
  void AddBlock(int32_t s, int32_t t, const double* block);
  void AddRhs(int32_t s, const double* g);
  // Factors N; the stations with an unknown that the observations do not fix go to
  // undetermined (Undetermined is returned then).
  Outcome Factor(std::vector<int32_t>& undetermined, const StepCheck& check = {});
  // The solution of N x = b, per station, k_s numbers from offset(s) in the returned vector.
  std::vector<double> Solve() const;
  int32_t offset(int32_t s) const { return offset_[static_cast<size_t>(s)]; }
  // The selected inverse of the current factor; false when stopped.
  bool SelectInverse(const StepCheck& check = {});
  // Block (s, t) of N⁻¹, k_s × k_t row-major into out; the pair must share an observation or
  // be one station.
  void InverseBlock(int32_t s, int32_t t, double* out) const;

 private:
  double Entry(int32_t i, int32_t j) const;
  // The place of neighbour s among the earlier neighbours of t, in rows before t's own.
  int32_t NeighbourRows(int32_t s, int32_t t) const;
  // The steps of Layout.
  bool Order(const Pairs& pairs, const StepCheck& check, std::vector<int32_t>& order);
  void PlaceStations(const std::vector<int32_t>& order);
  void LinkNeighbours(Pairs pairs);
  int64_t LayOutPattern(const std::vector<int32_t>& order);
  bool AnalyseFactor(const StepCheck& check);
  void PredictPeak(int32_t stations, size_t pair_count, int64_t nonzeros);

  struct Impl;
  std::unique_ptr<Impl> impl_;
  StationOrdering ordering_ = StationOrdering::Automatic;
  bool nested_dissection_used_ = false;
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

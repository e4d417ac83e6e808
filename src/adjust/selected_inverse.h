#pragma once
// The selected inverse of a supernodal LDLᵀ factor: the entries of Z = (LDLᵀ)⁻¹ on the
// factor's pattern, which hold every block that an observation or a station's precision needs.
// Takahashi's recurrence, from the last supernode back: with J a supernode's columns and R its
// rows below,
//   Z_RJ = −Z_RR L_RJ L_JJ⁻¹,   Z_JJ = L_JJ⁻ᵀ D_J⁻¹ L_JJ⁻¹ − Z_RJᵀ L_RJ L_JJ⁻¹,
// where Z_RR lies on the pattern of later supernodes (the factor's graph is chordal) and is
// gathered into a dense block. Between supernodes it tells the share done and asks whether to
// stop.

#include <cstdint>
#include <vector>

#include "adjust/supernodal_factor.h"

namespace fenwix {

class SelectedInverse {
 public:
  // The inverse of factor (which must outlive it); false when stopped.
  bool Compute(const SupernodalFactor& factor, const StepCheck& check = {});
  void Clear();
  // Entry (i, j) of the inverse; NaN where the factor's pattern has no (i, j), or before any
  // inverse is taken.
  double Entry(int32_t i, int32_t j) const;
  // Doubles of the largest workspace Compute takes beside the inverse itself.
  static int64_t Workspace(const SupernodalFactor& factor);

 private:
  const SupernodalFactor* factor_ = nullptr;
  std::vector<double> z_;  // laid out as the factor's blocks
};

}  // namespace fenwix

#pragma once
// The standard deviations each record of the output file carries, from the weight profile that
// applies to it. Units: angles' SDs in arc-seconds, distances' in meters, covariances in square
// meters; the writer turns them into the units of the record.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/records.h"
#include "model/survey_tables.h"
#include "weights/weight_profile.h"

namespace fenwix {

// What the weights need of a conversion besides the tables.
struct WeightContext {
  // Stations marked known carry approximate coordinates (latitude, longitude, local north and
  // east); without them no distance is taken from coordinates.
  bool approx_computed = false;
  // Where a vector's base without coordinates takes its up direction, radians.
  double seed_latitude = 0.0;
  double seed_longitude = 0.0;
};

// The standard deviations of a total-station record.
struct TotalStationSds {
  double angle;     // horizontal angle, arc-seconds
  double zenith;    // zenith angle, arc-seconds
  double distance;  // slope distance, meters
};

// The lower triangle of a vector's covariance row by row (xx, xy, yy, xz, yz, zz), m².
using VectorCovariance = std::array<double, 6>;

// An angle set whose centring terms were left out: a distance it needs was neither measured at
// the setup nor given by approximate coordinates.
struct CentringGap {
  int32_t row = 0;  // observation row
  bool backsight_missing = false;
  bool foresight_missing = false;
};

// Distance SD = √(A² + (P·D/1000)² + I² + T²) mm, D the slope distance in meters; exactly A
// when the other terms are all zero, so that the default profile writes today's 0.005 m.
double DistanceSd(const InstrumentProfile& profile, double slope_distance);

// Horizontal angle SD = √(S² + σt² + σi²) arc-seconds, with
//   σt = ρ·(T/1000)·√(1/D1² + 1/D2²),  σi = ρ·(I/1000)·D3 / (√2·D1·D2),
//   D3 = √(D1² + D2² − 2·D1·D2·cos θ),
// D1 and D2 the horizontal distances (meters) to the backsight and to the foresight and θ the
// angle (radians). Exactly S without centring or when either distance is not above zero.
double AngleSd(const InstrumentProfile& profile, double d1, double d2, double angle);

// The covariance built from the file's standard deviations and correlations, as written before
// any profile: σxx = sx², σxy = cxy·sy·sx, σyy = sy², σxz = cxz·sz·sx, σyz = cyz·sz·sy, σzz = sz².
VectorCovariance FileCovariance(const ObsValues& obs);

// The covariance written for a vector: F²·C + 2H²·I + 2(V² − H²)·u·uᵀ (H and V in meters here),
// u the ellipsoid normal at (latitude, longitude), radians. C is the fallback SD on the
// diagonal for a vector without SDs when the profile has one; such a vector keeps its zero
// covariance otherwise. The file's covariance as it is when F is 1 and H and V are 0.
VectorCovariance WeightedCovariance(const GnssProfile& profile, const ObsValues& obs,
                                    double latitude, double longitude);

// True when the vector's file gives it no standard deviations at all.
bool LacksSds(const ObsValues& obs);

class RecordWeights {
 public:
  // The default profile for every row: the standard deviations written before profiles.
  RecordWeights();
  // profiles[profile_of_row[row]] applies to a row; with profile_of_row empty (or shorter than
  // the table) profiles[0] applies. profiles must not be empty.
  RecordWeights(const SurveyTables& tables, std::vector<WeightProfile> profiles,
                std::vector<uint16_t> profile_of_row, const WeightContext& context);

  const WeightProfile& ProfileOf(size_t row) const;
  TotalStationSds TotalStation(size_t row, const ObsRow& obs) const;
  VectorCovariance Vector(size_t row, const ObsRow& obs) const;
  // The angle sets written without their centring terms, in row order.
  const std::vector<CentringGap>& centring_gaps() const { return gaps_; }
  // The horizontal distances (meters) the angle set of a row uses, NaN where none was found;
  // both NaN for rows without centring.
  double BacksightDistance(size_t row) const;
  double ForesightDistance(size_t row) const;

 private:
  void FindSetupDistances();

  const SurveyTables* tables_ = nullptr;
  std::vector<WeightProfile> profiles_;
  std::vector<uint16_t> profile_of_row_;
  WeightContext context_;
  // Per observation row, only when some profile has centring: D1 and D2 of angle sets.
  std::vector<std::array<double, 2>> setup_distances_;
  std::vector<CentringGap> gaps_;
};

}  // namespace fenwix

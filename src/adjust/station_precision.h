#pragma once
// The precision of the adjusted stations: each station's covariance (from its block of the
// unknowns' cofactors) on a stated datum, turned into its local level frame, as deviations north,
// east and up and the error ellipse, both at a stated confidence.
//
// The datum of a part whose only freedom is a translation (it has a vector) is by default its
// minimum-trace datum: the covariance S C Sᵀ with S = I − H (HᵀH)⁻¹ Hᵀ over every station of the
// part (the S-transformation of the held-station covariance), or, when the surveyor names one of
// its stations, the same transformation over that station alone. A part free to turn (no
// vector) keeps the station it was held at.

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "adjust/network_layout.h"
#include "adjust/observation_geometry.h"
#include "adjust/observation_tests.h"

namespace fenwix {

struct StationPrecision {
  bool determined = false;
  double sigma_n = 0.0;  // meters
  double sigma_e = 0.0;
  double sigma_u = 0.0;
  double ellipse_major = 0.0;  // error ellipse semi-axes at the result's confidence, meters
  double ellipse_minor = 0.0;
  double ellipse_azimuth = 0.0;  // of the major axis, clockwise from north, radians
  double x = 0.0;                // adjusted geocentric position, meters
  double y = 0.0;
  double z = 0.0;
  int32_t part = -1;   // connected part, -1 when left out
  bool datum = false;  // holds its part's datum
};

// The σ and the ellipse of a geocentric covariance in the level frame `frame`, σ scaled by
// linear and the ellipse's axes by planar (1 and 1: standard deviations and the standard ellipse).
void SetLocalPrecision(const adjust_geometry::Frame& frame, const adjust_geometry::Mat3& covariance,
                       StationPrecision& out, double linear = 1.0, double planar = 1.0);

// The factors of a confidence level P (0 < P < 1): of one coordinate, z at (1 + P) / 2, and of
// an ellipse, √χ²₂(P) = √(−2 ln(1 − P)). Both 1 for P ≤ 0, the standard deviations.
double LinearConfidenceFactor(double confidence);
double PlanarConfidenceFactor(double confidence);

// N⁻¹ b for b given per station (the first unknowns.of(s) numbers of b[s]); the answer likewise.
using CofactorSolve =
    std::function<std::vector<std::array<double, 3>>(const std::vector<std::array<double, 3>>& b)>;

enum class PrecisionDatumKind {
  MinimumTrace,  // every station of the part
  Station,       // relative to the station the surveyor named
  Held,          // the part turns freely: relative to the station (and turn) it was held at
};

struct PartDatum {
  PrecisionDatumKind kind = PrecisionDatumKind::MinimumTrace;
  int32_t station = -1;  // the named or held station; -1 on the minimum-trace datum
};

struct PrecisionSettings {
  int32_t datum_station = -1;  // the station the surveyor names, -1 for the minimum trace
  double confidence = 0.95;    // 0 for standard deviations and standard ellipses
};

// The geocentric covariance of station s from the cofactors (zero for a held station).
adjust_geometry::Mat3 StationCovariance(const StationUnknowns& unknowns,
                                        const CofactorBlock& cofactor, int32_t s);

// Every station's adjusted position and, for those in a part (stations[s].part ≥ 0, the held
// station of each with stations[s].datum), its precision on the datum of its part (datums, one
// per part, say which) at settings.confidence. defects: each part's datum defect.
void ComputeStationPrecision(const std::vector<adjust_geometry::Frame>& frames,
                             const std::vector<double>& positions, const StationUnknowns& unknowns,
                             const CofactorBlock& cofactor, const CofactorSolve& solve,
                             const std::vector<int32_t>& defects, const PrecisionSettings& settings,
                             std::vector<StationPrecision>& stations,
                             std::vector<PartDatum>& datums);

}  // namespace fenwix

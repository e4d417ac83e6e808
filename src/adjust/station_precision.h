#pragma once
// The precision of the adjusted stations: each station's covariance (from its block of the
// unknowns' cofactors) turned into its local level frame, as standard deviations north, east
// and up and the standard error ellipse.

#include <cstdint>
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
  double ellipse_major = 0.0;  // standard error ellipse semi-axes, meters
  double ellipse_minor = 0.0;
  double ellipse_azimuth = 0.0;  // of the major axis, clockwise from north, radians
  double x = 0.0;                // adjusted geocentric position, meters
  double y = 0.0;
  double z = 0.0;
  int32_t part = -1;   // connected part, -1 when left out
  bool datum = false;  // holds its part's datum
};

// The σ and the ellipse of a geocentric covariance in the level frame `frame`.
void SetLocalPrecision(const adjust_geometry::Frame& frame, const adjust_geometry::Mat3& covariance,
                       StationPrecision& out);

// Every station's adjusted position and, for those in a part (stations[s].part ≥ 0), its
// precision relative to the part's datum station.
void ComputeStationPrecision(const std::vector<adjust_geometry::Frame>& frames,
                             const std::vector<double>& positions, const StationUnknowns& unknowns,
                             const CofactorBlock& cofactor,
                             std::vector<StationPrecision>& stations);

}  // namespace fenwix

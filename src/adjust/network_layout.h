#pragma once
// How a network is held for its adjustment: its connected parts, the station of each part that
// holds its datum, what each part leaves free (its datum defect), and the unknowns of every
// station once the datum is taken out: 0 to 3 geocentric directions along which it may move.

#include <array>
#include <cstdint>
#include <vector>

#include "adjust/adjustment_input.h"
#include "adjust/observation_geometry.h"

namespace fenwix {

struct StationUnknowns {
  std::vector<int32_t> count;                               // per station, 0 to 3
  std::vector<std::array<adjust_geometry::Vec3, 3>> basis;  // geocentric direction of each

  int32_t of(int32_t s) const { return count[static_cast<size_t>(s)]; }
  // g = Bᵀ·gradient for station s (count numbers).
  void Project(int32_t s, const adjust_geometry::Vec3& gradient, double* g) const;
  // The geocentric covariance B Z Bᵀ of station s from its block Z of the unknowns' cofactors.
  adjust_geometry::Mat3 Geocentric(int32_t s, const double* z) const;
};

struct NetworkLayout {
  std::vector<int32_t> part;                  // per station; -1 when no observation reaches it
  std::vector<std::vector<int32_t>> members;  // per part, in station order
  std::vector<int32_t> datum;                 // per part: the station held
  // Per part: 3 translations, plus a turn about the vertical without a vector, plus the other
  // two rotations without a zenith angle either.
  std::vector<int32_t> defects;
  // Per part: whether it holds GNSS vectors, and zenith angles (both together tell the direction
  // of its verticals in the vectors' geocentric frame).
  std::vector<char> has_vector;
  std::vector<char> has_zenith;
  // Stations of parts that have no scale (no vector, no distance): nothing in them can be
  // tested. When there are any, nothing else is laid out.
  std::vector<int32_t> unscaled;
  StationUnknowns unknowns;
};

// The layout of the active observations' network; the datum station of each part is its
// datum_choice-th station (modulo its size). Any choice gives the same residuals.
NetworkLayout LayOutNetwork(const AdjustmentInput& input, const std::vector<char>& active,
                            const std::vector<adjust_geometry::Frame>& frames,
                            const std::vector<double>& positions, int32_t datum_choice);

}  // namespace fenwix

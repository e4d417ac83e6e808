#pragma once
// Intersection searches on the ellipsoid: a point fixed by two azimuths, by an azimuth and
// distances, or by distances alone. Each runs BracketSearch along a one-parameter family of
// candidates built with GeodesicDirect and judged with GeodesicInverse; where the geometry
// leaves two answers, the further distances choose. A point that does not satisfy what was
// observed is not returned. None of them gives a height.
//
// Units and signs: latitudes, longitudes and azimuths in radians (azimuths clockwise from north,
// in [0, 2π)); distances are geodesic lengths on the ellipsoid in meters. The ellipsoid is a
// (semi-major axis, meters) and inv_f (inverse flattening).

#include <span>

namespace fenwix {

struct IntersectionResult {
  // false: the step cap was reached, the answer is ambiguous, the point the search ended on does
  // not satisfy the observations (see each operation), or the input is unusable
  bool found;
  double phi;  // the point, meaningful only when found
  double lam;
};

// A known point and the geodesic distance from it to the point sought.
struct KnownDistance {
  double phi;
  double lam;
  double distance;  // meters
};

// Start bracket of the distance along the first ray in IntersectAzimuths, meters.
inline constexpr double AZIMUTH_SEARCH_LENGTH = 20000000.0;
// Misfit a found point may keep, in tolerances: a search that closed on an answer ends within 1.5.
inline constexpr double INTERSECTION_CHECK_FACTOR = 4.0;

// The point on the geodesic leaving (phi1, lam1) at azimuth1 that lies on the line of sight
// from (phi2, lam2) at azimuth2. Searches the distance t along the first ray over
// [0, AZIMUTH_SEARCH_LENGTH]; the misfit of a probe is sin|alpha - azimuth2| · s, with alpha and
// s the azimuth and length from point 2 to the probe. tolerance is the final bracket width in
// meters. The point is found only when it lies ahead on both rays by more than the tolerance
// (the search moved off the first station; s · cos(alpha - azimuth2) > tolerance) and its
// misfit, its offset from the second line of sight, is at most INTERSECTION_CHECK_FACTOR ·
// tolerance: lines that meet behind either station, and rays that never meet, give nothing.
IntersectionResult IntersectAzimuths(double a, double inv_f, double phi1, double lam1,
                                     double azimuth1, double phi2, double lam2, double azimuth2,
                                     double tolerance, int cap);

// The point on the geodesic leaving (phi0, lam0) at azimuth0 at distance known[0].distance from
// known[0]. The search runs from the foot of known[0] on the ray (or from the start when that
// lies behind it) to 2 · (s01 + d1). When the ray crosses the circle twice ahead of the start,
// the other distances choose the crossing with the smaller sum of squared distance misfits (the
// first crossing found wins ties); with a single distance that is ambiguous and nothing is
// found. tolerance is the final bracket width in meters. Needs at least one known distance.
// The point the search converged to must lie within INTERSECTION_CHECK_FACTOR · tolerance of
// distance known[0].distance from known[0]. When it does not, the crossing beyond the foot is
// found again by bisection on the sign of that distance misfit (the search's step can cut the
// crossing away); a ray that misses the circle gives nothing. A mirror crossing chosen in its
// place is that point's reflection in the foot of known[0] and is not checked again.
IntersectionResult IntersectAzimuthDistances(double a, double inv_f, double phi0, double lam0,
                                             double azimuth0, std::span<const KnownDistance> known,
                                             double tolerance, int cap);

// The point at the given distances from the known points. Searches the azimuth at known[0] of
// the point on its circle, judged by the distance to known[1]. Two circles cross twice, so at
// least three distances are needed: the crossing and its mirror in the line known[0]-known[1]
// are compared by their sums of squared distance misfits (the first found wins ties). With fewer
// than three nothing is found (no search is run). tolerance is the final bracket width, radians.
// The point the search converged to must lie within INTERSECTION_CHECK_FACTOR · tolerance ·
// |known[0].distance| (the final bracket as an arc of the first circle) of distance
// known[1].distance from known[1]; it lies on the first circle by construction. When it does
// not, a crossing is found again by bisection on the sign of that distance misfit over the half
// of the first circle from its point nearest known[1] to the farthest; circles that do not meet
// give nothing.
IntersectionResult IntersectDistances(double a, double inv_f, std::span<const KnownDistance> known,
                                      double tolerance, int cap);

}  // namespace fenwix

#pragma once
// Conversions between geodetic coordinates, Earth-centred cartesian coordinates and the local
// east/north/up frame of a point, a point from a polar sight, and the azimuth between points.
//
// Units and signs throughout: angles in radians, lengths in meters. Latitude phi is north
// positive, longitude lam east positive, h is the height above the ellipsoid. Cartesian X points
// to longitude 0 on the equator, Y to longitude +π/2, Z to the north pole. The local frame of a
// point (phi, lam) has E east, N north and U up along the ellipsoid normal. Azimuths run
// clockwise from north; zenith angles run from the up direction (π/2 is horizontal).
// The ellipsoid is passed as a (semi-major axis, meters) and e2 (first eccentricity squared).

namespace fenwix {

struct Cartesian {
  double x;
  double y;
  double z;
};

struct Geodetic {
  double phi;
  double lam;
  double h;
  // False only when the conversion gave no usable answer (see CartesianToGeodetic); phi, lam
  // and h are then NaN. When true all three are finite.
  bool converged = true;
};

struct Local {
  double e;
  double n;
  double u;
};

struct AzimuthDistance {
  double azimuth;         // clockwise from north in the local level frame of point 1, [0, 2π]
  double slope_distance;  // straight-line distance, meters
};

// Latitude change below which the geodetic latitude iteration stops, radians (about 1e-7
// arc-second).
inline constexpr double LATITUDE_TOLERANCE = 4.848e-13;
// Passes after which CartesianToGeodetic gives up. Points near the ellipsoid need a handful,
// and even points deep inside the Earth converge; the cap only guarantees an end.
inline constexpr int LATITUDE_ITERATION_CAP = 1000;
// Slope distances below this are treated as zero length, meters.
inline constexpr double ZERO_DISTANCE = 1e-6;

// Nr = a / sqrt(1 - e2 sin²phi); X = (Nr + h) cos phi cos lam, Y = (Nr + h) cos phi sin lam,
// Z = ((1 - e2) Nr + h) sin phi.
Cartesian GeodeticToCartesian(double a, double e2, double phi, double lam, double h);

// Geodetic coordinates of a cartesian point, iterating on latitude from atan(Z / p) until a
// pass changes it by at most LATITUDE_TOLERANCE. lam is in [-π, π] (0 on the Greenwich
// meridian, +π/2 for X = 0 and Y > 0). A point on the polar axis (X = Y = 0) gets
// phi = ±π/2, lam = π/2 and h = |Z| - (1 - e2) Nr.
// Ends on every input. When the iteration has not met its test after LATITUDE_ITERATION_CAP
// passes, or any result is not a finite number (NaN or infinite input), the result is NaN with
// converged = false, so callers check that one flag.
Geodetic CartesianToGeodetic(double a, double e2, double x, double y, double z);

// Rotates a cartesian difference (meters) into the local east/north/up frame at (phi, lam).
Local CartesianDeltaToLocal(double phi, double lam, double dx, double dy, double dz);

// The origin (x0, y0, z0) plus the local offset (e, n, u) of the frame at (phi, lam), rotated
// back to cartesian (the transpose of CartesianDeltaToLocal).
Cartesian LocalToCartesian(double phi, double lam, double e, double n, double u, double x0,
                           double y0, double z0);

// The point reached from (phi, lam, h) by the local offset (e, n, u), through cartesian
// coordinates. converged as for CartesianToGeodetic.
Geodetic LocalOffsetToGeodetic(double a, double e2, double phi, double lam, double h, double e,
                               double n, double u);

// The point sighted from (phi, lam, h) at the given azimuth, zenith angle and slope distance.
// - slope distance < ZERO_DISTANCE: the start point itself;
// - zenith < one arc-second: same phi and lam, h + slope distance;
// - zenith > 179°59'59": same phi and lam, h - slope distance;
// - otherwise E = S sin z sin A, N = S sin z cos A, U = S cos z + instrument_height -
//   target_height, applied with LocalOffsetToGeodetic (the azimuth is first moved one full
//   circle towards [0, 2π]).
// The instrument and target heights (meters) are not applied in the two vertical cases.
// converged as for CartesianToGeodetic: false (and NaN numbers) whenever the result would not be
// finite, in the short cuts too.
Geodetic PolarPoint(double a, double e2, double phi, double lam, double h, double azimuth,
                    double zenith, double slope_distance, double instrument_height,
                    double target_height);

// Azimuth and slope distance from point 1 to point 2, both with heights. The azimuth is taken in
// the local level frame of point 1 (so it includes the effect of the heights); it is 0 when the
// points are less than ZERO_DISTANCE apart. Input that is not finite gives NaN.
AzimuthDistance AzimuthBetween(double a, double e2, double phi1, double lam1, double h1,
                               double phi2, double lam2, double h2);

}  // namespace fenwix

#pragma once
// Approximate coordinates for every station that the observations reach from one seed station.
//
// Positions are carried outward station by station through GPS vectors (the rover is the base
// plus the vector) and total-station angle sets (a polar sight: azimuth from the reference,
// zenith angle, slope distance); a station that no single known station fixes is placed by
// intersection from what several known stations saw of it. The propagation runs on the fixed
// propagation ellipsoid (geodesy/ellipsoid.h); only the seed's cartesian position and the final
// local coordinates use the datum ellipsoid.
//
// Units: angles in radians, lengths in meters, except the seed's packed DD.MMSSsssss input.

#include <cstdint>
#include <functional>
#include <vector>

#include "geodesy/ellipsoid.h"
#include "model/station_placement.h"
#include "model/survey_tables.h"

namespace fenwix {

// Local north and east of the seed station unless told otherwise, meters.
inline constexpr double LOCAL_FALSE_ORIGIN = 100000.0;
// Steps after which the propagation stops; each step visits one known station.
inline constexpr int PROPAGATION_STEP_CAP = 100;
// Final bracket width of the intersections along a ray, meters.
inline constexpr double INTERSECTION_TOLERANCE = 0.01;
// Steps after which an intersection search gives up.
inline constexpr int INTERSECTION_STEP_CAP = 100;

struct SeedPosition {
  double latitude;   // packed DD.MMSSsssss, positive north
  double longitude;  // packed DD.MMSSsssss, positive east
  double height;     // ellipsoidal, meters
  // The seed's local coordinates, meters; every other station's are these plus its offset
  // from the seed.
  double north = LOCAL_FALSE_ORIGIN;
  double east = LOCAL_FALSE_ORIGIN;
  double elevation = 0.0;
};

struct FoundAzimuth {
  bool found;
  double azimuth;  // radians, [0, 2π]; meaningful only when found
};

// The azimuth at station `from` of the direction that makes the clockwise angle `angle`
// (radians) with the direction to station `reference`: AzimuthBetween(from, reference) on the
// propagation ellipsoid, with both heights, plus the angle. Nothing is found unless both
// stations are rows of the table with known coordinates.
FoundAzimuth AzimuthViaReference(const SurveyTables& tables, int32_t from, int32_t reference,
                                 double angle);

// Carries positions from the stations already marked known to the others, for at most
// max_steps steps (each visits one known station, cycling through them). With max_steps 0 there
// is no budget: every station that the cycles would reach given unlimited steps is placed, each
// known station visited once and a sight tried again only when what it lacked became known, so
// that the cost grows with the observations, not with their square. Every station it reaches
// gets latitude, longitude and height on the propagation ellipsoid and is marked known; a
// station once placed is never moved. Returns the number of steps run. When placements is
// given, it gets one entry per station row saying how the row came by its coordinates.
// keep_going, when given, is asked after every step with the number of known stations; false
// ends the run there (the stations placed so far keep their positions).
using PropagationProgress = std::function<bool(int32_t known_count)>;
int PropagateCoordinates(SurveyTables& tables, std::vector<StationPlacement>* placements = nullptr,
                         int max_steps = PROPAGATION_STEP_CAP,
                         const PropagationProgress& keep_going = {});

// Places the seed (row seed_index, at least 1) at the given position, propagates, and gives
// every known station local north, east and elevation relative to the seed, in the datum
// ellipsoid's frame at the seed (the seed reads seed.north, seed.east, seed.elevation).
// Returns the number of stations (placeholder row 0 aside) whose coordinates are not known at
// the end. A seed_index outside the table changes nothing. placements, max_steps and
// keep_going as for PropagateCoordinates.
int32_t ComputeApproxCoordinates(SurveyTables& tables, int32_t seed_index, const SeedPosition& seed,
                                 const Ellipsoid& datum,
                                 std::vector<StationPlacement>* placements = nullptr,
                                 int max_steps = PROPAGATION_STEP_CAP,
                                 const PropagationProgress& keep_going = {});

}  // namespace fenwix

#pragma once
// Stations that no single known station reaches, placed by fitting whole setups on the known
// stations: a setup on a known point oriented on any known target, a free station fitted on
// two or more known points, a resection on three or more directions, a chain of setups (a
// traverse) fitted on its two known ends, and a GNSS cluster in its own frame moved onto the
// stations its total-station ties share with it.
//
// Every setup (the angle sets and single sights at one station) is a rigid frame of its own:
// the station at its origin, each target at its direction and horizontal distance. A frame
// that shares two points with another (or one point and one direction to a known station) is
// turned and moved onto it with the scale held at 1; a frame fitted on the known stations
// gives its unknown points their coordinates. A fit whose points disagree by more than the
// misfit limit is refused (or, with three or more known points, fitted without the one point
// that disagrees), never averaged into the coordinates.
//
// All frames live in one plane: east and north of the local frame at the first known station
// (a job spans a few km). Heights are carried apart, as ellipsoidal height differences.

#include <cstdint>
#include <vector>

#include "model/station_placement.h"
#include "model/survey_tables.h"

namespace fenwix {

// A fit is refused when a shared point lies further than this from where the fit puts it,
// meters, plus FRAME_MISFIT_PPM of the fit's extent.
inline constexpr double FRAME_MISFIT_M = 0.05;
inline constexpr double FRAME_MISFIT_PPM = 100.0;
// A resection is refused when a direction error of this much (radians, 5″) could move the
// station by more than RESECTION_WEAK_M: the station lies near the circle through its known
// points, where the directions do not fix it.
inline constexpr double RESECTION_DIRECTION_ERROR = 2.4240684055476e-05;
inline constexpr double RESECTION_WEAK_M = 0.05;

// Places every station that the setup frames and GNSS clusters tie to the stations already
// known, marking it known (latitude, longitude, height on the propagation ellipsoid) and, when
// placements is given, StationPlacement::Intersected. Stations already known are never moved.
// Returns the number of stations placed.
int32_t PlaceThroughFrames(SurveyTables& tables, std::vector<StationPlacement>* placements);

}  // namespace fenwix

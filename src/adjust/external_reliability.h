#pragma once
// The external reliability of the tested observations: how far a blunder of an observation's
// minimal detectable bias ∇, left undetected, moves the stations. The shift of the unknowns is
// Q Aᵀ P ∇; it is taken at the observation's own stations only, from their cofactor blocks with
// each other (in the selected inverse), which is where a blunder moves the network most in
// practice. Elsewhere the network may move further (a station hanging on the observation's far
// end): the value is a deliberate bound from below of the largest shift, bought without a solve
// per observation.
//
// The shifts stand on the datum of the stations' precision: a part's minimum trace (its shifts
// less their mean over the part), the station the surveyor named (less that station's shift),
// or, for a part free to turn, the station it is held at.

#include <vector>

#include "adjust/network_layout.h"
#include "adjust/observation_geometry.h"
#include "adjust/observation_tests.h"
#include "adjust/station_precision.h"

namespace fenwix {

// tests[i].external for every active observation (NaN where it is not tested), from the MDBs
// tests already hold in the observations' units. stations and datums as the stations' precision
// left them: each station's part, and the datum of each part. Three solves for the whole job.
void ComputeExternalReliability(const AdjustmentInput& input,
                                const std::vector<adjust_geometry::Mat3>& weights,
                                const adjust_geometry::Geometry& geometry,
                                const StationUnknowns& unknowns, const CofactorBlock& cofactor,
                                const CofactorSolve& solve,
                                const std::vector<StationPrecision>& stations,
                                const std::vector<PartDatum>& datums,
                                std::vector<ObservationTest>& tests);

}  // namespace fenwix

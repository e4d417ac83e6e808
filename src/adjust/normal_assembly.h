#pragma once
// One observation's share of the normal equations: JᵀPJ into the matrix and −JᵀPm into the
// right-hand side, J the observation's gradient by the stations' unknowns and m its misclosure.

#include "adjust/adjustment_input.h"
#include "adjust/network_layout.h"
#include "adjust/observation_geometry.h"
#include "adjust/sparse_normals.h"

namespace fenwix {

// weight: a vector's inverse covariance (unused for the others, weighted by 1/sd²). The matrix
// is added to only when `matrix` is true (a step that keeps the last factor needs only the
// right-hand side).
// `factor` scales the observation's weight (a robust start's down-weighting of a misfit).
void AddToNormals(const AdjustmentObservation& obs, const adjust_geometry::Mat3& weight,
                  const adjust_geometry::Linearised& lin, const StationUnknowns& unknowns,
                  bool matrix, SparseNormals& normals, double factor = 1.0);

}  // namespace fenwix

#pragma once
// Reducing one reading to face one, and the guards of the averages: shared by the reduction of
// a job's readings into records and by the checks that look at the readings themselves.

#include <cmath>
#include <cstdint>

#include "geodesy/angles.h"
#include "model/reading_log.h"

namespace fenwix {

// Out-of-range input (a packed angle near the limit of a double, sums of such values) can make
// a conversion overflow; such a value is as unusable as an unreadable number and counts as 0.
inline double Finite(double value) {
  return std::isfinite(value) ? value : 0.0;
}

inline double Mean(double sum, int32_t count) {
  return Finite(sum / count);
}

// The face a zenith angle was read in: face two past half a circle.
inline uint8_t FaceOf(double zenith) {
  return zenith > PI ? FACE_TWO : FACE_ONE;
}

// A direction read in face two turned by half a circle; a face-one direction as it stands. The
// result is not brought back into a range.
inline double FaceOneDirection(double direction, uint8_t face) {
  return face == FACE_TWO ? direction - PI : direction;
}

// A zenith angle read in face two mirrored to face one.
inline double FaceOneZenith(double zenith, uint8_t face) {
  return face == FACE_TWO ? TWO_PI - zenith : zenith;
}

}  // namespace fenwix

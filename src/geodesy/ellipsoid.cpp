#include "geodesy/ellipsoid.h"

namespace fenwix {

double SemiMinorAxis(double a, double inv_f) {
  return (a * inv_f - a) / inv_f;
}

double EccentricitySquared(double a, double b) {
  return 1.0 - b * b / (a * a);
}

double EccentricitySquaredOf(double a, double inv_f) {
  return EccentricitySquared(a, SemiMinorAxis(a, inv_f));
}

Ellipsoid ChooseDatumEllipsoid(std::string_view name, double a, double inv_f) {
  const bool usable = !name.empty() && a >= DATUM_A_MIN && a <= DATUM_A_MAX &&
                      inv_f >= DATUM_INV_F_MIN && inv_f <= DATUM_INV_F_MAX;
  if (!usable) return Ellipsoid{WGS84_NAME, WGS84_A, WGS84_INV_F};
  return Ellipsoid{std::string(name), a, inv_f};
}

Ellipsoid PropagationEllipsoid() {
  return Ellipsoid{PROPAGATION_NAME, PROPAGATION_A, PROPAGATION_INV_F};
}

double PropagationEccentricitySquared() {
  return EccentricitySquared(PROPAGATION_A, PROPAGATION_B);
}

}  // namespace fenwix
